#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "config/forum_template.h"

namespace quorix::fuzz {

namespace {

#include "simulator_templates.inc"

// Printable ASCII as it is, everything else as \xNN; at most 300 bytes.
std::string Escaped(std::string_view text) {
  constexpr size_t kShown = 300;
  std::string out;
  for (size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out.append(hex);
    }
  }
  if (text.size() > kShown) out.append("... (" + std::to_string(text.size()) + " bytes)");
  return out;
}

}  // namespace

std::vector<std::string_view> SplitParts(std::string_view input, size_t count) {
  std::vector<std::string_view> parts;
  parts.reserve(count);
  while (parts.size() + 1 < count) {
    const size_t at = input.find(kPartSeparator);
    if (at == std::string_view::npos) break;
    parts.push_back(input.substr(0, at));
    input.remove_prefix(at + 1);
  }
  parts.push_back(input);
  while (parts.size() < count) parts.emplace_back();
  return parts;
}

void Fail(std::string_view what, std::string_view expected, std::string_view actual) {
  std::fprintf(stderr, "\n*** fuzz check failed: %.*s\n", static_cast<int>(what.size()),
               what.data());
  if (!expected.empty() || !actual.empty()) {
    std::fprintf(stderr, "    expected: \"%s\"\n    actual:   \"%s\"\n", Escaped(expected).c_str(),
                 Escaped(actual).c_str());
  }
  std::fflush(stderr);
  std::abort();
}

const run::ForumTemplate& UbbTemplate() {
  static const run::ForumTemplate tmpl = config::ReadForumTemplate(kUbbTemplateText);
  return tmpl;
}

const run::ForumTemplate& ThreadsTemplate() {
  static const run::ForumTemplate tmpl = config::ReadForumTemplate(kThreadsTemplateText);
  return tmpl;
}

FuzzRun& FuzzRun::ForEngine(int engine) {
  // libFuzzer calls the target with no context: the run state of the
  // process is kept here, one per engine.
  static FuzzRun ubb(run::kUbb);
  static FuzzRun threads(run::kUbbThreads);
  return engine == run::kUbbThreads ? threads : ubb;
}

FuzzRun::FuzzRun(int engine)
    : scratch_(std::make_unique<testing::ScratchDir>()),
      state_(std::make_unique<testing::TestRun>()) {
  std::filesystem::create_directories(SpoolDir());
  run::Run& r = run();
  r.env.program_dir = dir().string() + "/";
  r.RaiseDupeBaseLimit(16000);
  run::Slot& slot = r.slots[kSlot];
  slot.web.server = "forum.example";
  slot.web.engine = engine;
  slot.web.spool = SpoolDir().string() + "\\";
  slot.web.path = engine == run::kUbbThreads ? "ubbthreads/" : "support/forums/";
  slot.forum_template = engine == run::kUbbThreads ? ThreadsTemplate() : UbbTemplate();
}

void FuzzRun::ResetBases() {
  run().dupe_base.Clear();
  // The delivery journal and the spool numbers start afresh with the bases.
  run().delivery.Clear();
  std::filesystem::remove(dir() / "QUORIX.JRN");
  run().html_base.Clear();
}

void FuzzRun::EmptySpool() const {
  for (const auto& file : FilesIn(SpoolDir())) std::filesystem::remove(file);
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::string ReadFileOrFail(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace quorix::fuzz
