// quorix_bench: Google Benchmark's own flags, plus
//   --pages=MANIFEST --template=FILE   pages recorded from the forum simulator
//                                      (see simulator_pages.h)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "bench/simulator_pages.h"

namespace {

// Takes "--name=value" out of the arguments; empty when absent.
std::string TakeFlag(int* argc, char** argv, std::string_view name) {
  const std::string prefix = "--" + std::string(name) + "=";
  std::string value;
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    std::string_view argument(argv[i]);
    if (argument.substr(0, prefix.size()) == prefix) {
      value = std::string(argument.substr(prefix.size()));
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string pages = TakeFlag(&argc, argv, "pages");
  const std::string template_file = TakeFlag(&argc, argv, "template");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!pages.empty()) {
    std::string error = template_file.empty() ? "--pages needs --template" : "";
    if (error.empty()) quorix::bench::RegisterSimulatorPages(pages, template_file, &error);
    if (!error.empty()) {
      std::fprintf(stderr, "quorix_bench: %s\n", error.c_str());
      return 1;
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
