// The character set of a delivered article. Forum texts arrive in the page's
// character set; the reader gets them as:
// - ASCII (no MIME headers, bytes as today) when nothing 8-bit is left;
// - ISO-8859-1 when the page was ISO-8859-1 (declared or by default) and every
//   character has an ISO-8859-1 byte;
// - UTF-8 otherwise (UTF-8, windows-1252 and ISO-8859-15 pages).
// Typographic characters that the reader's code page lacks are written in
// ASCII first: dashes "-" (em dash "--"), curly quotes ' and ", ellipsis
// "...", euro sign "EUR", single angle quotes < and >, and the common faces
// as emoticons (":-)", ";-)", ":-D", ":-(", ":-P", ":-O", ...; a heart "<3").
// Anything else the reader cannot show (another emoji) stays and shows as the
// reader shows it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text/charset.h"

namespace quorix::convert {

struct ArticleText {
  std::string author;
  std::string subject;
  std::string body;
  std::optional<text::Charset> charset;  // none: every byte is ASCII
};

// Author, subject and body of a post, read in `page_charset`, in the
// article's character set. ASCII texts come back unchanged.
ArticleText ArticleTextFor(std::string_view author, std::string_view subject, std::string_view body,
                           text::Charset page_charset);

// The ASCII form of a typographic character or a common face; empty for any
// other character.
std::string_view AsciiForm(char32_t c);

}  // namespace quorix::convert
