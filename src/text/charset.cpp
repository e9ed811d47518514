// Table-driven conversion between the four character sets and Unicode.
#include "text/charset.h"

#include <array>
#include <cstdint>

namespace quorix::text {
namespace {

// windows-1252 bytes 0x80..0x9F. The five bytes the set leaves undefined map
// to the C1 control of the same value, as browsers read them.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

// The eight bytes where ISO-8859-15 differs from ISO-8859-1.
struct Latin9Change {
  unsigned char byte;
  char16_t c;
};
constexpr std::array<Latin9Change, 8> kLatin9Changes = {{
    {0xA4, 0x20AC},
    {0xA6, 0x0160},
    {0xA8, 0x0161},
    {0xB4, 0x017D},
    {0xB8, 0x017E},
    {0xBC, 0x0152},
    {0xBD, 0x0153},
    {0xBE, 0x0178},
}};

char32_t DecodeWindows1252(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kWindows1252High[byte - 0x80];
  return byte;
}

char32_t DecodeLatin9(unsigned char byte) {
  for (const Latin9Change& change : kLatin9Changes) {
    if (change.byte == byte) return change.c;
  }
  return byte;
}

bool EncodeWindows1252(char32_t c, std::string* out) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    out->push_back(static_cast<char>(c));
    return true;
  }
  for (size_t i = 0; i < kWindows1252High.size(); ++i) {
    if (kWindows1252High[i] == c) {
      out->push_back(static_cast<char>(0x80 + i));
      return true;
    }
  }
  return false;
}

bool EncodeLatin9(char32_t c, std::string* out) {
  for (const Latin9Change& change : kLatin9Changes) {
    if (change.c == c) {
      out->push_back(static_cast<char>(change.byte));
      return true;
    }
    if (change.byte == c) return false;  // replaced in this set
  }
  if (c > 0xFF) return false;
  out->push_back(static_cast<char>(c));
  return true;
}

bool EncodeUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c <= 0x10FFFF) {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    return false;
  }
  return true;
}

// The character of a valid, shortest-form UTF-8 sequence at `bytes[i]`, and
// its length; length 0 when the bytes there are no such sequence.
char32_t NextUtf8(std::string_view bytes, size_t i, size_t* length) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
  const unsigned char lead = byte(0);
  size_t size;
  char32_t c;
  char32_t smallest;
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2, c = lead & 0x1F, smallest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3, c = lead & 0x0F, smallest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4, c = lead & 0x07, smallest = 0x10000;
  } else {
    *length = 0;
    return 0;
  }
  if (i + size > bytes.size()) {
    *length = 0;
    return 0;
  }
  for (size_t k = 1; k < size; ++k) {
    if ((byte(k) & 0xC0) != 0x80) {
      *length = 0;
      return 0;
    }
    c = (c << 6) | (byte(k) & 0x3F);
  }
  if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    *length = 0;
    return 0;
  }
  *length = size;
  return c;
}

std::string Normalised(std::string_view label) {
  std::string name;
  for (char c : label) {
    if (c == ' ' || c == '"' || c == '\'' || c == '\t') continue;
    name.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  }
  return name;
}

}  // namespace

std::optional<Charset> CharsetFromLabel(std::string_view label) {
  const std::string name = Normalised(label);
  static constexpr std::array<std::string_view, 3> kUtf8 = {"utf-8", "utf8", "unicode-1-1-utf-8"};
  static constexpr std::array<std::string_view, 9> kLatin1 = {
      "iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "l1",
      "us-ascii",   "ascii",     "iso-ir-100", "cp819"};
  static constexpr std::array<std::string_view, 3> kWindows1252 = {"windows-1252", "cp1252",
                                                                   "x-cp1252"};
  static constexpr std::array<std::string_view, 5> kLatin9 = {"iso-8859-15", "iso8859-15",
                                                              "iso_8859-15", "latin9", "l9"};
  for (std::string_view known : kUtf8) {
    if (name == known) return Charset::kUtf8;
  }
  for (std::string_view known : kLatin1) {
    if (name == known) return Charset::kLatin1;
  }
  for (std::string_view known : kWindows1252) {
    if (name == known) return Charset::kWindows1252;
  }
  for (std::string_view known : kLatin9) {
    if (name == known) return Charset::kLatin9;
  }
  return std::nullopt;
}

std::string_view CharsetName(Charset charset) {
  switch (charset) {
    case Charset::kUtf8:
      return "UTF-8";
    case Charset::kWindows1252:
      return "windows-1252";
    case Charset::kLatin9:
      return "ISO-8859-15";
    case Charset::kLatin1:
      break;
  }
  return "ISO-8859-1";
}

std::u32string DecodeText(std::string_view bytes, Charset charset) {
  std::u32string chars;
  chars.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) {
      chars.push_back(byte);
      ++i;
      continue;
    }
    if (charset == Charset::kUtf8) {
      size_t length = 0;
      char32_t c = NextUtf8(bytes, i, &length);
      if (length > 0) {
        chars.push_back(c);
        i += length;
        continue;
      }
    }
    chars.push_back(charset == Charset::kLatin9 ? DecodeLatin9(byte) : DecodeWindows1252(byte));
    ++i;
  }
  return chars;
}

bool EncodeChar(char32_t c, Charset charset, std::string* out) {
  switch (charset) {
    case Charset::kUtf8:
      return EncodeUtf8(c, out);
    case Charset::kLatin9:
      return EncodeLatin9(c, out);
    case Charset::kLatin1:
    case Charset::kWindows1252:
      break;
  }
  return EncodeWindows1252(c, out);
}

bool IsAscii(std::string_view bytes) {
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace quorix::text
