#include "http/transport.h"

#include <string>

#include "log/logger.h"

namespace quorix::http {
namespace {

// The TLS client in `client`, made anew when the box names another CA file.
// Null (logged) when that file is unusable.
platform::TlsClient* TlsClientIn(const Requester& requester,
                                 std::unique_ptr<platform::TlsClient>& client) {
  if (client && client->extra_ca_file() == requester.web.ca_file) return client.get();
  std::string error;
  client = platform::TlsClient::Create(requester.web.ca_file, &error);
  if (!client) requester.Log("WebCAFile: " + error, log::kError);
  return client.get();
}

}  // namespace

std::optional<Outcome> Transport::StartTls(const Requester& requester, int timeout_ms,
                                           std::unique_ptr<platform::TlsClient>* tls_client) {
  platform::TlsClient* client = TlsClientIn(
      requester, tls_client != nullptr ? *tls_client : requester.connections.tls_client);
  if (client == nullptr) return Outcome::kCaFileUnusable;
  const std::string& server = requester.web.server;
  platform::TlsFailure failure = platform::TlsFailure::kNone;
  std::string reason;
  tls_ = platform::TlsStream::Handshake(*client, connection_, server, requester.web.port,
                                        timeout_ms, &failure, &reason);
  if (tls_) return std::nullopt;
  if (failure == platform::TlsFailure::kInterrupted || connection_.Interrupted()) {
    return Outcome::kCut;
  }
  if (failure == platform::TlsFailure::kCertificate) {
    requester.Log("Certificate of WebBBS Server " + server + " refused: " + reason, log::kError);
    return Outcome::kCertificateRefused;
  }
  requester.Log("TLS with WebBBS Server " + server + " failed: " + reason, log::kError);
  return Outcome::kTlsFailed;
}

}  // namespace quorix::http
