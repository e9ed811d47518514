#include "http/http_client.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <vector>

#include "http/proxy.h"
#include "http/kept_connection.h"
#include "http/request_support.h"
#include "http/transport.h"
#include "log/logger.h"
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

void SendParts(const Requester& requester, Transport& connection,
               const std::vector<std::string>& parts, int timeout_ms,
               const RequestDeadline& deadline) {
  // A failed send does not end the request: the reply (if any) is still read.
  for (const std::string& part : parts) {
    if (connection.SendAll(part, deadline.WaitMs(timeout_ms))) {
      requester.total_bytes.fetch_add(static_cast<long long>(part.size()));
    }
  }
}

// Reads until a receive returns nothing, in chunks of at most 4096 bytes,
// straight into the result. Past kMaxResponseBytes nothing more is kept.
// Sets *cut when the request's deadline ended the reading.
std::string ReadResponse(const Requester& requester, Transport& connection, int timeout_ms,
                         const RequestDeadline& deadline, bool* cut) {
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
        requester.total_bytes.fetch_add(extra);
        requester.Log("Response from " + requester.web.server + " cut at 64 MiB", log::kProblem);
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
    requester.total_bytes.fetch_add(kept);
  }
  return response;
}

Response Perform(const Requester& requester, const Request& request,
                 const std::function<void()>& on_connected) {
  if (const Failure failure = CheckServer(requester)) return Failed(*failure);
  const run::WebSettings& web = requester.web;
  const std::string server = web.server;
  const int port = web.port;
  HandleReservation handle(requester.open_handles);
  if (!handle.held()) {
    requester.Log("Not enough handles free", log::kError);
    return Failed(Outcome::kNoHandle);
  }

  Proxy proxy;
  if (const Failure failure = ChooseProxyFor(requester, &proxy)) return Failed(*failure);
  const bool via_proxy = proxy.kind != ProxyKind::kNone;

  const int timeout_ms = TimeoutMs(web.timeout_seconds);
  std::unique_ptr<platform::Connection> connection = platform::Connection::Create();
  if (!connection) {  // the system has no descriptor left
    requester.Log("Not enough handles free", log::kError);
    return Failed(Outcome::kNoHandle);
  }
  Response response;
  {
    // Attached before the connect, so that the status display can cut the
    // request from its first moment to its last.
    ConnectionAttachment attachment(requester.connections, connection.get());
    Transport transport(*connection);
    if (const Failure failure = OpenConnection(requester, *connection, transport, proxy)) {
      return Failed(*failure);
    }
    requester.connections.connected.fetch_add(1);
    if (request.is_post) {
      requester.Log("POST: " + std::string(request.path), log::kProgress);
      if (on_connected) on_connected();
    } else {
      requester.Log("GET: " + std::string(request.path), log::kProgress);
    }
    const RequestDeadline deadline(web.timeout_seconds);
    SendParts(requester, transport, RequestParts(request, server, web.tls, port, proxy),
              timeout_ms, deadline);
    bool cut = false;
    response.text = ReadResponse(requester, transport, timeout_ms, deadline, &cut);
    if (cut) {
      requester.Log("Request to " + server + " cut after" +
                        text::DecimalSigned(deadline.seconds()) +
                        " seconds: " + std::string(request.path),
                    log::kProblem);
      response.text.clear();
    }
    std::string refusal;
    if (via_proxy && proxy.kind == ProxyKind::kHttp && !web.tls &&
        ProxyRefusedRequest(response.text, &refusal)) {
      // The proxy's own answer (it wants a login) is no page of the forum's,
      // and the forum never saw the request.
      requester.connections.connected.fetch_sub(1);
      requester.Log("Proxy " + proxy.Name() + " refused " + server + ":" + text::Decimal(port) +
                        ": " + refusal,
                    log::kError);
      return Failed(Outcome::kProxyRefused);
    }
    const bool interrupted = connection->Interrupted();
    if (response.text.empty() && !cut && !interrupted) {
      requester.Log("No answer from " + server + ": " + std::string(request.path),
                    log::kProblem);
    }
    response.sent = true;
    if (cut) {
      response.outcome = Outcome::kTimedOut;
    } else if (!response.text.empty()) {
      response.outcome = Outcome::kAnswered;
    } else {
      response.outcome = interrupted ? Outcome::kCut : Outcome::kNoAnswer;
    }
    requester.connections.connected.fetch_sub(1);
  }
  connection.reset();
  return response;
}

}  // namespace

Response HttpGet(const Requester& requester, std::string_view path,
                 FetchConnections* connections) {
  if (connections != nullptr && KeepsConnections(requester.web)) {
    Proxy proxy;
    if (const Failure failure = ChooseProxyFor(requester, &proxy)) return Failed(*failure);
    // A plain box behind an HTTP proxy (no tunnel) asks in HTTP/1.0 as before.
    if (proxy.kind != ProxyKind::kHttp || requester.web.tls) {
      return connections->Get(requester, path, proxy);
    }
  }
  Request request;
  request.path = path;
  return Perform(requester, request, {});
}

Response HttpPost(const Requester& requester, std::string_view path, std::string_view body,
                  const std::function<void()>& on_connected) {
  Request request;
  request.is_post = true;
  request.path = path;
  request.body = body;
  return Perform(requester, request, on_connected);
}

}  // namespace quorix::http
