// Character sets of delivered articles: numeric references, the article's
// set, encoded-words and folded references.
#include "convert/article_charset.h"

#include <gtest/gtest.h>

#include <string>

#include "convert/article_headers.h"
#include "convert/filters.h"
#include "convert/named_references.h"

namespace quorix::convert {
namespace {

using text::Charset;

TEST(DecodeCharacterReferences, NumericIntoThePagesCharset) {
  struct Case {
    Charset charset;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {Charset::kUtf8, "J&#246;rg &#x2013; &#X20AC;", "J\xC3\xB6rg \xE2\x80\x93 \xE2\x82\xAC"},
      {Charset::kLatin1, "J&#246;rg &#8211; &#8364;", "J\xF6rg \x96 \x80"},
      // 128..159 name the windows-1252 characters.
      {Charset::kUtf8, "&#150;&#128;", "\xE2\x80\x93\xE2\x82\xAC"},
      // What the set lacks, and what is no character, stays.
      {Charset::kLatin1, "&#128512; &#x142;", "&#128512; &#x142;"},
      {Charset::kUtf8, "&#0; &#xD800; &#1114112; &#123456789; &#; &#x; &#65 &#6a;",
       "&#0; &#xD800; &#1114112; &#123456789; &#; &#x; &#65 &#6a;"},
      {Charset::kUtf8, "&&#65;&#65;&", "&AA&"},
  };
  for (const Case& c : cases) {
    std::string text = c.in;
    DecodeCharacterReferences(text, c.charset);
    EXPECT_EQ(text, c.out) << c.in;
  }
}

TEST(DecodeCharacterReferences, NamedOnesOfHtml4) {
  EXPECT_EQ(NamedReferenceCount(), 253u);  // HTML 4's 252 and "apos"
  struct Case {
    Charset charset;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {Charset::kUtf8, "J&ouml;rg &euro; &quot;x&quot; a&nbsp;b",
       "J\xC3\xB6rg \xE2\x82\xAC \"x\" a b"},
      {Charset::kLatin1, "Gr&uuml;&szlig;e &ndash; 5&nbsp;&euro; &Auml;&auml;",
       "Gr\xFC\xDF" "e \x96 5 \x80 \xC4\xE4"},
      {Charset::kUtf8, "&thetasym; &alefsym; &lArr; &hearts; &apos; &yuml; &Yuml;",
       "\xCF\x91 \xE2\x84\xB5 \xE2\x87\x90 \xE2\x99\xA5 ' \xC3\xBF \xC5\xB8"},
      // Left to the entity filter's replacements.
      {Charset::kUtf8, "&amp; &lt; &gt;", "&amp; &lt; &gt;"},
      // Unknown names, wrong case, no ";", too long, and what the set lacks stay.
      {Charset::kUtf8, "&AUML; &auml &foo; &; &thetasymx; & auml;",
       "&AUML; &auml &foo; &; &thetasymx; & auml;"},
      {Charset::kLatin1, "&hearts; &alpha;", "&hearts; &alpha;"},
      // What a reference became is not read again.
      {Charset::kUtf8, "&#38;auml; &#x26;#252;", "&auml; &#252;"},
      {Charset::kUtf8, "&&auml;&", "&\xC3\xA4&"},
  };
  for (const Case& c : cases) {
    std::string text = c.in;
    DecodeCharacterReferences(text, c.charset);
    EXPECT_EQ(text, c.out) << c.in;
  }
}

TEST(DecodeEntities, NamedReferencesKeepTheFiltersOrder) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"J&ouml;rg &amp; M&uuml;ller", "J\xC3\xB6rg & M\xC3\xBCller"},
      {"&amp;auml; &amp;quot;", "&auml; &quot;"},  // an ampersand written out: once
      {"&amp;lt; &amp;gt;", "< >"},                 // the filter's own two steps
      {"&lt;b&gt; &quot;&lt;&quot;", "<b> \"<\""},
  };
  for (const Case& c : cases) {
    std::string text = c.in;
    DecodeEntities(text, Charset::kUtf8);
    EXPECT_EQ(text, c.out) << c.in;
  }
}

TEST(DecodeEntities, ReferencesBeforeTheAmpersand) {
  std::string text = "&amp;#252; &#38;lt; &#252;";
  DecodeEntities(text, Charset::kUtf8);
  EXPECT_EQ(text, "&#252; < \xC3\xBC");
}

TEST(ArticleTextFor, CharsetPerPage) {
  struct Case {
    Charset page;
    std::string body;
    std::string written;
    std::optional<Charset> charset;
  };
  const Case cases[] = {
      {Charset::kUtf8, "plain", "plain", std::nullopt},
      {Charset::kUtf8,
       "Gr\xC3\xBC\xC3\x9F"
       "e",
       "Gr\xC3\xBC\xC3\x9F"
       "e",
       Charset::kUtf8},
      // Typographic characters in ASCII; nothing 8-bit left: no charset.
      {Charset::kUtf8,
       "a \xE2\x80\x93 b \xE2\x80\x94 \xE2\x80\x9Cq\xE2\x80\x9D \xE2\x80\x98s\xE2\x80\x99 "
       "\xE2\x80\xA6 5 \xE2\x82\xAC",
       "a - b -- \"q\" 's' ... 5 EUR", std::nullopt},
      // The common faces as emoticons (a variation selector after one goes
      // with it); any other emoji stays.
      {Charset::kUtf8, "\xF0\x9F\x98\x80", ":-D", std::nullopt},
      {Charset::kUtf8,
       "Zo\xC3\xAB \xF0\x9F\x98\x80 \xC3\x9Cnal \xF0\x9F\x99\x82\xF0\x9F\x98\x89"
       "\xE2\x98\xB9\xEF\xB8\x8F \xE2\x9D\xA4\xEF\xB8\x8F\xEF\xB8\x8F",
       "Zo\xC3\xAB :-D \xC3\x9Cnal :-);-):-( <3", Charset::kUtf8},
      {Charset::kUtf8, "\xF0\x9F\x90\xA7\xEF\xB8\x8F", "\xF0\x9F\x90\xA7\xEF\xB8\x8F",
       Charset::kUtf8},
      {Charset::kLatin1, "J\xF6rg \x96 \x80", "J\xF6rg - EUR", Charset::kLatin1},
      // ISO-8859-1 pages keep ISO-8859-1 unless a character lacks a byte there.
      {Charset::kLatin1,
       "\x8A"
       "a",
       "\xC5\xA0"
       "a",
       Charset::kUtf8},
      {Charset::kWindows1252, "J\xF6rg", "J\xC3\xB6rg", Charset::kUtf8},
      {Charset::kLatin9, "\xA4 \xBD", "EUR \xC5\x93", Charset::kUtf8},
  };
  for (const Case& c : cases) {
    ArticleText text = ArticleTextFor("Bob", "Hi", c.body, c.page);
    EXPECT_EQ(text.body, c.written) << c.body;
    EXPECT_EQ(text.charset, c.charset) << c.body;
    EXPECT_EQ(text.author, "Bob");
  }
  // One 8-bit text decides for all three.
  ArticleText text = ArticleTextFor("J\xC3\xB6rg", "Hi \xE2\x80\x93 there", "x", Charset::kUtf8);
  EXPECT_EQ(text.charset, Charset::kUtf8);
  EXPECT_EQ(text.subject, "Hi - there");
}

TEST(EncodeHeaderText, EncodedWordsWithinLimits) {
  struct Case {
    std::string text;
    Charset charset;
    size_t limit;
    std::string header;
  };
  const Case cases[] = {
      {"Hello", Charset::kUtf8, 70, "Hello"},
      // ISO-8859-1 words where every character fits, whatever the body's set.
      {"J\xC3\xB6rg M\xC3\xBCller", Charset::kUtf8, 70, "=?ISO-8859-1?Q?J=F6rg_M=FCller?="},
      {"Gr\xFC\xDF"
       "e aus Bonn",
       Charset::kLatin1, 244, "=?ISO-8859-1?Q?Gr=FC=DFe?= aus Bonn"},
      {"Re: a K\xF6ln b", Charset::kLatin1, 244, "Re: a =?ISO-8859-1?Q?K=F6ln?= b"},
      // UTF-8 only for what ISO-8859-1 lacks (the euro sign read from
      // windows-1252 bytes, an emoji).
      {"5 \x80", Charset::kLatin1, 244, "5 =?UTF-8?Q?=E2=82=AC?="},
      {"Zo\xC3\xAB \xF0\x9F\x98\x80", Charset::kUtf8, 70, "=?UTF-8?Q?Zo=C3=AB_=F0=9F=98=80?="},
      // Cut at a character boundary to fit: never half of "ö".
      {"J\xC3\xB6rg M\xC3\xBCller", Charset::kUtf8, 25, "=?ISO-8859-1?Q?J=F6rg?= M"},
      // B where it keeps more: Q keeps "Zoë " within 30 bytes, B all of it.
      {"Zo\xC3\xAB \xF0\x9F\x98\x80", Charset::kUtf8, 30, "=?UTF-8?B?Wm/DqyDwn5iA?="},
      {"\xC3\xB6", Charset::kUtf8, 12, ""},
      // B where it keeps more: a run of 8-bit characters.
      {"\xE4\xF6\xFC\xE4\xF6\xFC\xE4\xF6\xFC", Charset::kLatin1, 30,
       "=?ISO-8859-1?B?5Pb85Pb85Pb8?="},
      {"\xE4\xF6\xFC\xE4\xF6\xFC\xE4\xF6\xFC\xE4", Charset::kLatin1, 30,
       "=?ISO-8859-1?B?5Pb85Pb85Pb8?="},  // a tenth would need 4 more bytes
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeHeaderText(c.text, c.charset, c.limit), c.header) << c.text;
  }
}

// The reader's limits: how many characters of a long subject survive.
TEST(EncodeHeaderText, TheFormThatKeepsTheMostCharacters) {
  struct Case {
    std::string unit;  // one character, repeated 150 times
    Charset charset;
    size_t encoded_size;  // bytes of the character in the encoded-words
    size_t at_least;      // characters kept within 244 bytes (Q in the body's set kept 33 / 58 / 22)
    std::string method;
  };
  const Case cases[] = {
      {"\xC3\xA4", Charset::kUtf8, 1, 120, "=?ISO-8859-1?B?"},
      {"\xE4", Charset::kLatin1, 1, 120, "=?ISO-8859-1?B?"},
      {"\xE2\x82\xAC", Charset::kUtf8, 3, 40, "=?UTF-8?B?"},
  };
  for (const Case& c : cases) {
    std::string subject;
    for (int i = 0; i < 150; ++i) subject += c.unit;
    const std::string header = EncodeHeaderText(subject, c.charset, kMaxEncodedSubject);
    EXPECT_LE(header.size(), kMaxEncodedSubject);
    EXPECT_EQ(header.substr(0, c.method.size()), c.method) << header;
    // Decode what was kept and count its characters.
    size_t kept = 0;
    size_t start = 0;
    while (start < header.size()) {
      size_t end = header.find(' ', start);
      if (end == std::string::npos) end = header.size();
      const std::string word = header.substr(start, end - start);
      EXPECT_LE(word.size(), kMaxEncodedWord);
      ASSERT_EQ(word.substr(word.size() - 2), "?=");
      const std::string payload = word.substr(c.method.size(), word.size() - c.method.size() - 2);
      size_t data = payload.size();
      while (data > 0 && payload[data - 1] == '=') --data;
      const size_t bytes = data * 6 / 8;
      kept += bytes / c.encoded_size;
      EXPECT_EQ(bytes % c.encoded_size, 0u) << "a character split: " << word;
      start = end + 1;
    }
    EXPECT_GE(kept, c.at_least) << header;
  }
}

TEST(EncodeHeaderText, LongQSubjectStaysWithinWordsAndCharacters) {
  // Words of 8-bit characters between blanks: every word at most 75
  // characters, the whole within 244, no character split.
  std::string subject;
  for (int i = 0; i < 60; ++i) subject += "\xC3\xA4\xC3\xB6\xE2\x82\xAC ";
  const std::string header = EncodeHeaderText(subject, Charset::kUtf8, kMaxEncodedSubject);
  EXPECT_LE(header.size(), kMaxEncodedSubject);
  EXPECT_GT(header.size(), kMaxEncodedSubject - 20);
  size_t start = 0;
  while (start < header.size()) {
    size_t end = header.find(' ', start);
    if (end == std::string::npos) end = header.size();
    std::string word = header.substr(start, end - start);
    EXPECT_LE(word.size(), kMaxEncodedWord);
    EXPECT_EQ(word.substr(0, 8), "=?UTF-8?");
    EXPECT_EQ(word.substr(word.size() - 2), "?=");
    EXPECT_EQ(word.find("=C3?="), std::string::npos) << "a character split: " << word;
    EXPECT_EQ(word.find("=E2?="), std::string::npos) << "a character split: " << word;
    EXPECT_EQ(word.find("=82?="), std::string::npos) << "a character split: " << word;
    start = end + 1;
  }
}

TEST(FoldedHeader, NoLineOverTheLimitAndTheParentLast) {
  EXPECT_EQ(FoldedHeader("References: ", "<a@b> <c@d>"), "References: <a@b> <c@d>\n");
  std::string chain;
  for (int i = 0; i < 60; ++i) chain += (i ? " <" : "<") + std::string(40, 'a' + i % 26) + ">";
  const std::string folded = FoldedHeader("References: ", chain + " <parent@x>");
  EXPECT_EQ(folded.substr(folded.size() - 12), " <parent@x>\n");
  size_t start = 0;
  int lines = 0;
  std::string unfolded;
  while (start < folded.size()) {
    size_t end = folded.find('\n', start);
    const std::string line = folded.substr(start, end - start);
    EXPECT_LE(line.size(), kMaxHeaderLine);
    if (lines > 0) {
      EXPECT_EQ(line[0], ' ');
    }
    unfolded += line;
    ++lines;
    start = end + 1;
  }
  EXPECT_GE(lines, 3);
  EXPECT_EQ(unfolded, "References: " + chain + " <parent@x>");
}

}  // namespace
}  // namespace quorix::convert
