// Reading a whole file (or its first `limit` bytes) through File: the same
// on every platform, so it lives beside the platform implementations.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace quorix::platform {

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
