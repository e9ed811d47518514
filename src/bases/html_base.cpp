// Loading, saving, looking up and updating the Html base.
#include "bases/html_base.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

#include "log/logger.h"
#include "platform/file.h"
#include "text/text.h"

namespace quorix::bases {

namespace {

std::string HtmlBasePath(const run::Run& run) {
  return run.env.program_dir + std::string(kHtmlBaseFile);
}

// Records never hold NUL, the file's separator: an entry that does is stored
// (and looked up) with blanks in its place.
std::string WithoutNul(std::string_view text) {
  std::string clean(text);
  for (char& c : clean) {
    if (c == '\0') c = ' ';
  }
  return clean;
}

// The records of `data` (a file's text after its header line) as spans of
// it: every text followed by a NUL. Returns the length up to the last NUL;
// whatever follows it (a cut record) is no record.
size_t ParseRecordSpans(std::string_view data, std::vector<run::TextSpan>* records) {
  size_t start = 0;
  for (size_t nul = data.find('\0'); nul != std::string_view::npos; nul = data.find('\0', start)) {
    records->push_back({start, nul - start});
    start = nul + 1;
  }
  return start;
}

// The file's contents as they are now; a missing file holds none.
platform::LoadStatus ReadCurrentContents(const std::string& path, std::string* contents) {
  contents->clear();
  if (!platform::FileExists(path)) return platform::LoadStatus::kMissing;
  platform::File file = platform::File::Open(path, platform::Access::kReadWriteOrRead,
                                             platform::Sharing::kShared, platform::Missing::kFail);
  return file.IsOpen() && file.ReadToEnd(contents) ? platform::LoadStatus::kLoaded
                                                    : platform::LoadStatus::kFailed;
}

std::string_view ViewOf(const run::HtmlRecords& base, run::TextSpan span) {
  return std::string_view(base.text).substr(span.offset, span.size);
}

run::TextSpan LinkSpan(const run::HtmlRecords& base, run::TextSpan record) {
  return {record.offset, LinkOf(ViewOf(base, record)).size()};
}

void BuildIndex(run::HtmlRecords& base) {
  base.first_index.clear();
  base.first_index.reserve(base.records.size());
  for (size_t i = 0; i < base.records.size(); ++i) {
    base.first_index.emplace(LinkSpan(base, base.records[i]), i);  // keeps the first
  }
}

// Adds the entry to the text; it replaces the first record with its link, or
// is appended.
void StoreRecord(run::HtmlRecords& base, std::string_view entry) {
  const run::TextSpan record{base.text.size(), entry.size()};
  base.text.append(entry);
  base.text.push_back('\0');
  const auto [found, added] = base.first_index.try_emplace(LinkSpan(base, record),
                                                           base.records.size());
  if (added) {
    base.records.push_back(record);
  } else {
    base.records[found->second] = record;
  }
}

// The file that storing `recorded` one entry after the other into the
// records of `old` gives: for each link, its last entry replaces the first
// record with that link, or is appended where the link's first entry came.
// One pass over the file; only this run's links are indexed.
std::string MergedFile(std::string_view old, const std::vector<std::string>& recorded) {
  constexpr size_t kPlaced = static_cast<size_t>(-1);
  run::TextMap<size_t> latest;  // link -> index in `recorded` of its last entry, or kPlaced
  std::vector<size_t> first_entries;  // each link's first entry, in order
  size_t recorded_size = 0;
  for (size_t i = 0; i < recorded.size(); ++i) {
    const auto [found, added] = latest.try_emplace(std::string(LinkOf(recorded[i])), i);
    if (added) {
      first_entries.push_back(i);
    } else {
      found->second = i;
    }
    recorded_size += recorded[i].size() + 1;
  }
  const std::string_view data =
      old.size() > kHtmlBaseHeader.size() ? old.substr(kHtmlBaseHeader.size()) : std::string_view();
  std::string contents;
  contents.reserve(kHtmlBaseHeader.size() + data.size() + recorded_size);
  contents.append(kHtmlBaseHeader);
  size_t start = 0;
  for (size_t nul = data.find('\0'); nul != std::string_view::npos; nul = data.find('\0', start)) {
    const std::string_view record = data.substr(start, nul - start);
    start = nul + 1;
    const auto found = latest.find(LinkOf(record));
    if (found != latest.end() && found->second != kPlaced) {
      contents.append(recorded[found->second]);
      found->second = kPlaced;
    } else {
      contents.append(record);
    }
    contents.push_back('\0');
  }
  for (size_t first : first_entries) {
    const auto found = latest.find(LinkOf(recorded[first]));
    if (found->second == kPlaced) continue;
    contents.append(recorded[found->second]);
    contents.push_back('\0');
  }
  return contents;
}

}  // namespace

std::string_view LinkOf(std::string_view entry) { return entry.substr(0, entry.find(',')); }

int64_t MarkerNumberOf(std::string_view entry) {
  return text::LeadingNumber(text::Field(entry, ",", 2));
}

void LoadHtmlBase(run::Run& run) {
  std::string contents;
  bool read;
  bool existed;
  {
    platform::NamedLock file_lock(run.file_open_mutex);
    existed = platform::FileExists(HtmlBasePath(run));
    platform::File file =
        platform::File::Open(HtmlBasePath(run), platform::Access::kReadWriteOrRead,
                             platform::Sharing::kShared, platform::Missing::kCreate);
    read = file.IsOpen();
    if (read) {
      run.log.WriteLog("Reading Htmlbase", log::kMainThread, log::kProgress);
      read = file.ReadToEnd(&contents);
    }
  }
  if (!read) run.log.WriteLog("Error Reading Htmlbase", log::kMainThread, log::kProblem);

  // The records stay in the text they were read into: the header line is cut
  // off in place, and so is a cut record after the last NUL.
  std::vector<run::TextSpan> records;
  if (read && contents.size() > kHtmlBaseHeader.size()) {
    contents.erase(0, kHtmlBaseHeader.size());
    contents.resize(ParseRecordSpans(contents, &records));
  } else {
    contents.clear();
  }
  platform::MutexLock lock(run.html_base.mutex());
  run.html_base.set_load_status(!read     ? platform::LoadStatus::kFailed
                                : existed ? platform::LoadStatus::kLoaded
                                          : platform::LoadStatus::kMissing);
  run::HtmlRecords& base = run.html_base.records();
  base.text = std::move(contents);
  base.records = std::move(records);
  BuildIndex(base);
}

void SaveHtmlBase(run::Run& run) {
  std::vector<std::string> recorded;
  {
    platform::MutexLock lock(run.html_base.mutex());
    recorded = run.html_base.recorded();
  }
  // What the file holds now (another instance may have saved meanwhile),
  // with this run's topics replacing or extending it.
  const std::string path = HtmlBasePath(run);
  platform::NamedLock file_lock(run.file_open_mutex);
  std::string old;
  // Never rewritten from what could not be read: its records would be lost.
  if (ReadCurrentContents(path, &old) == platform::LoadStatus::kFailed) return;
  if (!platform::ReplaceFileContents(path, MergedFile(old, recorded))) return;
  // Saved: a later save of this run applies only what was recorded since.
  platform::MutexLock lock(run.html_base.mutex());
  std::vector<std::string>& now = run.html_base.recorded();
  now.erase(now.begin(), now.begin() + static_cast<std::ptrdiff_t>(
                                           std::min(recorded.size(), now.size())));
}

std::optional<std::string> FindHtmlRecord(run::Run& run, std::string_view link) {
  std::string key = WithoutNul(link);
  platform::MutexLock lock(run.html_base.mutex());
  const run::HtmlRecords& base = run.html_base.records();
  auto found = base.first_index.find(std::string_view(key));
  if (found == base.first_index.end()) return std::nullopt;
  return std::string(ViewOf(base, base.records[found->second]));
}

void RecordTopic(run::Run& run, std::string_view topic_entry) {
  std::string entry = WithoutNul(topic_entry);
  platform::MutexLock lock(run.html_base.mutex());
  StoreRecord(run.html_base.records(), entry);
  run.html_base.recorded().push_back(std::move(entry));
}

size_t HtmlBaseCount(run::Run& run) {
  platform::MutexLock lock(run.html_base.mutex());
  return run.html_base.records().records.size();
}

std::vector<std::string> HtmlRecords(run::Run& run) {
  platform::MutexLock lock(run.html_base.mutex());
  const run::HtmlRecords& base = run.html_base.records();
  std::vector<std::string> records;
  records.reserve(base.records.size());
  for (run::TextSpan record : base.records) records.emplace_back(ViewOf(base, record));
  return records;
}

}  // namespace quorix::bases
