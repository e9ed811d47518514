// The standard CRC-32 (reflected polynomial 0xEDB88320, initial value and
// final XOR all ones), as zlib computes it, eight bytes per step
// ("slicing-by-8"), and the lower-case hexadecimal text of a number.
#include <array>

#include "text/text.h"

namespace quorix::text {

namespace {

using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeCrcTables() {
  CrcTables tables{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables[0][n] = c;
  }
  // tables[k][n]: the CRC of byte n followed by k zero bytes.
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = tables[0][n];
    for (size_t k = 1; k < 8; ++k) {
      c = tables[0][c & 0xFF] ^ (c >> 8);
      tables[k][n] = c;
    }
  }
  return tables;
}

constexpr CrcTables kCrc = MakeCrcTables();

uint32_t LoadLittle32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t Crc32(std::string_view data) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  size_t size = data.size();
  uint32_t crc = 0xFFFFFFFFu;
  while (size >= 8) {
    uint32_t low = LoadLittle32(p) ^ crc;
    uint32_t high = LoadLittle32(p + 4);
    crc = kCrc[7][low & 0xFF] ^ kCrc[6][(low >> 8) & 0xFF] ^ kCrc[5][(low >> 16) & 0xFF] ^
          kCrc[4][low >> 24] ^ kCrc[3][high & 0xFF] ^ kCrc[2][(high >> 8) & 0xFF] ^
          kCrc[1][(high >> 16) & 0xFF] ^ kCrc[0][high >> 24];
    p += 8;
    size -= 8;
  }
  while (size-- > 0) crc = kCrc[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::string HexLower(uint32_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  char buffer[8];
  size_t n = 0;
  do {
    buffer[n++] = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  std::string out(n, '0');
  for (size_t i = 0; i < n; ++i) out[i] = buffer[n - 1 - i];
  return out;
}

}  // namespace quorix::text
