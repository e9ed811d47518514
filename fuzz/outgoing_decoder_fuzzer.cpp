// Decoding an outgoing article: its header values (RFC 2047 encoded-words)
// and its body's transfer encodings (quoted-printable, base64, multipart).
//
// - A value without "=?" is read in the reader's set, as a whole.
// - Any bytes, written as Q or B encoded-words of ISO-8859-1 or UTF-8 in
//   words of input-chosen lengths with blanks between them, decode to the
//   bytes' characters, in whatever set the reader writes.
// - Any value decodes without a crash in every reader set, and a value is
//   never longer in characters than in bytes.
// - Any bytes, written as quoted-printable (soft line breaks at input-chosen
//   places) or as base64 (lines of input-chosen lengths), decode to
//   themselves, and as an article body to its lines (CR dropped, the last
//   line end dropped).
// - The value as a body in every transfer encoding, plain and inside a
//   multipart body: quoted-printable never grows, base64 that fails to
//   decode is kept as written and named as a problem.
//
// Input: a header value, bytes to encode, word lengths; separated by 0x1E.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "posting/outgoing_charset.h"
#include "posting/transfer_encoding.h"
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

// The base64 digits of `bytes`, padded, in one run.
std::string Base64Digits(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string digits;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = 0;
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    for (size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (size_t k = 0; k < 4; ++k) {
      digits.push_back(k <= n ? kDigits[(group >> (18 - 6 * k)) & 63] : '=');
    }
  }
  return digits;
}

std::string BWord(std::string_view label, std::string_view bytes) {
  return "=?" + std::string(label) + "?B?" + Base64Digits(bytes) + "?=";
}

// Quoted-printable as an encoder writes it: printable ASCII but "=" as it is,
// LF as a hard line break, every other byte as "=XX"; a soft line break
// before each unit whose length byte says so.
std::string QuotedPrintable(std::string_view bytes, std::string_view lengths) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i < lengths.size() && (static_cast<unsigned char>(lengths[i]) & 7) == 0) {
      encoded.append("=\n");
    }
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == '\n' || (b > ' ' && b < 127 && b != '=')) {
      encoded.push_back(bytes[i]);
    } else {
      encoded.append("=").push_back(kHex[b >> 4]);
      encoded.push_back(kHex[b & 15]);
    }
  }
  return encoded;
}

// Base64 in lines of 4 to 76 digits (the first length byte), LF between.
std::string Base64(std::string_view bytes, std::string_view lengths) {
  const std::string digits = Base64Digits(bytes);
  const size_t line =
      4 * (1 + (lengths.empty() ? 18 : static_cast<unsigned char>(lengths[0]) % 19));
  std::string encoded;
  for (size_t at = 0; at < digits.size(); at += line) {
    if (at > 0) encoded.push_back('\n');
    encoded.append(digits, at, line);
  }
  return encoded;
}

// What an article body's decoded bytes become as its lines.
std::string AsLines(std::string_view bytes) {
  std::string lines;
  for (char c : bytes) {
    if (c != '\r') lines.push_back(c);
  }
  if (!lines.empty() && lines.back() == '\n') lines.pop_back();
  return lines;
}

void CheckTransferEncodings(std::string_view value, std::string_view bytes,
                            std::string_view lengths) {
  const std::string qp = QuotedPrintable(bytes, lengths);
  std::string decoded;
  QUORIX_FUZZ_CHECK(posting::DecodeQuotedPrintable(qp, &decoded), "own quoted-printable is clean",
                    qp);
  QUORIX_FUZZ_CHECK(decoded == bytes, "quoted-printable round trip", qp);
  QUORIX_FUZZ_CHECK(
      posting::DecodeOutgoingBody("text/plain", "Quoted-Printable", qp).text == AsLines(bytes),
      "quoted-printable body", qp);
  const std::string b64 = Base64(bytes, lengths);
  decoded.clear();
  QUORIX_FUZZ_CHECK(posting::DecodeBase64(b64, &decoded), "own base64 decodes", b64);
  QUORIX_FUZZ_CHECK(decoded == bytes, "base64 round trip", b64);
  QUORIX_FUZZ_CHECK(
      posting::DecodeOutgoingBody("text/plain", " base64", b64).text == AsLines(bytes),
      "base64 body", b64);

  // The value itself as a body.
  decoded.clear();
  posting::DecodeQuotedPrintable(value, &decoded);
  QUORIX_FUZZ_CHECK(decoded.size() <= value.size(), "quoted-printable never grows");
  decoded.clear();
  const bool base64 = posting::DecodeBase64(value, &decoded);
  const posting::DecodedBody body = posting::DecodeOutgoingBody("text/plain", "base64", value);
  QUORIX_FUZZ_CHECK(base64 ? body.text == AsLines(decoded) && body.problems.empty()
                           : body.text == value && body.problems.size() == 1,
                    "base64 body or kept as written");
  for (std::string_view encoding : {"quoted-printable", "base64", "8bit", "x-unknown"}) {
    posting::DecodeOutgoingBody("text/plain", encoding, value);
    // Inside a multipart body, its boundary taken from the input.
    const std::string boundary(lengths.substr(0, std::min<size_t>(lengths.size(), 8)));
    const std::string multipart = "--" + boundary +
                                  "\nContent-Transfer-Encoding: " + std::string(encoding) + "\n\n" +
                                  std::string(value) + "\n--" + boundary + "--\n";
    posting::DecodeOutgoingBody("multipart/mixed; boundary=\"" + boundary + "\"", "", multipart);
    posting::DecodeOutgoingBody("multipart/mixed; boundary=" + boundary, "", value);
  }
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
  const std::string utf8 =
      text::EncodeText(chars, text::Charset::kUtf8, [](char32_t, std::string*) {});
  for (int form = 0; form < 4; ++form) {
    const bool is_utf8 = form >= 2;
    const std::string_view source = is_utf8 ? std::string_view(utf8) : bytes;
    std::string encoded;
    size_t at = 0;
    for (size_t word = 0; at < source.size(); ++word) {
      size_t length =
          1 + (word < lengths.size() ? static_cast<unsigned char>(lengths[word]) % 20 : 19);
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
  CheckTransferEncodings(value, bytes, lengths);
  return 0;
}
