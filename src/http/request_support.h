// What a plain request and a request on a kept connection share: the handle
// table entry, the slot's hold on the connection, the time bounds, and the
// opening of a connection (connect, then TLS for an https server).
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/http_client.h"
#include "http/proxy.h"
#include "http/transport.h"
#include "platform/socket.h"
#include "run/run.h"

namespace quorix::http {

// One entry of the process's table of open files and connections (999
// entries), held for the life of the object.
class HandleReservation {
 public:
  explicit HandleReservation(std::atomic<int>& open_handles) : open_handles_(open_handles) {
    int in_use = open_handles_.load();
    while (in_use < run::kMaxOpenHandles) {
      if (open_handles_.compare_exchange_weak(in_use, in_use + 1)) {
        held_ = true;
        return;
      }
    }
  }
  ~HandleReservation() {
    if (held_) open_handles_.fetch_sub(1);
  }
  HandleReservation(const HandleReservation&) = delete;
  HandleReservation& operator=(const HandleReservation&) = delete;
  bool held() const { return held_; }

 private:
  std::atomic<int>& open_handles_;
  bool held_ = false;
};

// Keeps the connection among the worker's, so that the status display can
// cut it; takes it out again before the connection is destroyed.
class ConnectionAttachment {
 public:
  ConnectionAttachment(run::WorkerConnections& connections, platform::Connection* connection)
      : connections_(connections), connection_(connection) {
    connections_.Attach(connection_);
  }
  ~ConnectionAttachment() { connections_.Detach(connection_); }
  ConnectionAttachment(const ConnectionAttachment&) = delete;
  ConnectionAttachment& operator=(const ConnectionAttachment&) = delete;

 private:
  run::WorkerConnections& connections_;
  platform::Connection* connection_;
};

// Counts a request among the worker's connected ones (SlotConnected) for as
// long as it lives.
class ConnectedMark {
 public:
  explicit ConnectedMark(run::WorkerConnections& connections) : connections_(connections) {
    connections_.connected.fetch_add(1);
  }
  ~ConnectedMark() { connections_.connected.fetch_sub(1); }
  ConnectedMark(const ConnectedMark&) = delete;
  ConnectedMark& operator=(const ConnectedMark&) = delete;

 private:
  run::WorkerConnections& connections_;
};

// The failure of a step of a request; none when the step worked.
using Failure = std::optional<Outcome>;

// A failed request's result.
inline Response Failed(Outcome outcome) {
  Response response;
  response.outcome = outcome;
  return response;
}

// WebTimeOut counts seconds; waits take milliseconds.
int TimeoutMs(int seconds);

// The connect waits WebTimeOut too, but at least a second, so that a time-out
// of 0 still lets a connection be made.
int ConnectTimeoutMs(int seconds);

// Besides each wait's WebTimeOut, a whole request (send and receive, after a
// connect of at most WebTimeOut) ends within kRequestTimeOuts x WebTimeOut
// from its start, and within at least as many seconds.
class RequestDeadline {
 public:
  explicit RequestDeadline(int timeout_seconds);
  int64_t seconds() const { return seconds_; }
  bool Passed() const { return std::chrono::steady_clock::now() >= end_; }
  // `timeout_ms`, shortened to what is left of the request.
  int WaitMs(int timeout_ms) const;

 private:
  int64_t seconds_;
  std::chrono::steady_clock::time_point end_;
};

// The request target: the path without blanks around it. Topic links come
// from forum pages, so a CR, LF or NUL in one is sent percent-encoded and can
// never end the request line or add header lines of a hostile page's making.
std::string RequestTarget(std::string_view path);

// Whether the box names a server and a port a connection can be made to;
// the failure (logged) when not.
Failure CheckServer(const Requester& requester);

// The proxy for the box's server (none, the box's or the environment's); a
// failure (logged) when the setting is unusable. A proxy that cannot be
// used, is down or refuses is an error of its own, never the forum's.
Failure ChooseProxyFor(const Requester& requester, Proxy* proxy);

// Connects `connection` (created and attached to the worker's) to the box's
// server, directly or through `proxy` (a tunnel for SOCKS5 and for an https
// server), and for an https server starts TLS on `transport` with
// `tls_client` (Transport::StartTls). A failure is logged (a cut by the user
// is silent: kCut).
Failure OpenConnection(const Requester& requester, platform::Connection& connection,
                       Transport& transport, const Proxy& proxy,
                       std::unique_ptr<platform::TlsClient>* tls_client = nullptr);

}  // namespace quorix::http
