// The delivery journal "QUORIX.JRN" beside the bases: what has reached the
// spool since QUORIX.IDX was last written, so that neither a killed run nor
// another instance running at the same time delivers an article twice.
//
// A page's new articles are written to a temporary spool file; then, under the
// "quorix_dupebase" lock, one record naming that file and the page's
// Message-IDs is appended here, and only then is the file renamed to its spool
// name for CrossPoint. Whoever reads the journal later (the next run, or
// another instance before each page it delivers) takes the IDs into its dupe
// base and renames a temporary file that a killed run left behind. A record
// that was cut by a kill fails its checksum and is cut off; its temporary
// file is deleted with the other leftovers, and its articles come again.
//
// File layout: the line "# QUORIX Journal " + generation + ", do not edit or
// delete! #" CR LF, then the records. A record is "@" + the payload's length +
// " " + its CRC-32 in lower-case hex + LF + payload + LF. The payload is the
// temporary name, LF, the spool name, LF, the file's size, LF, then each
// Message-ID as its length, ":" and its bytes. The save of QUORIX.IDX folds the
// journal into the base and starts the next generation, which tells other
// running instances to read QUORIX.IDX again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "run/run.h"

namespace quorix::bases {

inline constexpr std::string_view kJournalFile = "QUORIX.JRN";

struct JournalRecord {
  std::string temp_name;   // the spool file as written, not yet for the reader
  std::string spool_name;  // the name it was given (or is to be given)
  int64_t size = 0;        // its size in bytes
  std::vector<std::string> ids;
};

std::string JournalHeader(int64_t generation);
// The generation of a journal's header line and the line's length; -1 when
// the text does not start with a whole header line.
int64_t JournalGeneration(std::string_view contents, size_t* header_size);

std::string EncodeJournalRecord(const JournalRecord& record);
// The whole records at the start of `data`; *used is where they end. Parsing
// stops at the first record that is cut short or fails its checksum.
std::vector<JournalRecord> ParseJournalRecords(std::string_view data, size_t* used);

// Flushes to the disk what this run delivered: the journal's data, the
// program directory and every spool directory delivered to (their renamed
// names). Takes "quorix_dupebase" itself. False when a flush failed; the
// bases must not then be saved, so that no topic counts as read before its
// articles are on the disk.
bool FlushDeliveries(run::Run& run) EXCLUDES(run.delivery.mutex());

// The following need the "quorix_dupebase" named mutex (run.delivery.mutex())
// held by the caller.

// Takes what the journal gained since this process last read it into the
// dupe base, renames the temporary spool files of records whose writer died
// before renaming them, and cuts off a record that a kill left unfinished.
// After another instance started a new generation, QUORIX.IDX is read again
// first. A missing journal is created. False when it cannot be read. With
// `journal`, the open journal is handed over for AppendJournalRecord.
bool CatchUpJournal(run::Run& run, platform::File* journal = nullptr)
    REQUIRES(run.delivery.mutex());

// Appends a record at the end that CatchUpJournal reached, through `journal`
// when it is open (else the journal is opened); false, with the journal as it
// was, when that fails.
bool AppendJournalRecord(run::Run& run, const JournalRecord& record,
                         platform::File* journal = nullptr) REQUIRES(run.delivery.mutex());

// A temporary spool file name that no other record of this installation's
// journal uses: "QX" + generation + "-" + journal offset + ".tmp".
std::string JournalTempName(const run::Run& run) REQUIRES(run.delivery.mutex());
// True for names of that form (letter case ignored).
bool IsJournalTempName(std::string_view name);

// Starts the next generation, empty except for the records whose temporary
// file is still waiting to be renamed. Called once QUORIX.IDX holds every ID
// of the journal. The rewrite holds "quorix_dupebase" (as every rewrite of
// the journal does), not "quorix_fileopen".
bool ResetJournal(run::Run& run) REQUIRES(run.delivery.mutex());

}  // namespace quorix::bases
