// The bases' state in memory, each with its own lock: the dupe base, the
// delivery journal, the Html base, the pending posts. The bases module owns
// the rules (load, save, lookup, update); these classes own the data and
// the locks, and clang's thread-safety analysis (the "clang-tsa" preset)
// checks that every member is reached with its lock held.
//
// The lock order, outermost first (a lock may be taken while those before it
// are held, never while one after it is):
//   "quorix_dupebase" (DeliveryState::mutex) -> "quorix_fileopen"
//   (Run::file_open_mutex) -> the in-process locks of the dupe base and the
//   Html base; "quorix_pendingposts" -> the pending posts' in-process lock.
// The log's locks come after all of them: any holder may write a log line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/load_status.h"
#include "platform/mutex.h"
#include "platform/named_mutex.h"
#include "platform/thread_annotations.h"

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

// The dupe base's text and its index (bases/dupe_index.h): the Message-IDs,
// concatenated in the order added. Not copyable: the index holds spans of the
// text.
struct DupeIndex {
  DupeIndex() = default;
  DupeIndex(const DupeIndex&) = delete;
  DupeIndex& operator=(const DupeIndex&) = delete;

  std::string text;  // DupeBaseText
  // Every "<...>" run of `text` without inner brackets, as spans of `text`.
  SpanSet ids{0, SpanHash(&text), SpanEqual(&text)};
  // ID up to its checksum -> the ID indexed last with it, both spans of `text`.
  SpanMap latest_version{0, SpanHash(&text), SpanEqual(&text)};
  size_t indexed_up_to = 0;  // where indexing resumes after an append
};

// What has been delivered, in memory. Its lock guards the index and what the
// run added, for the threads of this process, one lookup or append at a time;
// it is a leaf of the lock order (nothing else is taken while it is held) and
// never held while a file is touched.
class DupeBaseState {
 public:
  platform::Mutex& mutex() const RETURN_CAPABILITY(mutex_) { return mutex_; }
  DupeIndex& index() REQUIRES(mutex_) { return index_; }
  const DupeIndex& index() const REQUIRES(mutex_) { return index_; }
  // What the load found (kMissing before any load).
  platform::LoadStatus load_status() const REQUIRES(mutex_) { return load_status_; }
  void set_load_status(platform::LoadStatus status) REQUIRES(mutex_) { load_status_ = status; }
  // The IDs this run added, in order; the save takes them into the file.
  const std::vector<std::string>& added_ids() const REQUIRES(mutex_) { return added_ids_; }
  void NoteAdded(std::string_view id) REQUIRES(mutex_) { added_ids_.emplace_back(id); }

  // A copy of the text (tests and fuzzers).
  std::string Text() const EXCLUDES(mutex_) {
    platform::MutexLock lock(mutex_);
    return index_.text;
  }
  // Back to an empty base that nothing was loaded into (fuzzers, between inputs).
  void Clear() EXCLUDES(mutex_) {
    platform::MutexLock lock(mutex_);
    index_.text.clear();
    index_.ids.clear();
    index_.latest_version.clear();
    index_.indexed_up_to = 0;
    load_status_ = platform::LoadStatus::kMissing;
    added_ids_.clear();
  }

 private:
  mutable platform::Mutex mutex_;
  DupeIndex index_ GUARDED_BY(mutex_);
  platform::LoadStatus load_status_ GUARDED_BY(mutex_) = platform::LoadStatus::kMissing;
  std::vector<std::string> added_ids_ GUARDED_BY(mutex_);
};

// The numbers in use in one spool directory. A run only ever takes numbers,
// so none below `free_from` is free: the search for the smallest free number
// starts there, not at 0, which over 100,000 pages would scan quadratically.
struct SpoolNumbersInUse {
  std::vector<bool> used;
  int free_from = 0;
};

// The delivery journal as this process has read it, and the spool file
// numbers in use per spool directory (listed once per run).
struct DeliveryJournal {
  bool journal_read = false;                 // the journal was read at least once in this run
  int64_t generation = 0;                    // its generation when last read
  int64_t offset = 0;                        // its bytes taken into the dupe base so far
  TextMap<SpoolNumbersInUse> spool_numbers;  // by spool directory
  TextSet waiting_temps;  // temporary spool files of records that could not be renamed yet
};

// The delivery journal's state and its lock, the named mutex
// "quorix_dupebase" that other instances take as well: it guards the journal
// file, QUORIX.IDX's merge and every spool file's temporary name and rename.
// It comes first in the lock order: "quorix_fileopen" and the in-memory
// bases' locks may be taken while it is held, never the other way round.
class DeliveryState {
 public:
  platform::NamedMutex& mutex() const RETURN_CAPABILITY(mutex_) { return mutex_; }
  DeliveryJournal& journal() REQUIRES(mutex_) { return journal_; }
  const DeliveryJournal& journal() const REQUIRES(mutex_) { return journal_; }
  // Back to a journal that this process has not read (fuzzers, between inputs).
  void Clear() EXCLUDES(mutex_) {
    platform::NamedLock lock(mutex_);
    journal_ = DeliveryJournal();
  }

 private:
  mutable platform::NamedMutex mutex_{"quorix_dupebase"};
  DeliveryJournal journal_ GUARDED_BY(mutex_);
};

// What has been read: one record per topic, "link,marker". The records are
// spans of one text (the file's records as loaded, then those this run
// stored, each followed by a NUL), so a million of them cost no string each.
// Not copyable: the index holds spans of the text.
struct HtmlRecords {
  HtmlRecords() = default;
  HtmlRecords(const HtmlRecords&) = delete;
  HtmlRecords& operator=(const HtmlRecords&) = delete;

  std::string text;               // the records' bytes; only ever appended to
  std::vector<TextSpan> records;  // records[0] is record 1, spans of `text`
  // A record's link -> the index of the first record with it; the key is a
  // span of `text` too.
  SpanIndex first_index{0, SpanHash(&text), SpanEqual(&text)};
};

// The Html base in memory. Its lock guards the records and what the run
// recorded, one lookup or update at a time; it may be taken while
// "quorix_fileopen" is held (the save), and nothing is taken while it is held.
class HtmlBaseState {
 public:
  platform::Mutex& mutex() const RETURN_CAPABILITY(mutex_) { return mutex_; }
  HtmlRecords& records() REQUIRES(mutex_) { return records_; }
  const HtmlRecords& records() const REQUIRES(mutex_) { return records_; }
  // What the load found (kMissing before any load).
  platform::LoadStatus load_status() const REQUIRES(mutex_) { return load_status_; }
  void set_load_status(platform::LoadStatus status) REQUIRES(mutex_) { load_status_ = status; }
  // The entries this run recorded and no save has written yet, in order.
  std::vector<std::string>& recorded() REQUIRES(mutex_) { return recorded_; }

  // Back to an empty base that nothing was loaded into (fuzzers, between inputs).
  void Clear() EXCLUDES(mutex_) {
    platform::MutexLock lock(mutex_);
    records_.first_index.clear();
    records_.records.clear();
    records_.text.clear();
    recorded_.clear();
    load_status_ = platform::LoadStatus::kMissing;
  }

 private:
  mutable platform::Mutex mutex_;
  HtmlRecords records_ GUARDED_BY(mutex_);
  platform::LoadStatus load_status_ GUARDED_BY(mutex_) = platform::LoadStatus::kMissing;
  std::vector<std::string> recorded_ GUARDED_BY(mutex_);
};

// An outgoing article whose form went out without a confirming answer (the
// forum may hold it), or a confirmed one that the harvest has not delivered
// yet. See bases/pending_posts.h for the rules.
struct PendingPost {
  bool seen = false;  // the harvest found it on the forum
  // Confirmed by the forum; the harvest's copy is to replace the reader's.
  // Only such a record has the two values below.
  bool posted = false;
  uint32_t file_crc = 0;    // CRC-32 of the outgoing file as it was sent
  std::string file;         // the outgoing file, with its directory
  std::string user;         // WebUser of the box
  std::string id_prefix;    // "<newsgroup@forumN." of the posts of its forum
  std::string words;        // its text in comparable words (bases::PostWords)
  std::string outgoing_id;  // the Message-ID of the outgoing article
  std::string confirmed;    // the day the forum confirmed it, "YYYYMMDD"
};

// The pending posts as the file held them when last read or written, and
// the file's lock across processes, the named mutex "quorix_pendingposts".
// The order: the named mutex first, then the in-memory lock; neither is held
// with the delivery's or "quorix_fileopen".
class PendingPostState {
 public:
  platform::NamedMutex& file_mutex() RETURN_CAPABILITY(file_mutex_) { return file_mutex_; }
  platform::Mutex& mutex() const RETURN_CAPABILITY(mutex_) { return mutex_; }
  bool loaded() const REQUIRES(mutex_) { return loaded_; }
  const std::vector<PendingPost>& entries() const REQUIRES(mutex_) { return entries_; }
  void Remember(std::vector<PendingPost> entries) REQUIRES(mutex_) {
    entries_ = std::move(entries);
    loaded_ = true;
  }
  // The outgoing Message-IDs of confirmed posts that a page of this run is
  // delivering: no second post takes them.
  TextSet& claimed() REQUIRES(mutex_) { return claimed_; }
  // Read the file again at the next look, and no claims (fuzzers, between
  // inputs).
  void Forget() EXCLUDES(mutex_) {
    platform::MutexLock lock(mutex_);
    loaded_ = false;
    claimed_.clear();
  }

 private:
  platform::NamedMutex file_mutex_{"quorix_pendingposts"};
  mutable platform::Mutex mutex_;
  bool loaded_ GUARDED_BY(mutex_) = false;
  std::vector<PendingPost> entries_ GUARDED_BY(mutex_);
  TextSet claimed_ GUARDED_BY(mutex_);
};

}  // namespace quorix::run
