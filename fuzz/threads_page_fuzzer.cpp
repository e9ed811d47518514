// UBBThreads flat-view pages to news articles (ThreadsPagePosts, then each
// post's entry), with the simulator's UBBThreads template, checked as
// page_conversion.h describes.
//
// Input: the flat-view page.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "page_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quorix::fuzz::ConvertPageAndCheck(quorix::run::kUbbThreads, quorix::fuzz::AsText(data, size));
  return 0;
}
