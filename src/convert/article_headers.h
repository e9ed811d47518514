// Header values that need more than plain bytes: RFC 2047 encoded-words for
// 8-bit names and subjects, and RFC 5322 folding for long reference lists.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "text/charset.h"

namespace quorix::convert {

// The reader's importer cuts a Subject at 244 bytes and a From name at 70
// characters before it decodes them; an encoded-word cut there stays literal.
inline constexpr size_t kMaxEncodedSubject = 244;
inline constexpr size_t kMaxEncodedName = 70;
// RFC 2047: an encoded-word is at most 75 characters long.
inline constexpr size_t kMaxEncodedWord = 75;
// RFC 5322: no header line longer than 998 characters (without its line end).
inline constexpr size_t kMaxHeaderLine = 998;

// `text` (in `charset`) as a header value. ASCII text is returned unchanged.
// Otherwise the words from the first to the last one holding a non-ASCII
// character become encoded-words of at most 75 characters (never splitting a
// character), and the ASCII words before and after stay plain. The words are
// in ISO-8859-1 when every character has a byte there (HeaderCharset), else
// in UTF-8, whatever the body's set. When the result would pass `limit`
// bytes, whole characters are dropped from the end until it fits; Q encoding
// is used unless B keeps more of the text.
std::string EncodeHeaderText(std::string_view text, text::Charset charset, size_t limit);

// ISO-8859-1 when every character is below U+0100, else UTF-8.
text::Charset HeaderCharset(std::u32string_view chars);

// "name" + value, folded (LF and a blank) between blank-separated words so that
// no line passes kMaxHeaderLine characters; a single word longer than that
// stays whole on its own line. Ends with LF.
std::string FoldedHeader(std::string_view name, std::string_view value);

}  // namespace quorix::convert
