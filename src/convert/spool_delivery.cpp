// Temporary spool file, journal record, rename.
#include "convert/spool_delivery.h"

#include <optional>

#include "bases/delivery_journal.h"
#include "bases/dupe_base.h"
#include "bases/spool_names.h"
#include "convert/spool_writer.h"
#include "log/logger.h"
#include "platform/file.h"
#include "text/text.h"

namespace quorix::convert {

namespace {

// The page's entries in one write: a page's ten or so small writes would cost
// more than the rest of its delivery. The file's size when all went out.
std::optional<int64_t> WriteWholePage(platform::File& file,
                                      const std::vector<const SpoolArticle*>& articles) {
  size_t size = 0;
  for (const SpoolArticle* article : articles) size += article->entry.size();
  std::string page;
  page.reserve(size);
  for (const SpoolArticle* article : articles) page.append(article->entry);
  if (!file.Write(page)) return std::nullopt;
  return static_cast<int64_t>(size);
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

bool DeliverSpoolArticles(run::Run& run, const log::ThreadLog& log, std::string_view spool_dir,
                          const std::vector<SpoolArticle>& articles) {
  if (articles.empty()) return true;
  platform::NamedLock lock(run.delivery.mutex());
  platform::File journal;
  if (!bases::CatchUpJournal(run, &journal)) {
    log.Write("Error Reading Journal", log::kProblem);
    return false;
  }
  std::vector<const SpoolArticle*> fresh;
  for (const SpoolArticle& article : articles) {
    if (bases::IsDupe(run, article.message_id)) {
      // Delivered by another instance since the page was read.
      log.Write("Article: " + article.message_id + " is a Dupe", log::kProgress);
    } else {
      fresh.push_back(&article);
    }
  }
  if (fresh.empty()) return true;

  const int number = bases::NextFreeNumber(bases::SpoolNumbers(run, spool_dir), 0);
  std::string name = bases::SpoolFileName(spool_dir, number < bases::kSpoolNumbers ? number : 0);
  if (number >= bases::kSpoolNumbers) {
    log.Write("Error Spoolfile: " + name, log::kProblem);
    return false;
  }
  bases::JournalRecord record;
  record.temp_name = std::string(spool_dir) + bases::JournalTempName(run);
  record.spool_name = name;
  platform::File file = CreateTemporary(record.temp_name);
  const std::optional<int64_t> page_size =
      file.IsOpen() ? WriteWholePage(file, fresh) : std::nullopt;
  bool whole = page_size.has_value();
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
  record.size = page_size ? *page_size : file.Size();  // a new file: what was written
  const bool synced = !record.ids.empty() && file.Sync();
  file.Close();
  if (!whole) log.Write("Error Spoolfile: " + name, log::kProblem);
  if (record.ids.empty()) {
    platform::DeleteFile(record.temp_name);
    return false;
  }
  if (!synced || !platform::SyncDirectory(spool_dir)) {
    platform::DeleteFile(record.temp_name);
    if (whole) log.Write("Error Spoolfile: " + name, log::kProblem);
    return false;
  }
  if (!bases::AppendJournalRecord(run, record, &journal)) {
    platform::DeleteFile(record.temp_name);
    log.Write("Error Writing Journal", log::kProblem);
    return false;
  }
  for (const std::string& id : record.ids) bases::AddToDupeBase(run, id);

  const auto log_attempt = [&log](const std::string& attempt) {
    log.Write("Creating Spoolfile: " + attempt, log::kDetail);
  };
  if (bases::RenameIntoSpool(run, record.temp_name, &name, log_attempt)) return whole;
  // The journal holds the record: the next reader of it renames the file.
  run.delivery.journal().waiting_temps.insert(record.temp_name);
  log.Write("Error Spoolfile: " + name, log::kProblem);
  return false;
}

}  // namespace quorix::convert
