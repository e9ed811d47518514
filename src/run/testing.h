// Test support for every module above the run state: the platform's fake
// clock, sleeper and scratch directory, and a Run built from them. Used only
// by unit tests.
#pragma once

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/test_util.h"
#include "run/run.h"

namespace quorix::testing {

// One of each for every module (platform/test_util.h).
using platform::testing::FakeClock;
using platform::testing::FakeSleeper;
using platform::testing::ReadTestFile;
using platform::testing::ScratchDir;

// A Run over a fake clock, a sleeper that records and returns at once, and a
// headless console.
struct TestRun {
  FakeClock clock;
  FakeSleeper sleeper;
  platform::HeadlessConsole console{25, 80, /*echo_lines=*/false};
  run::Run run{clock, sleeper, console};
};

}  // namespace quorix::testing
