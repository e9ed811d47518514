// The worker threads: one fetch thread per box, then one posting thread.
#pragma once

#include <functional>

#include "platform/thread.h"
#include "run/run.h"

namespace quorix::core {

constexpr int kThreadStartGapMs = 10;
constexpr int kThreadPollMs = 100;
constexpr int kPostingWaitPerFetchThreadMs = 1500;
constexpr int kConfigErrorPauseMs = 2000;

// Reads the box file of `slot` (its `box_file`) into the slot: web settings,
// forum template, shown server and group list text, and raises the run's
// dupe base limit to what the box asks; "/NOPOST" turns its posting off. A
// missing box file shows on the slot's panel during the pause after it.
// False when the box cannot be read (the slot is then left as it was).
bool LoadBox(run::Run& run, int slot);

// Reads the box configuration of `slot` and scans its forums.
void FetchThread(run::Run& run, int slot);

// After n x 1.5 s, reads every box's configuration into its own slot and
// posts the box's outgoing articles when posting is on for it.
void PostingThread(run::Run& run, int slot);

// Starts `body(run, slot)` through the run's thread starter. An exception
// that leaves the body is logged ("Error: ... (thread ended)", level 1) and
// fails the slot and the run; a thread that could not be started is logged
// the same way ("Error: Thread for slot N could not be started") and the
// returned Thread is not Started(), so nobody waits for it.
platform::Thread StartWorker(run::Run& run, const std::function<void(run::Run&, int)>& body,
                             int slot);

// Starts the fetch threads for slots 1..n (10 ms apart), waits until none
// runs, then starts the posting thread in slot n + 1 and waits for it.
// Polls every 100 ms through the run's sleeper.
void RunWorkers(run::Run& run);

}  // namespace quorix::core
