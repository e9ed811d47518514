#include "text/charset.h"

#include <gtest/gtest.h>

namespace quorix::text {
namespace {

std::string Utf8Of(std::u32string_view chars) {
  return EncodeText(chars, Charset::kUtf8, [](char32_t, std::string* out) { out->push_back('?'); });
}

TEST(CharsetFromLabel, KnownSpellingsAndUnknownOnes) {
  struct Case {
    std::string_view label;
    std::optional<Charset> charset;
  };
  const Case cases[] = {
      {"UTF-8", Charset::kUtf8},
      {"utf8", Charset::kUtf8},
      {"\"utf-8\"", Charset::kUtf8},
      {"ISO-8859-1", Charset::kLatin1},
      {"latin1", Charset::kLatin1},
      {"US-ASCII", Charset::kLatin1},
      {"Windows-1252", Charset::kWindows1252},
      {"cp1252", Charset::kWindows1252},
      {"ISO-8859-15", Charset::kLatin9},
      {"latin9", Charset::kLatin9},
      {"koi8-r", std::nullopt},
      {"", std::nullopt},
      {"utf-16", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(CharsetFromLabel(c.label), c.charset) << c.label;
}

// Each byte string read in its set gives the characters, and the characters
// written back give the same bytes.
TEST(DecodeText, RoundTripsPerCharset) {
  struct Case {
    Charset charset;
    std::string bytes;
    std::u32string chars;
  };
  const Case cases[] = {
      {Charset::kLatin1, "J\xF6rg \xDF", U"J\u00F6rg \u00DF"},
      // ISO-8859-1 and windows-1252 both read 0x80..0x9F as windows-1252.
      {Charset::kLatin1, "\x80 \x96 \x93x\x94 \x85", U"\u20AC \u2013 \u201Cx\u201D \u2026"},
      {Charset::kWindows1252, "\x8A\x9F\x81", U"\u0160\u0178\u0081"},
      {Charset::kLatin9, "\xA4 \xBD \xFC", U"\u20AC \u0153 \u00FC"},
      {Charset::kUtf8, "J\xC3\xB6rg \xE2\x82\xAC \xF0\x9F\x98\x80", U"J\u00F6rg \u20AC \U0001F600"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeText(c.bytes, c.charset), c.chars) << CharsetName(c.charset);
    std::string back = EncodeText(
        c.chars, c.charset, [](char32_t, std::string*) { ADD_FAILURE() << "character missing"; });
    EXPECT_EQ(back, c.bytes);
  }
}

TEST(DecodeText, BrokenUtf8BytesReadAsWindows1252) {
  struct Case {
    std::string bytes;
    std::u32string chars;
  };
  const Case cases[] = {
      {"J\xF6rg", U"J\u00F6rg"},                          // a Latin-1 post on a UTF-8 page
      {"\xC3", U"\u00C3"},                                // cut at the end
      {"\xC0\xAF", U"\u00C0\u00AF"},                      // overlong
      {"\xED\xA0\x80", U"\u00ED\u00A0\u20AC"},            // a surrogate
      {"\xF4\x90\x80\x80", U"\u00F4\u0090\u20AC\u20AC"},  // above U+10FFFF
      {"\xE2\x82x", U"\u00E2\u201Ax"},                    // a continuation missing
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeText(c.bytes, Charset::kUtf8), c.chars) << c.bytes;
}

TEST(EncodeChar, CharactersASetLacks) {
  struct Case {
    char32_t c;
    Charset charset;
  };
  const Case cases[] = {
      {0x0142, Charset::kLatin1}, {0x1F600, Charset::kWindows1252}, {0x00A4, Charset::kLatin9},
      {0x0100, Charset::kLatin9}, {0xD800, Charset::kUtf8},         {0x110000, Charset::kUtf8},
  };
  for (const Case& c : cases) {
    std::string out = "x";
    EXPECT_FALSE(EncodeChar(c.c, c.charset, &out)) << static_cast<uint32_t>(c.c);
    EXPECT_EQ(out, "x");
  }
  EXPECT_EQ(Utf8Of(U"a\u00E9\u2013"), "a\xC3\xA9\xE2\x80\x93");
}

TEST(IsAscii, EightBitBytes) {
  EXPECT_TRUE(IsAscii("plain text\n"));
  EXPECT_FALSE(IsAscii("J\xF6rg"));
}

}  // namespace
}  // namespace quorix::text
