#include "page_conversion.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

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

std::vector<convert::Post> PagePosts(int engine, std::string_view page,
                                     const convert::TopicConversion& topic) {
  const run::Slot& slot = FuzzRun::ForEngine(engine).run().slots[FuzzRun::kSlot];
  const std::string_view address = engine == run::kUbbThreads ? kThreadsAddress : kUbbAddress;
  return convert::PagePosts(engine, slot.forum_template, slot.web.time_zone, kNewsgroup, address,
                            kForumNumber, page, topic);
}

bool SamePosts(const std::vector<convert::Post>& a, const std::vector<convert::Post>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.author == y.author && x.address == y.address && x.subject == y.subject &&
           x.date == y.date && x.body == y.body && x.message_id == y.message_id;
  });
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
  const run::Slot& slot = FuzzRun::ForEngine(engine).run().slots[FuzzRun::kSlot];
  const std::string_view address = engine == run::kUbbThreads ? kThreadsAddress : kUbbAddress;
  const std::string page_url = convert::PageUrl(slot.web, address);

  convert::TopicConversion topic;
  const std::vector<convert::Post> posts = PagePosts(engine, page, topic);
  const int on_page = PostsOnPage(engine, page);
  QUORIX_FUZZ_CHECK(posts.size() == static_cast<size_t>(on_page), std::to_string(on_page),
                    std::to_string(posts.size()));

  std::string batch;
  std::set<std::string> ids;
  for (const convert::Post& post : posts) {
    batch.append(convert::ArticleEntry(post, kNewsgroup, page_url, topic, ""));
    convert::JoinTopic(post.message_id, topic);
  }
  QUORIX_FUZZ_CHECK(topic.article_counter == on_page, std::to_string(on_page),
                    std::to_string(topic.article_counter));
  const std::vector<std::string_view> articles = BatchEntries(batch);
  QUORIX_FUZZ_CHECK(articles.size() == posts.size());
  for (size_t i = 0; i < articles.size(); ++i) {
    // The topic's first post carries no References; every later one does.
    const std::string id = CheckArticle(articles[i], /*first=*/i == 0);
    QUORIX_FUZZ_CHECK(ids.insert(id).second, "distinct Message-IDs", id);
  }

  // A function of the page alone: the same page gives the same posts.
  convert::TopicConversion again;
  QUORIX_FUZZ_CHECK(SamePosts(PagePosts(engine, page, again), posts), "the same posts again");
}

}  // namespace quorix::fuzz
