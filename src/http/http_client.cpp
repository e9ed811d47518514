#include "http/http_client.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <mutex>
#include <vector>

#include "http/proxy.h"
#include "http/transport.h"
#include "log/logger.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/socket.h"
#include "text/text.h"

namespace quorix::http {

namespace {

constexpr char kCrLf[] = "\r\n";

struct Request {
  bool is_post = false;
  std::string_view path;
  std::string_view body;
};

// The request target: the path without blanks around it. Topic links come
// from forum pages, so a CR, LF or NUL in one is sent percent-encoded and can
// never end the request line or add header lines of a hostile page's making.
std::string RequestTarget(std::string_view path) {
  std::string target(text::TrimBlanks(path));
  target = text::ReplaceAll(target, "\r", "%0D");
  target = text::ReplaceAll(target, "\n", "%0A");
  return text::ReplaceAll(target, std::string_view("\0", 1), "%00");
}

// The request as it goes out: every element is one send call. Lines end in
// CR LF; a POST body follows the empty line as it is, with nothing after it.
// Through an HTTP proxy (plain servers only: https ones get a tunnel) the
// target takes its absolute form and the proxy's login follows the request
// line.
std::vector<std::string> RequestParts(const Request& request, const std::string& server, bool tls,
                                      int port, const Proxy& proxy) {
  const bool via_http_proxy = proxy.kind == ProxyKind::kHttp && !tls;
  std::string path = RequestTarget(request.path);
  if (via_http_proxy) path = AbsoluteTarget(server, port, path);
  const std::string proxy_login = via_http_proxy ? ProxyAuthorizationLine(proxy) : "";
  const std::string user_agent_line = std::string(tls ? kUserAgentLineTls : kUserAgentLine);
  const std::string host_line = "Host: " + server + kCrLf;
  const std::string referer_line = "Referer: " + server + kCrLf;
  std::vector<std::string> parts;
  if (!request.is_post) {
    parts.push_back("GET " + std::string(path) + " HTTP/1.0" + kCrLf);
    if (!proxy_login.empty()) parts.push_back(proxy_login);
    parts.push_back(host_line);
    parts.push_back(referer_line);
    parts.push_back(user_agent_line + kCrLf);
    parts.push_back(kCrLf);
    return parts;
  }
  parts.push_back("POST " + std::string(path) + " HTTP/1.0" + kCrLf);
  if (!proxy_login.empty()) parts.push_back(proxy_login);
  parts.push_back(referer_line);
  parts.push_back(host_line);
  parts.push_back(user_agent_line + kCrLf);
  parts.push_back(std::string("Content-type: application/x-www-form-urlencoded") + kCrLf);
  parts.push_back(
      "Content-Length:" + text::DecimalSigned(static_cast<int64_t>(request.body.size())) + kCrLf);
  parts.push_back(kCrLf);
  parts.push_back(std::string(request.body));
  return parts;
}

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

// Keeps the connection attached to the slot, so that the status display can
// cut it; detaches it again before the connection is destroyed.
class SlotAttachment {
 public:
  SlotAttachment(run::Slot& slot, platform::Connection* connection) : slot_(slot) {
    slot_.AttachConnection(connection);
  }
  ~SlotAttachment() { slot_.DetachConnection(); }
  SlotAttachment(const SlotAttachment&) = delete;
  SlotAttachment& operator=(const SlotAttachment&) = delete;

 private:
  run::Slot& slot_;
};

// WebTimeOut counts seconds; waits take milliseconds.
int TimeoutMs(int seconds) {
  if (seconds <= 0) return 0;
  if (seconds > INT_MAX / 1000) return INT_MAX;
  return seconds * 1000;
}

// The connect waits WebTimeOut too, but at least a second, so that a time-out
// of 0 still lets a connection be made.
int ConnectTimeoutMs(int seconds) {
  const int ms = TimeoutMs(seconds);
  return ms < 1000 ? 1000 : ms;
}

// The end of a whole request: kRequestTimeOuts x WebTimeOut from now, and at
// least as many seconds.
class RequestDeadline {
 public:
  explicit RequestDeadline(int timeout_seconds)
      : seconds_(std::max(1, timeout_seconds) * int64_t{kRequestTimeOuts}),
        end_(std::chrono::steady_clock::now() + std::chrono::seconds(seconds_)) {}
  int64_t seconds() const { return seconds_; }
  bool Passed() const { return std::chrono::steady_clock::now() >= end_; }
  // `timeout_ms`, shortened to what is left of the request.
  int WaitMs(int timeout_ms) const {
    // Rounded up, so that a wait that ends at its bound ends after it.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<int64_t>(left, timeout_ms));
  }

 private:
  int64_t seconds_;
  std::chrono::steady_clock::time_point end_;
};

void SendParts(run::Run& run, Transport& connection, const std::vector<std::string>& parts,
               int timeout_ms, const RequestDeadline& deadline) {
  // A failed send does not end the request: the reply (if any) is still read.
  for (const std::string& part : parts) {
    if (connection.SendAll(part, deadline.WaitMs(timeout_ms))) {
      run.total_bytes.fetch_add(static_cast<long long>(part.size()));
    }
  }
}

// Reads until a receive returns nothing, in chunks of at most 4096 bytes,
// straight into the result. Past kMaxResponseBytes nothing more is kept.
// Sets *cut when the request's deadline ended the reading.
std::string ReadResponse(run::Run& run, Transport& connection, int timeout_ms,
                         const RequestDeadline& deadline, const std::string& server, int slot,
                         bool* cut) {
  std::string response;
  for (;;) {
    if (deadline.Passed()) {
      *cut = true;
      break;
    }
    const auto size = static_cast<int64_t>(response.size());
    if (size >= kMaxResponseBytes) {
      char probe = 0;
      const int64_t extra = connection.Receive(&probe, 1, deadline.WaitMs(timeout_ms));
      if (extra > 0) {
        run.total_bytes.fetch_add(extra);
        run.log.WriteLog("Response from " + server + " cut at 64 MiB", slot, log::kProblem);
      }
      break;
    }
    const int64_t want = std::min(kReceiveChunk, kMaxResponseBytes - size);
    response.resize(static_cast<size_t>(size + want));
    const int wait_ms = deadline.WaitMs(timeout_ms);
    const int64_t got = connection.Receive(response.data() + size, want, wait_ms);
    const int64_t kept = got > 0 ? got : 0;
    response.resize(static_cast<size_t>(size + kept));
    if (kept == 0) {
      // A wait that the request's bound shortened ended the answer: cut.
      *cut = wait_ms < timeout_ms || deadline.Passed();
      break;
    }
    run.total_bytes.fetch_add(kept);
  }
  return response;
}

// A proxy that cannot be used, is down or refuses: an error of its own,
// never taken for the forum's.
void ReportProxyFailure(run::Run& run, int slot_number, const char* status,
                        const std::string& message) {
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  run.log.WriteLog(message, slot_number, log::kError);
  slot.status.Set(status);
  slot.error.store(1);
}

void WritePostedHtml(run::Run& run, std::string_view response) {
  // One file for all slots: one writer at a time, and a crash never leaves
  // half an answer behind.
  // The cross-process file lock is held by every writer of it, so a
  // killed run's temporary copy can be told from one being written.
  std::lock_guard<std::mutex> lock(run.posted_html_lock);
  std::lock_guard<platform::NamedMutex> file_lock(run.file_open_mutex);
  platform::DeleteReplaceLeftovers(kPostedHtmlFile);
  platform::ReplaceFileContents(kPostedHtmlFile, response);
}

std::string Perform(run::Run& run, const Request& request, int slot_number,
                    RequestOutcome* outcome) {
  *outcome = RequestOutcome::kNotSent;
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  const std::string server = slot.web.server;
  if (server.empty()) {
    const char* message = "No WebBBS-Server specified";
    run.log.WriteLog(message, slot_number, log::kError);
    slot.status.Set(message);
    slot.error.store(1);
    return {};
  }
  const int port = slot.web.port;
  if (!slot.web.port_valid || port < 1 || port > 65535) {
    // The configuration has logged the value it read; the port is never
    // wrapped into range, so no connection is made.
    const char* message = "Invalid WebPort (not in 1..65535)";
    run.log.WriteLog(message, slot_number, log::kError);
    slot.status.Set(message);
    slot.error.store(1);
    return {};
  }
  HandleReservation handle(run.open_handles);
  if (!handle.held()) {
    run.log.WriteLog("Not enough handles free", slot_number, log::kError);
    return {};
  }

  std::string proxy_problem;
  const Proxy proxy = ChooseProxy(
      slot.web, [](std::string_view name) { return platform::GetEnvironment(name); },
      &proxy_problem);
  if (!proxy_problem.empty()) {
    ReportProxyFailure(run, slot_number, "Proxy setting unusable", "Proxy: " + proxy_problem);
    return {};
  }
  const bool via_proxy = proxy.kind != ProxyKind::kNone;

  const int timeout_ms = TimeoutMs(slot.web.timeout_seconds);
  std::unique_ptr<platform::Connection> connection = platform::Connection::Create();
  if (!connection) {  // the system has no descriptor left
    run.log.WriteLog("Not enough handles free", slot_number, log::kError);
    return {};
  }
  std::string response;
  {
    // Attached before the connect, so that the status display can cut the
    // request from its first moment to its last.
    SlotAttachment attachment(slot, connection.get());
    const bool connected =
        connection->ConnectTo(via_proxy ? proxy.host : server, via_proxy ? proxy.port : port,
                              ConnectTimeoutMs(slot.web.timeout_seconds));
    slot.socket.store(connected ? connection->Handle() : 0);
    if (!connected) {
      // A connect cut by the user is no fault of the server.
      if (connection->Interrupted()) return {};
      if (via_proxy) {
        ReportProxyFailure(run, slot_number, "Proxy not reachable",
                           "Proxy " + proxy.Name() + " not reachable");
        return {};
      }
      slot.status.Set("Host not found");
      run.log.WriteLog("WebBBS Server " + server + " not found", slot_number, log::kProblem);
      slot.error.store(1);
      return {};
    }
    if (via_proxy && (proxy.kind == ProxyKind::kSocks5 || slot.web.tls)) {
      std::string reason;
      if (!OpenTunnel(*connection, proxy, server, port, ConnectTimeoutMs(slot.web.timeout_seconds),
                      &reason)) {
        if (connection->Interrupted()) return {};
        ReportProxyFailure(run, slot_number, "Proxy refused",
                           "Proxy " + proxy.Name() + " refused " + server + ":" +
                               text::Decimal(port) + ": " + reason);
        return {};
      }
    }
    Transport transport(*connection);
    if (slot.web.tls &&
        !transport.StartTls(run, slot_number, ConnectTimeoutMs(slot.web.timeout_seconds))) {
      return {};
    }
    slot.connected.store(1);
    if (request.is_post) {
      run.log.WriteLog("POST: " + std::string(request.path), slot_number, log::kProgress);
      slot.activity.Set("Posting Article(s)");
      slot.status.Set(request.path);
    } else {
      run.log.WriteLog("GET: " + std::string(request.path), slot_number, log::kProgress);
    }
    const RequestDeadline deadline(slot.web.timeout_seconds);
    SendParts(run, transport, RequestParts(request, server, slot.web.tls, port, proxy), timeout_ms, deadline);
    bool cut = false;
    response = ReadResponse(run, transport, timeout_ms, deadline, server, slot_number, &cut);
    if (cut) {
      run.log.WriteLog("Request to " + server + " cut after" +
                           text::DecimalSigned(deadline.seconds()) +
                           " seconds: " + std::string(request.path),
                       slot_number, log::kProblem);
      slot.status.Set("Timeout");
      response.clear();
    }
    std::string refusal;
    if (via_proxy && proxy.kind == ProxyKind::kHttp && !slot.web.tls &&
        ProxyRefusedRequest(response, &refusal)) {
      // The proxy's own answer (it wants a login) is no page of the forum's,
      // and the forum never saw the request.
      slot.connected.store(0);
      ReportProxyFailure(run, slot_number, "Proxy refused",
                         "Proxy " + proxy.Name() + " refused " + server + ":" +
                             text::Decimal(port) + ": " + refusal);
      return {};
    }
    if (response.empty() && !cut && !connection->Interrupted()) {
      run.log.WriteLog("No answer from " + server + ": " + std::string(request.path),
                       slot_number, log::kProblem);
    }
    *outcome = response.empty() ? RequestOutcome::kNoAnswer : RequestOutcome::kAnswered;
    if (request.is_post) WritePostedHtml(run, response);
    slot.connected.store(0);
    if (request.is_post) slot.status.Set("Disconnected");
  }
  connection.reset();
  return response;
}

}  // namespace

std::string HttpGet(run::Run& run, std::string_view path, int slot) {
  Request request;
  request.path = path;
  RequestOutcome outcome;
  return Perform(run, request, slot, &outcome);
}

std::string HttpPost(run::Run& run, std::string_view path, std::string_view body, int slot,
                     RequestOutcome* outcome) {
  Request request;
  request.is_post = true;
  request.path = path;
  request.body = body;
  RequestOutcome ignored;
  return Perform(run, request, slot, outcome != nullptr ? outcome : &ignored);
}

}  // namespace quorix::http
