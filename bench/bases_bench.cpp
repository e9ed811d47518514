// Benchmarks of the two bases: dupe base lookups among 100,000 Message-IDs,
// Html base lookups among 20,000 topic records, and loading and saving both
// files with a million entries each.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "bases/dupe_base.h"
#include "bases/dupe_index.h"
#include "bases/html_base.h"
#include "bench/bench_support.h"
#include "text/text.h"

namespace quorix::bench {
namespace {

constexpr int kDupeIds = 100000;
constexpr int kHtmlRecords = 20000;

std::string MessageId(int n) {
  return "<de.bench.ubb@forum3.0" + text::Decimal(100000 + n / 10) + ".html." +
         text::Decimal(n % 10) + "." + text::HexLower(text::Crc32(text::Decimal(n))) + ">";
}

std::string TopicLink(int n) {
  return "/support/forums/Forum3/HTML/" + text::Decimal(100000 + n) + ".html";
}

// A run whose dupe base holds `count` IDs, loaded as from a file.
struct DupeFixture {
  ScratchDir dir{"dupe"};
  BenchRun bench{dir.path(), EngineTemplate(run::kUbb), run::kUbb};
  std::vector<std::string> known;
  std::vector<std::string> unknown;

  explicit DupeFixture(int count = kDupeIds) {
    std::string text;
    for (int n = 0; n < count; ++n) {
      known.push_back(MessageId(n));
      text.append(known.back());
    }
    run::DupeBaseState& base = bench.run().dupe_base;
    platform::MutexLock lock(base.mutex());
    bases::ResetDupeText(base.index(), std::move(text));
    for (int n = 0; n < 1024; ++n) unknown.push_back(MessageId(count + n));
  }
};

// IsDupe as the converters call it: the base's in-process lock, then the lookup.
void BM_IsDupeKnown(benchmark::State& state) {
  DupeFixture f;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(bases::IsDupe(f.bench.run(), f.known[(i += 7919) % kDupeIds]));
  }
}
BENCHMARK(BM_IsDupeKnown);

// IsDupe among a million IDs from 1 and from 8 threads at once (as eight
// fetch threads converting), all on one base and its in-process lock. The
// cost of one lookup is 1 / items_per_second: what the machine spends per
// lookup, waits for the lock included. The IDs are asked in the order they
// were stored (as a converter asks for the IDs of the page it holds, which
// are at hand), so the figure is the lookup's, not the benchmark's own
// cache misses in fetching the next ID to ask; the base's table is still
// reached at random places.
void BM_IsDupeKnownMillion(benchmark::State& state) {
  static DupeFixture* shared = new DupeFixture(1000000);
  const size_t count = shared->known.size();
  size_t i = static_cast<size_t>(state.thread_index()) * (count / 8);
  for (auto _ : state) {
    benchmark::DoNotOptimize(bases::IsDupe(shared->bench.run(), shared->known[i++ % count]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IsDupeKnownMillion)->Threads(1)->Threads(8)->UseRealTime();

void BM_IsDupeUnknown(benchmark::State& state) {
  DupeFixture f;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(bases::IsDupe(f.bench.run(), f.unknown[++i % f.unknown.size()]));
  }
}
BENCHMARK(BM_IsDupeUnknown);

// The lookup alone (the lock taken once): the index of the bracketed runs.
void BM_DupeIndexLookup(benchmark::State& state) {
  DupeFixture f;
  run::DupeBaseState& base = f.bench.run().dupe_base;
  platform::MutexLock lock(base.mutex());
  const run::DupeIndex& index = base.index();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(bases::DupeTextContains(index, f.known[(i += 7919) % kDupeIds]));
  }
}
BENCHMARK(BM_DupeIndexLookup);

// For comparison: the plain substring search over the whole text that the
// index answers for (an unknown ID scans all of it).
void BM_DupeTextSearchUnknown(benchmark::State& state) {
  DupeFixture f;
  const std::string text = f.bench.run().dupe_base.Text();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(text.find(f.unknown[++i % f.unknown.size()]));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_DupeTextSearchUnknown);

// Appending to a growing base (lock, append, index the new ID).
void BM_AddToDupeBase(benchmark::State& state) {
  ScratchDir dir("dupe-add");
  BenchRun bench(dir.path(), EngineTemplate(run::kUbb), run::kUbb);
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string id = MessageId(n++);
    state.ResumeTiming();
    bases::AddToDupeBase(bench.run(), id);
  }
}
BENCHMARK(BM_AddToDupeBase);

// A run whose Html base holds kHtmlRecords records.
struct HtmlFixture {
  ScratchDir dir{"html"};
  BenchRun bench{dir.path(), EngineTemplate(run::kUbb), run::kUbb};

  HtmlFixture() {
    for (int n = 0; n < kHtmlRecords; ++n) {
      bases::RecordTopic(bench.run(), TopicLink(n) + "," + text::Decimal(n % 17));
    }
  }
};

void BM_FindHtmlRecordKnown(benchmark::State& state) {
  HtmlFixture f;
  std::vector<std::string> links;
  for (int n = 0; n < 1024; ++n) links.push_back(TopicLink((n * 7919) % kHtmlRecords));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(bases::FindHtmlRecord(f.bench.run(), links[++i % links.size()]));
  }
}
BENCHMARK(BM_FindHtmlRecordKnown);

void BM_FindHtmlRecordUnknown(benchmark::State& state) {
  HtmlFixture f;
  std::vector<std::string> links;
  for (int n = 0; n < 1024; ++n) links.push_back(TopicLink(kHtmlRecords + n));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(bases::FindHtmlRecord(f.bench.run(), links[++i % links.size()]));
  }
}
BENCHMARK(BM_FindHtmlRecordUnknown);

// Replacing a known topic's record (a changed marker).
void BM_RecordTopicReplace(benchmark::State& state) {
  HtmlFixture f;
  std::vector<std::string> entries;
  for (int n = 0; n < 1024; ++n) entries.push_back(TopicLink((n * 7919) % kHtmlRecords) + ",99");
  size_t i = 0;
  for (auto _ : state) bases::RecordTopic(f.bench.run(), entries[++i % entries.size()]);
}
BENCHMARK(BM_RecordTopicReplace);

// Saving 20,000 records (crash-safe rewrite of QUORIX.HTM).
void BM_SaveHtmlBase(benchmark::State& state) {
  HtmlFixture f;
  for (auto _ : state) bases::SaveHtmlBase(f.bench.run());
}
BENCHMARK(BM_SaveHtmlBase)->Unit(benchmark::kMillisecond)->UseRealTime();

// Both base files with range(0) entries each (IDs ~45 bytes, records ~45
// bytes), as a long-running installation has them.
struct BigBasesFixture {
  ScratchDir dir{"bigbases"};
  BenchRun bench{dir.path(), EngineTemplate(run::kUbb), run::kUbb};

  explicit BigBasesFixture(int entries) {
    std::string ids(bases::kDupeBaseHeader);
    std::string records(bases::kHtmlBaseHeader);
    for (int n = 0; n < entries; ++n) {
      ids.append(MessageId(n));
      records.append(TopicLink(n)).append(",").append(text::Decimal(n % 17)).push_back('\0');
    }
    std::ofstream(dir.path() / std::string(bases::kDupeBaseFile), std::ios::binary) << ids;
    std::ofstream(dir.path() / std::string(bases::kHtmlBaseFile), std::ios::binary) << records;
    bench.run().RaiseDupeBaseLimit(static_cast<long long>(ids.size()));
  }
};

void BM_LoadDupeBase(benchmark::State& state) {
  BigBasesFixture f(static_cast<int>(state.range(0)));
  for (auto _ : state) bases::LoadDupeBase(f.bench.run());
}
BENCHMARK(BM_LoadDupeBase)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The save after a run that added one ID (a save without additions writes nothing).
void BM_SaveDupeBase(benchmark::State& state) {
  BigBasesFixture f(static_cast<int>(state.range(0)));
  bases::LoadDupeBase(f.bench.run());
  bases::AddToDupeBase(f.bench.run(), MessageId(static_cast<int>(state.range(0))));
  for (auto _ : state) bases::SaveDupeBase(f.bench.run());
}
BENCHMARK(BM_SaveDupeBase)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadHtmlBase(benchmark::State& state) {
  BigBasesFixture f(static_cast<int>(state.range(0)));
  for (auto _ : state) bases::LoadHtmlBase(f.bench.run());
}
BENCHMARK(BM_LoadHtmlBase)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveHtmlBase1M(benchmark::State& state) {
  BigBasesFixture f(static_cast<int>(state.range(0)));
  bases::LoadHtmlBase(f.bench.run());
  for (auto _ : state) bases::SaveHtmlBase(f.bench.run());
}
BENCHMARK(BM_SaveHtmlBase1M)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quorix::bench
