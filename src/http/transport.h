// The byte stream of one request: the plain connection, or TLS over it once
// the handshake succeeded. The client reads and writes both alike; cutting
// the connection cuts either.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/socket.h"
#include "platform/tls.h"
#include "run/run.h"

namespace quorix::http {

class Transport {
 public:
  explicit Transport(platform::Connection& connection) : connection_(connection) {}

  // For an https server: the handshake on the connected connection, with the
  // slot's trusted roots and sessions, bounded by `timeout_ms`. On failure the
  // log and the slot say why (a cut by the user is silent) and false returns.
  bool StartTls(run::Run& run, int slot, int timeout_ms);

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
