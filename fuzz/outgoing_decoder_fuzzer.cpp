// Decoding an outgoing article's header values (RFC 2047 encoded-words).
//
// - A value without "=?" is read in the reader's set, as a whole.
// - Any bytes, written as Q or B encoded-words of ISO-8859-1 or UTF-8 in
//   words of input-chosen lengths with blanks between them, decode to the
//   bytes' characters, in whatever set the reader writes.
// - Any value decodes without a crash in every reader set, and a value is
//   never longer in characters than in bytes.
//
// Input: a header value, bytes to encode, word lengths; separated by 0x1E.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "posting/outgoing_charset.h"
#include "text/charset.h"

namespace {

namespace posting = quorix::posting;
namespace text = quorix::text;

constexpr text::Charset kSets[] = {text::Charset::kLatin1, text::Charset::kWindows1252,
                                   text::Charset::kLatin9, text::Charset::kUtf8};

std::string QWord(std::string_view label, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string word = "=?" + std::string(label) + "?Q?";
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= '0' && b <= '9')) {
      word.push_back(c);
    } else if (b == ' ') {
      word.push_back('_');
    } else {
      word.append("=").push_back(kHex[b >> 4]);
      word.push_back(kHex[b & 15]);
    }
  }
  return word + "?=";
}

std::string BWord(std::string_view label, std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string word = "=?" + std::string(label) + "?B?";
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = 0;
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    for (size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (size_t k = 0; k < 4; ++k) {
      word.push_back(k <= n ? kDigits[(group >> (18 - 6 * k)) & 63] : '=');
    }
  }
  return word + "?=";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parts = quorix::fuzz::SplitParts(quorix::fuzz::AsText(data, size), 3);
  const std::string_view value = parts[0];
  const std::string_view bytes = parts[1];
  const std::string_view lengths = parts[2];

  for (text::Charset reader : kSets) {
    const std::u32string decoded = posting::DecodeHeaderText(value, reader);
    QUORIX_FUZZ_CHECK(decoded.size() <= value.size(), "no more characters than bytes");
    if (value.find("=?") == std::string_view::npos) {
      QUORIX_FUZZ_CHECK(decoded == text::DecodeText(value, reader), "plain text as read");
    }
  }

  // The bytes in encoded-words: as ISO-8859-1 every byte is a character; as
  // UTF-8 the words carry the UTF-8 of those characters, cut anywhere
  // between whole characters.
  const std::u32string chars = text::DecodeText(bytes, text::Charset::kLatin1);
  const std::string utf8 = text::EncodeText(chars, text::Charset::kUtf8,
                                            [](char32_t, std::string*) {});
  for (int form = 0; form < 4; ++form) {
    const bool is_utf8 = form >= 2;
    const std::string_view source = is_utf8 ? std::string_view(utf8) : bytes;
    std::string encoded;
    size_t at = 0;
    for (size_t word = 0; at < source.size(); ++word) {
      size_t length = 1 + (word < lengths.size() ? static_cast<unsigned char>(lengths[word]) % 20
                                                 : 19);
      length = std::min(length, source.size() - at);
      // A UTF-8 word ends between characters.
      while (is_utf8 && at + length < source.size() &&
             (static_cast<unsigned char>(source[at + length]) & 0xC0) == 0x80) {
        ++length;
      }
      const std::string_view piece = source.substr(at, length);
      const std::string_view label = is_utf8 ? "UTF-8" : "ISO-8859-1";
      if (!encoded.empty()) encoded.push_back(' ');
      encoded += form % 2 == 0 ? QWord(label, piece) : BWord(label, piece);
      at += length;
    }
    for (text::Charset reader : kSets) {
      QUORIX_FUZZ_CHECK(posting::DecodeHeaderText(encoded, reader) == chars,
                        "encoded-words decode to their characters", encoded);
    }
  }
  return 0;
}
