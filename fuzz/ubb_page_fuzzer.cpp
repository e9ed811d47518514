// UBB topic pages to news articles (UbbPagePosts, then each post's entry), with
// the simulator's UBB template, checked as page_conversion.h describes.
//
// Input: the topic page.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "page_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quorix::fuzz::ConvertPageAndCheck(quorix::run::kUbb, quorix::fuzz::AsText(data, size));
  return 0;
}
