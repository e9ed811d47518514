// Decoding of a body sent with "Content-Encoding: gzip" (zlib's inflater).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorix::http {

// A decoded body grows to at most this many bytes; a bomb that expands
// further is refused.
inline constexpr int64_t kMaxDecodedBytes = int64_t{64} * 1024 * 1024;

enum class GzipResult {
  kDecoded,
  kCorrupt,   // not gzip, damaged, or it ended before its last member did
  kTooLarge,  // it would expand past kMaxDecodedBytes
};

// Decodes one or more gzip members that make up all of `data` into *out.
GzipResult GunzipBody(std::string_view data, std::string* out,
                      int64_t max_bytes = kMaxDecodedBytes);

}  // namespace quorix::http
