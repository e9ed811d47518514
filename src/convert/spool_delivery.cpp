// Temporary spool file, journal record, rename.
#include "convert/spool_delivery.h"

#include <algorithm>
#include <mutex>

#include "bases/delivery_journal.h"
#include "bases/dupe_base.h"
#include "convert/spool_writer.h"
#include "log/logger.h"
#include "platform/file.h"
#include "text/text.h"

namespace quorix::convert {

namespace {

constexpr int kSpoolNumbers = 1000000;  // 000000 .. 999999

std::string WrittenExtension() {
#ifdef _WIN32
  return ".MSG";
#else
  return ".msg";
#endif
}

// The numbers in use in a spool directory: one listing per run, then kept up
// to date by this process. Temporary files that a killed writer left behind
// without a journal record are deleted on the way (the caller holds the lock
// that every writer of them holds).
run::SpoolNumbersInUse& SpoolNumbers(run::Run& run, std::string_view spool_dir) {
  auto found = run.delivery.spool_numbers.find(spool_dir);
  if (found != run.delivery.spool_numbers.end()) return found->second;
  std::vector<bool> used(kSpoolNumbers, false);
  const std::string pattern = "N??????" + WrittenExtension();
  for (const std::string& name : platform::ListDirectory(spool_dir, "*")) {
    if (platform::MatchWildcard(pattern, name)) {
      const int64_t number = text::LeadingNumber(std::string_view(name).substr(1, 6));
      bool digits = true;
      for (char c : std::string_view(name).substr(1, 6)) digits = digits && c >= '0' && c <= '9';
      if (digits) used[static_cast<size_t>(number)] = true;
    } else if (bases::IsJournalTempName(name)) {
      const std::string path = std::string(spool_dir) + name;
      if (!run.delivery.waiting_temps.contains(path)) platform::DeleteFile(path);
    }
  }
  return run.delivery.spool_numbers
      .emplace(std::string(spool_dir), run::SpoolNumbersInUse{std::move(used), 0})
      .first->second;
}

int FirstFree(run::SpoolNumbersInUse& numbers, int from) {
  const bool from_bottom = from <= numbers.free_from;
  from = std::max(from, numbers.free_from);
  while (from < kSpoolNumbers && numbers.used[static_cast<size_t>(from)]) ++from;
  if (from_bottom) numbers.free_from = from;
  return from;
}

// The page's entries in one write: a page's ten or so small writes would cost
// more than the rest of its delivery.
bool WriteWholePage(platform::File& file, const std::vector<const SpoolArticle*>& articles) {
  size_t size = 0;
  for (const SpoolArticle* article : articles) size += article->entry.size();
  std::string page;
  page.reserve(size);
  for (const SpoolArticle* article : articles) page.append(article->entry);
  return file.Write(page);
}

// Creates the temporary file; one left by a killed writer under the same name
// is replaced.
platform::File CreateTemporary(const std::string& path) {
  int error = 0;
  platform::File file =
      platform::File::Open(path, platform::Access::kReadWrite, platform::Sharing::kShared,
                           platform::Missing::kCreateNew, &error);
  if (!file.IsOpen() && platform::IsFileExistsError(error) && platform::DeleteFile(path)) {
    file = platform::File::Open(path, platform::Access::kReadWrite, platform::Sharing::kShared,
                                platform::Missing::kCreateNew);
  }
  return file;
}

}  // namespace

std::string SpoolFileName(std::string_view spool_dir, int number) {
  std::string digits = text::Decimal(number);
  std::string name(spool_dir);
  name.append("N").append(6 - digits.size(), '0').append(digits).append(WrittenExtension());
  return name;
}

bool DeliverSpoolArticles(run::Run& run, int slot, std::string_view spool_dir,
                          const std::vector<SpoolArticle>& articles) {
  if (articles.empty()) return true;
  std::lock_guard<platform::NamedMutex> lock(run.dupe_base_mutex);
  platform::File journal;
  if (!bases::CatchUpJournal(run, &journal)) {
    run.log.WriteLog("Error Reading Journal", slot, log::kProblem);
    return false;
  }
  std::vector<const SpoolArticle*> fresh;
  for (const SpoolArticle& article : articles) {
    if (bases::IsDupe(run, article.message_id)) {
      // Delivered by another instance since the page was read.
      run.log.WriteLog("Article: " + article.message_id + " is a Dupe", slot, log::kProgress);
    } else {
      fresh.push_back(&article);
    }
  }
  if (fresh.empty()) return true;

  run::SpoolNumbersInUse& numbers = SpoolNumbers(run, spool_dir);
  std::vector<bool>& used = numbers.used;
  int number = FirstFree(numbers, 0);
  std::string name = SpoolFileName(spool_dir, number < kSpoolNumbers ? number : 0);
  if (number >= kSpoolNumbers) {
    run.log.WriteLog("Error Spoolfile: " + name, slot, log::kProblem);
    return false;
  }
  bases::JournalRecord record;
  record.temp_name = std::string(spool_dir) + bases::JournalTempName(run);
  record.spool_name = name;
  platform::File file = CreateTemporary(record.temp_name);
  bool whole = file.IsOpen() && WriteWholePage(file, fresh);
  if (whole) {
    for (const SpoolArticle* article : fresh) record.ids.push_back(article->message_id);
  } else if (file.IsOpen() && file.Seek(0) && file.SetEnd()) {
    // Not all of it fits: as many whole entries as the spool takes.
    whole = true;
    for (const SpoolArticle* article : fresh) {
      whole = WriteSpoolEntry(file, article->entry);
      if (!whole) break;
      record.ids.push_back(article->message_id);
    }
  }
  // The file's bytes and then its name reach the disk before its record
  // can: a record that survives a power cut names a whole file.
  record.size = file.Size();
  const bool synced = !record.ids.empty() && file.Sync();
  file.Close();
  if (!whole) run.log.WriteLog("Error Spoolfile: " + name, slot, log::kProblem);
  if (record.ids.empty()) {
    platform::DeleteFile(record.temp_name);
    return false;
  }
  if (!synced || !platform::SyncDirectory(spool_dir)) {
    platform::DeleteFile(record.temp_name);
    if (whole) run.log.WriteLog("Error Spoolfile: " + name, slot, log::kProblem);
    return false;
  }
  if (!bases::AppendJournalRecord(run, record, &journal)) {
    platform::DeleteFile(record.temp_name);
    run.log.WriteLog("Error Writing Journal", slot, log::kProblem);
    return false;
  }
  for (const std::string& id : record.ids) bases::AddToDupeBase(run, id);

  while (true) {
    run.log.WriteLog("Creating Spoolfile: " + name, slot, log::kDetail);
    int error = 0;
    if (platform::RenameNew(record.temp_name, name, &error)) {
      used[static_cast<size_t>(number)] = true;
      return whole;
    }
    if (!platform::IsFileExistsError(error)) break;
    used[static_cast<size_t>(number)] = true;  // taken since the listing
    number = FirstFree(numbers, number + 1);
    if (number >= kSpoolNumbers) break;
    name = SpoolFileName(spool_dir, number);
  }
  // The journal holds the record: the next reader of it renames the file.
  run.delivery.waiting_temps.insert(record.temp_name);
  run.log.WriteLog("Error Spoolfile: " + name, slot, log::kProblem);
  return false;
}

}  // namespace quorix::convert
