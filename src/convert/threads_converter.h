// Conversion of one UBBThreads (PHP engine) flat-view page into news
// articles: as the UBB conversion, with cells cut by the template's
// "Article_Start=" / "Article_End=" markers and fields found by the engine's
// markup. The Message-ID is "<" newsgroup "@forum" number "." topic number "."
// post number "." article counter "." CRC-32 of the unfiltered body ">", with
// every "&", "+" and "=" removed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/article_delivery.h"
#include "run/run.h"

namespace quorix::convert {

// The posts of one flat-view page, in order, as their articles carry them
// (see UbbPagePosts). Pure: the page in, its posts out.
std::vector<Post> ThreadsPagePosts(const run::ForumTemplate& tmpl, std::string_view newsgroup,
                                   std::string_view page_address, int forum_number,
                                   std::string_view page, const TopicConversion& topic);

// The pure steps, for tests.

// The cells between the markers, in order; the last may run to the end of the
// page. An empty start marker starts the first cell at the top of the page;
// an empty end marker never ends a cell.
std::vector<std::string_view> ThreadsPostCells(std::string_view page, std::string_view start_marker,
                                               std::string_view end_marker);

struct ThreadsPost {
  std::string author;
  std::string subject;
  std::string post_number;
  std::string date;
  std::string body;  // unfiltered, as the checksum sees it
};

// The subject's entities are decoded into `charset`, the page's character set.
ThreadsPost ExtractThreadsPost(std::string_view cell,
                               text::Charset charset = text::Charset::kLatin1);

// "05.10.2004 22:30" -> "05 Oct 2004 22:30:00 +0100".
std::string ThreadsDateText(std::string_view raw_date);

// The text between "&Number=" and "&page" of the page address.
std::string ThreadsTopicNumber(std::string_view page_address);

std::string ThreadsMessageId(std::string_view newsgroup, int forum_number,
                             std::string_view topic_number, std::string_view post_number,
                             int article_counter, std::string_view body);

}  // namespace quorix::convert
