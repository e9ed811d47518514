#include "http/gzip_body.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace quorix::http {

GzipResult GunzipBody(std::string_view data, std::string* out, int64_t max_bytes) {
  out->clear();
  z_stream stream{};
  // 15 + 16: the largest window, gzip wrapping only.
  if (inflateInit2(&stream, 15 + 16) != Z_OK) return GzipResult::kCorrupt;
  GzipResult result = GzipResult::kCorrupt;
  const auto* next = reinterpret_cast<const Bytef*>(data.data());
  size_t left = data.size();
  char buffer[16384];
  bool member_ended = false;
  for (;;) {
    if (stream.avail_in == 0 && left > 0) {
      const size_t take = std::min<size_t>(left, UINT_MAX / 2);
      stream.next_in = const_cast<Bytef*>(next);
      stream.avail_in = static_cast<uInt>(take);
      next += take;
      left -= take;
    }
    if (stream.avail_in == 0 && left == 0) {
      // All input used: whole only when the last member ended.
      if (member_ended) result = GzipResult::kDecoded;
      break;
    }
    member_ended = false;
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    const int status = inflate(&stream, Z_NO_FLUSH);
    const size_t produced = sizeof buffer - stream.avail_out;
    if (static_cast<int64_t>(out->size() + produced) > max_bytes) {
      result = GzipResult::kTooLarge;
      break;
    }
    out->append(buffer, produced);
    if (status == Z_STREAM_END) {
      // Another member may follow, as "cat a.gz b.gz" makes.
      member_ended = true;
      if (inflateReset(&stream) != Z_OK) break;
      continue;
    }
    if (status == Z_BUF_ERROR && produced == 0 && stream.avail_in == 0 && left == 0) {
      break;  // the input ended inside a member
    }
    if (status != Z_OK && status != Z_BUF_ERROR) break;
  }
  inflateEnd(&stream);
  if (result != GzipResult::kDecoded) out->clear();
  return result;
}

}  // namespace quorix::http
