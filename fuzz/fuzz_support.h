// What the fuzz targets share: splitting an input into parts, a check that
// stops the run with a message, the simulator's forum templates, and a run
// state in a scratch program directory created once per process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "run/run.h"
#include "run/testing.h"

namespace quorix::fuzz {

// Inputs with several parts separate them with this byte (ASCII "record
// separator"), rare in pages and easy for the fuzzer to find.
inline constexpr char kPartSeparator = '\x1e';

// The first `count` parts of the input; missing parts are empty and the last
// part keeps any further separators.
std::vector<std::string_view> SplitParts(std::string_view input, size_t count);

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// Prints what was expected and what was found (escaped, cut to a readable
// length) and aborts, so that libFuzzer records the input as a crash.
[[noreturn]] void Fail(std::string_view what, std::string_view expected = {},
                       std::string_view actual = {});
#define QUORIX_FUZZ_CHECK(condition, ...)                                          \
  do {                                                                             \
    if (!(condition)) ::quorix::fuzz::Fail(#condition __VA_OPT__(, ) __VA_ARGS__); \
  } while (false)

// The simulator's forum templates (tests/forumsim/templates.py) read as a box
// file is read.
const run::ForumTemplate& UbbTemplate();
const run::ForumTemplate& ThreadsTemplate();

// A run state over a fake clock, a sleeper that returns at once and a
// headless console, with its program directory (and a "SPOOL" directory in
// it) in a scratch directory that lives as long as the process. No log is
// open, so the targets write no log lines. Slot kSlot is set up as a fetch
// slot of the given engine.
class FuzzRun {
 public:
  static constexpr int kSlot = 1;

  // The process's run state for `engine` (run::kUbb or run::kUbbThreads),
  // created on first use.
  static FuzzRun& ForEngine(int engine);

  run::Run& run() { return state_->run; }
  std::filesystem::path dir() const { return scratch_->path(); }
  std::filesystem::path SpoolDir() const { return dir() / "SPOOL"; }
  std::string PathOf(std::string_view name) const { return (dir() / name).string(); }

  // Forgets what the dupe base and the Html base hold.
  void ResetBases();
  // Removes every file of the spool directory.
  void EmptySpool() const;

 private:
  explicit FuzzRun(int engine);

  std::unique_ptr<testing::ScratchDir> scratch_;
  std::unique_ptr<testing::TestRun> state_;
};

// The files of a directory, sorted by name.
std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& dir);

// Reads a whole file; aborts when it cannot.
std::string ReadFileOrFail(const std::filesystem::path& path);

}  // namespace quorix::fuzz
