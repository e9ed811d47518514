// UBB topic pages to news articles.
#include "convert/ubb_converter.h"

#include "convert/filters.h"
#include "platform/clock.h"
#include "text/text.h"

namespace quorix::convert {

namespace {

constexpr std::string_view kCellStart = "<TD width=18% valign=top>";
constexpr std::string_view kCellEnd = "</td></tr>";
constexpr std::string_view kSubjectStart = "<B>Topic:&nbsp;&nbsp;";  // 21 characters

// "10:30" with "PM" -> "22:30"; "12:05" with "AM" -> "00:05". Anything that is
// not such a time stays as it is.
std::string TwentyFourHour(std::string_view time, std::string_view half) {
  const bool am = half == "AM";
  if (!am && half != "PM") return std::string(time);
  size_t colon = time.find(':');
  if (colon == 0 || colon > 2 || colon == std::string_view::npos) return std::string(time);
  int hour = 0;
  for (char c : time.substr(0, colon)) {
    if (c < '0' || c > '9') return std::string(time);
    hour = hour * 10 + (c - '0');
  }
  if (hour < 1 || hour > 12) return std::string(time);
  hour = hour % 12 + (am ? 0 : 12);
  std::string converted = {static_cast<char>('0' + hour / 10), static_cast<char>('0' + hour % 10)};
  converted.append(time.substr(colon));
  return converted;
}

}  // namespace

std::vector<std::string_view> UbbPostCells(std::string_view page) {
  std::vector<std::string_view> cells;
  size_t from = 0;
  while (true) {
    size_t start = page.find(kCellStart, from);
    if (start == std::string_view::npos) break;
    size_t end = page.find(kCellEnd, start + 1);
    if (end == std::string_view::npos) {
      cells.push_back(page.substr(start));
      break;
    }
    cells.push_back(page.substr(start, end - start));
    from = end;
  }
  return cells;
}

std::string UbbTopicSubject(std::string_view page, text::Charset charset) {
  std::string subject(
      text::TrimBlanks(text::ExtractField(page, kSubjectStart, kSubjectStart.size(), "</B>")));
  DecodeEntities(subject, charset);
  if (subject.size() > kMaxUbbSubject) subject.resize(kMaxUbbSubject);
  return subject;
}

std::optional<UbbPost> ExtractUbbPost(std::string_view cell) {
  // Lines 1, 6 and 9 (counted from 0, split at CR LF) carry the fields; the
  // walk stops at line 9 instead of splitting the whole cell.
  constexpr std::string_view kLineEnd = "\r\n";
  std::string_view lines[10];
  size_t start = 0;
  for (size_t n = 0; n < 10; ++n) {
    if (start == std::string_view::npos) return std::nullopt;  // fewer than ten lines
    const size_t end = cell.find(kLineEnd, start);
    lines[n] = cell.substr(start, end == std::string_view::npos ? end : end - start);
    start = end == std::string_view::npos ? end : end + kLineEnd.size();
  }
  return UbbPost{UbbAuthorField(lines[1]), UbbDateText(UbbDateField(lines[6])),
                 UbbBodyToText(lines[9])};
}

std::string UbbDateText(std::string_view raw_date) {
  std::string without_commas;
  without_commas.reserve(raw_date.size());
  for (char c : raw_date) {
    if (c != ',') without_commas.push_back(c);
  }
  std::string_view words = without_commas;
  // Split at single blanks: month name, day, year, time, AM or PM.
  auto word = [words](size_t n) { return text::Field(words, " ", n); };
  std::string date(word(2));
  date.append(" ").append(word(1).substr(0, 3));
  date.append(" ").append(word(3));
  date.append(" ").append(TwentyFourHour(word(4), word(5))).append(":00");
  return date;
}

bool IsFixedZone(std::string_view zone) {
  if (zone.size() != 5 || (zone[0] != '+' && zone[0] != '-')) return false;
  for (char c : zone.substr(1)) {
    if (c < '0' || c > '9') return false;
  }
  const int hours = (zone[1] - '0') * 10 + (zone[2] - '0');
  const int minutes = (zone[3] - '0') * 10 + (zone[4] - '0');
  return hours <= 14 && minutes <= 59;
}

std::string UbbDateZone(std::string_view date, std::string_view configured,
                        LocalOffsetLookup local) {
  // "05 Oct 2004 22:30:00"
  static constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const std::vector<std::string_view> words = text::Split(date, " ");
  if (words.size() != 4 || words[1].size() != 3 || words[2].size() != 4 || words[3].size() != 8 ||
      words[3][2] != ':' || words[3][5] != ':') {
    return {};
  }
  const auto number = [](std::string_view digits) {
    int value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return -1;
      value = value * 10 + (c - '0');
    }
    return digits.empty() ? -1 : value;
  };
  const size_t month_at = kMonths.find(words[1]);
  const int day = words[0].size() <= 2 ? number(words[0]) : -1;
  const int year = number(words[2]);
  const int hour = number(words[3].substr(0, 2));
  const int minute = number(words[3].substr(3, 2));
  if (month_at == std::string_view::npos || month_at % 3 != 0 || day < 1 || day > 31 || year < 0 ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59) {
    return {};
  }
  const std::string_view trimmed = text::TrimBlanks(configured);
  if (IsFixedZone(trimmed)) return std::string(trimmed);
  const int offset = local(year, static_cast<int>(month_at / 3) + 1, day, hour, minute);
  const int minutes = offset < 0 ? -offset : offset;
  std::string zone(1, offset < 0 ? '-' : '+');
  for (int part : {minutes / 60, minutes % 60}) {
    zone.push_back(static_cast<char>('0' + part / 10 % 10));
    zone.push_back(static_cast<char>('0' + part % 10));
  }
  return zone;
}

std::string UbbMessageId(std::string_view newsgroup, int forum_number,
                         std::string_view page_address, int article_counter,
                         std::string_view body) {
  std::string_view page_key =
      page_address.size() > 11 ? page_address.substr(page_address.size() - 11) : page_address;
  std::string id = "<";
  id.append(newsgroup).append("@forum").append(text::Decimal(forum_number));
  id.append(".").append(page_key);
  id.append(".").append(text::Decimal(article_counter));
  id.append(".").append(text::HexLower(text::Crc32(body))).append(">");
  return id;
}

std::vector<Post> UbbPagePosts(const run::ForumTemplate& tmpl, std::string_view time_zone,
                               std::string_view newsgroup, std::string_view page_address,
                               int forum_number, std::string_view page,
                               const TopicConversion& topic) {
  const std::string subject = UbbTopicSubject(page, topic.charset);
  std::vector<Post> posts;
  for (std::string_view cell : UbbPostCells(page)) {
    std::optional<UbbPost> fields = ExtractUbbPost(cell);
    if (!fields) continue;
    const int article_counter = topic.article_counter + static_cast<int>(posts.size());
    Post& post = posts.emplace_back();
    post.message_id =
        UbbMessageId(newsgroup, forum_number, page_address, article_counter, fields->body);
    post.author = std::move(fields->author);
    DecodeEntities(post.author, topic.charset);  // "J&ouml;rg &amp; M&uuml;ller"
    post.date = std::move(fields->date);
    const std::string zone = UbbDateZone(post.date, time_zone, platform::LocalUtcOffsetMinutes);
    if (!zone.empty()) post.date.append(" ").append(zone);
    post.subject = subject;
    post.body = std::move(fields->body);
    post.address = FilterBody(post.body, tmpl, Engine::kUbb, topic.charset);
  }
  return posts;
}

}  // namespace quorix::convert
