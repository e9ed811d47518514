// The in-memory data of the two bases. The bases module owns the rules
// (load, save, lookup, update); the run only holds the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quorix::run {

// Hashes std::string and std::string_view alike, so that sets and maps keyed
// by std::string can be searched with a view.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

using TextSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;
template <typename Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

// A stretch of a text, by position: it stays valid when the text grows and
// moves, where a view would not.
struct TextSpan {
  size_t offset = 0;
  size_t size = 0;
};

// Hash and equality of spans of one text, searchable with a view. The index
// of the dupe base holds a million IDs as spans of the text that holds them
// anyway, instead of a copy of each in a string of its own.
class SpanHash {
 public:
  using is_transparent = void;
  explicit SpanHash(const std::string* text) : text_(text) {}
  size_t operator()(TextSpan span) const { return (*this)(View(span)); }
  size_t operator()(std::string_view view) const { return std::hash<std::string_view>{}(view); }
  std::string_view View(TextSpan span) const {
    return std::string_view(*text_).substr(span.offset, span.size);
  }

 private:
  const std::string* text_;
};

class SpanEqual {
 public:
  using is_transparent = void;
  explicit SpanEqual(const std::string* text) : hash_(text) {}
  bool operator()(TextSpan a, TextSpan b) const { return hash_.View(a) == hash_.View(b); }
  bool operator()(TextSpan a, std::string_view b) const { return hash_.View(a) == b; }
  bool operator()(std::string_view a, TextSpan b) const { return a == hash_.View(b); }

 private:
  SpanHash hash_;
};

using SpanSet = std::unordered_set<TextSpan, SpanHash, SpanEqual>;
using SpanMap = std::unordered_map<TextSpan, TextSpan, SpanHash, SpanEqual>;
using SpanIndex = std::unordered_map<TextSpan, size_t, SpanHash, SpanEqual>;

// What has been delivered: the Message-IDs, concatenated in the order added.
// `lock` guards the fields for the threads of this process, one lookup or
// append at a time; it is never held while a file is touched.
struct DupeBaseState {
  std::mutex lock;
  std::string text;  // DupeBaseText
  // Every "<...>" run of `text` without inner brackets, as spans of `text`.
  SpanSet ids{0, SpanHash(&text), SpanEqual(&text)};
  // ID up to its checksum -> the ID indexed last with it, both spans of `text`.
  SpanMap latest_version{0, SpanHash(&text), SpanEqual(&text)};
  size_t indexed_up_to = 0;            // where indexing resumes after an append
  bool load_failed = false;            // the file could not be read when the work started
  bool added = false;                  // this run added an ID
  std::vector<std::string> added_ids;  // the IDs this run added, in order
};

// The numbers in use in one spool directory. A run only ever takes numbers,
// so none below `free_from` is free: the search for the smallest free number
// starts there, not at 0, which over 100,000 pages would scan quadratically.
struct SpoolNumbersInUse {
  std::vector<bool> used;
  int free_from = 0;
};

// The delivery journal as this process has read it, and the spool file
// numbers in use per spool directory (listed once per run). Guarded by the
// "quorix_dupebase" named mutex, which other instances take as well.
struct DeliveryState {
  bool journal_read = false;                 // the journal was read at least once in this run
  int64_t generation = 0;                    // its generation when last read
  int64_t offset = 0;                        // its bytes taken into the dupe base so far
  TextMap<SpoolNumbersInUse> spool_numbers;  // by spool directory
  TextSet waiting_temps;  // temporary spool files of records that could not be renamed yet
};

// What has been read: one record per topic, "link,marker". The records are
// spans of one text (the file's records as loaded, then those this run
// stored, each followed by a NUL), so a million of them cost no string each.
struct HtmlBaseState {
  std::mutex lock;                  // one lookup or update at a time
  std::string text;                 // the records' bytes; only ever appended to
  std::vector<TextSpan> records;    // records[0] is record 1, spans of `text`
  // A record's link -> the index of the first record with it; the key is a
  // span of `text` too.
  SpanIndex first_index{0, SpanHash(&text), SpanEqual(&text)};
  bool load_failed = false;           // the file could not be read when the work started
  std::vector<std::string> recorded;  // the entries this run recorded, in order
};

// An outgoing article whose form went out without a confirming answer: the
// forum may hold it. See bases/pending_posts.h for the rules.
struct PendingPost {
  bool seen = false;      // the harvest found it on the forum
  uint32_t file_crc = 0;  // CRC-32 of the outgoing file as it was sent
  std::string file;       // the outgoing file, with its directory
  std::string user;       // WebUser of the box
  std::string id_prefix;  // "<newsgroup@forumN." of the posts of its forum
  std::string words;      // its text in comparable words (bases::PostWords)
};

// The pending posts as the file held them when last read or written.
struct PendingPostState {
  std::mutex lock;  // guards the members below
  bool loaded = false;
  std::vector<PendingPost> entries;
};

}  // namespace quorix::run
