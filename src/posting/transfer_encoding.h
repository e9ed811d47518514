// The body of an outgoing article as the forum is to receive it: the reader's
// exporter may send it quoted-printable or base64, and an article with
// attachments as a multipart body. Pure: bytes in, bytes out, no I/O.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorix::posting {

struct DecodedBody {
  // The body's lines, separated by LF (no CR), in the character set that
  // `content_type` names.
  std::string text;
  // The Content-Type of what `text` holds: the article's own, or for a
  // multipart article that of the part that was taken.
  std::string content_type;
  // What could not be decoded or was left out, one text per finding, for the
  // log; the text then holds the bytes as they were written.
  std::vector<std::string> problems;
};

// `body` is the article's body lines (after the empty line that ends the
// header), separated by LF. "quoted-printable" (soft line breaks, "=XX", the
// signature line written as "-- =") and "base64" are decoded; "7bit", "8bit",
// "binary" and no value leave the text as it is. A multipart body gives its
// first text/plain part, decoded by that part's own headers. A stray "=" is
// kept as it is, and a base64 body that is not valid base64 is kept whole.
DecodedBody DecodeOutgoingBody(std::string_view content_type, std::string_view transfer_encoding,
                               std::string_view body);

// The quoted-printable text `encoded` (lines separated by LF) decoded; false
// when it held an "=" that starts neither a soft line break nor "=XX" (kept
// as it is).
bool DecodeQuotedPrintable(std::string_view encoded, std::string* out);

// The base64 text `encoded` decoded; blanks and line breaks are skipped.
// False (nothing appended) when it holds any other byte outside the base64
// alphabet, data after the padding, or a length that no encoder writes.
bool DecodeBase64(std::string_view encoded, std::string* out);

// The value of parameter `name` ("charset", "boundary") of a header value
// such as `text/plain; charset="UTF-8"`: name matched in any letter case,
// quotes removed. Empty when absent.
std::string HeaderParameter(std::string_view value, std::string_view name);

// The value of one hexadecimal or base64 digit, or -1 for any other byte;
// shared with the RFC 2047 decoder of the headers.
int HexDigit(char c);
int Base64Digit(char c);

}  // namespace quorix::posting
