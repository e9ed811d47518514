// Loading, saving, looking up and updating the Html base.
#include "bases/html_base.h"

#include <mutex>
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

// The records of a file's contents: every text followed by a NUL after the
// header line; whatever follows the last NUL is dropped.
std::vector<std::string> ParseRecords(std::string_view contents) {
  std::vector<std::string> records;
  if (contents.size() <= kHtmlBaseHeader.size()) return records;
  std::string_view data = contents.substr(kHtmlBaseHeader.size());
  size_t start = 0;
  for (size_t nul = data.find('\0'); nul != std::string_view::npos; nul = data.find('\0', start)) {
    records.emplace_back(data.substr(start, nul - start));
    start = nul + 1;
  }
  return records;
}

bool ReadContents(const std::string& path, bool create, std::string* contents) {
  platform::File file =
      platform::File::Open(path, platform::Access::kReadWriteOrRead, platform::Sharing::kShared,
                           create ? platform::Missing::kCreate : platform::Missing::kFail);
  return file.IsOpen() && file.ReadToEnd(contents);
}

// Replaces the first record with the entry's link, or appends the entry.
void StoreRecord(std::vector<std::string>& records, run::TextMap<size_t>& first_index,
                 std::string entry) {
  std::string link(LinkOf(entry));
  auto found = first_index.find(link);
  if (found != first_index.end()) {
    records[found->second] = std::move(entry);
    return;
  }
  first_index.emplace(std::move(link), records.size());
  records.push_back(std::move(entry));
}

void BuildIndex(const std::vector<std::string>& records, run::TextMap<size_t>& first_index) {
  first_index.clear();
  first_index.reserve(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    first_index.emplace(std::string(LinkOf(records[i])), i);  // keeps the first
  }
}

}  // namespace

std::string_view LinkOf(std::string_view entry) { return entry.substr(0, entry.find(',')); }

int64_t MarkerNumberOf(std::string_view entry) {
  return text::LeadingNumber(text::Field(entry, ",", 2));
}

void LoadHtmlBase(run::Run& run) {
  std::string contents;
  bool read;
  {
    std::lock_guard<platform::NamedMutex> file_lock(run.file_open_mutex);
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

  std::vector<std::string> records = read ? ParseRecords(contents) : std::vector<std::string>();
  std::lock_guard<std::mutex> lock(run.html_base.lock);
  run.html_base.load_failed = !read;
  run.html_base.records = std::move(records);
  BuildIndex(run.html_base.records, run.html_base.first_index);
}

void SaveHtmlBase(run::Run& run) {
  std::vector<std::string> recorded;
  {
    std::lock_guard<std::mutex> lock(run.html_base.lock);
    recorded = run.html_base.recorded;
  }
  // What the file holds now (another instance may have saved meanwhile),
  // with this run's topics replacing or extending it.
  const std::string path = HtmlBasePath(run);
  std::lock_guard<platform::NamedMutex> file_lock(run.file_open_mutex);
  std::string old;
  if (platform::FileExists(path) && !ReadContents(path, /*create=*/false, &old)) return;
  std::vector<std::string> records = ParseRecords(old);
  run::TextMap<size_t> index;
  BuildIndex(records, index);
  for (std::string& record : recorded) StoreRecord(records, index, std::move(record));
  size_t size = kHtmlBaseHeader.size();
  for (const std::string& record : records) size += record.size() + 1;
  std::string contents;
  contents.reserve(size);
  contents.append(kHtmlBaseHeader);
  for (const std::string& record : records) {
    contents.append(record);
    contents.push_back('\0');
  }
  platform::ReplaceFileContents(path, contents);
}

std::optional<std::string> FindHtmlRecord(run::Run& run, std::string_view link) {
  std::string key = WithoutNul(link);
  std::lock_guard<std::mutex> lock(run.html_base.lock);
  auto found = run.html_base.first_index.find(key);
  if (found == run.html_base.first_index.end()) return std::nullopt;
  return run.html_base.records[found->second];
}

void RecordTopic(run::Run& run, std::string_view topic_entry) {
  std::string entry = WithoutNul(topic_entry);
  std::lock_guard<std::mutex> lock(run.html_base.lock);
  run.html_base.recorded.push_back(entry);
  StoreRecord(run.html_base.records, run.html_base.first_index, std::move(entry));
}

size_t HtmlBaseCount(run::Run& run) {
  std::lock_guard<std::mutex> lock(run.html_base.lock);
  return run.html_base.records.size();
}

}  // namespace quorix::bases
