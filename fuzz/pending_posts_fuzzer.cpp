// The pending-post file and the word comparison from arbitrary bytes. The
// file's entries must survive a format/parse round trip unchanged; words are
// only word bytes separated by single blanks, taking words again changes
// nothing, a text's words are found in themselves and in a longer text that
// holds them; and a post seen by the harvest marks exactly the entries of its
// forum, user and words (and returns the outgoing Message-ID of a posted
// record of them, if any).
//
// Input: file bytes, 0x1E, an outgoing text, 0x1E, a harvested text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bases/pending_posts.h"
#include "fuzz_support.h"
#include "platform/file.h"
#include "text/text.h"

namespace {

namespace bases = quorix::bases;

bool WellFormedWords(const std::string& words) {
  if (words.empty()) return true;
  if (words.front() == ' ' || words.back() == ' ') return false;
  for (size_t i = 0; i < words.size(); ++i) {
    const auto c = static_cast<unsigned char>(words[i]);
    const bool word_byte = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c >= 0x80;
    if (c == ' ' ? words[i - 1] == ' ' : !word_byte) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> parts =
      quorix::fuzz::SplitParts(quorix::fuzz::AsText(data, size), 3);
  const std::string_view file = parts[0];
  const std::string posted = bases::PostWords(parts[1]);
  const std::string harvested = bases::PostWords(parts[2]);

  QUORIX_FUZZ_CHECK(WellFormedWords(posted), posted);
  QUORIX_FUZZ_CHECK(bases::PostWords(posted) == posted, posted);
  QUORIX_FUZZ_CHECK(bases::WordsMatch(posted, posted) == !posted.empty());
  if (!posted.empty() && !harvested.empty()) {
    QUORIX_FUZZ_CHECK(bases::WordsMatch(posted, harvested + " " + posted + " " + harvested));
  }

  const std::vector<quorix::run::PendingPost> entries = bases::ParsePendingPosts(file);
  const std::string formatted = bases::FormatPendingPosts(entries);
  const std::vector<quorix::run::PendingPost> again = bases::ParsePendingPosts(formatted);
  QUORIX_FUZZ_CHECK(again.size() == entries.size());
  QUORIX_FUZZ_CHECK(bases::FormatPendingPosts(again) == formatted, formatted);

  // The harvest sees a post: exactly the matching entries become "seen".
  quorix::fuzz::FuzzRun& fuzz_run = quorix::fuzz::FuzzRun::ForEngine(quorix::run::kUbb);
  quorix::run::Run& run = fuzz_run.run();
  const std::string name = fuzz_run.PathOf(bases::kPendingPostsFile);
  QUORIX_FUZZ_CHECK(quorix::platform::ReplaceFileContents(name, formatted));
  run.pending_posts.Forget();
  const std::string id = "<g@forum1.2.3.4.5>";
  const std::string own = bases::WatchHarvestedPost(run, {run.log, 1}, id, "User", parts[2]);
  std::vector<quorix::run::PendingPost> expected = again;
  bool own_found = own.empty();
  for (quorix::run::PendingPost& post : expected) {
    if (std::string_view(id).starts_with(post.id_prefix) &&
        quorix::text::LowerCase437(quorix::text::TrimBlanks(post.user)) == "user" &&
        bases::WordsMatch(post.words, harvested)) {
      if (!post.posted) post.seen = true;
      own_found = own_found || (post.posted && post.outgoing_id == own);
    }
  }
  // A posted record is not marked: the post names its outgoing article.
  QUORIX_FUZZ_CHECK(own_found, own);
  std::string saved;
  if (!quorix::platform::ReadWholeFile(name, &saved)) saved.clear();
  const std::string expected_file = expected.empty() ? "" : bases::FormatPendingPosts(expected);
  QUORIX_FUZZ_CHECK(saved == expected_file || (expected_file.empty() && saved == formatted),
                    expected_file, saved);
  quorix::platform::DeleteFile(name);
  return 0;
}
