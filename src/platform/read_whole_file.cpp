// Reading a file to its end, or a whole file (or its first `limit` bytes),
// through File: the same on every platform, so it lives beside the platform
// implementations.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace quorix::platform {

bool File::ReadToEnd(std::string* out) {
  out->clear();
  if (!IsOpen()) return false;
  // What the size promises is read into room made once; a file that grows
  // meanwhile goes on in chunks. Nothing is zeroed for nothing: the journal
  // is read this way once per page, usually with nothing new in it.
  const int64_t size = Size();
  const int64_t position = Position();
  const size_t expected = size > 0 && position >= 0 && size > position
                              ? static_cast<size_t>(size - position)
                              : 0;
  char probe[4096];
  for (;;) {
    const size_t old_size = out->size();
    if (old_size >= expected) {
      // At the promised end: a small read tells the end from growth.
      const int64_t count = Read(probe, sizeof probe);
      if (count < 0) return false;
      if (count == 0) return true;
      out->append(probe, static_cast<size_t>(count));
      continue;
    }
    const size_t want = expected - old_size;
    out->resize(old_size + want);
    const int64_t count = Read(out->data() + old_size, static_cast<int64_t>(want));
    if (count < 0) {
      out->resize(old_size);
      return false;
    }
    out->resize(old_size + static_cast<size_t>(count));
    if (count == 0) return true;
  }
}

bool ReadWholeFile(std::string_view name, std::string* out, int64_t limit) {
  out->clear();
  File file = File::Open(name, Access::kRead, Sharing::kShared, Missing::kFail);
  if (!file.IsOpen()) return false;
  if (limit == INT64_MAX) return file.ReadToEnd(out);
  constexpr int64_t kChunk = 64 * 1024;
  while (static_cast<int64_t>(out->size()) < limit) {
    const size_t old_size = out->size();
    const int64_t want = std::min(kChunk, limit - static_cast<int64_t>(old_size));
    out->resize(old_size + static_cast<size_t>(want));
    const int64_t count = file.Read(out->data() + old_size, want);
    if (count < 0) {
      out->resize(old_size);
      return false;
    }
    out->resize(old_size + static_cast<size_t>(count));
    if (count == 0) break;
  }
  return true;
}

}  // namespace quorix::platform
