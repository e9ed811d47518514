// Benchmarks over pages the forum simulator served (written to files by
// bench/harvest_bench.py): the conversion work of a harvest run without its
// network. A manifest names the pages, one a line:
//
//   kind TAB engine TAB request path TAB file
//
// kind "topic" (a topic page, converted) or "list" (a topic list page, parsed);
// engine "ubb" or "threads"; the file is relative to the manifest's directory
// and holds the answer as received (HTTP head and page).
#pragma once

#include <string>

namespace quorix::bench {

// Reads the manifest, its pages and the template file (box-file lines) and
// registers BM_ConvertSimulatorPages and BM_ParseSimulatorLists. False with
// *error set when something cannot be read.
bool RegisterSimulatorPages(const std::string& manifest, const std::string& template_file,
                            std::string* error);

}  // namespace quorix::bench
