#include "http/form_encoder.h"

#include <gtest/gtest.h>

#include <string>

namespace quorix::http {
namespace {

TEST(UrlEncodeForm, EncodesByTheFormRules) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {"", ""},
      {"a b&c=d", "a+b%26c%3Dd"},
      {"AZaz09", "AZaz09"},
      {"-_.*", "%2D%5F%2E%2A"},
      {"\r\n", "%0D%0A"},
      {std::string("\x82", 1), "%82"},
      {std::string("\xFF\x80", 2), "%FF%80"},
      {std::string("\0", 1), "%00"},
      {"\t", "%09"},
      {"  ", "++"},
      {"100%", "100%25"},
      {"+", "%2B"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UrlEncodeForm(c.input), c.expected) << "input: " << c.input;
  }
}

TEST(UrlEncodeForm, EveryByteIsEncodedAtMostThreeTimesItsLength) {
  std::string all_bytes;
  for (int b = 0; b < 256; ++b) all_bytes.push_back(static_cast<char>(b));
  const std::string encoded = UrlEncodeForm(all_bytes);
  // 62 letters and digits stay, the blank becomes one "+", 193 bytes take three.
  EXPECT_EQ(encoded.size(), 62u + 1u + 193u * 3u);
  EXPECT_EQ(encoded.substr(0, 6), "%00%01");
  EXPECT_EQ(encoded.substr(encoded.size() - 3), "%FF");
}

}  // namespace
}  // namespace quorix::http
