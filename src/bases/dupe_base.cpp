// Loading, saving, looking up and extending the dupe base.
#include "bases/dupe_base.h"

#include <mutex>
#include <vector>

#include "bases/dupe_index.h"
#include "log/logger.h"
#include "platform/file.h"

namespace quorix::bases {

namespace {

constexpr long long kSmallestLimit = 16000;

std::string DupeBasePath(const run::Run& run) {
  return run.env.program_dir + std::string(kDupeBaseFile);
}

// The data part of the file (everything after the header line). False when
// the file cannot be opened or read. A missing file is created empty when
// `create` is set.
bool ReadDupeData(const std::string& path, bool create, std::string* data) {
  platform::File file =
      platform::File::Open(path, platform::Access::kReadWriteOrRead, platform::Sharing::kShared,
                           create ? platform::Missing::kCreate : platform::Missing::kFail);
  if (!file.IsOpen()) return false;
  std::string contents;
  if (!file.ReadToEnd(&contents)) return false;
  data->assign(contents.size() > kDupeBaseHeader.size()
                   ? std::string_view(contents).substr(kDupeBaseHeader.size())
                   : std::string_view());
  return true;
}

}  // namespace

void LoadDupeBase(run::Run& run) {
  std::string data;
  bool read;
  {
    std::lock_guard<platform::NamedMutex> file_lock(run.file_open_mutex);
    read = ReadDupeData(DupeBasePath(run), /*create=*/true, &data);
  }
  if (!read) run.log.WriteLog("Error Reading Dupebase", log::kMainThread, log::kProblem);

  std::lock_guard<platform::NamedMutex> lock(run.dupe_base_mutex);
  run.dupe_base.load_failed = !read;
  if (read) ResetDupeText(run.dupe_base, std::move(data));
}

void SaveDupeBase(run::Run& run) {
  const long long limit = run.DupeBaseLimit();
  std::string text;
  bool load_failed;
  std::vector<std::string> added_ids;
  {
    std::lock_guard<platform::NamedMutex> lock(run.dupe_base_mutex);
    const run::DupeBaseState& state = run.dupe_base;
    if (!state.added || limit < kSmallestLimit) return;
    load_failed = state.load_failed;
    if (load_failed) {
      added_ids = state.added_ids;
    } else {
      text = state.text;
    }
  }

  const std::string path = DupeBasePath(run);
  std::lock_guard<platform::NamedMutex> file_lock(run.file_open_mutex);
  if (load_failed) {
    // Keep what the file holds and add this run's IDs that it lacks.
    run::DupeBaseState merged;
    std::string old;
    if (platform::FileExists(path) && !ReadDupeData(path, /*create=*/false, &old)) return;
    ResetDupeText(merged, std::move(old));
    for (const std::string& id : added_ids) {
      if (!DupeTextContains(merged, id)) AppendDupeText(merged, id);
    }
    text = std::move(merged.text);
  }
  const size_t keep =
      static_cast<size_t>(limit) < text.size() ? static_cast<size_t>(limit) : text.size();
  std::string contents;
  contents.reserve(kDupeBaseHeader.size() + keep);
  contents.append(kDupeBaseHeader);
  contents.append(text, text.size() - keep, keep);
  platform::ReplaceFileContents(path, contents);
}

bool IsDupe(run::Run& run, std::string_view id) {
  std::lock_guard<platform::NamedMutex> lock(run.dupe_base_mutex);
  return DupeTextContains(run.dupe_base, id);
}

std::string EarlierVersion(run::Run& run, std::string_view id) {
  std::lock_guard<platform::NamedMutex> lock(run.dupe_base_mutex);
  return EarlierVersion(run.dupe_base, id);
}

void AddToDupeBase(run::Run& run, std::string_view id) {
  if (id.empty()) return;
  std::lock_guard<platform::NamedMutex> lock(run.dupe_base_mutex);
  run::DupeBaseState& state = run.dupe_base;
  AppendDupeText(state, id);
  state.added = true;
  state.added_ids.emplace_back(id);
}

}  // namespace quorix::bases
