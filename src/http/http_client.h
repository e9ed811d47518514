// The HTTP/1.0 client: one fresh connection per request to the box's forum
// server, the whole raw response (status line, headers, body) as the result.
//
// While a request holds its connection the worker's connections show
// SlotConnected = 1 and hold the connection, so that the status display can
// cut it at any moment; a cut request ends with what it received so far.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "log/logger.h"
#include "run/run.h"

namespace quorix::http {

// The user agent line as every request sends it.
inline constexpr char kUserAgentLine[] = "User-Agent: Korvendale 3.50 (http://quorix.invalid/)";
// The same for a box whose server is "https://...": the web address takes its scheme.
inline constexpr char kUserAgentLineTls[] = "User-Agent: Korvendale 3.50 (https://quorix.invalid/)";
// Responses are cut at this size; the rest is not read.
inline constexpr int64_t kMaxResponseBytes = int64_t{64} * 1024 * 1024;
// Bytes asked for in one receive.
inline constexpr int64_t kReceiveChunk = 4096;
// Besides each wait's WebTimeOut, a whole request (send and receive, after a
// connect of at most WebTimeOut) ends within this many WebTimeOuts, and
// within at least as many seconds: a server that drips its answer cannot
// hold a run. A request cut there is logged and counts as failed: its
// partial answer is never taken for a page.
inline constexpr int kRequestTimeOuts = 8;

// What became of a request. Every failure is told apart, so that the worker
// can say on its panel what happened; the log line (where there is one) was
// written by the request itself.
enum class Outcome {
  kAnswered,            // an answer came (of a plain request the user cut: what came before)
  kNoAnswer,            // the request went out, but nothing came back (logged)
  kNotTaken,            // a kept connection's answer that is no whole answer (logged)
  kTimedOut,            // the request's bound ended it (logged); nothing of it is taken
  kCut,                 // the user cut the connection before an answer (silent)
  kNoServer,            // no WebServer (logged)
  kBadPort,             // WebPort outside 1..65535 (logged)
  kNoHandle,            // no entry of the handle table or of the system left (logged)
  kProxyUnusable,       // the proxy setting cannot be used (logged)
  kProxyDown,           // the proxy cannot be reached (logged)
  kProxyRefused,        // the proxy refused the forum or the login (logged)
  kHostNotFound,        // no connection to the forum's server (logged)
  kCaFileUnusable,      // WebCAFile cannot be read (logged)
  kCertificateRefused,  // the forum's certificate is not trusted (logged)
  kTlsFailed,           // the TLS handshake failed otherwise (logged)
};

// The result of a request.
struct Response {
  Outcome outcome = Outcome::kCut;
  // The whole raw answer (status line, headers, body); empty unless answered.
  std::string text;
  // Whether the request went out to the forum: a form that was sent may
  // have been taken although no answer confirms it.
  bool sent = false;
};

// Whom a request works for: the box's web settings, the log and the worker's
// tag in it, the worker's connections (which the status display may cut) and
// the process's counters. A request touches nothing else of the run.
struct Requester {
  const run::WebSettings& web;
  log::Logger& log;
  int thread;  // the worker's tag in the log (its slot)
  run::WorkerConnections& connections;
  std::atomic<int>& open_handles;        // entries of the handle table in use
  std::atomic<long long>& total_bytes;  // bytes sent and received
  // When set, the request's log lines are built (with their times) and kept
  // here instead of written: a fetch made ahead on another thread, whose
  // lines come out when its page is taken.
  std::string* held_lines = nullptr;

  void Log(std::string_view message, int level) const {
    if (held_lines != nullptr) {
      held_lines->append(log.BuildLine(message, thread, level));
    } else {
      log.WriteLog(message, thread, level);
    }
  }
};

class FetchConnections;

// An https server ("WebServer=https://...") is spoken to over TLS on the same
// connection; everything else is the same.
//
// GET `path` from the box's WebServer. With `connections` (a harvest's) and a
// box that keeps connections (see KeepsConnections), the request goes over
// one of them as HTTP/1.1 and the answer comes back as FetchConnections::Get
// describes; otherwise over a fresh HTTP/1.0 connection.
Response HttpGet(const Requester& requester, std::string_view path,
                 FetchConnections* connections = nullptr);

// POST the form-encoded `body` to `path` over a fresh HTTP/1.0 connection.
// `on_connected` (if set) is called once the connection is open, before the
// form goes out.
Response HttpPost(const Requester& requester, std::string_view path, std::string_view body,
                  const std::function<void()>& on_connected = {});

}  // namespace quorix::http
