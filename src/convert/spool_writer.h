// The hand-over to CrossPoint: incoming spool files in the box's spool
// directory, each a sequence of rnews batch entries.
//
// Entry: "#! rnews " + the article's length in bytes + LF, then the article.
// Article lines end in LF alone:
//   Path: quorix!localhost
//   From: <author> <<address>>
//   Reply-To:
//   Newsgroups: <newsgroup>
//   Message-ID: <id>
//   References: <chain>          (only for the second and later article of a topic;
//                                folded so that no line passes 998 characters)
//   Supersedes: <id>             (only for an edited post: the version it replaces)
//   Subject: [Re: ]<subject>     ("Re: " unless the subject already begins with it)
//   Date: <date>
//   X-Htmlpage: <page url>
//   MIME-Version: 1.0            (these three only for an article with 8-bit text)
//   Content-Type: text/plain; charset=<charset>
//   Content-Transfer-Encoding: 8bit
//   (empty line)
//   <body>
//
// Header values never carry CR, LF or NUL: each becomes a blank, so that a
// forum cannot add header lines. In an article with 8-bit text, an 8-bit
// author name or subject is written as RFC 2047 encoded-words that fit the
// reader's limits (see article_headers.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "text/charset.h"

namespace quorix::convert {

struct NewsArticle {
  std::string_view newsgroup;
  std::string_view address;
  std::string_view author;
  std::string_view subject;
  std::string_view message_id;
  std::string_view references;
  std::string_view date;
  std::string_view body;
  std::string_view page_url;
  int article_index = 0;  // 0 for the first article of a topic
  std::string_view supersedes;  // the Message-ID this article replaces, or empty
  // The character set of author, subject and body; none for an ASCII article.
  std::optional<text::Charset> charset;
};

// The article text (without the batch line).
std::string BuildNewsArticle(const NewsArticle& article);
// The batch line followed by the article.
std::string BuildSpoolEntry(const NewsArticle& article);

// Appends one entry with a single write at the file's position. On failure
// the file is cut back to where the entry began and the result is false.
bool WriteNewsArticle(platform::File& file, const NewsArticle& article);
// The same for an entry already built (BuildSpoolEntry).
bool WriteSpoolEntry(platform::File& file, std::string_view entry);
bool WriteNewsArticle(platform::File& file, std::string_view newsgroup, std::string_view address,
                      std::string_view author, std::string_view subject,
                      std::string_view message_id, std::string_view references,
                      std::string_view date, std::string_view body, std::string_view page_url,
                      int article_index);

}  // namespace quorix::convert
