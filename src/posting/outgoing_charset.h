// Outgoing articles are written in the reader's character set and posted in
// the forum's: subject and body are converted before they are form-encoded.
#pragma once

#include <optional>
#include <string_view>

#include "posting/outgoing_article.h"
#include "text/charset.h"

namespace quorix::posting {

// The reader's set: the charset parameter of the article's Content-Type
// header when it names a known set, else ISO-8859-1.
text::Charset ReaderCharset(std::string_view content_type);

// The forum's set: the box's WebCharset when it names a known set, else the
// set the harvest read the forum's pages in during this run; none when
// neither is known.
std::optional<text::Charset> ForumCharset(std::string_view configured,
                                          std::optional<text::Charset> learned);

// True when subject, newsreader and body hold no 8-bit byte and neither
// header an RFC 2047 encoded-word: they post unchanged.
bool IsAsciiArticle(const OutgoingArticle& article);

// The characters of a header value: RFC 2047 encoded-words ("=?UTF-8?Q?...?=",
// "=?ISO-8859-1?B?...?=") decoded in their own set, the blanks between two of
// them dropped; everything else read in `reader`. An encoded-word of an
// unknown set or a broken one stays as it is written.
std::u32string DecodeHeaderText(std::string_view value, text::Charset reader);

// Subject and newsreader (encoded-words decoded; the newsreader goes into the
// footer) and body from `reader` to `forum`. A
// character the forum's set lacks is written as a numeric character reference
// ("&#128512;"), as web browsers send it in forms.
void ConvertArticleCharset(OutgoingArticle& article, text::Charset reader, text::Charset forum);

}  // namespace quorix::posting
