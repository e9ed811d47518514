#include "http/kept_connection.h"

#include <chrono>

#include "http/http_client.h"
#include "http/request_support.h"
#include "http/response_reader.h"
#include "http/transport.h"
#include "log/logger.h"
#include "platform/socket.h"
#include "text/text.h"

namespace quorix::http {

namespace {

constexpr char kCrLf[] = "\r\n";

// What a kept connection was opened for: another box's server, port, scheme,
// trusted roots or proxy need a connection of their own.
std::string LinkKey(const run::WebSettings& web, const Proxy& proxy) {
  return web.server + "\n" + text::Decimal(web.port) + "\n" + (web.tls ? "s" : "") + "\n" +
         web.ca_file + "\n" + proxy.Name();
}

}  // namespace

struct FetchConnections::Link {
  explicit Link(std::atomic<int>& open_handles) : handle(open_handles) {}
  HandleReservation handle;
  std::unique_ptr<platform::Connection> connection;
  // Declared after the connection: the TLS stream ends before it.
  std::unique_ptr<Transport> transport;
  std::string key;
  int answered = 0;  // requests answered on it so far
};

bool KeepsConnections(const run::WebSettings& web) {
  return web.keep_alive == 1 || (web.keep_alive == -1 && web.tls);
}

int ConnectionCount(const run::WebSettings& web) {
  if (!KeepsConnections(web)) return 1;
  return web.connections >= 1 ? web.connections : kDefaultConnections;
}

std::string KeptGetRequest(std::string_view path, const run::WebSettings& web) {
  // HTTP/1.1 names the port in Host unless it is the scheme's own.
  std::string host = web.server;
  if (web.port != (web.tls ? 443 : 80)) host += ":" + text::Decimal(web.port);
  std::string request = "GET " + RequestTarget(path) + " HTTP/1.1" + kCrLf;
  request += "Host: " + host + kCrLf;
  request += "Referer: " + web.server + kCrLf;
  request += std::string(web.tls ? kUserAgentLineTls : kUserAgentLine) + kCrLf;
  request += std::string("Accept-Encoding: gzip") + kCrLf;
  request += kCrLf;
  return request;
}

FetchConnections::FetchConnections(bool own_tls_client) : own_tls_client_(own_tls_client) {}
FetchConnections::~FetchConnections() = default;

Response FetchConnections::Get(const Requester& requester, std::string_view path,
                               const Proxy& proxy) {
  if (const Failure failure = CheckServer(requester)) return Failed(*failure);
  const run::WebSettings& web = requester.web;
  const std::string server = web.server;
  const std::string key = LinkKey(web, proxy);
  if (link_ && (link_->key != key || link_->connection->Interrupted())) link_.reset();
  const int timeout_ms = TimeoutMs(web.timeout_seconds);
  const std::string request = KeptGetRequest(path, web);
  bool logged = false;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const bool reused = link_ != nullptr;
    if (!reused) {
      auto link = std::make_unique<Link>(requester.open_handles);
      if (!link->handle.held()) {
        requester.Log("Not enough handles free", log::kError);
        return Failed(Outcome::kNoHandle);
      }
      link->connection = platform::Connection::Create();
      if (!link->connection) {  // the system has no descriptor left
        requester.Log("Not enough handles free", log::kError);
        return Failed(Outcome::kNoHandle);
      }
      link->transport = std::make_unique<Transport>(*link->connection);
      link->key = key;
      ConnectionAttachment attachment(requester.connections, link->connection.get());
      if (const Failure failure =
              OpenConnection(requester, *link->connection, *link->transport, proxy,
                             own_tls_client_ ? &tls_client_ : nullptr)) {
        return Failed(*failure);
      }
      link_ = std::move(link);
    }
    Link& link = *link_;
    KeptResponse answer;
    bool deadline_passed = false;  // the request's bound ended it
    bool waited_out = false;       // a wait of WebTimeOut passed without a byte
    const RequestDeadline deadline(web.timeout_seconds);
    {
      ConnectionAttachment attachment(requester.connections, link.connection.get());
      requester.connections.socket.store(link.connection->Handle());
      const ConnectedMark connected(requester.connections);
      if (!logged) {
        requester.Log("GET: " + std::string(path), log::kProgress);
        logged = true;
      }
      // One send: the request never waits for the acknowledgement of a part.
      if (link.transport->SendAll(request, deadline.WaitMs(timeout_ms))) {
        requester.total_bytes.fetch_add(static_cast<long long>(request.size()));
      }
      const ByteSource source = [&](char* buffer, int64_t size) -> int64_t {
        if (deadline.Passed()) {
          deadline_passed = true;
          return 0;
        }
        const int wait_ms = deadline.WaitMs(timeout_ms);
        const auto start = std::chrono::steady_clock::now();
        const int64_t got = link.transport->Receive(buffer, size, wait_ms);
        if (got > 0) {
          requester.total_bytes.fetch_add(got);
          return got;
        }
        // Nothing until the wait's end is a time-out; sooner, a close.
        if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(wait_ms)) {
          if (wait_ms < timeout_ms || deadline.Passed()) {
            deadline_passed = true;
          } else {
            waited_out = true;
          }
        }
        return 0;
      };
      ReaderLimits limits;
      limits.max_response_bytes = kMaxResponseBytes;
      answer = ReadKeptResponse(source, limits);
    }
    Response response;
    response.sent = true;
    if (link.connection->Interrupted()) {
      // The user cut it: nothing of it is taken, and nothing is said.
      link_.reset();
      response.outcome = Outcome::kCut;
      return response;
    }
    if (answer.failure == ReadFailure::kNone) {
      ++link.answered;
      if (!answer.reusable) link_.reset();
      response.outcome = Outcome::kAnswered;
      response.text = std::move(answer.response);
      return response;
    }
    link_.reset();
    if (deadline_passed) {
      requester.Log("Request to " + server + " cut after" +
                        text::DecimalSigned(deadline.seconds()) + " seconds: " +
                        std::string(path),
                    log::kProblem);
      response.outcome = Outcome::kTimedOut;
      return response;
    }
    // A connection the server closed between requests: once more, fresh.
    if (answer.failure == ReadFailure::kNoAnswer && reused && !waited_out) continue;
    const std::string reason = waited_out ? "no byte for " +
                                                text::Decimal(web.timeout_seconds) +
                                                " seconds"
                                          : std::string(ReadFailureText(answer.failure));
    requester.Log(
        "Answer of " + server + " to " + std::string(path) + " not taken (" + reason + ")",
        log::kProblem);
    response.outcome = Outcome::kNotTaken;
    return response;
  }
  return Failed(Outcome::kNotTaken);  // not reached: the second attempt always returns
}

}  // namespace quorix::http
