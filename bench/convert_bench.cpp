// Benchmarks of the conversion work: whole topic pages through the two
// converters (spool files, dupe base, log), the filters alone on large
// bodies, and the creation of spool files in a filling spool directory.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bases/spool_names.h"
#include "bench/bench_support.h"
#include "bench/forum_pages.h"
#include "convert/article_delivery.h"
#include "convert/filters.h"
#include "convert/spool_writer.h"
#include "convert/threads_converter.h"
#include "convert/ubb_converter.h"
#include "platform/file.h"

namespace quorix::bench {
namespace {

constexpr int kPostsPerPage = 10;
constexpr int kDistinctPages = 64;  // page texts cycled through by the per-page benchmarks
constexpr int kHarvestPages = 1000;

struct Engine {
  int engine;
  std::string (*page)(int topic, int posts);
  std::string (*address)(int topic);
  const char* newsgroup;
  int forum;
};

const Engine kUbb = {run::kUbb, UbbTopicPage, UbbTopicAddress, "de.bench.ubb", 3};
const Engine kThreads = {run::kUbbThreads, ThreadsFlatPage, ThreadsTopicAddress, "de.bench.php", 7};

// One page after the other, as the article retrieval hands them over: each
// page a topic of its own with a unique address, so that every article is
// new and the dupe base grows. The spool directory is emptied (outside the
// timing) after every kHarvestPages pages, as CrossPoint collects the files
// of one harvest.
void ConvertPages(benchmark::State& state, const Engine& engine) {
  std::vector<std::string> pages;
  int64_t page_bytes = 0;
  for (int t = 1; t <= kDistinctPages; ++t) pages.push_back(engine.page(t, kPostsPerPage));
  ScratchDir dir("page");
  BenchRun bench(dir.path(), EngineTemplate(engine.engine), engine.engine);
  const run::Slot& slot = bench.run().slots[kSlot];
  const convert::PageTarget target{
      bench.run(), {bench.run().log, kSlot}, slot.web, slot.forum_template};
  int topic = 0;
  for (auto _ : state) {
    const std::string& page = pages[static_cast<size_t>(topic % kDistinctPages)];
    const std::string address = engine.address(topic + 1);
    convert::TopicConversion conversion;
    ConvertAndDeliver(engine.engine, target, engine.newsgroup, address, engine.forum, page,
                      conversion);
    page_bytes += static_cast<int64_t>(page.size());
    if (++topic % kHarvestPages == 0) {
      state.PauseTiming();
      std::filesystem::remove_all(bench.SpoolDir());
      std::filesystem::create_directories(bench.SpoolDir());
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations() * kPostsPerPage);
  state.SetBytesProcessed(page_bytes);
}

void BM_ConvertUbbPage(benchmark::State& state) { ConvertPages(state, kUbb); }
void BM_ConvertThreadsPage(benchmark::State& state) { ConvertPages(state, kThreads); }
BENCHMARK(BM_ConvertUbbPage)->UseRealTime();
BENCHMARK(BM_ConvertThreadsPage)->UseRealTime();

// The conversion work of one harvest: range(0) topics of ten posts, every
// one new, into an empty spool directory with a fresh run state (empty dupe
// base, main log open). Items are articles; a per-article rate that falls as
// the harvest grows would show work that grows faster than the harvest.
void ConvertHarvest(benchmark::State& state, const Engine& engine) {
  const int topics = static_cast<int>(state.range(0));
  std::vector<std::string> pages;
  std::vector<std::string> addresses;
  int64_t page_bytes = 0;
  for (int t = 1; t <= topics; ++t) {
    pages.push_back(engine.page(t, kPostsPerPage));
    addresses.push_back(engine.address(t));
    page_bytes += static_cast<int64_t>(pages.back().size());
  }
  const run::ForumTemplate tmpl = EngineTemplate(engine.engine);
  ScratchDir dir("harvest");
  std::unique_ptr<BenchRun> bench;
  for (auto _ : state) {
    state.PauseTiming();
    bench.reset();
    dir.Empty();
    bench = std::make_unique<BenchRun>(dir.path(), tmpl, engine.engine);
    state.ResumeTiming();
    const run::Slot& slot = bench->run().slots[kSlot];
    const convert::PageTarget target{
        bench->run(), {bench->run().log, kSlot}, slot.web, slot.forum_template};
    for (size_t i = 0; i < pages.size(); ++i) {
      convert::TopicConversion conversion;
      ConvertAndDeliver(engine.engine, target, engine.newsgroup, addresses[i], engine.forum,
                        pages[i], conversion);
    }
  }
  // Every round must have delivered every article, one spool file per page.
  if (bench &&
      (CountFiles(bench->SpoolDir()) != static_cast<size_t>(topics) ||
       CountSpoolArticles(bench->SpoolDir()) != static_cast<size_t>(topics) * kPostsPerPage)) {
    state.SkipWithError("the spool does not hold every article");
  }
  state.SetItemsProcessed(state.iterations() * topics * kPostsPerPage);
  state.SetBytesProcessed(state.iterations() * page_bytes);
}

void BM_ConvertUbbHarvest(benchmark::State& state) { ConvertHarvest(state, kUbb); }
void BM_ConvertThreadsHarvest(benchmark::State& state) { ConvertHarvest(state, kThreads); }
BENCHMARK(BM_ConvertUbbHarvest)
    ->Arg(250)
    ->Arg(1000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ConvertThreadsHarvest)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The body of one huge UBB post cell to text (line breaks only).
void BM_UbbBodyToText(benchmark::State& state) {
  const std::string cell = LargeUbbCell(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    std::string body = convert::UbbBodyToText(cell);
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(cell.size()));
}
BENCHMARK(BM_UbbBodyToText)->Arg(64 << 10)->Arg(1 << 20)->Arg(8 << 20);

// UbbBodyToText and then every filter of the chain (smileys, web links,
// entities, quotes, code blocks, mail links, highlights), as the UBB
// converter applies them to one post.
void BM_UbbBodyAndFilters(benchmark::State& state) {
  const std::string cell = LargeUbbCell(static_cast<size_t>(state.range(0)));
  const run::ForumTemplate tmpl = EngineTemplate(run::kUbb);
  for (auto _ : state) {
    std::string body = convert::UbbBodyToText(cell);
    std::string address = convert::FilterBody(body, tmpl, convert::Engine::kUbb);
    benchmark::DoNotOptimize(address.data());
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(cell.size()));
}
BENCHMARK(BM_UbbBodyAndFilters)->Arg(64 << 10)->Arg(1 << 20)->Arg(8 << 20);

// The filter chain of the UBBThreads converter on one huge body. The copy of
// the body that each round filters is part of the time (a memory copy).
void BM_ThreadsFilters(benchmark::State& state) {
  const std::string original = LargeThreadsBody(static_cast<size_t>(state.range(0)));
  const run::ForumTemplate tmpl = EngineTemplate(run::kUbbThreads);
  for (auto _ : state) {
    std::string body = original;
    std::string address = convert::FilterBody(body, tmpl, convert::Engine::kThreads);
    benchmark::DoNotOptimize(address.data());
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(original.size()));
}
BENCHMARK(BM_ThreadsFilters)->Arg(64 << 10)->Arg(1 << 20)->Arg(8 << 20);

// The first page's spool file named in a spool directory that already holds
// range(0) spool files: the one listing of the run, the smallest free number
// and the rename (then deleted again, and the listing forgotten). Later
// pages of the run list nothing.
void BM_SpoolNaming(benchmark::State& state) {
  ScratchDir dir("spool");
  BenchRun bench(dir.path(), EngineTemplate(run::kUbb), run::kUbb);
  run::Run& run = bench.run();
  const std::string spool = run.slots[kSlot].web.spool;
  for (int64_t i = 0; i < state.range(0); ++i) {
    std::string digits = std::to_string(i);
    digits.insert(0, 6 - digits.size(), '0');
    std::ofstream(bench.SpoolDir() / ("N" + digits + ".msg")) << "#! rnews 1\n\n";
  }
  const std::string temp = spool + "QX1-1.tmp";
  for (auto _ : state) {
    state.PauseTiming();
    run.delivery.Clear();
    std::ofstream(temp) << "#! rnews 1\n\n";
    state.ResumeTiming();
    std::string name;
    {
      platform::NamedLock lock(run.delivery.mutex());
      name = bases::SpoolFileName(spool, bases::NextFreeNumber(bases::SpoolNumbers(run, spool), 0));
      benchmark::DoNotOptimize(bases::RenameIntoSpool(run, temp, &name));
    }
    state.PauseTiming();
    platform::DeleteFile(name);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SpoolNaming)->Arg(0)->Arg(1000)->Arg(4000)->Arg(16000)->UseRealTime();

}  // namespace
}  // namespace quorix::bench
