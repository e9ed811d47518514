#include "http/http_client.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <mutex>
#include <vector>

#include "http/proxy.h"
#include "http/kept_connection.h"
#include "http/request_support.h"
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

void WritePostedHtml(run::Run& run, std::string_view response) {
  // One file for all slots: one writer at a time, and a crash never leaves
  // half an answer behind.
  // The cross-process file lock is held by every writer of it, so a
  // killed run's temporary copy can be told from one being written.
  std::lock_guard<std::mutex> lock(run.posted_html_lock);
  platform::NamedLock file_lock(run.file_open_mutex);
  platform::DeleteReplaceLeftovers(kPostedHtmlFile);
  platform::ReplaceFileContents(kPostedHtmlFile, response);
}

std::string Perform(run::Run& run, const Request& request, int slot_number,
                    RequestOutcome* outcome) {
  *outcome = RequestOutcome::kNotSent;
  if (!CheckServer(run, slot_number)) return {};
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  const std::string server = slot.web.server;
  const int port = slot.web.port;
  HandleReservation handle(run.open_handles);
  if (!handle.held()) {
    run.log.WriteLog("Not enough handles free", slot_number, log::kError);
    return {};
  }

  Proxy proxy;
  if (!ChooseSlotProxy(run, slot_number, &proxy)) return {};
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
    Transport transport(*connection);
    if (!OpenConnection(run, slot_number, *connection, transport, proxy)) return {};
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

std::string HttpGet(run::Run& run, std::string_view path, int slot,
                    FetchConnections* connections) {
  const run::WebSettings& web = run.slots.at(static_cast<size_t>(slot)).web;
  if (connections != nullptr && KeepsConnections(web)) {
    Proxy proxy;
    if (!ChooseSlotProxy(run, slot, &proxy)) return {};
    // A plain box behind an HTTP proxy (no tunnel) asks in HTTP/1.0 as before.
    if (proxy.kind != ProxyKind::kHttp || web.tls) return connections->Get(run, path, slot, proxy);
  }
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
