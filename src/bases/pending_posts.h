// The pending posts: outgoing new topics and replies whose form went out
// without a confirming answer (the connection was cut, or the answer stalled
// past its bound), so that the forum may hold them already. Kept between runs
// in "QUORIX.PND" in the program directory, beside the bases.
//
// The rule: an entry is written before the form is sent and removed once the
// forum answered (confirmed or refused) or was never reached. An entry left
// behind stops the file from being posted again blindly. While the next runs
// harvest the box, every new post of the entry's forum by the box's user
// whose text holds the entry's words marks the entry "seen": the forum has
// the article, so the posting phase deletes the file without sending it
// again. As long as it is not seen, the file stays and each run says so in
// the log. An entry whose file was changed or removed no longer counts.
//
// Texts are compared as words: the bytes of letters and digits (and every byte
// from 0x80 up), ASCII letters in lower case, after HTML tags, entities and
// forum markup in brackets are dropped, so that a forum that reformats a post
// (line breaks, markup, entities) still matches it.
//
// The user's own posts: a new topic or reply that the forum confirmed stays
// recorded (as "posted", with the outgoing article's Message-ID and the day)
// until the harvest delivers it, found by the same rule. That article then
// carries "Supersedes:" with the outgoing Message-ID, so that the reader
// replaces its copy of what the user wrote by the forum's, and the record goes
// once the delivery is recorded. An outgoing article without a Message-ID
// leaves no such record. Records older than kPostedDays days are not matched
// and go with the next confirmed post; a box (an outgoing spool directory)
// keeps at most kMaxPostedPerBox, the oldest going first.
//
// File layout: the line "# QUORIX pending posts, do not edit or delete! #",
// then one line per entry, fields separated by TAB, lines ending in CR LF:
// "S" (sent) or "F" (found on the forum), the file's CRC-32 in eight lower-case
// hex digits, the file with its directory, the user, the Message-ID prefix of
// the posts of its forum ("<newsgroup@forum7."), and the words. A posted
// record starts with "P" and has two more fields at the end: the outgoing
// Message-ID and the day of the confirmation ("YYYYMMDD"). Lines of any other
// shape are ignored (so a program that knows only "S" and "F" reads the other
// records as before and passes over "P" lines).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/thread_log.h"
#include "run/run.h"

namespace quorix::bases {

inline constexpr std::string_view kPendingPostsFile = "QUORIX.PND";
inline constexpr std::string_view kPendingPostsHeader =
    "# QUORIX pending posts, do not edit or delete! #\r\n";
// The words kept of an outgoing text (cut at a word's end): enough to tell
// one post from another, small enough for the file.
inline constexpr size_t kMaxPendingWords = 2000;
inline constexpr int kPostedDays = 30;
inline constexpr size_t kMaxPostedPerBox = 200;

// `text` as comparable words, joined by single blanks.
std::string PostWords(std::string_view text);
// True when `posted` (non-empty) is a run of whole words of `harvested`.
bool WordsMatch(std::string_view posted, std::string_view harvested);

// True when the file is missing or can be read whole; else false, logged at
// level 2: no article may then be sent, and the file is never rewritten, so
// that the records of other instances survive.
bool PendingPostsReadable(run::Run& run, const log::ThreadLog& log);
// The entry of `file` (with its directory), as the file holds it now; posted
// records do not count (they are about files that are gone).
std::optional<run::PendingPost> FindPendingPost(run::Run& run, std::string_view file);
// Writes `post` into the file (replacing an entry of the same file). False,
// logged at level 2, when the file could not be read or written, or when
// other instances could not be locked out.
bool RecordPendingPost(run::Run& run, const run::PendingPost& post, const log::ThreadLog& log);
// Removes the entry of `file`, if any.
void ForgetPendingPost(run::Run& run, std::string_view file, const log::ThreadLog& log);
// The forum confirmed the new topic or reply of `sent` (its record as written
// before the form went out): the sent record of its file (not one found on
// the forum) goes, and a posted record for `outgoing_id` dated today is added
// unless `outgoing_id` is empty. Posted records past their age, an earlier one of the same ID and
// the oldest of a box beyond its count go in the same rewrite.
bool ConfirmPendingPost(run::Run& run, const run::PendingPost& sent, std::string_view outgoing_id,
                        const log::ThreadLog& log);

// The harvest calls this for every new (not yet delivered) post it reads: a
// pending entry whose post it is becomes "seen". Returns the outgoing
// Message-ID of a posted record whose post it is (claimed for this run, so
// that no other post takes it), else empty.
std::string WatchHarvestedPost(run::Run& run, const log::ThreadLog& log,
                               std::string_view message_id, std::string_view author,
                               std::string_view body);
// After a page's delivery: the posted records of `delivered` (outgoing
// Message-IDs that WatchHarvestedPost returned) go; those of `undelivered`
// are free again for a later page.
void SettleOwnPosts(run::Run& run, const log::ThreadLog& log,
                    const std::vector<std::string>& delivered,
                    const std::vector<std::string>& undelivered);

// "YYYYMMDD" as a count of days since 1970-01-01; -1 when it is no date of
// 1970 or later (a day 31 counts in any month).
int64_t DayNumber(std::string_view day);

// The file's content as written (for tests and the fuzzer) and as read.
std::string FormatPendingPosts(const std::vector<run::PendingPost>& entries);
std::vector<run::PendingPost> ParsePendingPosts(std::string_view content);

}  // namespace quorix::bases
