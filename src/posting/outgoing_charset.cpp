// Converting an outgoing article from the reader's character set to the forum's.
#include "posting/outgoing_charset.h"

#include <cstdint>

#include "posting/transfer_encoding.h"
#include "text/text.h"

namespace quorix::posting {

namespace {

std::string InForumCharset(std::u32string_view chars, text::Charset forum) {
  return text::EncodeText(chars, forum, [](char32_t c, std::string* out) {
    out->append("&#").append(text::Decimal(static_cast<int64_t>(c))).push_back(';');
  });
}

bool DecodeQ(std::string_view text, std::string* out) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      out->push_back(' ');
    } else if (text[i] == '=') {
      if (i + 2 >= text.size()) return false;
      const int high = HexDigit(text[i + 1]);
      const int low = HexDigit(text[i + 2]);
      if (high < 0 || low < 0) return false;
      out->push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      out->push_back(text[i]);
    }
  }
  return true;
}

bool DecodeB(std::string_view text, std::string* out) {
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    const int value = Base64Digit(c);
    if (value < 0) return false;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out->push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return true;
}

// The encoded-word at `value[at]` ("=?"): its characters and its length;
// length 0 when there is none there.
std::u32string EncodedWord(std::string_view value, size_t at, size_t* length) {
  *length = 0;
  const size_t charset_end = value.find('?', at + 2);
  if (charset_end == std::string_view::npos || charset_end + 2 >= value.size()) return {};
  if (value[charset_end + 2] != '?') return {};
  const size_t end = value.find("?=", charset_end + 3);
  if (end == std::string_view::npos) return {};
  std::string_view label = value.substr(at + 2, charset_end - at - 2);
  label = label.substr(0, label.find('*'));  // a language tag after "*"
  const std::optional<text::Charset> charset = text::CharsetFromLabel(label);
  const char method = value[charset_end + 1];
  const std::string_view encoded = value.substr(charset_end + 3, end - charset_end - 3);
  std::string bytes;
  bool decoded = false;
  if (method == 'Q' || method == 'q') decoded = DecodeQ(encoded, &bytes);
  if (method == 'B' || method == 'b') decoded = DecodeB(encoded, &bytes);
  if (!charset || !decoded) return {};
  *length = end + 2 - at;
  return text::DecodeText(bytes, *charset);
}

}  // namespace

text::Charset ReaderCharset(std::string_view content_type) {
  std::string lower(content_type);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  const size_t at = lower.find("charset=");
  if (at != std::string::npos) {
    std::string_view value = std::string_view(lower).substr(at + 8);
    value = value.substr(0, value.find_first_of(" \t;"));
    if (auto charset = text::CharsetFromLabel(value)) return *charset;
  }
  return text::Charset::kLatin1;
}

std::optional<text::Charset> ForumCharset(std::string_view configured,
                                          std::optional<text::Charset> learned) {
  if (auto charset = text::CharsetFromLabel(configured)) return charset;
  return learned;
}

bool IsAsciiArticle(const OutgoingArticle& article) {
  return text::IsAscii(article.subject) && text::IsAscii(article.body) &&
         text::IsAscii(article.newsreader) && article.subject.find("=?") == std::string::npos &&
         article.newsreader.find("=?") == std::string::npos;
}

std::u32string DecodeHeaderText(std::string_view value, text::Charset reader) {
  std::u32string chars;
  size_t done = 0;
  size_t after_word = std::string_view::npos;  // where the last encoded-word ended
  for (size_t hit = value.find("=?"); hit != std::string_view::npos;) {
    size_t length = 0;
    std::u32string word = EncodedWord(value, hit, &length);
    if (length == 0) {
      hit = value.find("=?", hit + 1);
      continue;
    }
    std::string_view between = value.substr(done, hit - done);
    const bool only_blanks = between.find_first_not_of(" \t") == std::string_view::npos;
    if (!(after_word == done && only_blanks)) chars += text::DecodeText(between, reader);
    chars += word;
    done = after_word = hit + length;
    hit = value.find("=?", done);
  }
  chars += text::DecodeText(value.substr(done), reader);
  return chars;
}

void ConvertArticleCharset(OutgoingArticle& article, text::Charset reader, text::Charset forum) {
  // ISO-8859-1 and windows-1252 are one set of bytes: nothing to convert.
  const auto family = [](text::Charset c) {
    return c == text::Charset::kWindows1252 ? text::Charset::kLatin1 : c;
  };
  std::u32string subject = DecodeHeaderText(article.subject, reader);
  if (article.subject_as_written.starts_with("=?") && subject.size() >= 4 &&
      (subject[0] == 'R' || subject[0] == 'r') && (subject[1] == 'E' || subject[1] == 'e') &&
      subject[2] == ':' && subject[3] == ' ') {
    // The "Re: " was inside the encoded-word, where the header rule did not see it.
    subject.erase(0, 4);
  }
  article.subject = InForumCharset(subject, forum);
  article.newsreader = InForumCharset(DecodeHeaderText(article.newsreader, reader), forum);
  if (family(reader) == family(forum)) return;
  if (!text::IsAscii(article.body)) {
    article.body = InForumCharset(text::DecodeText(article.body, reader), forum);
  }
}

}  // namespace quorix::posting
