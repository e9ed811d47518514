// Choosing an article's character set and writing its texts in it.
#include "convert/article_charset.h"

#include <array>

namespace quorix::convert {

namespace {

struct AsciiFormOf {
  char32_t c;
  std::string_view ascii;
};

constexpr std::array<AsciiFormOf, 20> kAsciiForms = {{
    {0x2010, "-"},  {0x2011, "-"},  {0x2012, "-"},   {0x2013, "-"},   {0x2014, "--"},
    {0x2015, "--"}, {0x2212, "-"},  {0x2018, "'"},   {0x2019, "'"},   {0x201A, "'"},
    {0x201B, "'"},  {0x201C, "\""}, {0x201D, "\""},  {0x201E, "\""},  {0x201F, "\""},
    {0x2039, "<"},  {0x203A, ">"},  {0x2026, "..."}, {0x20AC, "EUR"}, {0x2032, "'"},
}};

// The common faces as the emoticons they stand for.
constexpr std::array<AsciiFormOf, 25> kFaces = {{
    {0x263A, ":-)"},  {0x1F642, ":-)"},  {0x1F60A, ":-)"},  {0x1F603, ":-D"},  {0x1F600, ":-D"},
    {0x1F601, ":-D"}, {0x1F604, ":-D"},  {0x1F606, ":-D"},  {0x1F605, ":-D"},  {0x1F609, ";-)"},
    {0x1F61C, ";-P"}, {0x1F61B, ":-P"},  {0x1F61D, ":-P"},  {0x2639, ":-("},   {0x1F641, ":-("},
    {0x1F61E, ":-("}, {0x1F622, ":'-("}, {0x1F62D, ":'-("}, {0x1F602, ":'-D"}, {0x1F62E, ":-O"},
    {0x1F632, ":-O"}, {0x1F610, ":-|"},  {0x1F615, ":-/"},  {0x1F607, "O:-)"}, {0x2764, "<3"},
}};

// The characters of `bytes` with the typographic ones and the common faces
// in ASCII. A variation selector after one of them (U+FE0F, "as a picture")
// goes with it.
std::u32string ReaderCharacters(std::string_view bytes, text::Charset page_charset) {
  std::u32string out;
  bool after_form = false;
  for (char32_t c : text::DecodeText(bytes, page_charset)) {
    if (after_form && c == 0xFE0F) continue;
    std::string_view ascii = AsciiForm(c);
    after_form = !ascii.empty();
    if (ascii.empty()) {
      out.push_back(c);
    } else {
      out.append(ascii.begin(), ascii.end());
    }
  }
  return out;
}

bool AllBelow(std::u32string_view chars, char32_t limit) {
  for (char32_t c : chars) {
    if (c >= limit) return false;
  }
  return true;
}

}  // namespace

std::string_view AsciiForm(char32_t c) {
  for (const AsciiFormOf& form : kAsciiForms) {
    if (form.c == c) return form.ascii;
  }
  for (const AsciiFormOf& form : kFaces) {
    if (form.c == c) return form.ascii;
  }
  return {};
}

ArticleText ArticleTextFor(std::string_view author, std::string_view subject, std::string_view body,
                           text::Charset page_charset) {
  if (text::IsAscii(author) && text::IsAscii(subject) && text::IsAscii(body)) {
    return ArticleText{std::string(author), std::string(subject), std::string(body), {}};
  }
  const std::u32string chars[3] = {ReaderCharacters(author, page_charset),
                                   ReaderCharacters(subject, page_charset),
                                   ReaderCharacters(body, page_charset)};
  std::optional<text::Charset> charset;
  for (const std::u32string& text : chars) {
    if (!AllBelow(text, 0x80)) charset = text::Charset::kUtf8;
  }
  if (charset && page_charset == text::Charset::kLatin1 && AllBelow(chars[0], 0x100) &&
      AllBelow(chars[1], 0x100) && AllBelow(chars[2], 0x100)) {
    charset = text::Charset::kLatin1;
  }
  // Every character has a byte in the chosen set (ISO-8859-1 was chosen only
  // when all are below U+0100); nothing is ever missing.
  const auto missing = [](char32_t, std::string* out) { out->push_back('?'); };
  const text::Charset written = charset.value_or(text::Charset::kUtf8);
  return ArticleText{text::EncodeText(chars[0], written, missing),
                     text::EncodeText(chars[1], written, missing),
                     text::EncodeText(chars[2], written, missing), charset};
}

}  // namespace quorix::convert
