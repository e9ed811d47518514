// TLS client streams over a connected Connection, with the operating system's
// TLS library: TLS 1.2 or 1.3, the server name sent (SNI) and the server's
// certificate verified against the system's trusted roots plus an optional
// extra CA file (PEM), the host name included. There is no way to skip the
// verification.
//
//   auto client = TlsClient::Create(ca_file, &error);  // one per worker, kept between requests
//   std::string reason;
//   auto stream = TlsStream::Handshake(*client, *connection, host, timeout_ms, &reason);
//   stream->SendAll(...); stream->Receive(...);  // like the connection itself
//
// The stream reads and writes only through the connection's SendAll and
// Receive, so Connection::Interrupt from another thread cuts a handshake or a
// transfer at once, exactly as it cuts a plain connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/socket.h"

namespace quorix::platform {

// The trusted roots (system + extra CA file) and the sessions of earlier
// connections, so that the next connection to the same server may resume its
// session instead of a full handshake. Used by one thread at a time.
class TlsClient {
 public:
  ~TlsClient();
  TlsClient(const TlsClient&) = delete;
  TlsClient& operator=(const TlsClient&) = delete;

  // `extra_ca_file`: a PEM file of further trusted certificates, or empty.
  // Null when the file cannot be read or holds no certificate (*error says so).
  static std::unique_ptr<TlsClient> Create(const std::string& extra_ca_file, std::string* error);

  const std::string& extra_ca_file() const { return extra_ca_file_; }

  struct State;  // the implementation's own

 private:
  TlsClient() = default;
  std::string extra_ca_file_;
  std::unique_ptr<State> state_;
  friend class TlsStream;
};

// Why a handshake failed.
enum class TlsFailure {
  kNone,
  kCertificate,  // the server's certificate was refused (untrusted, expired, wrong name...)
  kTimeout,      // the server did not answer within the time-out
  kInterrupted,  // Connection::Interrupt cut it
  kProtocol,     // anything else: closed, not TLS, no common version...
};

class TlsStream {
 public:
  ~TlsStream();  // keeps a resumable session in the client; closes nothing
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // Runs the handshake with `host` (name or dotted address: both are checked
  // against the certificate) on `connection`, which must stay open while the
  // stream exists and whose owner closes it. The whole handshake takes at most
  // `timeout_ms`. `client` and `connection` must outlive the stream. Null on failure: *failure the
  // kind, *reason a short text
  // ("certificate has expired", "timed out", ...).
  static std::unique_ptr<TlsStream> Handshake(TlsClient& client, Connection& connection,
                                              const std::string& host, int port, int timeout_ms,
                                              TlsFailure* failure, std::string* reason);

  // As Connection::SendAll: all bytes as one or more records, each wait
  // bounded by `timeout_ms`.
  bool SendAll(std::string_view data, int timeout_ms);
  // As Connection::Receive: at most `size` decrypted bytes, waiting at most
  // `timeout_ms`; 0 when the server ended the stream or closed, the time-out
  // passed, or the connection failed or was interrupted.
  int64_t Receive(char* buffer, int64_t size, int timeout_ms);

  struct State;  // the implementation's own

 private:
  TlsStream() = default;
  std::unique_ptr<State> state_;
};

}  // namespace quorix::platform
