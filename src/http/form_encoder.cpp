#include "http/form_encoder.h"

namespace quorix::http {

namespace {

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string UrlEncodeForm(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size() * 3);
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsAsciiAlnum(c)) {
      encoded.push_back(ch);
    } else if (c == ' ') {
      encoded.push_back('+');
    } else {
      encoded.push_back('%');
      encoded.push_back(kHexDigits[c >> 4]);
      encoded.push_back(kHexDigits[c & 0x0F]);
    }
  }
  return encoded;
}

}  // namespace quorix::http
