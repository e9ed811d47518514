// Test support: a loopback forum that answers request paths from a table and
// remembers, for every request, what the slot showed at that moment.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "http/test_server.h"
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
  // Serves `pages` by request path (any other path: an empty answer) and
  // points `slot`'s web settings at the forum.
  TestForum(run::Slot& slot, std::map<std::string, std::string> pages) : pages_(std::move(pages)) {
    server_ = std::make_unique<http::testing::TestServer>([this, &slot](std::string_view request) {
      const size_t blank = request.find(' ');
      const size_t end = request.find(" HTTP/1.0");
      const std::string path(request.substr(blank + 1, end - blank - 1));
      std::lock_guard<std::mutex> lock(lock_);
      seen_.push_back({path, slot.activity.Get(), slot.status.Get()});
      const auto page = pages_.find(path);
      return page == pages_.end() ? std::string() : page->second;
    });
    slot.web.server = "127.0.0.1";
    slot.web.port = server_->port();
    slot.web.port_valid = true;
    slot.web.timeout_seconds = 5;
  }

  bool listening() const { return server_->listening(); }
  std::vector<Seen> seen() const {
    std::lock_guard<std::mutex> lock(lock_);
    return seen_;
  }
  std::vector<std::string> paths() const {
    std::vector<std::string> result;
    for (const Seen& request : seen()) result.push_back(request.path);
    return result;
  }

 private:
  std::map<std::string, std::string> pages_;
  mutable std::mutex lock_;
  std::vector<Seen> seen_;
  std::unique_ptr<http::testing::TestServer> server_;  // last: stops first
};

}  // namespace quorix::harvest::testing
