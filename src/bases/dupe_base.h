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

// Reads the file (created empty when missing) into the base. A file that
// cannot be opened or read logs "Error Reading Dupebase" (level 2, main) and
// leaves the base as it was; the save then merges instead of overwriting.
void LoadDupeBase(run::Run& run);

// Writes the header and the last DupeBaseLimit characters, crash-safe, when
// this run added an ID and the limit is at least 16000. After a failed load
// the file is read again first and this run's new IDs are added to what it
// holds. A failing save changes nothing and logs nothing.
void SaveDupeBase(run::Run& run);

// True when the ID occurs in the base (a plain substring search, answered
// through an index).
bool IsDupe(run::Run& run, std::string_view id);

// The stored ID of an earlier version of the same post: same ID up to the
// checksum of the text (an edited post). The one stored last wins, as that is
// the version the reader holds. Empty when there is none.
std::string EarlierVersion(run::Run& run, std::string_view id);

// Appends the ID (after its article was written).
void AddToDupeBase(run::Run& run, std::string_view id);

}  // namespace quorix::bases
