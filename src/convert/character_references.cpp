// Character references ("&#252;", "&#x2013;", "&uuml;") decoded into the
// page's character set.
#include <cstdint>

#include "convert/filters.h"
#include "convert/named_references.h"

namespace quorix::convert {

namespace {

constexpr size_t kMaxDigits = 8;

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The reference at `text[at]` ("&#"): its character and its length, or
// length 0 when the text there is no complete reference of a character.
char32_t ReadReference(std::string_view text, size_t at, size_t* length) {
  *length = 0;
  size_t i = at + 2;
  const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
  if (hex) ++i;
  uint32_t value = 0;
  size_t digits = 0;
  for (; i < text.size() && digits <= kMaxDigits; ++i, ++digits) {
    const int digit = DigitValue(text[i], hex);
    if (digit < 0) break;
    value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
  }
  if (digits == 0 || digits > kMaxDigits || i >= text.size() || text[i] != ';') return 0;
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *length = i + 1 - at;
  // References to 128..159 name the windows-1252 characters of those bytes,
  // as web browsers read them.
  if (value >= 0x80 && value < 0xA0) {
    const char byte = static_cast<char>(value);
    return text::DecodeText(std::string_view(&byte, 1), text::Charset::kWindows1252)[0];
  }
  return value;
}

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The named reference at `text[at]` ("&"): its character and its length, or
// length 0. "&amp;", "&lt;" and "&gt;" are left to the entity filter's own
// replacements, which run after the references, in their order.
char32_t ReadNamedReference(std::string_view text, size_t at, size_t* length) {
  *length = 0;
  size_t end = at + 1;
  while (end < text.size() && end - at - 1 <= kMaxReferenceName && IsNameCharacter(text[end])) {
    ++end;
  }
  if (end >= text.size() || text[end] != ';' || end == at + 1) return 0;
  const std::string_view name = text.substr(at + 1, end - at - 1);
  if (name == "amp" || name == "lt" || name == "gt") return 0;
  const std::optional<char32_t> c = NamedReferenceCharacter(name);
  if (!c) return 0;
  *length = end + 1 - at;
  return *c == 0xA0 ? U' ' : *c;  // "&nbsp;" is a blank in news text
}

}  // namespace

void DecodeCharacterReferences(std::string& text, text::Charset charset) {
  size_t hit = text.find('&');
  if (hit == std::string::npos) return;
  std::string out;
  out.reserve(text.size());
  size_t done = 0;
  while (hit != std::string::npos) {
    size_t length = 0;
    const char32_t c = hit + 1 < text.size() && text[hit + 1] == '#'
                           ? ReadReference(text, hit, &length)
                           : ReadNamedReference(text, hit, &length);
    std::string bytes;
    if (length > 0 && text::EncodeChar(c, charset, &bytes)) {
      out.append(text, done, hit - done);
      out.append(bytes);
      done = hit + length;
      hit = text.find('&', done);  // what a reference became is not read again
    } else {
      hit = text.find('&', hit + 1);
    }
  }
  out.append(text, done, std::string::npos);
  text.swap(out);
}

void DecodeEntities(std::string& text, text::Charset charset) {
  DecodeCharacterReferences(text, charset);
  DecodeEntities(text);
}

}  // namespace quorix::convert
