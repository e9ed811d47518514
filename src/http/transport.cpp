#include "http/transport.h"

#include <string>

#include "log/logger.h"

namespace quorix::http {
namespace {

// The slot's TLS client, made anew when the box names another CA file. Null
// (logged) when that file is unusable.
platform::TlsClient* SlotTlsClient(run::Run& run, int slot_number) {
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  if (slot.tls_client && slot.tls_client->extra_ca_file() == slot.web.ca_file) {
    return slot.tls_client.get();
  }
  std::string error;
  slot.tls_client = platform::TlsClient::Create(slot.web.ca_file, &error);
  if (!slot.tls_client) {
    run.log.WriteLog("WebCAFile: " + error, slot_number, log::kError);
  }
  return slot.tls_client.get();
}

}  // namespace

bool Transport::StartTls(run::Run& run, int slot_number, int timeout_ms) {
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  platform::TlsClient* client = SlotTlsClient(run, slot_number);
  if (client == nullptr) {
    slot.status.Set("WebCAFile unusable");
    slot.error.store(1);
    return false;
  }
  platform::TlsFailure failure = platform::TlsFailure::kNone;
  std::string reason;
  tls_ = platform::TlsStream::Handshake(*client, connection_, slot.web.server, slot.web.port,
                                        timeout_ms, &failure, &reason);
  if (tls_) return true;
  if (failure == platform::TlsFailure::kInterrupted || connection_.Interrupted()) return false;
  const std::string& server = slot.web.server;
  if (failure == platform::TlsFailure::kCertificate) {
    slot.status.Set("Certificate refused");
    run.log.WriteLog("Certificate of WebBBS Server " + server + " refused: " + reason, slot_number,
                     log::kError);
  } else {
    slot.status.Set("TLS failed");
    run.log.WriteLog("TLS with WebBBS Server " + server + " failed: " + reason, slot_number,
                     log::kError);
  }
  slot.error.store(1);
  return false;
}

}  // namespace quorix::http
