// What a load found: the file read whole, no file at all (a first run: the
// base starts empty), or a file that exists but could not be opened or read.
// A file whose load failed is never rewritten from what was not read.
#pragma once

namespace quorix::platform {

enum class LoadStatus {
  kLoaded,
  kMissing,
  kFailed,
};

}  // namespace quorix::platform
