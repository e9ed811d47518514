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
//   References: <chain>          (only for the second and later article of a topic)
//   Subject: [Re: ]<subject>     ("Re: " unless the subject already begins with it)
//   Date: <date>
//   X-Htmlpage: <page url>
//   (empty line)
//   <body>
//
// Header values never carry CR, LF or NUL: each becomes a blank, so that a
// forum cannot add header lines.
#pragma once

#include <string>
#include <string_view>

#include "platform/file.h"
#include "run/run.h"

namespace quorix::convert {

// Creates spool_dir + prefix + six digits + extension with the smallest number
// for which no file exists, letter case ignored (an existing N000000.MSG
// counts). The extension is written in lower case on POSIX, where the reader
// imports "*.msg" case-sensitively. Chosen and created under the file-open
// mutex. Logs "Creating Spoolfile: " + name (level 4); on failure "Error
// Spoolfile: " + name (level 2) and returns a closed file. *name is set in
// both cases.
platform::File CreateSpoolFile(run::Run& run, std::string_view spool_dir, std::string* name,
                               std::string_view prefix, std::string_view extension, int slot);

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
