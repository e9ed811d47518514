// Throughput of the byte-string helpers that the conversion leans on.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/forum_pages.h"
#include "text/text.h"

namespace quorix::bench {
namespace {

// Forum HTML of about `bytes` bytes: post bodies one after the other.
std::string ForumText(size_t bytes) {
  std::string text;
  text.reserve(bytes + 4096);
  for (int k = 0; text.size() < bytes; ++k) text.append(UbbPostBody(k / 10, k));
  return text;
}

// "&amp;" -> "&": a shrinking replacement with a few hits per post.
void BM_ReplaceAllShrinking(benchmark::State& state) {
  const std::string text = ForumText(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    std::string out = text::ReplaceAll(text, "&amp;", "&");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReplaceAllShrinking)->Arg(64 << 10)->Arg(1 << 20)->Arg(8 << 20);

// "<br>" -> a 60-byte text: a growing replacement.
void BM_ReplaceAllGrowing(benchmark::State& state) {
  const std::string text = ForumText(static_cast<size_t>(state.range(0)));
  const std::string to(60, '-');
  for (auto _ : state) {
    std::string out = text::ReplaceAll(text, "<br>", to);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReplaceAllGrowing)->Arg(64 << 10)->Arg(1 << 20)->Arg(8 << 20);

// A search text that never occurs: the pass and the copy.
void BM_ReplaceAllNoHit(benchmark::State& state) {
  const std::string text = ForumText(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    std::string out = text::ReplaceAll(text, "<never>", "x");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReplaceAllNoHit)->Arg(1 << 20);

void BM_Crc32(benchmark::State& state) {
  const std::string text = ForumText(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(text::Crc32(text));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Crc32)->Arg(1 << 10)->Arg(64 << 10)->Arg(8 << 20);

}  // namespace
}  // namespace quorix::bench
