// Scratch directories and run states for the benchmarks.
#include "bench/bench_support.h"

#include <cstdlib>
#include <random>

#include "bench/forum_pages.h"
#include "config/forum_template.h"
#include "platform/file.h"
#include "text/text.h"

namespace quorix::bench {

std::filesystem::path ScratchRoot() {
  if (const char* configured = std::getenv("QUORIX_BENCH_DIR")) {
    if (*configured != '\0') return configured;
  }
  std::error_code ignored;
  if (std::filesystem::is_directory("/dev/shm", ignored)) return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

ScratchDir::ScratchDir(std::string_view tag) {
  std::random_device random;
  const std::filesystem::path root = ScratchRoot();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    std::filesystem::path candidate =
        root / ("quorix-bench-" + std::string(tag) + "-" + std::to_string(random()));
    if (std::filesystem::create_directories(candidate)) path_ = candidate;
  }
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::Empty() const {
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    std::filesystem::remove_all(entry.path());
  }
}

run::ForumTemplate EngineTemplate(int engine) {
  return config::ReadForumTemplate(engine == run::kUbbThreads ? ThreadsTemplateText()
                                                              : UbbTemplateText());
}

BenchRun::BenchRun(const std::filesystem::path& dir, const run::ForumTemplate& tmpl, int engine)
    : dir_(dir), state_(std::make_unique<testing::TestRun>()) {
  std::filesystem::create_directories(SpoolDir());
  run::Run& r = state_->run;
  r.env.program_dir = dir.string() + "/";
  r.log.SetMainLog(platform::File::Open((dir / "QUORIX.LOG").string(), platform::Access::kAppend,
                                        platform::Sharing::kShared, platform::Missing::kCreate),
                   "");
  r.RaiseDupeBaseLimit(128000);
  run::Slot& slot = r.slots[kSlot];
  slot.web.server = "127.0.0.1";
  slot.web.engine = engine;
  slot.web.spool = SpoolDir().string() + "\\";
  slot.web.path = engine == run::kUbbThreads ? "ubbthreads/" : "support/forums/";
  slot.forum_template = tmpl;
}

size_t CountFiles(const std::filesystem::path& dir) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.is_regular_file()) ++count;
  }
  return count;
}

size_t CountSpoolArticles(const std::filesystem::path& dir) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string data;
    if (entry.is_regular_file() && platform::ReadWholeFile(entry.path().string(), &data)) {
      // Batch lines start the file or follow the LF that ends an article.
      if (data.compare(0, 9, "#! rnews ") == 0) ++count;
      count += text::CountOccurrences(data, "\n#! rnews ");
    }
  }
  return count;
}

}  // namespace quorix::bench
