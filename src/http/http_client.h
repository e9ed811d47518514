// The HTTP/1.0 client: one fresh connection per request to the slot's forum
// server, the whole raw response (status line, headers, body) as the result.
//
// While a request holds its connection the slot shows SlotConnected = 1 and
// the connection is attached to the slot, so that the status display can cut
// it at any moment; a cut request ends with what it received so far.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "run/run.h"

namespace quorix::http {

// The user agent line as every request sends it.
inline constexpr char kUserAgentLine[] = "User-Agent: Korvendale 3.50 (http://quorix.invalid/)";
// The same for a box whose server is "https://...": the web address takes its scheme.
inline constexpr char kUserAgentLineTls[] = "User-Agent: Korvendale 3.50 (https://quorix.invalid/)";
// The answer to the last form submission, in the current directory.
inline constexpr char kPostedHtmlFile[] = "POSTED.HTML";
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

// What became of a form submission, for the caller who must know whether the
// forum may have taken it although no answer confirmed it.
enum class RequestOutcome {
  kNotSent,   // no connection: the forum never saw the form
  kAnswered,  // the answer came and the connection ended
  kNoAnswer,  // the form went out, but the answer was cut or never came
};

class FetchConnections;

// An https server ("WebServer=https://...") is spoken to over TLS on the same
// connection; everything else is the same.
//
// GET `path` from the slot's WebServer. Empty when the request could not be
// made or was cut at its bound. With `connections` (a harvest's) and a box
// that keeps connections (see KeepsConnections), the request goes over one
// of them as HTTP/1.1 and the answer comes back as FetchConnections::Get
// describes; otherwise over a fresh HTTP/1.0 connection.
std::string HttpGet(run::Run& run, std::string_view path, int slot,
                    FetchConnections* connections = nullptr);

// POST the form-encoded `body` to `path`; the response is also written to
// POSTED.HTML. Empty when the request could not be made or was cut at its
// bound; `outcome` (if given) tells which.
std::string HttpPost(run::Run& run, std::string_view path, std::string_view body, int slot,
                     RequestOutcome* outcome = nullptr);

}  // namespace quorix::http
