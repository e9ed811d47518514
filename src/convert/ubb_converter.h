// Conversion of one UBB (CGI engine) topic page into news articles.
//
// A page holds post cells, each starting at "<TD width=18% valign=top>" and
// ending before the next "</td></tr>". A cell's lines (CR LF) carry the
// author (line 2), the date (line 7) and the body (line 10). The Message-ID of
// a post is "<" newsgroup "@forum" number "." last 11 characters of the page
// address "." article counter "." CRC-32 of the unfiltered body ">".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/article_delivery.h"
#include "run/run.h"

namespace quorix::convert {

// The posts of one topic page, in order, as their articles carry them: fields,
// filtered body, date with its zone (`time_zone`: the box's "WebTimeZone="),
// Message-ID. The topic's articles so far (`topic`: their count, the page's
// character set) number them; DeliverPage takes them on. Pure: the page in,
// its posts out.
std::vector<Post> UbbPagePosts(const run::ForumTemplate& tmpl, std::string_view time_zone,
                               std::string_view newsgroup, std::string_view page_address,
                               int forum_number, std::string_view page,
                               const TopicConversion& topic);

// The pure steps, for tests.

// The post cells of a page, in order; the last may run to the end of the page.
std::vector<std::string_view> UbbPostCells(std::string_view page);

// The page's subject: after "<B>Topic:&nbsp;&nbsp;" up to "</B>", trimmed,
// entities decoded, at most kMaxUbbSubject bytes (the subject goes into every
// article of the page).
std::string UbbTopicSubject(std::string_view page, text::Charset charset = text::Charset::kLatin1);
inline constexpr size_t kMaxUbbSubject = 998;

struct UbbPost {
  std::string author;
  std::string date;
  std::string body;  // unfiltered, as the checksum sees it
};

// The fields of a cell; nullopt for a cell of fewer than ten lines, which does
// not follow the page layout and is skipped.
std::optional<UbbPost> ExtractUbbPost(std::string_view cell);

// "October 05, 2004 10:30 PM" -> "05 Oct 2004 22:30:00": day, month
// abbreviation, year, the time on the 24-hour clock with ":00", no zone.
std::string UbbDateText(std::string_view raw_date);

// The machine's offset from UTC in minutes at a local date and time
// (platform::LocalUtcOffsetMinutes in the program).
using LocalOffsetLookup = int (*)(int year, int month, int day, int hour, int minute);

// True for a "WebTimeZone=" value that names a fixed zone: "+" or "-", two
// digits of hours (up to 14), two of minutes (up to 59).
bool IsFixedZone(std::string_view zone);

// The zone of a date as UbbDateText writes it: the box's fixed zone as
// written, else (empty or "local") the machine's zone at that date, as
// "+hhmm" / "-hhmm". Empty when the date is not of that form (a page that
// does not follow the layout), which then stays without a zone.
std::string UbbDateZone(std::string_view date, std::string_view configured,
                        LocalOffsetLookup local);

std::string UbbMessageId(std::string_view newsgroup, int forum_number,
                         std::string_view page_address, int article_counter, std::string_view body);

}  // namespace quorix::convert
