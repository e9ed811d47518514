// The few character sets that forums and the reader use, converted through
// tables: ISO-8859-1, windows-1252, ISO-8859-15 and UTF-8. Every byte-to-
// character and character-to-byte step of the program goes through here.
//
// ISO-8859-1 is read and written as windows-1252, as web browsers do: pages
// labelled ISO-8859-1 carry the euro sign, dashes and curly quotes in the
// bytes 0x80..0x9F, and forms of such pages are sent the same way. The two
// differ only in the name an article declares.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorix::text {

enum class Charset { kLatin1, kWindows1252, kLatin9, kUtf8 };

// A declared label (letter case ignored, blanks and quotes trimmed):
// "utf-8", "utf8" -> UTF-8; "iso-8859-1", "latin1", "us-ascii" ... ->
// ISO-8859-1; "windows-1252", "cp1252" -> windows-1252; "iso-8859-15",
// "latin9" -> ISO-8859-15. Nothing for any other label.
std::optional<Charset> CharsetFromLabel(std::string_view label);

// The name written into MIME headers: "ISO-8859-1", "windows-1252",
// "ISO-8859-15", "UTF-8".
std::string_view CharsetName(Charset charset);

// Bytes to characters. In UTF-8 text, a byte that does not start a valid,
// shortest-form sequence is read as windows-1252 (forums that moved to UTF-8
// often still hold older posts in their old code page): no byte is lost.
std::u32string DecodeText(std::string_view bytes, Charset charset);

// Appends the bytes of one character; false (nothing appended) when the
// character set lacks it. UTF-8 has every character but surrogates and values
// above U+10FFFF.
bool EncodeChar(char32_t c, Charset charset, std::string* out);

// Characters to bytes. A character the set lacks is written as `missing`
// gives it (called with the character and the output to append to).
template <typename Missing>
std::string EncodeText(std::u32string_view chars, Charset charset, Missing missing) {
  std::string out;
  out.reserve(chars.size());
  for (char32_t c : chars) {
    if (!EncodeChar(c, charset, &out)) missing(c, &out);
  }
  return out;
}

// True when every byte is below 0x80.
bool IsAscii(std::string_view bytes);

}  // namespace quorix::text
