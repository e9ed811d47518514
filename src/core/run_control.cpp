#include "core/run_control.h"

#include <exception>
#include <string>
#include <vector>

#include "bases/delivery_journal.h"
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
  if (run.aborted.load() != 0) return 1;
  const int last = std::min(run.slot_count.load(), run::kSlotCount - 1);
  for (int slot = 1; slot <= last; ++slot) {
    if (run.slots[slot].error.load() == 1) return 1;
  }
  return 0;
}

// The bases mark the run's topics read and its IDs known: only once what the
// run delivered is on the disk.
void SaveBases(run::Run& run) {
  if (!bases::FlushDeliveries(run)) {
    run.log.WriteLog("Error flushing the delivered articles, the bases are not saved",
                     log::kMainThread, log::kProblem);
    run.aborted.store(1);
    return;
  }
  bases::SaveHtmlBase(run);
  bases::SaveDupeBase(run);
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

  platform::Thread display = StartWorker(
      run, [&screen](run::Run& r, int) { console::StatusDisplay(r, screen); }, 0);
  // The display ends within one cycle of StopDisplay; the screen is given
  // back only after its last drawing, so nothing is drawn over the user's
  // screen. On every way out, an exception's included.
  auto give_back_screen = [&] {
    run.stop_display = 1;
    display.Join();
    screen.PopScreen();
    run.console.LeaveStatusScreen();
  };
  bool bases_loaded = false;
  std::string summary;
  try {
    bases::LoadDupeBase(run);
    bases::LoadHtmlBase(run);
    bases_loaded = true;
    for (int slot = 1; slot <= n; ++slot) run.slots[slot].box_file = boxes[slot - 1];
    RunWorkers(run);

    summary = text::TrimBlanks(console::TransferSummary(run));
    SaveBases(run);
  } catch (...) {
    // What the workers delivered is kept; the threads were joined while the
    // exception left RunWorkers.
    if (bases_loaded) {
      try {
        SaveBases(run);
      } catch (...) {
      }
    }
    give_back_screen();
    throw;
  }
  give_back_screen();
  return summary;
}

// Every named mutex of the run must exclude other instances too: without one
// of them two instances could send an article twice or lose each other's
// records, so the run does not start (logged, exit code 1).
bool LocksExcludeOtherInstances(run::Run& run) {
  bool all = true;
  for (platform::NamedMutex* mutex :
       {&run.file_open_mutex, &run.req_access_mutex, &run.delivery.mutex(), &run.logfile_mutex,
        &run.pending_posts.file_mutex()}) {
    if (!mutex->CheckExcludesOtherProcesses()) {
      run.log.WriteLog("Error: lock " + mutex->name() +
                           " cannot exclude other instances (lock file not opened), run ended",
                       log::kMainThread, log::kError);
      all = false;
    }
  }
  return all;
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
  // A refused installation served none of the boxes asked for: a failure,
  // unlike the dial-up marker or a tail of options only (nothing to do).
  bool refused = false;
  if (!command_line.argument_text.empty()) {
    if (run.env.xp_supported != 1) {
      run.console.PrintLine("");
      run.console.PrintLine("Not supported CrossPoint Version / Error reading configuration ...");
      run.sleeper.SleepMs(kUnsupportedPauseMs);
      refused = true;
    } else if (!LocksExcludeOtherInstances(run)) {
      run.aborted.store(1);
    } else {
      try {
        summary = ServeBoxes(run, BoxNames(command_line.argument_text));
      } catch (const std::exception& error) {
        run.aborted.store(1);
        run.log.WriteLog(std::string("Error: ") + error.what() + " (run ended)", log::kMainThread,
                         log::kError);
      } catch (...) {
        run.aborted.store(1);
        run.log.WriteLog("Error: unknown exception (run ended)", log::kMainThread, log::kError);
      }
    }
  }
  run.log.WriteLog(summary.empty() ? "No Cps-Info available" : summary, log::kMainThread,
                   log::kProgress);
  run.log.WriteLog("END", log::kMainThread, log::kProgress);
  run.log.CloseLogs();
  run.console.FlushInput();
  return refused ? 1 : ExitCode(run);
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
