#include "page_conversion.h"

#include <set>
#include <string>
#include <vector>

#include "bases/dupe_base.h"
#include "convert/threads_converter.h"
#include "convert/ubb_converter.h"
#include "fuzz_support.h"
#include "text/text.h"

namespace quorix::fuzz {

namespace {

constexpr std::string_view kNewsgroup = "de.fuzz.forum";
constexpr int kForumNumber = 3;
constexpr std::string_view kUbbAddress = "/support/forums/Forum3/HTML/000001.html";
constexpr std::string_view kThreadsAddress =
    "/ubbthreads/showflat.php?Cat=&Board=FOR7&Number=4701&page=0&view=collapsed&sb=5&o=&fpart=all";

// The number of posts the converter counts on the page.
int PostsOnPage(int engine, std::string_view page) {
  if (engine == run::kUbbThreads) {
    const run::ForumTemplate& tmpl = ThreadsTemplate();
    return static_cast<int>(
        convert::ThreadsPostCells(page, tmpl.article_start, tmpl.article_end).size());
  }
  int posts = 0;
  for (std::string_view cell : convert::UbbPostCells(page)) {
    if (convert::ExtractUbbPost(cell)) ++posts;
  }
  return posts;
}

void Convert(int engine, run::Run& run, std::string_view page, convert::TopicConversion& topic) {
  const run::Slot& slot = run.slots[FuzzRun::kSlot];
  const convert::PageTarget target{run, {run.log, FuzzRun::kSlot}, slot.web, slot.forum_template};
  if (engine == run::kUbbThreads) {
    convert::ConvertThreadsPage(target, kNewsgroup, kThreadsAddress, kForumNumber, page, topic);
  } else {
    convert::ConvertUbbPage(target, kNewsgroup, kUbbAddress, kForumNumber, page, topic);
  }
}

// Checks one article's header block; returns its Message-ID value. A header
// may go on in folded lines (starting with a blank); "Supersedes: " may
// follow the Message-ID, and an article with 8-bit text ends its header with
// the three MIME lines.
std::string CheckArticle(std::string_view article, bool first) {
  std::vector<std::string_view> names = {
      "Path: ", "From: ", "Reply-To: ", "Newsgroups: ", "Message-ID: ", "Supersedes: "};
  if (!first) names.push_back("References: ");
  for (std::string_view name : {"Subject: ", "Date: ", "X-Htmlpage: ", "MIME-Version: ",
                                "Content-Type: ", "Content-Transfer-Encoding: "}) {
    names.push_back(name);
  }
  auto optional = [](std::string_view name) {
    return name == "Supersedes: " || name.starts_with("MIME-") || name.starts_with("Content-");
  };
  std::string message_id;
  size_t at = 0;
  size_t mime_lines = 0;
  for (std::string_view name : names) {
    const size_t lf = article.find('\n', at);
    QUORIX_FUZZ_CHECK(lf != std::string_view::npos, name, article);
    const std::string_view line = article.substr(at, lf - at);
    if (line.substr(0, name.size()) != name) {
      QUORIX_FUZZ_CHECK(optional(name), name, line);
      continue;
    }
    size_t end = lf;  // folded lines belong to this header
    while (end + 1 < article.size() && article[end + 1] == ' ') {
      const size_t next = article.find('\n', end + 1);
      QUORIX_FUZZ_CHECK(next != std::string_view::npos, "a folded line's end", article);
      end = next;
    }
    const std::string_view value = article.substr(at + name.size(), end - at - name.size());
    QUORIX_FUZZ_CHECK(value.find('\r') == std::string_view::npos, "no CR", line);
    QUORIX_FUZZ_CHECK(value.find('\0') == std::string_view::npos, "no NUL", line);
    if (name == "Message-ID: ") message_id = std::string(value);
    if (name == "Newsgroups: ") QUORIX_FUZZ_CHECK(value == kNewsgroup);
    if (name.starts_with("MIME-") || name.starts_with("Content-")) ++mime_lines;
    at = end + 1;
  }
  QUORIX_FUZZ_CHECK(mime_lines == 0 || mime_lines == 3, "all three MIME lines or none", article);
  QUORIX_FUZZ_CHECK(article.substr(at, 1) == "\n", "an empty line after the header", article);
  QUORIX_FUZZ_CHECK(!article.empty() && article.back() == '\n', "an LF at the end", article);
  return message_id;
}

// The articles of a spool file; each must be one whole batch entry.
std::vector<std::string_view> BatchEntries(std::string_view data) {
  constexpr std::string_view kBatchLine = "#! rnews ";
  std::vector<std::string_view> articles;
  while (!data.empty()) {
    QUORIX_FUZZ_CHECK(data.substr(0, kBatchLine.size()) == kBatchLine, kBatchLine, data);
    const size_t lf = data.find('\n');
    QUORIX_FUZZ_CHECK(lf != std::string_view::npos, "a batch line", data);
    const std::string_view digits = data.substr(kBatchLine.size(), lf - kBatchLine.size());
    const int64_t length = text::LeadingNumber(digits);
    QUORIX_FUZZ_CHECK(text::Decimal(length) == digits, "a length", digits);
    QUORIX_FUZZ_CHECK(length > 0 && static_cast<uint64_t>(length) <= data.size() - lf - 1,
                      "an article within the file", data);
    articles.push_back(data.substr(lf + 1, static_cast<size_t>(length)));
    data.remove_prefix(lf + 1 + static_cast<size_t>(length));
  }
  return articles;
}

}  // namespace

void ConvertPageAndCheck(int engine, std::string_view page) {
  FuzzRun& fuzz_run = FuzzRun::ForEngine(engine);
  run::Run& run = fuzz_run.run();
  fuzz_run.ResetBases();
  fuzz_run.EmptySpool();

  convert::TopicConversion topic;
  Convert(engine, run, page, topic);
  const int posts = PostsOnPage(engine, page);
  QUORIX_FUZZ_CHECK(topic.article_counter == posts, std::to_string(posts),
                    std::to_string(topic.article_counter));

  const auto files = FilesIn(fuzz_run.SpoolDir());
  QUORIX_FUZZ_CHECK(files.size() <= 1);
  std::set<std::string> ids;
  if (!files.empty()) {
    const std::string data = ReadFileOrFail(files[0]);
    QUORIX_FUZZ_CHECK(!data.empty(), "no empty spool file is left");
    const std::vector<std::string_view> articles = BatchEntries(data);
    QUORIX_FUZZ_CHECK(articles.size() <= static_cast<size_t>(posts));
    for (std::string_view article : articles) {
      // The base starts empty, so the topic's first post is always written
      // first; every later article carries References.
      const std::string id = CheckArticle(article, /*first=*/ids.empty());
      QUORIX_FUZZ_CHECK(ids.insert(id).second, "distinct Message-IDs", id);
    }
  }

  // The same page again: every article is known now.
  fuzz_run.EmptySpool();
  convert::TopicConversion again;
  Convert(engine, run, page, again);
  QUORIX_FUZZ_CHECK(FilesIn(fuzz_run.SpoolDir()).empty(), "nothing new the second time");
  fuzz_run.EmptySpool();
}

}  // namespace quorix::fuzz
