// Encoded-words and folded header lines.
#include "convert/article_headers.h"

#include <cstdint>
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

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string BEncoded(std::string_view bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    out.push_back(kBase64[(group >> 18) & 63]);
    out.push_back(kBase64[(group >> 12) & 63]);
    out.push_back(i + 1 < bytes.size() ? kBase64[(group >> 6) & 63] : '=');
    out.push_back(i + 2 < bytes.size() ? kBase64[group & 63] : '=');
  }
  return out;
}

// One character of a header: its bytes in the header's set, and whether it
// must be encoded.
struct HeaderCharacter {
  std::string bytes;
  bool eight_bit = false;
};

// The characters of the text as bytes of `header_set` ("?" for one it lacks).
std::vector<HeaderCharacter> CharacterBytes(const std::u32string& chars, text::Charset header_set) {
  std::vector<HeaderCharacter> characters;
  characters.reserve(chars.size());
  for (char32_t c : chars) {
    HeaderCharacter character;
    if (!text::EncodeChar(c, header_set, &character.bytes)) character.bytes = "?";
    character.eight_bit = c >= 0x80;
    characters.push_back(std::move(character));
  }
  return characters;
}

// The encoded-words of characters[first..last]: Q ('Q') or B ('B'), each word
// at most 75 characters and holding whole characters only.
std::string EncodedWords(const std::vector<HeaderCharacter>& characters, size_t first, size_t last,
                         text::Charset header_set, char method) {
  const std::string open =
      "=?" + std::string(text::CharsetName(header_set)) + "?" + std::string(1, method) + "?";
  const std::string close = "?=";
  const auto encoded = [method](std::string_view bytes) {
    return method == 'Q' ? QEncoded(bytes) : BEncoded(bytes);
  };
  std::string out;
  std::string word;  // Q: the encoded text; B: the bytes still to encode
  for (size_t i = first; i <= last; ++i) {
    const std::string& bytes = characters[i].bytes;
    const size_t grown = method == 'Q' ? word.size() + QEncoded(bytes).size()
                                       : (word.size() + bytes.size() + 2) / 3 * 4;
    if (!word.empty() && open.size() + grown + close.size() > kMaxEncodedWord) {
      out.append(open).append(method == 'Q' ? word : encoded(word)).append(close).push_back(' ');
      word.clear();
    }
    word.append(method == 'Q' ? QEncoded(bytes) : bytes);
  }
  out.append(open).append(method == 'Q' ? word : encoded(word)).append(close);
  return out;
}

// The header form of the first `count` characters.
std::string EncodeCharacters(const std::vector<HeaderCharacter>& characters, size_t count,
                             text::Charset header_set, char method) {
  // The encoded span runs from the start of the first word with an 8-bit
  // character to the end of the last such word.
  size_t first = count;
  size_t last = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!characters[i].eight_bit) continue;
    if (first == count) first = i;
    last = i;
  }
  std::string out;
  if (first == count) {
    for (size_t i = 0; i < count; ++i) out.append(characters[i].bytes);
    return out;
  }
  while (first > 0 && characters[first - 1].bytes != " ") --first;
  while (last + 1 < count && characters[last + 1].bytes != " ") ++last;
  for (size_t i = 0; i < first; ++i) out.append(characters[i].bytes);
  out.append(EncodedWords(characters, first, last, header_set, method));
  for (size_t i = last + 1; i < count; ++i) out.append(characters[i].bytes);
  return out;
}

// The longest start of the text whose header form fits `limit` (the form
// grows with every character added): its length in characters.
size_t CharactersThatFit(const std::vector<HeaderCharacter>& characters, text::Charset header_set,
                         char method, size_t limit) {
  if (EncodeCharacters(characters, characters.size(), header_set, method).size() <= limit) {
    return characters.size();
  }
  size_t low = 0;
  size_t high = characters.size();
  while (low < high) {
    const size_t middle = (low + high + 1) / 2;
    if (EncodeCharacters(characters, middle, header_set, method).size() <= limit) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  return low;
}

}  // namespace

text::Charset HeaderCharset(std::u32string_view chars) {
  for (char32_t c : chars) {
    if (c > 0xFF) return text::Charset::kUtf8;
  }
  return text::Charset::kLatin1;
}

std::string EncodeHeaderText(std::string_view text, text::Charset charset, size_t limit) {
  if (text::IsAscii(text)) return std::string(text);
  const std::u32string chars = text::DecodeText(text, charset);
  const text::Charset header_set = HeaderCharset(chars);
  const std::vector<HeaderCharacter> characters = CharacterBytes(chars, header_set);
  // Q keeps short runs of umlauts readable; B packs many 8-bit characters
  // (a UTF-8 subject of umlauts) more tightly. The one that keeps more wins.
  const size_t q = CharactersThatFit(characters, header_set, 'Q', limit);
  const size_t b = q == characters.size() ? 0 : CharactersThatFit(characters, header_set, 'B', limit);
  return b > q ? EncodeCharacters(characters, b, header_set, 'B')
               : EncodeCharacters(characters, q, header_set, 'Q');
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
