#include "core/workers.h"

#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/box_config.h"
#include "config/group_list.h"
#include "config/web_settings.h"
#include "harvest/scan_driver.h"
#include "platform/thread.h"
#include "posting/outgoing_spool.h"
#include "text/text.h"
#include "worker/worker.h"

namespace quorix::core {
namespace {

// Polls until none of `threads` is running.
void WaitForThreads(run::Run& run, std::vector<platform::Thread>& threads) {
  for (;;) {
    bool running = false;
    for (const platform::Thread& thread : threads) running = running || thread.IsRunning();
    if (!running) break;
    run.sleeper.SleepMs(kThreadPollMs);
  }
  for (platform::Thread& thread : threads) thread.Join();
}

void FailSlot(run::Run& run, int slot, const std::string& message) {
  run.log.WriteLog(message, slot, log::kError);
  run.slots[static_cast<size_t>(slot)].status.Set(message);
  run.slots[static_cast<size_t>(slot)].error.store(1);
  run.aborted.store(1);
}

}  // namespace

platform::Thread StartWorker(run::Run& run, const std::function<void(run::Run&, int)>& body,
                             int slot) {
  auto guarded = [&run, body](int s) {
    try {
      body(run, s);
    } catch (const std::exception& error) {
      FailSlot(run, s, std::string("Error: ") + error.what() + " (thread ended)");
    } catch (...) {
      FailSlot(run, s, "Error: unknown exception (thread ended)");
    }
  };
  platform::Thread thread;
  try {
    thread = run.start_thread(guarded, slot);
  } catch (const std::exception&) {
    thread = platform::Thread();  // a starter that throws refused the thread as well
  }
  if (!thread.Started()) {
    FailSlot(run, slot,
             "Error: Thread for slot" + text::DecimalSigned(slot) + " could not be started");
  }
  return thread;
}

bool LoadBox(run::Run& run, int slot) {
  run::Slot& s = run.slots[slot];
  const config::BoxConfig box = config::ReadBoxConfig(run, {run.log, slot}, s.box_file);
  if (!box.missing.empty()) {
    s.status.Set(box.missing);
    run.sleeper.SleepMs(config::kMissingBoxPauseMs);
  }
  if (!box.read) return false;
  const log::ThreadLog log{run.log, slot};
  config::WebConfig web = config::ReadWebSettings(run.env, log, box.text, s.web, s.box_file);
  if (web.dupe_base_size) run.RaiseDupeBaseLimit(*web.dupe_base_size);
  s.web = std::move(web.web);
  s.forum_template = std::move(web.forum_template);
  s.shown_server.Set(s.web.server);
  std::optional<std::string> groups =
      config::ReadGroupList(run.file_open_mutex, log, s.web.group_file);
  if (groups) s.group_list_text = std::move(*groups);
  if (run.posting_enabled.load() == 0) s.web.posting = 0;
  return true;
}

void FetchThread(run::Run& run, int slot) {
  run::Slot& s = run.slots[slot];
  s.status.Set("Reading configuration");
  if (LoadBox(run, slot)) {
    if (harvest::ScanForums(worker::Worker(run, s, slot)) != harvest::ScanOutcome::kWalked) {
      s.error = 1;
    }
    s.activity.Set("Quit");
    s.status.Set("");
    return;
  }
  const std::string message = "Error reading Configuration '" + s.box_file + "'";
  run.log.WriteLog(message, slot, log::kError);
  s.status.Set(message);
  s.error = 1;
  run.sleeper.SleepMs(kConfigErrorPauseMs);
}

void PostingThread(run::Run& run, int slot) {
  const int fetch_threads = run.fetch_thread_count.load();
  for (int i = 0; i < fetch_threads; ++i) run.sleeper.SleepMs(kPostingWaitPerFetchThreadMs);
  run::Slot& s = run.slots[slot];
  s.status.Set("Reading configuration");
  for (int i = 1; i <= fetch_threads; ++i) {
    s.box_file = run.slots[i].box_file;
    // The forum's pages were read by the box's fetch thread (ended by now).
    s.forum_charset = run.slots[i].forum_charset;
    if (LoadBox(run, slot) && s.web.posting == 1) {
      posting::ProcessOutgoingSpool(worker::Worker(run, s, slot));
    }
  }
}

void RunWorkers(run::Run& run) {
  const int n = run.fetch_thread_count.load();
  std::vector<platform::Thread> fetchers;
  for (int slot = 1; slot <= n; ++slot) {
    fetchers.push_back(StartWorker(run, FetchThread, slot));
    run.sleeper.SleepMs(kThreadStartGapMs);
  }
  WaitForThreads(run, fetchers);

  std::vector<platform::Thread> poster;
  poster.push_back(StartWorker(run, PostingThread, n + 1));
  WaitForThreads(run, poster);
}

}  // namespace quorix::core
