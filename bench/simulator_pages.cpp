// The conversion work of a recorded harvest, in-process.
#include "bench/simulator_pages.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "bench/bench_support.h"
#include "config/forum_template.h"
#include "convert/threads_converter.h"
#include "convert/ubb_converter.h"
#include "harvest/topic_rows.h"
#include "platform/file.h"
#include "text/text.h"

namespace quorix::bench {
namespace {

struct Page {
  std::string path;
  std::string text;
};

struct Recording {
  int engine = run::kUbb;
  run::ForumTemplate tmpl;
  std::vector<Page> topics;
  std::vector<Page> lists;
  int64_t topic_bytes = 0;
  int64_t list_bytes = 0;
};

const char* NewsgroupOf(int engine) {
  return engine == run::kUbbThreads ? "de.bench.php" : "de.bench.ubb";
}
int ForumOf(int engine) { return engine == run::kUbbThreads ? 7 : 3; }

// Every topic page as the article retrieval hands it over: a fresh topic
// for each first page; a UBB continuation page ("...-2.html") goes on with
// its topic under the first page's path. One round: a fresh run state and an
// empty spool directory, as at the start of a harvest.
void ConvertRecordedPages(benchmark::State& state, const Recording& recording) {
  ScratchDir dir("recorded");
  std::unique_ptr<BenchRun> bench;
  for (auto _ : state) {
    state.PauseTiming();
    bench.reset();
    dir.Empty();
    bench = std::make_unique<BenchRun>(dir.path(), recording.tmpl, recording.engine);
    state.ResumeTiming();
    run::Run& r = bench->run();
    convert::TopicConversion topic;
    std::string first_path;
    for (const Page& page : recording.topics) {
      const bool continuation =
          recording.engine == run::kUbb && first_path.size() > 5 &&
          page.path.compare(0, first_path.size() - 5, first_path, 0, first_path.size() - 5) == 0 &&
          page.path.size() > first_path.size() - 5 && page.path[first_path.size() - 5] == '-';
      if (!continuation) {
        topic = convert::TopicConversion();
        first_path = page.path;
      }
      const convert::PageTarget target{
          r, {r.log, kSlot}, r.slots[kSlot].web, r.slots[kSlot].forum_template};
      ConvertAndDeliver(recording.engine, target, NewsgroupOf(recording.engine), first_path,
                        ForumOf(recording.engine), page.text, topic);
    }
  }
  state.counters["pages"] = static_cast<double>(recording.topics.size());
  if (bench)
    state.counters["articles"] = static_cast<double>(CountSpoolArticles(bench->SpoolDir()));
  state.SetBytesProcessed(state.iterations() * recording.topic_bytes);
}

// Every list page's rows read into a topic table.
void ParseRecordedLists(benchmark::State& state, const Recording& recording) {
  const std::string web_path =
      recording.engine == run::kUbbThreads ? "ubbthreads/" : "support/forums/";
  size_t topics = 0;
  for (auto _ : state) {
    harvest::TopicTable table;
    for (const Page& page : recording.lists) {
      if (recording.engine == run::kUbbThreads) {
        harvest::ParseThreadsTopicRows(page.text, table);
      } else {
        harvest::ParseUbbTopicRows(page.text, web_path, table);
      }
    }
    topics = table.size();
    benchmark::DoNotOptimize(table.data());
  }
  state.counters["pages"] = static_cast<double>(recording.lists.size());
  state.counters["topics"] = static_cast<double>(topics);
  state.SetBytesProcessed(state.iterations() * recording.list_bytes);
}

}  // namespace

bool RegisterSimulatorPages(const std::string& manifest, const std::string& template_file,
                            std::string* error) {
  auto recording = std::make_shared<Recording>();
  std::string template_text;
  if (!platform::ReadWholeFile(template_file, &template_text)) {
    *error = "cannot read " + template_file;
    return false;
  }
  recording->tmpl = config::ReadForumTemplate(template_text);
  std::string listing;
  if (!platform::ReadWholeFile(manifest, &listing)) {
    *error = "cannot read " + manifest;
    return false;
  }
  const std::filesystem::path base = std::filesystem::path(manifest).parent_path();
  for (std::string_view line : text::Split(listing, "\n")) {
    if (line.empty()) continue;
    std::vector<std::string_view> fields = text::Split(line, "\t");
    if (fields.size() != 4) {
      *error = "bad manifest line: " + std::string(line);
      return false;
    }
    recording->engine = fields[1] == "threads" ? run::kUbbThreads : run::kUbb;
    Page page{std::string(fields[2]), {}};
    const std::string file = (base / std::string(fields[3])).string();
    if (!platform::ReadWholeFile(file, &page.text)) {
      *error = "cannot read " + file;
      return false;
    }
    if (fields[0] == "list") {
      recording->list_bytes += static_cast<int64_t>(page.text.size());
      recording->lists.push_back(std::move(page));
    } else {
      recording->topic_bytes += static_cast<int64_t>(page.text.size());
      recording->topics.push_back(std::move(page));
    }
  }
  benchmark::RegisterBenchmark(
      "BM_ConvertSimulatorPages",
      [recording](benchmark::State& state) { ConvertRecordedPages(state, *recording); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("BM_ParseSimulatorLists", [recording](benchmark::State& state) {
    ParseRecordedLists(state, *recording);
  })->Unit(benchmark::kMillisecond);
  return true;
}

}  // namespace quorix::bench
