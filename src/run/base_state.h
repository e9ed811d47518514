// The in-memory data of the two bases. The bases module owns the rules
// (load, save, lookup, update); the run only holds the data.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quorix::run {

// What has been delivered: the Message-IDs, concatenated in the order added.
struct DupeBaseState {
  std::string text;                         // DupeBaseText
  std::unordered_set<std::string> ids;      // every "<...>" run of `text` without inner brackets
  size_t indexed_up_to = 0;                 // where indexing resumes after an append
  bool load_failed = false;
  bool added = false;                       // this run added an ID
};

// What has been read: one record per topic, "link,marker".
struct HtmlBaseState {
  std::mutex lock;                                      // one lookup-and-update at a time
  std::vector<std::string> records;                     // records[0] is record 1
  std::unordered_map<std::string, size_t> first_index;  // link -> first record with it
};

}  // namespace quorix::run
