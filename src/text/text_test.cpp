#include "text/text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace quorix::text {
namespace {

struct ReplaceCase {
  std::string text, from, to, expected;
};

TEST(ReplaceAll, SinglePassOverNonOverlappingOccurrences) {
  const std::vector<ReplaceCase> cases = {
      {"   ", "  ", " ", "  "},  // the replacement is not rescanned
      {"a =b =c", " =", "=", "a=b=c"},
      {"  =", " =", "=", " ="},
      {"aaa", "a", "aa", "aaaaaa"},  // a growing replacement does not loop
      {"x<br>y<br>", "<br>", "", "xy"},
      {"<br>", "<br>", "\n", "\n"},
      {"abc", "x", "y", "abc"},
      {"abc", "", "y", "abc"},  // an empty search text changes nothing
      {"", "a", "b", ""},
      {"&amp;lt;", "&amp;", "&", "&lt;"},
      {"ababab", "aba", "X", "Xbab"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceAll(c.text, c.from, c.to), c.expected) << c.text << " / " << c.from;
  }
}

TEST(ReplaceAll, KeepsNulAndHighBytes) {
  std::string text("a\0b\x84=c", 6);
  EXPECT_EQ(ReplaceAll(text, "=", "=="), std::string("a\0b\x84==c", 7));
}

TEST(ReplaceAll, LargeTextWithManyHits) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "ab =";
  std::string out = ReplaceAll(text, " =", "=");
  EXPECT_EQ(out.size(), 300000u);
  EXPECT_EQ(out.substr(0, 6), "ab=ab=");
  EXPECT_EQ(CountOccurrences(out, " ="), 0u);
}

TEST(CountOccurrences, NonOverlapping) {
  EXPECT_EQ(CountOccurrences("aaaa", "aa"), 2u);
  EXPECT_EQ(CountOccurrences("aaa", "aa"), 1u);
  EXPECT_EQ(CountOccurrences("ababab", "aba"), 1u);
  EXPECT_EQ(CountOccurrences("[q]x[q]", "[q]"), 2u);
  EXPECT_EQ(CountOccurrences("", "a"), 0u);
  EXPECT_EQ(CountOccurrences("abc", ""), 0u);
}

struct ExtractCase {
  std::string text, start_marker;
  size_t skip;
  std::string end_marker, expected;
};

TEST(ExtractField, MarkerExtractionRule) {
  const std::vector<ExtractCase> cases = {
      {"x<B>John</B>y", "<B>", 3, "</B>", "John"},
      {"x<B>John", "<B>", 3, "</B>", "John"},            // no end marker: to the end
      {"</B>x<B>Ann</B>", "<B>", 3, "</B>", "Ann"},      // end searched from the start only
      {"John</B>", "<B>", 3, "</B>", "hn"},              // no start marker: begins at the 3rd byte
      {"Jo", "<B>", 3, "</B>", ""},                      // ... which lies past the end
      {"abc", "<B>", 4, "</B>", ""},
      {"ab", "<B>", 3, "</B>", ""},
      {"abc<B>", "<B>", 3, "</B>", ""},                  // start exactly at the end
      {"abc<B>", "<B>", 9, "</B>", ""},                  // start beyond the end
      {"", "<B>", 3, "</B>", ""},
      {"abc", "x", 0, "c", "ab"},                        // skip 0 without a marker
      {">posted 01-02-03&nbsp;x", ">posted", 7, "&nbsp", " 01-02-03"},
      {"a<p>bc", "<p>", 3, "", "bc"},                    // an empty end marker: to the end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractField(c.text, c.start_marker, c.skip, c.end_marker), c.expected)
        << c.text << " / " << c.start_marker << " / " << c.skip;
  }
}

TEST(TrimBlanks, SpacesOnlyAtBothEnds) {
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("\ta \t"), "\ta \t");
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimBlanks(""), "");
  EXPECT_EQ(TrimBlanks("x"), "x");
}

struct NumberCase {
  std::string text;
  int64_t expected;
};

TEST(LeadingNumber, ReadsSignAndDigitsAfterWhitespace) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const std::vector<NumberCase> cases = {
      {" 8080", 8080},
      {"\t\n 42abc", 42},
      {"\r\n7", 7},
      {"-17x", -17},
      {"+5", 5},
      {"12 34", 12},
      {"007", 7},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {" - 5", 0},
      {"Cfg_Error", 0},
      {"9223372036854775807", kMax},
      {"9223372036854775808", kMax},
      {"99999999999999999999999", kMax},
      {"-9223372036854775808", kMin},
      {"-99999999999999999999999", kMin},
  };
  for (const auto& c : cases) EXPECT_EQ(LeadingNumber(c.text), c.expected) << c.text;
}

TEST(LeadingNumber, ThirtyTwoBitSaturates) {
  EXPECT_EQ(LeadingNumber32("3000000000"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(LeadingNumber32("-3000000000"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(LeadingNumber32("2147483647"), 2147483647);
  EXPECT_EQ(LeadingNumber32(" 119"), 119);
}

TEST(CaseMapping437, AccentedPairs) {
  const std::vector<std::pair<unsigned char, unsigned char>> pairs = {
      {0x84, 0x8E}, {0x94, 0x99}, {0x81, 0x9A}, {0x82, 0x90},
      {0xA4, 0xA5}, {0x86, 0x8F}, {0x87, 0x80}, {'a', 'A'}, {'z', 'Z'},
  };
  for (auto [lower, upper] : pairs) {
    EXPECT_EQ(static_cast<unsigned char>(ToUpper437(static_cast<char>(lower))), upper) << +lower;
    EXPECT_EQ(static_cast<unsigned char>(ToLower437(static_cast<char>(upper))), lower) << +upper;
    EXPECT_EQ(static_cast<unsigned char>(ToUpper437(static_cast<char>(upper))), upper) << +upper;
    EXPECT_EQ(static_cast<unsigned char>(ToLower437(static_cast<char>(lower))), lower) << +lower;
  }
}

TEST(CaseMapping437, NoOtherByteChanges) {
  int changed_upper = 0;
  int changed_lower = 0;
  for (int c = 0; c < 256; ++c) {
    if (ToUpper437(static_cast<char>(c)) != static_cast<char>(c)) ++changed_upper;
    if (ToLower437(static_cast<char>(c)) != static_cast<char>(c)) ++changed_lower;
  }
  EXPECT_EQ(changed_upper, 26 + 7);
  EXPECT_EQ(changed_lower, 26 + 7);
  EXPECT_EQ(ToUpper437('@'), '@');
  EXPECT_EQ(ToUpper437('\xE1'), '\xE1');  // sharp s has no capital here
}

TEST(CaseMapping437, WholeTexts) {
  EXPECT_EQ(UpperCase437("\x84rger \x94l web=1"), "\x8eRGER \x99L WEB=1");
  EXPECT_EQ(LowerCase437("\x8eRGER Xp"), "\x84rger xp");
  EXPECT_EQ(UpperCase437(""), "");
}

TEST(Split, NSeparatorsGiveNPlusOneParts) {
  EXPECT_EQ(Split("a,b,,c", ","), (std::vector<std::string_view>{"a", "b", "", "c"}));
  EXPECT_EQ(Split("", ","), (std::vector<std::string_view>{""}));
  EXPECT_EQ(Split(",", ","), (std::vector<std::string_view>{"", ""}));
  EXPECT_EQ(Split("a\r\nb\r\n", "\r\n"), (std::vector<std::string_view>{"a", "b", ""}));
  EXPECT_EQ(Split("abc", ""), (std::vector<std::string_view>{"abc"}));
}

TEST(Field, OneBasedIndex) {
  EXPECT_EQ(Field("/topic/1.html,12", ",", 1), "/topic/1.html");
  EXPECT_EQ(Field("/topic/1.html,12", ",", 2), "12");
  EXPECT_EQ(Field("/topic/1.html,12", ",", 3), "");
  EXPECT_EQ(Field("a,b", ",", 0), "");
  EXPECT_EQ(Field("a;;b", ";;", 2), "b");
  EXPECT_EQ(Field("abc", ",", 1), "abc");
}

TEST(Decimal, PlainAndSigned) {
  EXPECT_EQ(Decimal(0), "0");
  EXPECT_EQ(Decimal(42), "42");
  EXPECT_EQ(Decimal(-5), "-5");
  EXPECT_EQ(Decimal(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(DecimalSigned(42), " 42");
  EXPECT_EQ(DecimalSigned(0), " 0");
  EXPECT_EQ(DecimalSigned(-5), "-5");
}

}  // namespace
}  // namespace quorix::text
