// Encoded-words and folded header lines.
#include "convert/article_headers.h"

#include <vector>

namespace quorix::convert {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Q encoding of one character's bytes, with the characters that RFC 2047
// allows unencoded in a phrase (so the same form serves names and subjects).
std::string QEncoded(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    const auto byte = static_cast<unsigned char>(ch);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || byte == '!' || byte == '*' || byte == '+' ||
                       byte == '-' || byte == '/';
    if (plain) {
      out.push_back(ch);
    } else if (byte == ' ') {
      out.push_back('_');
    } else {
      out.push_back('=');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0x0F]);
    }
  }
  return out;
}

// Each character of the text as its bytes, in order.
std::vector<std::string> CharacterBytes(std::string_view text, text::Charset charset) {
  std::vector<std::string> characters;
  for (char32_t c : text::DecodeText(text, charset)) {
    std::string bytes;
    if (!text::EncodeChar(c, charset, &bytes)) bytes = "?";
    characters.push_back(std::move(bytes));
  }
  return characters;
}

bool IsEightBit(const std::string& bytes) { return static_cast<unsigned char>(bytes[0]) >= 0x80; }

// The header form of the first `count` characters.
std::string EncodeCharacters(const std::vector<std::string>& characters, size_t count,
                             text::Charset charset) {
  // The encoded span runs from the start of the first word with an 8-bit
  // character to the end of the last such word.
  size_t first = count;
  size_t last = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!IsEightBit(characters[i])) continue;
    if (first == count) first = i;
    last = i;
  }
  std::string out;
  if (first == count) {
    for (size_t i = 0; i < count; ++i) out.append(characters[i]);
    return out;
  }
  while (first > 0 && characters[first - 1] != " ") --first;
  while (last + 1 < count && characters[last + 1] != " ") ++last;

  for (size_t i = 0; i < first; ++i) out.append(characters[i]);
  const std::string open = "=?" + std::string(text::CharsetName(charset)) + "?Q?";
  const std::string close = "?=";
  std::string word;
  for (size_t i = first; i <= last; ++i) {
    const std::string piece = QEncoded(characters[i]);
    if (!word.empty() &&
        open.size() + word.size() + piece.size() + close.size() > kMaxEncodedWord) {
      out.append(open).append(word).append(close).push_back(' ');
      word.clear();
    }
    word.append(piece);
  }
  out.append(open).append(word).append(close);
  for (size_t i = last + 1; i < count; ++i) out.append(characters[i]);
  return out;
}

}  // namespace

std::string EncodeHeaderText(std::string_view text, text::Charset charset, size_t limit) {
  if (text::IsAscii(text)) return std::string(text);
  const std::vector<std::string> characters = CharacterBytes(text, charset);
  std::string encoded = EncodeCharacters(characters, characters.size(), charset);
  if (encoded.size() <= limit) return encoded;
  // The longest start of the text whose header form fits (the form grows
  // with every character added).
  size_t low = 0;
  size_t high = characters.size();
  while (low < high) {
    const size_t middle = (low + high + 1) / 2;
    if (EncodeCharacters(characters, middle, charset).size() <= limit) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  return EncodeCharacters(characters, low, charset);
}

std::string FoldedHeader(std::string_view name, std::string_view value) {
  std::string out(name);
  if (name.size() + value.size() <= kMaxHeaderLine) {
    out.append(value).push_back('\n');
    return out;
  }
  size_t line = out.size();
  bool first_word = true;
  size_t pos = 0;
  while (pos < value.size()) {
    size_t end = value.find(' ', pos);
    if (end == std::string_view::npos) end = value.size();
    const std::string_view word = value.substr(pos, end - pos);
    pos = end + 1;
    if (word.empty()) continue;
    if (first_word) {
      out.append(word);
      line += word.size();
      first_word = false;
    } else if (line + 1 + word.size() > kMaxHeaderLine) {
      out.append("\n ").append(word);
      line = 1 + word.size();
    } else {
      out.append(" ").append(word);
      line += 1 + word.size();
    }
  }
  out.push_back('\n');
  return out;
}

}  // namespace quorix::convert
