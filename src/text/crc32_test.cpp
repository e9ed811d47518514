#include <gtest/gtest.h>

#include <random>
#include <string>

#include "text/text.h"

namespace quorix::text {
namespace {

// Bit-by-bit CRC-32 as a reference for the table-driven one.
uint32_t BitwiseCrc32(std::string_view data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

TEST(Crc32, KnownVectors) {
  EXPECT_EQ(Crc32(""), 0u);
  EXPECT_EQ(Crc32("a"), 0xE8B7BE43u);
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  EXPECT_EQ(Crc32(std::string(32, '\0')), 0x190A55ADu);
}

TEST(Crc32, MatchesBitwiseReferenceAtEveryLengthAndOffset) {
  std::mt19937 random(12345);
  std::string data(300, '\0');
  for (char& c : data) c = static_cast<char>(random() & 0xFF);
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t length = 0; offset + length <= data.size(); length += 7) {
      std::string_view piece(data.data() + offset, length);
      ASSERT_EQ(Crc32(piece), BitwiseCrc32(piece)) << offset << "+" << length;
    }
  }
}

TEST(HexLower, NoLeadingZeros) {
  EXPECT_EQ(HexLower(0), "0");
  EXPECT_EQ(HexLower(1), "1");
  EXPECT_EQ(HexLower(0x10), "10");
  EXPECT_EQ(HexLower(0x0000ABCD), "abcd");
  EXPECT_EQ(HexLower(0xCBF43926), "cbf43926");
  EXPECT_EQ(HexLower(0xFFFFFFFF), "ffffffff");
}

}  // namespace
}  // namespace quorix::text
