// What the benchmarks share: a scratch directory (on tmpfs when the machine
// has one) and a run state of their own with one fetch slot, set up as a
// harvest run has it: spool directory, forum template, main log open.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "convert/article_delivery.h"
#include "run/run.h"
#include "run/testing.h"

namespace quorix::bench {

inline constexpr int kSlot = 1;

// Where scratch directories go: $QUORIX_BENCH_DIR, else /dev/shm when it is a
// directory, else the system's temporary directory.
std::filesystem::path ScratchRoot();

// A fresh directory below ScratchRoot(), removed at the end.
class ScratchDir {
 public:
  explicit ScratchDir(std::string_view tag);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Removes everything inside.
  void Empty() const;

 private:
  std::filesystem::path path_;
};

// The template a box file of that engine carries (run::kUbb or run::kUbbThreads).
run::ForumTemplate EngineTemplate(int engine);

// A run state over a fixed clock, a sleeper that does not sleep and a
// headless console, with its program directory, main log and slot 1's spool
// directory ("SPOOL\") in `dir`. The dupe base starts empty.
class BenchRun {
 public:
  BenchRun(const std::filesystem::path& dir, const run::ForumTemplate& tmpl, int engine);
  run::Run& run() { return state_->run; }
  std::filesystem::path SpoolDir() const { return dir_ / "SPOOL"; }

 private:
  std::filesystem::path dir_;
  std::unique_ptr<testing::TestRun> state_;
};

// Number of regular files in a directory.
size_t CountFiles(const std::filesystem::path& dir);
// Number of rnews entries ("#! rnews " batch lines) in the files of a directory.
size_t CountSpoolArticles(const std::filesystem::path& dir);

// A page converted and delivered, as the article retrieval does it.
inline convert::PageOutcome ConvertAndDeliver(int engine, const convert::PageTarget& target,
                                              std::string_view newsgroup, std::string_view address,
                                              int forum, std::string_view page,
                                              convert::TopicConversion& topic) {
  const std::vector<convert::Post> posts = convert::PagePosts(
      engine, target.forum_template, target.web.time_zone, newsgroup, address, forum, page, topic);
  return convert::DeliverPage(target, newsgroup, address, posts, topic);
}

}  // namespace quorix::bench
