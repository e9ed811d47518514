// The delivery journal's records (QUORIX.JRN after its header line).
//
// - Parsing takes whole records only: what it used is a prefix of the input,
//   parsing that prefix alone gives the same records, and the records encode
//   back to a text that parses to them again.
// - A record cut anywhere after the whole ones is never taken, and a whole
//   record after them is taken as written.
// - The header line: a generation read from it writes the same line back.
//
// Input: journal bytes, a record's temporary name, its spool name and IDs
// (separated by blanks), and a cut position; separated by 0x1E.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bases/delivery_journal.h"
#include "fuzz_support.h"

namespace {

namespace bases = quorix::bases;

bool SameRecords(const std::vector<bases::JournalRecord>& a,
                 const std::vector<bases::JournalRecord>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].temp_name != b[i].temp_name || a[i].spool_name != b[i].spool_name ||
        a[i].size != b[i].size || a[i].ids != b[i].ids) {
      return false;
    }
  }
  return true;
}

// A name as the writer makes them: one line.
std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\n') c = '_';
  }
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parts = quorix::fuzz::SplitParts(quorix::fuzz::AsText(data, size), 5);
  const std::string_view journal = parts[0];

  size_t used = 0;
  const std::vector<bases::JournalRecord> records = bases::ParseJournalRecords(journal, &used);
  QUORIX_FUZZ_CHECK(used <= journal.size(), "used within the input");
  QUORIX_FUZZ_CHECK(records.empty() == (used == 0), "records and used agree");
  size_t used_again = 0;
  QUORIX_FUZZ_CHECK(SameRecords(bases::ParseJournalRecords(journal.substr(0, used), &used_again),
                                records) &&
                        used_again == used,
                    "the used prefix alone");
  std::string encoded;
  for (const bases::JournalRecord& record : records) {
    QUORIX_FUZZ_CHECK(record.size >= 0, "a size is never negative");
    encoded += bases::EncodeJournalRecord(record);
  }
  QUORIX_FUZZ_CHECK(SameRecords(bases::ParseJournalRecords(encoded, &used_again), records) &&
                        used_again == encoded.size(),
                    "records encode back", encoded);

  // One more record, written as the delivery writes it, then cut.
  bases::JournalRecord record;
  record.temp_name = OneLine(parts[1]);
  record.spool_name = OneLine(parts[2]);
  record.size = static_cast<int64_t>(journal.size());
  for (std::string_view ids = parts[3]; !ids.empty();) {
    const size_t blank = ids.find(' ');
    record.ids.emplace_back(ids.substr(0, blank));
    ids.remove_prefix(blank == std::string_view::npos ? ids.size() : blank + 1);
  }
  const std::string whole = bases::EncodeJournalRecord(record);
  const std::string prefix(journal.substr(0, used));
  std::vector<bases::JournalRecord> expected = records;
  expected.push_back(record);
  QUORIX_FUZZ_CHECK(SameRecords(bases::ParseJournalRecords(prefix + whole, &used_again), expected) &&
                        used_again == prefix.size() + whole.size(),
                    "an appended record is taken", whole);
  size_t cut = 0;
  for (char c : parts[4]) cut = cut * 31 + static_cast<unsigned char>(c);
  cut %= whole.size();
  QUORIX_FUZZ_CHECK(
      SameRecords(bases::ParseJournalRecords(prefix + whole.substr(0, cut), &used_again),
                  records) &&
          used_again == prefix.size(),
      "a cut record is never taken", whole.substr(0, cut));

  size_t header_size = 0;
  const int64_t generation = bases::JournalGeneration(journal, &header_size);
  if (generation >= 0) {
    QUORIX_FUZZ_CHECK(header_size <= journal.size(), "the header within the input");
    const std::string header = bases::JournalHeader(generation);
    size_t size_again = 0;
    QUORIX_FUZZ_CHECK(bases::JournalGeneration(header, &size_again) == generation &&
                          size_again == header.size(),
                      "the header written back", header);
  }
  return 0;
}
