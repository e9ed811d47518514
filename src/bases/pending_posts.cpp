#include "bases/pending_posts.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "log/logger.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "text/text.h"

namespace quorix::bases {
namespace {

constexpr size_t kMaxTagLength = 500;     // "<...>" longer than this is text
constexpr size_t kMaxBracketLength = 40;  // "[...]" longer than this is text
constexpr size_t kMaxEntityLength = 10;   // "&...;" longer than this is text
constexpr int64_t kMaxFileSize = 64 * 1024 * 1024;

bool IsWordByte(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80;
}

bool IsTagStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '/' || c == '!';
}

// The length of the markup that starts at `at` ("<tag>", "[tag]", "&name;"),
// 0 when none starts there.
size_t MarkupLength(std::string_view text, size_t at) {
  const char c = text[at];
  if (c == '<' && at + 1 < text.size() && IsTagStart(static_cast<unsigned char>(text[at + 1]))) {
    const size_t end = text.find('>', at);
    if (end != std::string_view::npos && end - at <= kMaxTagLength) return end - at + 1;
  } else if (c == '[') {
    for (size_t i = at + 1; i < text.size() && i - at <= kMaxBracketLength; ++i) {
      if (text[i] == ']') return i - at + 1;
      if (text[i] == ' ' || text[i] == '\r' || text[i] == '\n' || text[i] == '[') break;
    }
  } else if (c == '&') {
    size_t i = at + 1;
    while (i < text.size() && i - at <= kMaxEntityLength &&
           (IsWordByte(static_cast<unsigned char>(text[i])) || text[i] == '#')) {
      ++i;
    }
    if (i < text.size() && text[i] == ';' && i > at + 1) return i - at + 1;
  }
  return 0;
}

std::string PendingPostsPath(const run::Run& run) {
  return run.env.program_dir + std::string(kPendingPostsFile);
}

std::string OneLine(std::string_view value) {
  std::string line(value);
  for (char& c : line) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

bool SameUser(std::string_view a, std::string_view b) {
  return text::LowerCase437(text::TrimBlanks(a)) == text::LowerCase437(text::TrimBlanks(b));
}

// Could `post` be the harvested post of this forum and author? (The words are
// compared apart, as they cost more.)
bool MayBe(const run::PendingPost& post, std::string_view message_id, std::string_view author) {
  return message_id.starts_with(post.id_prefix) && SameUser(author, post.user);
}

std::string DayText(const platform::LocalTime& now) {
  std::string day = text::Decimal(now.year * 10000 + now.month * 100 + now.day);
  return std::string(day.size() < 8 ? 8 - day.size() : 0, '0') + day;
}

int64_t Today(const run::Run& run) { return DayNumber(DayText(run.clock.Now())); }

bool Expired(const run::PendingPost& post, int64_t today) {
  return today - DayNumber(post.confirmed) > kPostedDays;
}

// A posted record that a harvested post may still take.
bool OpenOwn(const run::PendingPost& post, int64_t today, const run::TextSet& claimed) {
  return post.posted && !Expired(post, today) && !claimed.contains(post.outgoing_id);
}

// The directory part of a file name: the outgoing spool of its box.
std::string_view BoxOf(std::string_view file) {
  const size_t end = file.find_last_of("\\/");
  return end == std::string_view::npos ? std::string_view() : file.substr(0, end + 1);
}

// The entries; none when the file is missing or when it exists but cannot be
// read whole (a read error, or larger than any file this program writes):
// failed then, and rewriting it would drop the records of every other instance.
platform::LoadStatus ReadEntries(run::Run& run, std::vector<run::PendingPost>* entries)
    REQUIRES(run.pending_posts.file_mutex()) {
  entries->clear();
  const std::string path = PendingPostsPath(run);
  std::string content;
  if (!platform::ReadWholeFile(path, &content, kMaxFileSize + 1)) {
    return platform::FileExists(path) ? platform::LoadStatus::kFailed
                                      : platform::LoadStatus::kMissing;
  }
  if (static_cast<int64_t>(content.size()) > kMaxFileSize) return platform::LoadStatus::kFailed;
  *entries = ParsePendingPosts(content);
  return platform::LoadStatus::kLoaded;
}

void LogUnreadable(const log::ThreadLog& log) {
  log.Write("Error reading " + std::string(kPendingPostsFile), log::kProblem);
}

void Remember(run::Run& run, std::vector<run::PendingPost> entries)
    EXCLUDES(run.pending_posts.mutex()) {
  platform::MutexLock lock(run.pending_posts.mutex());
  run.pending_posts.Remember(std::move(entries));
}

// Reads the file, lets `change` edit its entries and writes them back when it
// returns true, all under the cross-process lock, so that instances never
// lose each other's entries. False when the file could not be written.
template <typename Change>
bool Update(run::Run& run, const log::ThreadLog& log, Change change)
    EXCLUDES(run.pending_posts.file_mutex()) {
  platform::NamedLock lock(run.pending_posts.file_mutex());
  if (!run.pending_posts.file_mutex().ExcludesOtherProcesses()) {
    log.Write(
        "Error writing " + std::string(kPendingPostsFile) + ": other instances are not locked out",
        log::kProblem);
    return false;
  }
  std::vector<run::PendingPost> entries;
  if (ReadEntries(run, &entries) == platform::LoadStatus::kFailed) {
    LogUnreadable(log);
    return false;
  }
  bool written = true;
  if (change(entries)) {
    const std::string path = PendingPostsPath(run);
    platform::DeleteReplaceLeftovers(path);  // a killed instance's, as every writer holds the lock
    written = entries.empty() ? (platform::DeleteFile(path) || !platform::FileExists(path))
                              : platform::ReplaceFileContents(path, FormatPendingPosts(entries));
    if (!written) {
      log.Write("Error writing " + std::string(kPendingPostsFile), log::kProblem);
    }
  }
  Remember(run, std::move(entries));
  return written;
}

}  // namespace

std::string PostWords(std::string_view text) {
  std::string words;
  size_t at = 0;
  while (at < text.size()) {
    if (const size_t markup = MarkupLength(text, at); markup > 0) {
      at += markup;
      if (!words.empty() && words.back() != ' ') words += ' ';
      continue;
    }
    const auto c = static_cast<unsigned char>(text[at]);
    if (IsWordByte(c)) {
      words += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    } else if (!words.empty() && words.back() != ' ') {
      words += ' ';
    }
    ++at;
  }
  if (!words.empty() && words.back() == ' ') words.pop_back();
  return words;
}

bool WordsMatch(std::string_view posted, std::string_view harvested) {
  if (posted.empty()) return false;
  const std::string haystack = " " + std::string(harvested) + " ";
  const std::string needle = " " + std::string(posted) + " ";
  return haystack.find(needle) != std::string::npos;
}

std::string FormatPendingPosts(const std::vector<run::PendingPost>& entries) {
  std::string content(kPendingPostsHeader);
  for (const run::PendingPost& post : entries) {
    content.append(post.posted ? "P" : post.seen ? "F" : "S").append("\t");
    std::string crc = text::HexLower(post.file_crc);
    content.append(std::string(crc.size() < 8 ? 8 - crc.size() : 0, '0')).append(crc);
    content.append("\t").append(OneLine(post.file));
    content.append("\t").append(OneLine(post.user));
    content.append("\t").append(OneLine(post.id_prefix));
    content.append("\t").append(OneLine(post.words));
    if (post.posted) {
      content.append("\t").append(OneLine(post.outgoing_id)).append("\t").append(post.confirmed);
    }
    content.append("\r\n");
  }
  return content;
}

std::vector<run::PendingPost> ParsePendingPosts(std::string_view content) {
  std::vector<run::PendingPost> entries;
  while (!content.empty()) {
    const size_t lf = content.find('\n');
    std::string_view line = content.substr(0, lf);
    content.remove_prefix(lf == std::string_view::npos ? content.size() : lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string_view> fields;
    for (size_t tab; (tab = line.find('\t')) != std::string_view::npos;) {
      fields.push_back(line.substr(0, tab));
      line.remove_prefix(tab + 1);
    }
    fields.push_back(line);
    const bool posted = fields[0] == "P";
    if (fields.size() != (posted ? 8u : 6u) || (!posted && fields[0] != "S" && fields[0] != "F") ||
        fields[1].size() != 8 || fields[2].empty()) {
      continue;
    }
    run::PendingPost post;
    post.seen = fields[0] == "F";
    post.posted = posted;
    if (posted) {
      if (fields[6].empty() || DayNumber(fields[7]) < 0) continue;
      post.outgoing_id = std::string(fields[6]);
      post.confirmed = std::string(fields[7]);
    }
    bool hex = true;
    for (char c : fields[1]) {
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      hex = hex && digit >= 0;
      post.file_crc = post.file_crc * 16 + static_cast<uint32_t>(digit < 0 ? 0 : digit);
    }
    if (!hex) continue;
    post.file = std::string(fields[2]);
    post.user = std::string(fields[3]);
    post.id_prefix = std::string(fields[4]);
    post.words = std::string(fields[5]);
    entries.push_back(std::move(post));
  }
  return entries;
}

std::optional<run::PendingPost> FindPendingPost(run::Run& run, std::string_view file) {
  std::vector<run::PendingPost> entries;
  {
    platform::NamedLock lock(run.pending_posts.file_mutex());
    ReadEntries(run, &entries);
  }
  for (run::PendingPost& post : entries) {
    if (!post.posted && post.file == file) return std::move(post);
  }
  return std::nullopt;
}

bool PendingPostsReadable(run::Run& run, const log::ThreadLog& log) {
  platform::NamedLock lock(run.pending_posts.file_mutex());
  std::vector<run::PendingPost> entries;
  if (ReadEntries(run, &entries) != platform::LoadStatus::kFailed) return true;
  LogUnreadable(log);
  return false;
}

bool RecordPendingPost(run::Run& run, const run::PendingPost& post, const log::ThreadLog& log) {
  return Update(run, log, [&post](std::vector<run::PendingPost>& entries) {
    std::erase_if(entries,
                  [&post](const run::PendingPost& e) { return !e.posted && e.file == post.file; });
    entries.push_back(post);
    return true;
  });
}

void ForgetPendingPost(run::Run& run, std::string_view file, const log::ThreadLog& log) {
  Update(run, log, [file](std::vector<run::PendingPost>& entries) {
    return std::erase_if(entries, [file](const run::PendingPost& e) {
             return !e.posted && e.file == file;
           }) > 0;
  });
}

bool ConfirmPendingPost(run::Run& run, const run::PendingPost& sent, std::string_view outgoing_id,
                        const log::ThreadLog& log) {
  const std::string today = DayText(run.clock.Now());
  const int64_t today_number = DayNumber(today);
  return Update(run, log, [&](std::vector<run::PendingPost>& entries) {
    const bool changed = std::erase_if(entries, [&sent](const run::PendingPost& e) {
                           return !e.posted && !e.seen && e.file == sent.file;
                         }) > 0;
    if (outgoing_id.empty()) return changed;
    std::erase_if(entries, [&](const run::PendingPost& e) {
      return e.posted && (e.outgoing_id == outgoing_id || Expired(e, today_number));
    });
    run::PendingPost posted = sent;
    posted.seen = false;
    posted.posted = true;
    posted.outgoing_id = OneLine(outgoing_id);
    posted.confirmed = today;
    entries.push_back(std::move(posted));
    const std::string_view box = BoxOf(sent.file);
    auto in_box = [box](const run::PendingPost& e) { return e.posted && BoxOf(e.file) == box; };
    size_t count = static_cast<size_t>(std::count_if(entries.begin(), entries.end(), in_box));
    for (auto it = entries.begin(); count > kMaxPostedPerBox && it != entries.end();) {
      if (in_box(*it)) {
        it = entries.erase(it);
        --count;
      } else {
        ++it;
      }
    }
    return true;
  });
}

std::string WatchHarvestedPost(run::Run& run, const log::ThreadLog& log,
                               std::string_view message_id, std::string_view author,
                               std::string_view body) {
  bool loaded = false;
  {
    platform::MutexLock lock(run.pending_posts.mutex());
    loaded = run.pending_posts.loaded();
  }
  if (!loaded) {
    platform::NamedLock lock(run.pending_posts.file_mutex());
    std::vector<run::PendingPost> entries;
    ReadEntries(run, &entries);
    Remember(run, std::move(entries));
    platform::MutexLock state_lock(run.pending_posts.mutex());
    run.pending_posts.claimed().clear();
  }
  const int64_t today = Today(run);
  // Which entries could this post be? Most runs have none at all.
  bool any = false;
  {
    platform::MutexLock lock(run.pending_posts.mutex());
    const run::TextSet& claimed = run.pending_posts.claimed();
    for (const run::PendingPost& post : run.pending_posts.entries()) {
      any = any || ((OpenOwn(post, today, claimed) || (!post.posted && !post.seen)) &&
                    MayBe(post, message_id, author));
    }
  }
  if (!any) return std::string();
  const std::string words = PostWords(body);

  // The oldest posted record that the post matches is its outgoing article.
  std::string own;
  bool pending = false;
  {
    platform::MutexLock lock(run.pending_posts.mutex());
    run::TextSet& claimed = run.pending_posts.claimed();
    for (const run::PendingPost& post : run.pending_posts.entries()) {
      if (!MayBe(post, message_id, author) || !WordsMatch(post.words, words)) continue;
      if (!post.posted) {
        pending = pending || !post.seen;
      } else if (own.empty() && OpenOwn(post, today, claimed)) {
        own = post.outgoing_id;
        claimed.insert(own);
      }
    }
  }
  if (!own.empty()) {
    log.Write(
        "Article " + own + " is on the forum as " + std::string(message_id) + ", which replaces it",
        log::kProgress);
  }
  if (!pending) return own;

  std::vector<std::string> found;
  Update(run, log, [&](std::vector<run::PendingPost>& entries) {
    for (run::PendingPost& post : entries) {
      if (!post.posted && !post.seen && MayBe(post, message_id, author) &&
          WordsMatch(post.words, words)) {
        post.seen = true;
        found.push_back(post.file);
      }
    }
    return !found.empty();
  });
  for (const std::string& file : found) {
    log.Write("Article " + file + " is on the forum as " + std::string(message_id), log::kProgress);
  }
  return own;
}

void SettleOwnPosts(run::Run& run, const log::ThreadLog& log,
                    const std::vector<std::string>& delivered,
                    const std::vector<std::string>& undelivered) {
  {
    platform::MutexLock lock(run.pending_posts.mutex());
    for (const std::string& id : undelivered) run.pending_posts.claimed().erase(id);
  }
  if (delivered.empty()) return;
  Update(run, log, [&delivered](std::vector<run::PendingPost>& entries) {
    return std::erase_if(entries, [&delivered](const run::PendingPost& e) {
             return e.posted &&
                    std::find(delivered.begin(), delivered.end(), e.outgoing_id) != delivered.end();
           }) > 0;
  });
}

int64_t DayNumber(std::string_view day) {
  if (day.size() != 8) return -1;
  int64_t value = 0;
  for (char c : day) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  const int64_t year = value / 10000;
  const int64_t month = value / 100 % 100;
  const int64_t date = value % 100;
  if (year < 1970 || month < 1 || month > 12 || date < 1 || date > 31) return -1;
  return platform::DaysFromCivil(year, static_cast<int>(month), date);
}

}  // namespace quorix::bases
