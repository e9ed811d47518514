// Test support: a forum in process that answers request paths from a table
// and remembers, for every request, what the slot showed at that moment. The
// harvest reaches it through its page-fetching seam: no socket, no server.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "harvest/page_fetcher.h"
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

  // The fetcher to hand to the harvest; the forum must outlive it.
  PageFetcher fetcher() {
    return [this](std::string_view path) {
      seen_.push_back({std::string(path), slot_.activity.Get(), slot_.status.Get()});
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
    };
  }

  const std::vector<Seen>& seen() const { return seen_; }
  std::vector<std::string> paths() const {
    std::vector<std::string> result;
    for (const Seen& request : seen_) result.push_back(request.path);
    return result;
  }

 private:
  const run::Slot& slot_;
  std::map<std::string, std::string> pages_;
  std::vector<Seen> seen_;
};

}  // namespace quorix::harvest::testing
