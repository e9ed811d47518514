// Byte-string helpers that every module shares. Texts are bytes in code page
// 437; nothing here converts character sets (charset.h does). Searches are plain and
// case-sensitive unless the name says otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorix::text {

// Replaces every occurrence of `from` by `to` in one left-to-right pass over
// non-overlapping occurrences (a run of three blanks with "  " -> " " keeps two).
// An empty `from` changes nothing.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
// The same pass on `text` itself, which is not copied when it holds no
// occurrence. Returns whether it changed anything.
bool ReplaceAllInPlace(std::string& text, std::string_view from, std::string_view to);

// Number of non-overlapping occurrences; 0 for an empty needle.
size_t CountOccurrences(std::string_view text, std::string_view needle);

// The marker extraction rule: the field starts `skip` bytes after the start of
// `start_marker` (index of the marker + skip) and ends before the first
// `end_marker` at or after its start, or at the end of the text (also for an
// empty end marker). The rule counts positions from 1 with 0 for "not found",
// so an absent start marker puts the start at position `skip`, which is index
// skip - 1 (index 0 for skip 0): ("John</B>", "<B>", 3, "</B>") gives "hn".
// The result is empty when the start lies at or past the end of the text.
std::string_view ExtractField(std::string_view text, std::string_view start_marker, size_t skip,
                              std::string_view end_marker);

// Blanks (spaces only) removed at both ends.
std::string_view TrimBlanks(std::string_view text);

// Leading-number conversion: skips leading blanks, tabs, line feeds and CRs
// (a CR LF line end before the number reads like an LF), reads an optional
// sign and the digits that follow; 0 when there are none. Values beyond 64
// bits saturate.
int64_t LeadingNumber(std::string_view text);
// The same, saturated to the 32-bit range.
int32_t LeadingNumber32(std::string_view text);

// Code page 437 case mapping: ASCII letters and the pairs a-umlaut, o-umlaut,
// u-umlaut, e-acute, n-tilde, a-ring, c-cedilla. No other byte changes.
char ToUpper437(char c);
char ToLower437(char c);
std::string UpperCase437(std::string_view text);
std::string LowerCase437(std::string_view text);

// Splits at every occurrence of `separator` (a text with n separators gives n + 1 parts).
std::vector<std::string_view> Split(std::string_view text, std::string_view separator);

// Field `index` (1-based) of `text` split at `separator`; empty when missing.
std::string_view Field(std::string_view text, std::string_view separator, size_t index);

// Decimal formatting as the system writes numbers.
std::string Decimal(int64_t value);           // "-5", "42"
std::string DecimalSigned(int64_t value);     // a positive value gets a leading blank: " 42", "-5"

// The standard CRC-32 (reflected, polynomial 0xEDB88320, initial and final
// value all ones), bit-exact with zlib's crc32.
uint32_t Crc32(std::string_view data);
// Lower-case hexadecimal without leading zeros ("0" for zero).
std::string HexLower(uint32_t value);

}  // namespace quorix::text
