// The Html base: for every topic read, the topic entry ("link,marker") as its
// topic list last showed it, so that unchanged topics are not fetched again.
// Kept between runs in "QUORIX.HTM" in the program directory.
//
// File layout: the 43 characters "# QUORIX Htmlbase, do not edit or delete! #",
// CR LF, then (from byte 45) the records in order, each followed by one NUL.
// Text after the last NUL (a cut record) is dropped on load.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/run.h"

namespace quorix::bases {

inline constexpr std::string_view kHtmlBaseFile = "QUORIX.HTM";
inline constexpr std::string_view kHtmlBaseHeader =
    "# QUORIX Htmlbase, do not edit or delete! #\r\n";

// The topic's link: the entry's text before its first ",".
std::string_view LinkOf(std::string_view entry);
// The leading number of the entry's second ","-field (0 when there is none).
int64_t MarkerNumberOf(std::string_view entry);

// Reads the file (created empty when missing), logging "Reading Htmlbase"
// (level 0, main); a file that cannot be opened or read logs "Error Reading
// Htmlbase" (level 2, main) and leaves the base empty. The base's load status
// says which: loaded, missing (created empty) or failed.
void LoadHtmlBase(run::Run& run) EXCLUDES(run.file_open_mutex, run.html_base.mutex());

// Reads the file again (another instance may have saved since the load), lets
// this run's recorded topics replace or extend its records, and writes the
// header and all records crash-safe, also when there are none. A failing save
// changes nothing (a file that exists but cannot be read is not rewritten); a
// save that succeeds forgets the recorded topics it wrote.
void SaveHtmlBase(run::Run& run) EXCLUDES(run.file_open_mutex, run.html_base.mutex());

// The first record whose link equals `link`, whole.
std::optional<std::string> FindHtmlRecord(run::Run& run, std::string_view link);

// Stores a topic entry in one step: it replaces the first record with the
// same link, or is appended. The base grows without limit.
void RecordTopic(run::Run& run, std::string_view topic_entry);

// Number of records.
size_t HtmlBaseCount(run::Run& run);

// Every record, in order.
std::vector<std::string> HtmlRecords(run::Run& run);

}  // namespace quorix::bases
