#include "http/request_support.h"

#include <climits>

#include "log/logger.h"
#include "platform/process.h"
#include "text/text.h"

namespace quorix::http {

int TimeoutMs(int seconds) {
  if (seconds <= 0) return 0;
  if (seconds > INT_MAX / 1000) return INT_MAX;
  return seconds * 1000;
}

int ConnectTimeoutMs(int seconds) {
  const int ms = TimeoutMs(seconds);
  return ms < 1000 ? 1000 : ms;
}

RequestDeadline::RequestDeadline(int timeout_seconds)
    : seconds_(std::max(1, timeout_seconds) * int64_t{kRequestTimeOuts}),
      end_(std::chrono::steady_clock::now() + std::chrono::seconds(seconds_)) {}

int RequestDeadline::WaitMs(int timeout_ms) const {
  // Rounded up, so that a wait that ends at its bound ends after it.
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now()).count();
  if (left <= 0) return 0;
  return static_cast<int>(std::min<int64_t>(left, timeout_ms));
}

std::string RequestTarget(std::string_view path) {
  std::string target(text::TrimBlanks(path));
  target = text::ReplaceAll(target, "\r", "%0D");
  target = text::ReplaceAll(target, "\n", "%0A");
  return text::ReplaceAll(target, std::string_view("\0", 1), "%00");
}

Failure CheckServer(const Requester& requester) {
  if (requester.web.server.empty()) {
    requester.Log("No WebBBS-Server specified", log::kError);
    return Outcome::kNoServer;
  }
  const int port = requester.web.port;
  if (!requester.web.port_valid || port < 1 || port > 65535) {
    // The configuration has logged the value it read; the port is never
    // wrapped into range, so no connection is made.
    requester.Log("Invalid WebPort (not in 1..65535)", log::kError);
    return Outcome::kBadPort;
  }
  return std::nullopt;
}

Failure ChooseProxyFor(const Requester& requester, Proxy* proxy) {
  std::string problem;
  *proxy = ChooseProxy(
      requester.web, [](std::string_view name) { return platform::GetEnvironment(name); },
      &problem);
  if (problem.empty()) return std::nullopt;
  requester.Log("Proxy: " + problem, log::kError);
  return Outcome::kProxyUnusable;
}

Failure OpenConnection(const Requester& requester, platform::Connection& connection,
                       Transport& transport, const Proxy& proxy,
                       std::unique_ptr<platform::TlsClient>* tls_client) {
  const run::WebSettings& web = requester.web;
  const std::string& server = web.server;
  const int port = web.port;
  const bool via_proxy = proxy.kind != ProxyKind::kNone;
  const bool connected =
      connection.ConnectTo(via_proxy ? proxy.host : server, via_proxy ? proxy.port : port,
                           ConnectTimeoutMs(web.timeout_seconds));
  requester.connections.socket.store(connected ? connection.Handle() : 0);
  if (!connected) {
    // A connect cut by the user is no fault of the server.
    if (connection.Interrupted()) return Outcome::kCut;
    if (via_proxy) {
      requester.Log("Proxy " + proxy.Name() + " not reachable", log::kError);
      return Outcome::kProxyDown;
    }
    requester.Log("WebBBS Server " + server + " not found", log::kProblem);
    return Outcome::kHostNotFound;
  }
  if (via_proxy && (proxy.kind == ProxyKind::kSocks5 || web.tls)) {
    std::string reason;
    if (!OpenTunnel(connection, proxy, server, port, ConnectTimeoutMs(web.timeout_seconds),
                    &reason)) {
      if (connection.Interrupted()) return Outcome::kCut;
      requester.Log("Proxy " + proxy.Name() + " refused " + server + ":" + text::Decimal(port) +
                        ": " + reason,
                    log::kError);
      return Outcome::kProxyRefused;
    }
  }
  if (!web.tls) return std::nullopt;
  return transport.StartTls(requester, ConnectTimeoutMs(web.timeout_seconds), tls_client);
}

}  // namespace quorix::http
