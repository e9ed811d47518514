// Byte-string helpers: one-pass replacement, marker extraction, trimming,
// leading numbers, code page 437 case mapping, splitting and decimal texts.
#include "text/text.h"

#include <array>
#include <limits>

namespace quorix::text {

namespace {

// Case tables of code page 437: ASCII letters plus seven accented pairs
// (lower/upper): a-umlaut, o-umlaut, u-umlaut, e-acute, n-tilde, a-ring, c-cedilla.
constexpr std::array<std::array<unsigned char, 2>, 7> kAccentPairs = {{
    {0x84, 0x8E},
    {0x94, 0x99},
    {0x81, 0x9A},
    {0x82, 0x90},
    {0xA4, 0xA5},
    {0x86, 0x8F},
    {0x87, 0x80},
}};

struct CaseTables {
  std::array<unsigned char, 256> upper{};
  std::array<unsigned char, 256> lower{};
};

constexpr CaseTables MakeCaseTables() {
  CaseTables tables;
  for (int c = 0; c < 256; ++c) {
    tables.upper[c] = static_cast<unsigned char>(c);
    tables.lower[c] = static_cast<unsigned char>(c);
  }
  for (int c = 'a'; c <= 'z'; ++c) {
    tables.upper[c] = static_cast<unsigned char>(c - 'a' + 'A');
    tables.lower[c - 'a' + 'A'] = static_cast<unsigned char>(c);
  }
  for (const auto& pair : kAccentPairs) {
    tables.upper[pair[0]] = pair[1];
    tables.lower[pair[1]] = pair[0];
  }
  return tables;
}

constexpr CaseTables kCase = MakeCaseTables();

std::string MapCase(std::string_view text, const std::array<unsigned char, 256>& table) {
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    out[i] = static_cast<char>(table[static_cast<unsigned char>(text[i])]);
  }
  return out;
}

}  // namespace

namespace {

// The replacement pass from `hit`, the first occurrence of `from`.
std::string ReplaceFrom(std::string_view text, size_t hit, std::string_view from,
                        std::string_view to) {
  std::string out;
  // Room for the unchanged length; a growing replacement extends it by
  // doubling, so the pass stays linear.
  out.reserve(to.size() > from.size() ? text.size() + text.size() / 8 + to.size() : text.size());
  size_t done = 0;
  while (hit != std::string_view::npos) {
    out.append(text.data() + done, hit - done);
    out.append(to);
    done = hit + from.size();
    hit = text.find(from, done);
  }
  out.append(text.data() + done, text.size() - done);
  return out;
}

}  // namespace

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  size_t hit = text.find(from);
  if (hit == std::string_view::npos) return std::string(text);
  return ReplaceFrom(text, hit, from, to);
}

bool ReplaceAllInPlace(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return false;
  const size_t hit = text.find(from);
  if (hit == std::string::npos) return false;
  // The search found the first occurrence already: the pass starts there.
  std::string out = ReplaceFrom(text, hit, from, to);
  text.swap(out);
  return true;
}

size_t CountOccurrences(std::string_view text, std::string_view needle) {
  if (needle.empty()) return 0;
  size_t count = 0;
  for (size_t hit = text.find(needle); hit != std::string_view::npos;
       hit = text.find(needle, hit + needle.size())) {
    ++count;
  }
  return count;
}

std::string_view ExtractField(std::string_view text, std::string_view start_marker, size_t skip,
                              std::string_view end_marker) {
  // In the 1-based counting of the page texts the field starts at the
  // marker's position plus `skip`; an absent marker has position 0, so the
  // field starts at position `skip`, which is index skip - 1.
  size_t marker = text.find(start_marker);
  size_t start;
  if (marker != std::string_view::npos) {
    if (skip > text.size() - marker) return {};
    start = marker + skip;
  } else {
    start = skip == 0 ? 0 : skip - 1;
  }
  if (start > text.size()) return {};
  size_t end = end_marker.empty() ? std::string_view::npos : text.find(end_marker, start);
  if (end == std::string_view::npos) end = text.size();
  return text.substr(start, end - start);
}

std::string_view TrimBlanks(std::string_view text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

int64_t LeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() &&
         (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate as a negative number so that the lowest value fits exactly.
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  int64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (saturated) continue;
    int digit = text[i] - '0';
    if (value < (kMin + digit) / 10) {
      saturated = true;
      value = kMin;
    } else {
      value = value * 10 - digit;
    }
  }
  if (negative) return value;
  if (value == kMin) return std::numeric_limits<int64_t>::max();
  return -value;
}

int32_t LeadingNumber32(std::string_view text) {
  int64_t value = LeadingNumber(text);
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

char ToUpper437(char c) { return static_cast<char>(kCase.upper[static_cast<unsigned char>(c)]); }

char ToLower437(char c) { return static_cast<char>(kCase.lower[static_cast<unsigned char>(c)]); }

std::string UpperCase437(std::string_view text) { return MapCase(text, kCase.upper); }

std::string LowerCase437(std::string_view text) { return MapCase(text, kCase.lower); }

std::vector<std::string_view> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> parts;
  if (separator.empty()) {
    parts.push_back(text);
    return parts;
  }
  size_t done = 0;
  for (size_t hit = text.find(separator); hit != std::string_view::npos;
       hit = text.find(separator, done)) {
    parts.push_back(text.substr(done, hit - done));
    done = hit + separator.size();
  }
  parts.push_back(text.substr(done));
  return parts;
}

std::string_view Field(std::string_view text, std::string_view separator, size_t index) {
  if (index == 0) return {};
  if (separator.empty()) return index == 1 ? text : std::string_view();
  size_t done = 0;
  for (size_t n = 1; n < index; ++n) {
    size_t hit = text.find(separator, done);
    if (hit == std::string_view::npos) return {};
    done = hit + separator.size();
  }
  size_t end = text.find(separator, done);
  if (end == std::string_view::npos) end = text.size();
  return text.substr(done, end - done);
}

std::string Decimal(int64_t value) { return std::to_string(value); }

std::string DecimalSigned(int64_t value) {
  // Non-negative numbers carry a blank where the minus sign would stand.
  if (value < 0) return std::to_string(value);
  return " " + std::to_string(value);
}

}  // namespace quorix::text
