#include "http/request_support.h"

#include <climits>

#include "http/http_client.h"

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

bool CheckServer(run::Run& run, int slot_number) {
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  if (slot.web.server.empty()) {
    const char* message = "No WebBBS-Server specified";
    run.log.WriteLog(message, slot_number, log::kError);
    slot.status.Set(message);
    slot.error.store(1);
    return false;
  }
  const int port = slot.web.port;
  if (!slot.web.port_valid || port < 1 || port > 65535) {
    // The configuration has logged the value it read; the port is never
    // wrapped into range, so no connection is made.
    const char* message = "Invalid WebPort (not in 1..65535)";
    run.log.WriteLog(message, slot_number, log::kError);
    slot.status.Set(message);
    slot.error.store(1);
    return false;
  }
  return true;
}

void ReportProxyFailure(run::Run& run, int slot_number, const char* status,
                        const std::string& message) {
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  run.log.WriteLog(message, slot_number, log::kError);
  slot.status.Set(status);
  slot.error.store(1);
}

bool ChooseSlotProxy(run::Run& run, int slot_number, Proxy* proxy) {
  std::string problem;
  *proxy = ChooseProxy(
      run.slots.at(static_cast<size_t>(slot_number)).web,
      [](std::string_view name) { return platform::GetEnvironment(name); }, &problem);
  if (problem.empty()) return true;
  ReportProxyFailure(run, slot_number, "Proxy setting unusable", "Proxy: " + problem);
  return false;
}

bool OpenConnection(run::Run& run, int slot_number, platform::Connection& connection,
                    Transport& transport, const Proxy& proxy) {
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  const std::string& server = slot.web.server;
  const int port = slot.web.port;
  const bool via_proxy = proxy.kind != ProxyKind::kNone;
  const bool connected =
      connection.ConnectTo(via_proxy ? proxy.host : server, via_proxy ? proxy.port : port,
                           ConnectTimeoutMs(slot.web.timeout_seconds));
  slot.socket.store(connected ? connection.Handle() : 0);
  if (!connected) {
    // A connect cut by the user is no fault of the server.
    if (connection.Interrupted()) return false;
    if (via_proxy) {
      ReportProxyFailure(run, slot_number, "Proxy not reachable",
                         "Proxy " + proxy.Name() + " not reachable");
      return false;
    }
    slot.status.Set("Host not found");
    run.log.WriteLog("WebBBS Server " + server + " not found", slot_number, log::kProblem);
    slot.error.store(1);
    return false;
  }
  if (via_proxy && (proxy.kind == ProxyKind::kSocks5 || slot.web.tls)) {
    std::string reason;
    if (!OpenTunnel(connection, proxy, server, port, ConnectTimeoutMs(slot.web.timeout_seconds),
                    &reason)) {
      if (connection.Interrupted()) return false;
      ReportProxyFailure(run, slot_number, "Proxy refused",
                         "Proxy " + proxy.Name() + " refused " + server + ":" +
                             text::Decimal(port) + ": " + reason);
      return false;
    }
  }
  return !slot.web.tls ||
         transport.StartTls(run, slot_number, ConnectTimeoutMs(slot.web.timeout_seconds));
}

}  // namespace quorix::http
