// The Html base from arbitrary file bytes: QUORIX.HTM is written with the
// input and loaded; the records must be the NUL-terminated texts after the
// header line (a cut record dropped), and every lookup must give the first
// record with that link. Topics are then recorded (the first record of a link
// replaced, a new link appended, NUL stored as a blank) against a plain list
// that does the same; the base is saved, and loading it again must give that
// list back. Before the save another instance rewrites the file: the save
// must merge this run's recorded entries into that file's records.
//
// Input: the file.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bases/html_base.h"
#include "fuzz_support.h"
#include "platform/file.h"

namespace {

namespace bases = quorix::bases;

std::vector<std::string> ReferenceRecords(std::string_view file) {
  std::vector<std::string> records;
  if (file.size() <= bases::kHtmlBaseHeader.size()) return records;
  std::string_view data = file.substr(bases::kHtmlBaseHeader.size());
  for (size_t nul = data.find('\0'); nul != std::string_view::npos; nul = data.find('\0')) {
    records.emplace_back(data.substr(0, nul));
    data.remove_prefix(nul + 1);
  }
  return records;
}

std::string_view Link(std::string_view entry) { return entry.substr(0, entry.find(',')); }

void ReferenceRecord(std::vector<std::string>& records, std::string entry) {
  for (char& c : entry) {
    if (c == '\0') c = ' ';
  }
  for (std::string& record : records) {
    if (Link(record) == Link(entry)) {
      record = std::move(entry);
      return;
    }
  }
  records.push_back(std::move(entry));
}

void CheckRecords(quorix::run::Run& run, const std::vector<std::string>& expected) {
  QUORIX_FUZZ_CHECK(bases::HtmlRecords(run) == expected, "the records");
  QUORIX_FUZZ_CHECK(bases::HtmlBaseCount(run) == expected.size());
  size_t checked = 0;
  for (const std::string& record : expected) {
    if (++checked > 64) break;
    const std::string_view link = Link(record);
    std::optional<std::string> found = bases::FindHtmlRecord(run, link);
    QUORIX_FUZZ_CHECK(found.has_value(), link);
    for (const std::string& first : expected) {
      if (Link(first) == link) {
        QUORIX_FUZZ_CHECK(*found == first, first, *found);
        break;
      }
    }
  }
  QUORIX_FUZZ_CHECK(bases::LinkOf(std::string_view("a,b,c")) == "a");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file = quorix::fuzz::AsText(data, size);
  quorix::fuzz::FuzzRun& fuzz_run = quorix::fuzz::FuzzRun::ForEngine(quorix::run::kUbb);
  quorix::run::Run& run = fuzz_run.run();
  const std::string name = fuzz_run.PathOf(bases::kHtmlBaseFile);
  fuzz_run.ResetBases();
  QUORIX_FUZZ_CHECK(quorix::platform::ReplaceFileContents(name, file));

  bases::LoadHtmlBase(run);
  {
    quorix::platform::MutexLock lock(run.html_base.mutex());
    QUORIX_FUZZ_CHECK(run.html_base.load_status() == quorix::platform::LoadStatus::kLoaded);
  }
  std::vector<std::string> expected = ReferenceRecords(file);
  CheckRecords(run, expected);

  // Record: a changed marker for the first records' links, pieces of the
  // input as whole entries, and a link that holds a NUL.
  const std::vector<std::string> loaded = expected;
  std::vector<std::string> entries;
  for (size_t i = 0; i < expected.size() && i < 3; ++i) {
    entries.push_back(std::string(Link(expected[i])) + "," + std::to_string(i + 7));
  }
  entries.emplace_back(file.substr(0, 40));
  entries.emplace_back(file.substr(file.size() / 2, 40));
  entries.push_back(std::string("/nul\0link", 9) + ",1");
  for (const std::string& entry : entries) {
    bases::RecordTopic(run, entry);
    ReferenceRecord(expected, entry);
  }
  CheckRecords(run, expected);

  // Another instance saves meanwhile: its file holds the loaded records, the
  // last one dropped, and a topic of its own. The save merges this run's
  // recorded entries, in order, into what the file holds then.
  std::string other_file(bases::kHtmlBaseHeader);
  for (size_t i = 0; i + 1 < loaded.size(); ++i) other_file.append(loaded[i]).push_back('\0');
  other_file.append("/other,5").push_back('\0');
  QUORIX_FUZZ_CHECK(quorix::platform::ReplaceFileContents(name, other_file));
  std::vector<std::string> merged = ReferenceRecords(other_file);
  for (const std::string& entry : entries) ReferenceRecord(merged, entry);

  bases::SaveHtmlBase(run);
  std::string saved;
  QUORIX_FUZZ_CHECK(quorix::platform::ReadWholeFile(name, &saved));
  std::string expected_file(bases::kHtmlBaseHeader);
  for (const std::string& record : merged) expected_file.append(record).push_back('\0');
  QUORIX_FUZZ_CHECK(saved == expected_file, expected_file, saved);
  expected = merged;

  fuzz_run.ResetBases();
  bases::LoadHtmlBase(run);
  CheckRecords(run, expected);
  quorix::platform::DeleteFile(name);
  return 0;
}
