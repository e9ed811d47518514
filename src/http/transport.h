// The byte stream of one request: the plain connection, or TLS over it once
// the handshake succeeded. The client reads and writes both alike; cutting
// the connection cuts either.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "http/http_client.h"
#include "platform/socket.h"
#include "platform/tls.h"

namespace quorix::http {

class Transport {
 public:
  explicit Transport(platform::Connection& connection) : connection_(connection) {}

  // For an https server: the handshake on the connected connection, with the
  // trusted roots and sessions of `tls_client` (made there when missing; the
  // worker's when null), bounded by `timeout_ms`. A failure is logged (a cut
  // by the user is silent: kCut).
  std::optional<Outcome> StartTls(const Requester& requester, int timeout_ms,
                                  std::unique_ptr<platform::TlsClient>* tls_client = nullptr);

  bool SendAll(std::string_view data, int timeout_ms) {
    return tls_ ? tls_->SendAll(data, timeout_ms) : connection_.SendAll(data, timeout_ms);
  }
  int64_t Receive(char* buffer, int64_t size, int timeout_ms) {
    return tls_ ? tls_->Receive(buffer, size, timeout_ms)
                : connection_.Receive(buffer, size, timeout_ms);
  }

 private:
  platform::Connection& connection_;
  std::unique_ptr<platform::TlsStream> tls_;
};

}  // namespace quorix::http
