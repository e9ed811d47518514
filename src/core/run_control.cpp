#include "core/run_control.h"

#include <string>
#include <vector>

#include "bases/dupe_base.h"
#include "bases/html_base.h"
#include "console/screen.h"
#include "console/status_display.h"
#include "core/detection.h"
#include "core/workers.h"
#include "platform/file.h"
#include "platform/thread.h"
#include "text/text.h"

namespace quorix::core {
namespace {

int ExitCode(const run::Run& run) {
  const int last = std::min(run.slot_count.load(), run::kSlotCount - 1);
  for (int slot = 1; slot <= last; ++slot) {
    if (run.slots[slot].error.load() == 1) return 1;
  }
  return 0;
}

// The fetch and posting phases with the status screen shown; returns the
// transfer summary, trimmed.
std::string ServeBoxes(run::Run& run, const std::vector<std::string>& boxes) {
  console::Screen screen(run.console, run.env);
  run.console.EnterStatusScreen();
  screen.PushScreen();
  for (int slot = 1; slot < run::kSlotCount; ++slot) {
    run.slots[slot].activity.Set(std::string(200, ' '));
    run.slots[slot].status.Set(std::string(200, ' '));
  }
  int n = static_cast<int>(boxes.size());
  if (n > run::kMaxFetchThreads) {
    n = run::kMaxFetchThreads;
    run.log.WriteLog("Too many threads (maximal 8 Threads)", log::kMainThread, log::kProblem);
  }
  run.fetch_thread_count = n;
  run.slot_count = n + 1;

  platform::Thread display =
      platform::Thread::Start([&run, &screen](int) { console::StatusDisplay(run, screen); }, 0);
  bases::LoadDupeBase(run);
  bases::LoadHtmlBase(run);
  for (int slot = 1; slot <= n; ++slot) run.slots[slot].box_file = boxes[slot - 1];
  RunWorkers(run);

  const std::string summary(text::TrimBlanks(console::TransferSummary(run)));
  bases::SaveHtmlBase(run);
  bases::SaveDupeBase(run);
  run.stop_display = 1;
  // The display ends within one cycle; the screen is given back only after
  // its last drawing, so nothing is drawn over the user's screen.
  display.Join();
  screen.PopScreen();
  run.console.LeaveStatusScreen();
  return summary;
}

}  // namespace

int RunProgram(run::Run& run, const CommandLine& command_line, const char* argv0) {
  run.console.FlushInput();
  run.console.SetTitle(std::string("CrossPoint/Quorix ") + run::kVersionText);
  run.console.PrintLine(std::string("Quorix/Win32 ") + run::kVersionText);
  run.console.PrintLine("Korvendale/WebNews-Client for CrossPoint");
  if (command_line.usage) {
    run.console.PrintLine(" ");
    run.console.PrintLine("Usage: QUORIX <Configuration file>");
    return 0;
  }
  if (command_line.no_post) run.posting_enabled = 0;

  DetectCrossPoint(run, argv0);
  PrepareEnvironment(run);

  if (platform::FileExists(run.env.program_dir + "WDial.No")) {
    run.log.WriteLog("no active connection!", log::kMainThread, log::kProgress);
    run.log.CloseLogs();
    run.console.FlushInput();
    return ExitCode(run);
  }

  std::string summary;
  if (!command_line.argument_text.empty()) {
    if (run.env.xp_supported != 1) {
      run.console.PrintLine("");
      run.console.PrintLine("Not supported CrossPoint Version / Error reading configuration ...");
      run.sleeper.SleepMs(kUnsupportedPauseMs);
    } else {
      summary = ServeBoxes(run, BoxNames(command_line.argument_text));
    }
  }
  run.log.WriteLog(summary.empty() ? "No Cps-Info available" : summary, log::kMainThread,
                   log::kProgress);
  run.log.WriteLog("END", log::kMainThread, log::kProgress);
  run.log.CloseLogs();
  run.console.FlushInput();
  return ExitCode(run);
}

int RunMain(int argc, char** argv) {
  platform::SystemClock clock;
  platform::RealSleeper sleeper;
  std::unique_ptr<platform::Console> console = platform::OpenProcessConsole();
  run::Run run(clock, sleeper, *console);
  const CommandLine command_line = ParseCommandLine(argc, argv);
  return RunProgram(run, command_line, argc > 0 ? argv[0] : "");
}

}  // namespace quorix::core
