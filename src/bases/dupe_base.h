// The dupe base: the Message-IDs of every article delivered to CrossPoint, so
// that no article is delivered twice. One text in memory for the whole run,
// kept between runs in "QUORIX.IDX" in the program directory.
//
// File layout: the 43 characters "# QUORIX Dupebase, do not edit or delete! #",
// CR LF, then (from byte 45) the stored IDs concatenated, with nothing between
// or after them. The data may begin inside an ID: the save keeps only the last
// DupeBaseLimit characters.
#pragma once

#include <string>
#include <string_view>

#include "run/run.h"

namespace quorix::bases {

inline constexpr std::string_view kDupeBaseFile = "QUORIX.IDX";
inline constexpr std::string_view kDupeBaseHeader =
    "# QUORIX Dupebase, do not edit or delete! #\r\n";

// Reads the file (created empty when missing) into the base, then the
// delivery journal (what runs delivered after their last save, see
// delivery_journal.h), and deletes temporary files that killed rewrites of
// the bases left behind. The base's load status says which: loaded, missing
// (created empty) or failed. A file that cannot be opened or read logs "Error
// Reading Dupebase" (level 2, main) and leaves the base as it was.
void LoadDupeBase(run::Run& run) EXCLUDES(run.delivery.mutex(), run.file_open_mutex);

// When this run added an ID (its own or another instance's from the journal)
// and the limit is at least 16000: reads the file again, adds this run's IDs
// that it lacks, writes the header and the last DupeBaseLimit characters
// crash-safe, and then starts the journal's next generation. Under the
// "quorix_dupebase" lock, so that instances saving one after the other lose
// none of each other's IDs. A failing save changes nothing and logs nothing.
void SaveDupeBase(run::Run& run) EXCLUDES(run.delivery.mutex(), run.file_open_mutex);

// Adds the IDs that the file holds and the base lacks (another instance saved
// them). False when the file exists but cannot be read. Takes
// "quorix_fileopen"; the caller holds "quorix_dupebase".
bool MergeDupeFile(run::Run& run) EXCLUDES(run.file_open_mutex);

// Adds the ID unless the base knows it already; true when it was added.
bool AddIfNew(run::Run& run, std::string_view id) EXCLUDES(run.dupe_base.mutex());

// True when the ID occurs in the base (a plain substring search, answered
// through an index). Takes only the in-process lock of the base.
bool IsDupe(run::Run& run, std::string_view id) EXCLUDES(run.dupe_base.mutex());

// The stored ID of an earlier version of the same post: same ID up to the
// checksum of the text (an edited post). The one stored last wins, as that is
// the version the reader holds. Empty when there is none. Takes only the
// in-process lock of the base.
std::string EarlierVersion(run::Run& run, std::string_view id)
    EXCLUDES(run.dupe_base.mutex());

// Appends the ID (after its article was written).
void AddToDupeBase(run::Run& run, std::string_view id) EXCLUDES(run.dupe_base.mutex());

}  // namespace quorix::bases
