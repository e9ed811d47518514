// Loading, saving, looking up and extending the dupe base.
#include "bases/dupe_base.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "bases/delivery_journal.h"
#include "bases/dupe_index.h"
#include "log/logger.h"
#include "platform/file.h"

namespace quorix::bases {

namespace {

constexpr long long kSmallestLimit = 16000;

std::string DupeBasePath(const run::Run& run) {
  return run.env.program_dir + std::string(kDupeBaseFile);
}

// The data part of the file (everything after the header line). Failed when
// the file cannot be opened or read. A missing file holds no data; it is
// created empty when `create` is set.
platform::LoadStatus ReadDupeData(const std::string& path, bool create, std::string* data) {
  data->clear();
  const bool existed = platform::FileExists(path);
  if (!existed && !create) return platform::LoadStatus::kMissing;
  platform::File file =
      platform::File::Open(path, platform::Access::kReadWriteOrRead, platform::Sharing::kShared,
                           create ? platform::Missing::kCreate : platform::Missing::kFail);
  if (!file.IsOpen()) return platform::LoadStatus::kFailed;
  std::string contents;
  if (!file.ReadToEnd(&contents)) return platform::LoadStatus::kFailed;
  // The header is cut off in place: a base of 45 MB is not copied again.
  contents.erase(0, std::min(contents.size(), kDupeBaseHeader.size()));
  if (contents.empty()) contents.shrink_to_fit();
  *data = std::move(contents);
  return existed ? platform::LoadStatus::kLoaded : platform::LoadStatus::kMissing;
}

// The "<...>" runs of a stored text, in order.
std::vector<std::string_view> StoredIds(std::string_view text) {
  std::vector<std::string_view> ids;
  size_t open = text.find('<');
  while (open != std::string_view::npos) {
    size_t close = text.find_first_of("<>", open + 1);
    if (close == std::string_view::npos) break;
    if (text[close] == '>') {
      ids.push_back(text.substr(open, close - open + 1));
      open = text.find('<', close + 1);
    } else {
      open = close;
    }
  }
  return ids;
}

// Appends to `text` the IDs it lacks, in their order, each once. One pass
// over the text's IDs against the (few) IDs to add: indexing a file of a
// million IDs for this would cost as much as loading it.
void AppendMissingIds(std::string& text, const std::vector<std::string>& ids) {
  run::TextSet missing;
  for (const std::string& id : ids) {
    if (IsBracketedRun(id)) missing.insert(id);
  }
  for (std::string_view stored : StoredIds(text)) {
    if (missing.empty()) break;
    const auto found = missing.find(stored);
    if (found != missing.end()) missing.erase(found);
  }
  for (const std::string& id : ids) {
    if (IsBracketedRun(id)) {
      const auto found = missing.find(id);
      if (found == missing.end()) continue;  // stored, or appended already
      missing.erase(found);
      text.append(id);
    } else if (text.find(id) == std::string::npos) {
      text.append(id);  // not an ID of the usual form: searched as text
    }
  }
}

// Temporary files of base rewrites that a killed run left in the program
// directory. Every rewrite of QUORIX.IDX and QUORIX.HTM holds
// "quorix_fileopen", every rewrite of QUORIX.JRN "quorix_dupebase"; the
// caller holds both, so none of these belongs to a running save.
void DeleteLeftoverTemporaries(run::Run& run)
    REQUIRES(run.delivery.mutex(), run.file_open_mutex) {
  for (const char* name : {"QUORIX.IDX", "QUORIX.HTM", "QUORIX.JRN"}) {
    platform::DeleteReplaceLeftovers(run.env.program_dir + name);
  }
}

}  // namespace

void LoadDupeBase(run::Run& run) {
  platform::NamedLock journal_lock(run.delivery.mutex());
  std::string data;
  platform::LoadStatus status;
  {
    platform::NamedLock file_lock(run.file_open_mutex);
    DeleteLeftoverTemporaries(run);
    status = ReadDupeData(DupeBasePath(run), /*create=*/true, &data);
  }
  const bool read = status != platform::LoadStatus::kFailed;
  if (!read) run.log.WriteLog("Error Reading Dupebase", log::kMainThread, log::kProblem);
  {
    platform::MutexLock lock(run.dupe_base.mutex());
    run.dupe_base.set_load_status(status);
    if (read) ResetDupeText(run.dupe_base.index(), std::move(data));
  }
  // What earlier runs delivered after their last save (or other instances
  // deliver right now).
  if (!CatchUpJournal(run)) {
    run.log.WriteLog("Error Reading Journal", log::kMainThread, log::kProblem);
  }
}

void SaveDupeBase(run::Run& run) {
  const long long limit = run.DupeBaseLimit();
  platform::NamedLock journal_lock(run.delivery.mutex());
  const bool journal_read = CatchUpJournal(run);
  std::vector<std::string> added_ids;
  {
    platform::MutexLock lock(run.dupe_base.mutex());
    if (run.dupe_base.added_ids().empty() || limit < kSmallestLimit) return;
    added_ids = run.dupe_base.added_ids();
  }

  // What the file holds now (another instance may have saved meanwhile),
  // and this run's IDs that it lacks.
  const std::string path = DupeBasePath(run);
  platform::NamedLock file_lock(run.file_open_mutex);
  std::string text;
  // Never rewritten from what could not be read: its IDs would be lost.
  if (ReadDupeData(path, /*create=*/false, &text) == platform::LoadStatus::kFailed) return;
  AppendMissingIds(text, added_ids);
  const size_t keep =
      static_cast<size_t>(limit) < text.size() ? static_cast<size_t>(limit) : text.size();
  std::string contents;
  contents.reserve(kDupeBaseHeader.size() + keep);
  contents.append(kDupeBaseHeader);
  contents.append(text, text.size() - keep, keep);
  // The journal is emptied only once the base holds what it recorded.
  if (platform::ReplaceFileContents(path, contents) && journal_read) ResetJournal(run);
}

bool MergeDupeFile(run::Run& run) {
  std::string data;
  {
    platform::NamedLock file_lock(run.file_open_mutex);
    if (ReadDupeData(DupeBasePath(run), /*create=*/false, &data) == platform::LoadStatus::kFailed) {
      return false;
    }
  }
  for (std::string_view id : StoredIds(data)) AddIfNew(run, id);
  return true;
}

bool IsDupe(run::Run& run, std::string_view id) {
  platform::MutexLock lock(run.dupe_base.mutex());
  return DupeTextContains(run.dupe_base.index(), id);
}

std::string EarlierVersion(run::Run& run, std::string_view id) {
  platform::MutexLock lock(run.dupe_base.mutex());
  return EarlierVersion(run.dupe_base.index(), id);
}

void AddToDupeBase(run::Run& run, std::string_view id) {
  if (id.empty()) return;
  platform::MutexLock lock(run.dupe_base.mutex());
  AppendDupeText(run.dupe_base.index(), id);
  run.dupe_base.NoteAdded(id);
}

bool AddIfNew(run::Run& run, std::string_view id) {
  if (id.empty()) return false;
  platform::MutexLock lock(run.dupe_base.mutex());
  if (DupeTextContains(run.dupe_base.index(), id)) return false;
  AppendDupeText(run.dupe_base.index(), id);
  run.dupe_base.NoteAdded(id);
  return true;
}

}  // namespace quorix::bases
