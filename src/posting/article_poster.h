// The posting of one outgoing file, shared by both engines: read, classify,
// build the form, submit, and delete the file only when the forum confirmed it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "http/http_client.h"
#include "run/run.h"
#include "worker/worker.h"

namespace quorix::posting {

// The answer to the last form submission, in the current directory.
inline constexpr char kPostedHtmlFile[] = "POSTED.HTML";

// Sends a form for the worker posting it and returns what became of it:
// http::HttpPost in the program (the answer is also written to POSTED.HTML,
// the slot's panel shows the request), a stand-in in tests.
using FormSender = std::function<http::Response(std::string_view path, std::string_view body)>;

// Keeps `response` as POSTED.HTML in the current directory, replacing the
// last one whole (a crash leaves the old or the new file) and deleting what
// a killed run's rewrite left behind. One writer at a time, in this process
// and in every other that holds the file-open lock.
void WritePostedHtml(run::Run& run, std::string_view response);

// The program's form sender for the slot's worker: the HTTP client; a form
// that went out leaves its answer in POSTED.HTML; the slot's panel shows the
// form while it goes out and then what became of it.
FormSender HttpFormSender(const worker::Worker& worker);

// Outgoing files above this size are not posted (and stay in the spool): no
// forum takes such a post, and memory stays bounded.
constexpr int64_t kMaxOutgoingFileSize = 16 * 1024 * 1024;

// Posts WebSpool + `file_name` of the slot's box for `engine` (run::kUbb or
// run::kUbbThreads). Log "Posting: " + file; status while reading "Posting
// Article <n> (<subject>)"; outcome "Article posted" (file deleted) or "Error
// posting Article" / "Article not posted" (file kept). A file that cannot be
// opened empties the status and stays. A file without any non-empty line is
// no article: it is not posted and stays. Returns true when confirmed.
//
// New topics and replies are recorded as pending (bases/pending_posts.h)
// before their form is sent, and the record is removed once the forum
// answered whole or was never reached. A file whose record was left by an
// earlier run is not sent again: it is deleted when the harvest saw it on the
// forum ("Article already on the forum"), else it stays with a level 2 line
// saying why. Edits and deletes are sent again as before: an edit sent twice
// gives the same post, and a delete of a deleted post is refused.
bool PostOutgoingArticle(const worker::Worker& worker, int engine, std::string_view file_name,
                         int article_number, const FormSender& send);

}  // namespace quorix::posting
