// Reading, extending and renewing the delivery journal.
#include "bases/delivery_journal.h"

#include <utility>

#include "bases/dupe_base.h"
#include "bases/spool_names.h"
#include "log/logger.h"
#include "platform/file.h"
#include "text/text.h"

namespace quorix::bases {

namespace {

constexpr std::string_view kHeaderStart = "# QUORIX Journal ";
constexpr std::string_view kHeaderEnd = ", do not edit or delete! #\r\n";
constexpr size_t kHeaderRoom = 80;  // bytes read to find the header line

std::string JournalPath(const run::Run& run) {
  return run.env.program_dir + std::string(kJournalFile);
}

// Reads a decimal number at `pos` up to `stop`; false when there is none.
bool ReadNumber(std::string_view data, size_t* pos, char stop, int64_t* value) {
  size_t end = data.find(stop, *pos);
  if (end == std::string_view::npos || end == *pos || end - *pos > 18) return false;
  int64_t number = 0;
  for (size_t i = *pos; i < end; ++i) {
    if (data[i] < '0' || data[i] > '9') return false;
    number = number * 10 + (data[i] - '0');
  }
  *value = number;
  *pos = end + 1;
  return true;
}

bool ReadLine(std::string_view data, size_t* pos, std::string* line) {
  size_t end = data.find('\n', *pos);
  if (end == std::string_view::npos) return false;
  line->assign(data.substr(*pos, end - *pos));
  *pos = end + 1;
  return true;
}

bool ParsePayload(std::string_view payload, JournalRecord* record) {
  size_t pos = 0;
  if (!ReadLine(payload, &pos, &record->temp_name) ||
      !ReadLine(payload, &pos, &record->spool_name) ||
      !ReadNumber(payload, &pos, '\n', &record->size)) {
    return false;
  }
  while (pos < payload.size()) {
    int64_t length = 0;
    if (!ReadNumber(payload, &pos, ':', &length)) return false;
    if (static_cast<uint64_t>(length) > payload.size() - pos) return false;
    record->ids.emplace_back(payload.substr(pos, static_cast<size_t>(length)));
    pos += static_cast<size_t>(length);
  }
  return true;
}

// A record's spool file: renamed now when its writer died before renaming it.
// True when the record's articles count as delivered.
bool SettleRecord(run::Run& run, const JournalRecord& record) REQUIRES(run.delivery.mutex()) {
  if (!platform::OwnFileExists(record.temp_name)) return true;  // renamed long ago (or taken by the reader)
  platform::File temp = platform::File::Open(record.temp_name, platform::Access::kRead,
                                             platform::Sharing::kShared, platform::Missing::kFail);
  if (!temp.IsOpen()) return true;  // renamed long ago (or taken by the reader)
  const int64_t size = temp.Size();
  temp.Close();
  if (size != record.size) {
    // Not the file the record speaks of: its articles come again.
    platform::DeleteFile(record.temp_name);
    run.log.WriteLog("Journal: " + record.temp_name + " damaged, deleted", log::kMainThread,
                     log::kProblem);
    return false;
  }
  std::string name = record.spool_name;
  if (RenameIntoSpool(run, record.temp_name, &name)) {
    run.delivery.journal().waiting_temps.erase(record.temp_name);
    run.log.WriteLog("Journal: " + record.temp_name + " delivered as " + name, log::kMainThread,
                     log::kProgress);
    return true;
  }
  // Left for a later reader of the journal; the IDs stand, so nothing comes twice.
  run.delivery.journal().waiting_temps.insert(record.temp_name);
  run.log.WriteLog("Journal: cannot rename " + record.temp_name, log::kMainThread, log::kProblem);
  return true;
}

// Every rewrite of the journal holds "quorix_dupebase"; that is the lock the
// deletion of a killed rewrite's temporary file (LoadDupeBase) relies on.
bool WriteFreshJournal([[maybe_unused]] run::Run& run, const std::string& path, int64_t generation,
                       std::string_view records) REQUIRES(run.delivery.mutex()) {
  std::string contents = JournalHeader(generation);
  contents.append(records);
  return platform::ReplaceFileContents(path, contents);
}

}  // namespace

std::string JournalHeader(int64_t generation) {
  std::string header(kHeaderStart);
  header.append(text::Decimal(generation)).append(kHeaderEnd);
  return header;
}

int64_t JournalGeneration(std::string_view contents, size_t* header_size) {
  if (!contents.starts_with(kHeaderStart)) return -1;
  size_t pos = kHeaderStart.size();
  int64_t generation = 0;
  if (!ReadNumber(contents, &pos, ',', &generation)) return -1;
  --pos;  // back to the comma
  if (contents.substr(pos, kHeaderEnd.size()) != kHeaderEnd) return -1;
  *header_size = pos + kHeaderEnd.size();
  return generation;
}

std::string EncodeJournalRecord(const JournalRecord& record) {
  std::string payload =
      record.temp_name + "\n" + record.spool_name + "\n" + text::Decimal(record.size) + "\n";
  for (const std::string& id : record.ids) {
    payload.append(text::Decimal(static_cast<int64_t>(id.size()))).append(":").append(id);
  }
  std::string encoded = "@" + text::Decimal(static_cast<int64_t>(payload.size())) + " " +
                        text::HexLower(text::Crc32(payload)) + "\n";
  encoded.append(payload).push_back('\n');
  return encoded;
}

std::vector<JournalRecord> ParseJournalRecords(std::string_view data, size_t* used) {
  std::vector<JournalRecord> records;
  size_t pos = 0;
  *used = 0;
  while (pos < data.size() && data[pos] == '@') {
    size_t next = pos + 1;
    int64_t length = 0;
    std::string crc;
    if (!ReadNumber(data, &next, ' ', &length) || !ReadLine(data, &next, &crc)) break;
    if (static_cast<uint64_t>(length) >= data.size() - next) break;
    std::string_view payload = data.substr(next, static_cast<size_t>(length));
    if (data[next + payload.size()] != '\n' || text::HexLower(text::Crc32(payload)) != crc) break;
    JournalRecord record;
    if (!ParsePayload(payload, &record)) break;
    records.push_back(std::move(record));
    pos = next + payload.size() + 1;
    *used = pos;
  }
  return records;
}

bool CatchUpJournal(run::Run& run, platform::File* journal) {
  const std::string path = JournalPath(run);
  run::DeliveryJournal& state = run.delivery.journal();
  platform::File file = platform::File::Open(
      path, platform::Access::kReadWrite, platform::Sharing::kShared, platform::Missing::kCreate);
  if (!file.IsOpen()) return false;
  std::string head(kHeaderRoom, '\0');
  const int64_t got = file.Read(head.data(), static_cast<int64_t>(head.size()));
  if (got < 0) return false;
  head.resize(static_cast<size_t>(got));
  size_t header_size = 0;
  int64_t generation = JournalGeneration(head, &header_size);
  if (generation < 0) {
    // New, or not a journal at all: start one whose generation differs from
    // the last one this process read (its records, if any, are lost to it).
    file.Close();
    generation = state.generation + 1;
    if (!WriteFreshJournal(run, path, generation, {})) return false;
    file = platform::File::Open(path, platform::Access::kReadWrite, platform::Sharing::kShared,
                                platform::Missing::kFail);
    if (!file.IsOpen()) return false;
    header_size = JournalHeader(generation).size();
  }
  if (!state.journal_read || generation != state.generation) {
    // Another instance folded the journal into QUORIX.IDX: what it folded
    // that this process had not read yet is there now.
    if (state.journal_read && !MergeDupeFile(run)) return false;
    state.journal_read = true;
    state.generation = generation;
    state.offset = static_cast<int64_t>(header_size);
  }
  std::string data;
  // Usually nobody wrote since this process did: then there is nothing to read.
  if (file.Size() != state.offset && (!file.Seek(state.offset) || !file.ReadToEnd(&data))) {
    return false;
  }
  size_t used = 0;
  std::vector<JournalRecord> records = ParseJournalRecords(data, &used);
  if (used < data.size()) {
    // A record cut by a kill (nobody else writes while the lock is held).
    if (file.Seek(state.offset + static_cast<int64_t>(used))) file.SetEnd();
  }
  for (const JournalRecord& record : records) {
    if (!SettleRecord(run, record)) continue;
    for (const std::string& id : record.ids) AddIfNew(run, id);
  }
  state.offset += static_cast<int64_t>(used);
  if (journal != nullptr) *journal = std::move(file);
  return true;
}

bool FlushDeliveries(run::Run& run) {
  platform::NamedLock lock(run.delivery.mutex());
  const run::DeliveryJournal& state = run.delivery.journal();
  if (!state.journal_read) return true;  // nothing was delivered
  platform::File journal =
      platform::File::Open(JournalPath(run), platform::Access::kReadWrite,
                           platform::Sharing::kShared, platform::Missing::kFail);
  bool synced = journal.IsOpen() && journal.Sync();
  journal.Close();
  synced = platform::SyncDirectory(run.env.program_dir) && synced;
  for (const auto& [spool_dir, numbers] : state.spool_numbers) {
    synced = platform::SyncDirectory(spool_dir) && synced;
  }
  return synced;
}

bool AppendJournalRecord(run::Run& run, const JournalRecord& record, platform::File* journal) {
  platform::File opened;
  if (journal == nullptr || !journal->IsOpen()) {
    opened = platform::File::Open(JournalPath(run), platform::Access::kReadWrite,
                                  platform::Sharing::kShared, platform::Missing::kFail);
  }
  platform::File& file = opened.IsOpen() ? opened : *journal;
  const int64_t end = run.delivery.journal().offset;
  if (!file.IsOpen() || !file.Seek(end)) return false;
  const std::string encoded = EncodeJournalRecord(record);
  if (!file.Write(encoded)) {
    if (file.Seek(end)) file.SetEnd();
    return false;
  }
  run.delivery.journal().offset = end + static_cast<int64_t>(encoded.size());  // written whole
  return true;
}

std::string JournalTempName(const run::Run& run) {
  const run::DeliveryJournal& state = run.delivery.journal();
  return "QX" + text::Decimal(state.generation) + "-" + text::Decimal(state.offset) + ".tmp";
}

bool IsJournalTempName(std::string_view name) {
  if (name.size() < 8) return false;
  return platform::MatchWildcard("QX*-*.tmp", name);
}

bool ResetJournal(run::Run& run) {
  const std::string path = JournalPath(run);
  std::string contents;
  if (!platform::ReadWholeFile(path, &contents)) return false;
  size_t header_size = 0;
  const int64_t generation = JournalGeneration(contents, &header_size);
  if (generation < 0) return false;
  size_t used = 0;
  std::string waiting;
  for (const JournalRecord& record :
       ParseJournalRecords(std::string_view(contents).substr(header_size), &used)) {
    if (platform::OwnFileExists(record.temp_name)) waiting.append(EncodeJournalRecord(record));
  }
  if (!WriteFreshJournal(run, path, generation + 1, waiting)) return false;
  run::DeliveryJournal& state = run.delivery.journal();
  state.generation = generation + 1;
  state.offset = static_cast<int64_t>(JournalHeader(generation + 1).size() + waiting.size());
  return true;
}

}  // namespace quorix::bases
