// UBBThreads flat-view pages to news articles.
#include "convert/threads_converter.h"

#include <array>
#include <utility>

#include "convert/filters.h"
#include "text/text.h"

namespace quorix::convert {

namespace {

constexpr std::string_view kProfileLink = "showprofile.php";
constexpr std::string_view kColourTag = "<font color";  // + a quoted colour: 22 characters
constexpr size_t kColourTagLength = 22;
constexpr std::string_view kSubjectIcon = "/ubbthreads/images/icons/";
constexpr std::string_view kSmallFont = "<font class=\"small\">";  // 20 characters
constexpr std::string_view kPostFont = "<font class=\"post\">";

constexpr std::array<std::pair<std::string_view, std::string_view>, 12> kMonths = {{
    {".01.", " Jan "},
    {".02.", " Feb "},
    {".03.", " Mar "},
    {".04.", " Apr "},
    {".05.", " May "},
    {".06.", " Jun "},
    {".07.", " Jul "},
    {".08.", " Aug "},
    {".09.", " Sep "},
    {".10.", " Oct "},
    {".11.", " Nov "},
    {".12.", " Dec "},
}};

// The name after the profile link: from one past the first ">" at or after two
// characters past the link, past an administrator's colour tag, up to "<".
std::string ThreadsAuthor(std::string_view cell) {
  size_t link = cell.find(kProfileLink);
  size_t from = link == std::string_view::npos ? 1 : link + 2;
  size_t close = cell.find('>', from);
  size_t start = close == std::string_view::npos ? 0 : close + 1;
  if (cell.substr(start, kColourTag.size()) == kColourTag) start += kColourTagLength;
  if (start >= cell.size()) return {};
  size_t end = cell.find('<', start);
  return std::string(cell.substr(start, end == std::string_view::npos ? end : end - start));
}

// The bold text after the subject icon, without the character on each side,
// trimmed; a link shows its link text. Entities decoded.
std::string ThreadsSubject(std::string_view cell, text::Charset charset) {
  size_t icon = cell.find(kSubjectIcon);
  size_t bold = cell.find("<b>", icon == std::string_view::npos ? 0 : icon);
  size_t start = bold == std::string_view::npos ? 3 : bold + 4;
  if (start >= cell.size()) return {};
  size_t close = cell.find("</b>", bold == std::string_view::npos ? 0 : bold + 3);
  size_t end = close == std::string_view::npos ? cell.size() : (close == 0 ? 0 : close - 1);
  std::string_view subject =
      text::TrimBlanks(start < end ? cell.substr(start, end - start) : std::string_view());
  if (subject.substr(0, 8) == "<a href=") subject = text::ExtractField(subject, ">", 1, "<");
  std::string decoded(subject);
  DecodeEntities(decoded, charset);
  return decoded;
}

std::string ThreadsBody(std::string_view cell) {
  std::string body = UbbBodyToText(text::ExtractField(cell, kPostFont, 8, "<a target="));
  body = text::ReplaceAll(body, kSmallFont, "");
  body.resize(body.size() > 10 ? body.size() - 10 : 0);
  return body;
}

}  // namespace

std::vector<std::string_view> ThreadsPostCells(std::string_view page, std::string_view start_marker,
                                               std::string_view end_marker) {
  std::vector<std::string_view> cells;
  size_t from = 0;
  while (true) {
    size_t start = page.find(start_marker, from);
    if (start == std::string_view::npos || start >= page.size()) break;
    size_t end = end_marker.empty() ? std::string_view::npos : page.find(end_marker, start + 1);
    if (end == std::string_view::npos) {
      cells.push_back(page.substr(start));
      break;
    }
    cells.push_back(page.substr(start, end - start));
    from = end;
  }
  return cells;
}

ThreadsPost ExtractThreadsPost(std::string_view cell, text::Charset charset) {
  ThreadsPost post;
  post.author = ThreadsAuthor(cell);
  post.subject = ThreadsSubject(cell, charset);
  // "#number - date - ..." after the small font tag and one more character.
  std::string_view details = text::ExtractField(cell, kSmallFont, kSmallFont.size() + 1, "<i></i>");
  std::string_view number = text::TrimBlanks(text::Field(details, "-", 1));
  post.post_number = std::string(number.empty() ? number : number.substr(1));
  post.date = ThreadsDateText(text::Field(details, "-", 2));
  post.body = ThreadsBody(cell);
  return post;
}

std::string ThreadsDateText(std::string_view raw_date) {
  std::string date(text::TrimBlanks(raw_date));
  for (const auto& [number, name] : kMonths) {
    if (date.find(number) != std::string::npos) date = text::ReplaceAll(date, number, name);
  }
  for (char& c : date) {
    if (c == '.') c = ' ';
  }
  date.append(":00 +0100");
  return date;
}

std::string ThreadsTopicNumber(std::string_view page_address) {
  return std::string(text::ExtractField(page_address, "&Number=", 8, "&page"));
}

std::string ThreadsMessageId(std::string_view newsgroup, int forum_number,
                             std::string_view topic_number, std::string_view post_number,
                             int article_counter, std::string_view body) {
  std::string id = "<";
  id.append(newsgroup).append("@forum").append(text::Decimal(forum_number));
  id.append(".").append(topic_number);
  id.append(".").append(post_number);
  id.append(".").append(text::Decimal(article_counter));
  id.append(".").append(text::HexLower(text::Crc32(body))).append(">");
  std::string cleaned;
  cleaned.reserve(id.size());
  for (char c : id) {
    if (c != '&' && c != '+' && c != '=') cleaned.push_back(c);
  }
  return cleaned;
}

std::vector<Post> ThreadsPagePosts(const run::ForumTemplate& tmpl, std::string_view newsgroup,
                                   std::string_view page_address, int forum_number,
                                   std::string_view page, const TopicConversion& topic) {
  const std::string topic_number = ThreadsTopicNumber(page_address);
  std::vector<Post> posts;
  // The page title would be the subject until a cell sets its own; every
  // cell sets one, so it is never used.
  for (std::string_view cell : ThreadsPostCells(page, tmpl.article_start, tmpl.article_end)) {
    ThreadsPost fields = ExtractThreadsPost(cell, topic.charset);
    const int article_counter = topic.article_counter + static_cast<int>(posts.size());
    Post& post = posts.emplace_back();
    post.message_id = ThreadsMessageId(newsgroup, forum_number, topic_number, fields.post_number,
                                       article_counter, fields.body);
    post.author = std::move(fields.author);
    DecodeEntities(post.author, topic.charset);  // "J&ouml;rg &amp; M&uuml;ller"
    post.subject = std::move(fields.subject);
    post.date = std::move(fields.date);
    post.body = std::move(fields.body);
    post.address = FilterBody(post.body, tmpl, Engine::kThreads, topic.charset);
  }
  return posts;
}

}  // namespace quorix::convert
