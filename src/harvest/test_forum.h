// Test support: a forum in process that answers request paths from a table
// and remembers, for every request, what the slot showed at that moment. The
// harvest reaches it through its page-fetching seam: no socket, no server.
// Its fetchers may be used from several threads at once.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "harvest/page_fetcher.h"
#include "log/logger.h"
#include "run/run.h"

namespace quorix::harvest::testing {

// One request as the forum saw it.
struct Seen {
  std::string path;
  std::string activity;  // SlotActivity while the request was made
  std::string status;    // SlotStatus while the request was made
};

class TestForum {
 public:
  // Serves `pages` (whole answers) by request path; any other path gets no
  // answer, as from a server that closes at once.
  TestForum(const run::Slot& slot, std::map<std::string, std::string> pages)
      : slot_(slot), pages_(std::move(pages)) {}

  // Every request logs "GET: " + path for `tag`, as the HTTP client does.
  void LogRequests(log::Logger& log, int tag) {
    log_ = &log;
    tag_ = tag;
  }
  // Called with each request's path before it is answered (on the thread
  // that asks).
  void OnRequest(std::function<void(std::string_view path)> hook) { hook_ = std::move(hook); }

  // The fetcher to hand to the harvest; the forum must outlive it.
  PageFetcher fetcher() {
    return [this](std::string_view path) { return Answer(path, nullptr); };
  }
  // `count` fetchers for topic pages (see TopicFetchers).
  TopicFetchers topic_fetchers(int count) {
    TopicFetchers fetchers;
    for (int index = 0; index < count; ++index) {
      fetchers.push_back(
          [this](std::string_view path, std::string* lines) { return Answer(path, lines); });
    }
    return fetchers;
  }

  std::vector<Seen> seen() const {
    std::lock_guard<std::mutex> lock(lock_);
    return seen_;
  }
  // Requests made through topic_fetchers().
  int held_requests() const {
    std::lock_guard<std::mutex> lock(lock_);
    return held_requests_;
  }
  std::vector<std::string> paths() const {
    std::vector<std::string> result;
    for (const Seen& request : seen()) result.push_back(request.path);
    return result;
  }

 private:
  http::Response Answer(std::string_view path, std::string* lines) {
    if (hook_) hook_(path);
    {
      std::lock_guard<std::mutex> lock(lock_);
      seen_.push_back({std::string(path), slot_.activity.Get(), slot_.status.Get()});
      if (lines != nullptr) ++held_requests_;
    }
    if (log_ != nullptr) {
      const std::string message = "GET: " + std::string(path);
      if (lines != nullptr) {
        lines->append(log_->BuildLine(message, tag_, log::kProgress));
      } else {
        log_->WriteLog(message, tag_, log::kProgress);
      }
    }
    http::Response response;
    response.sent = true;
    const auto page = pages_.find(std::string(path));
    if (page == pages_.end() || page->second.empty()) {
      response.outcome = http::Outcome::kNoAnswer;
      return response;
    }
    response.outcome = http::Outcome::kAnswered;
    response.text = page->second;
    return response;
  }

  const run::Slot& slot_;
  const std::map<std::string, std::string> pages_;
  log::Logger* log_ = nullptr;
  int tag_ = 0;
  std::function<void(std::string_view path)> hook_;
  mutable std::mutex lock_;
  std::vector<Seen> seen_;
  int held_requests_ = 0;
};

}  // namespace quorix::harvest::testing
