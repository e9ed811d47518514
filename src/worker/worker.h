// A worker's view of the run: the slot it works on, its tag in the log, and
// what its requests use. Made where a worker's job starts and handed down,
// so that the layers below take what they use instead of the whole run and
// a slot number; the panel of the slot is written from here, never from the
// HTTP client.
#pragma once

#include <string_view>

#include "convert/article_delivery.h"
#include "http/http_client.h"
#include "log/thread_log.h"
#include "run/run.h"

namespace quorix::worker {

class Worker {
 public:
  // `slot` is one of the run's slots and `tag` its number, which its log
  // lines carry; core makes the view where a job starts.
  Worker(run::Run& run, run::Slot& slot, int tag) : run_(run), slot_(slot), tag_(tag) {}

  run::Slot& slot() const { return slot_; }
  // What the run shares with every worker: the bases and their locks, the
  // sleeper, the installation. Not the other slots.
  run::Run& run() const { return run_; }
  int tag() const { return tag_; }
  void Log(std::string_view message, int level) const;
  log::ThreadLog log() const { return log::ThreadLog{run_.log, tag_}; }

  // What the conversion and delivery of a page it fetched use: the bases,
  // its log, the box's settings and template.
  convert::PageTarget page_target() const;

  // What the worker's requests use; valid while the worker's run lives.
  http::Requester requester() const;

  // Shows on the slot's panel what became of a request: the status text of
  // a failure and, for a failure of the box's setting or of the server, the
  // slot's error mark. A time-out shows without the mark; an answer, a cut
  // and a request that got no answer leave the panel as it is.
  void ShowRequest(const http::Response& response) const;

  // The same for a form: one that went out shows "Disconnected".
  void ShowForm(const http::Response& response) const;

  // What the panel shows while a form goes out (see http::HttpPost).
  void ShowPosting(std::string_view path) const;

 private:
  run::Run& run_;
  run::Slot& slot_;
  int tag_;
};

// The status text of a failed request ("" when the outcome shows none), and
// whether it marks the slot's error.
std::string_view FailureStatus(http::Outcome outcome);
bool MarksError(http::Outcome outcome);

}  // namespace quorix::worker
