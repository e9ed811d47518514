#include "core/run_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "core/workers.h"
#include "run/testing.h"

namespace quorix::core {
namespace {

// Counts how often the status screen was entered and left.
class CountingConsole : public platform::HeadlessConsole {
 public:
  CountingConsole() : HeadlessConsole(25, 80, false) {}
  void EnterStatusScreen() override { ++entered; }
  void LeaveStatusScreen() override { ++left; }
  int entered = 0;
  int left = 0;
};

// A supported XP2 installation in a scratch directory, which is also the
// current directory; no box file exists, so every fetch thread fails fast.
class RunProgramTest : public ::testing::Test {
 protected:
  RunProgramTest() {
    sleeper_.set_on_sleep([this](int, int milliseconds) {
      if (milliseconds == throw_on_ms_) throw std::runtime_error("sleep refused");
      std::this_thread::yield();
    });
  }
  void SetUp() override {
    dir_.Write("XPOINT.CFG", std::string(34, '#') + " (XP2)\r\nLOGDIR=LOG\\\r\n");
    dir_.Write("BOXEN.DB1", "");
    dir_.Write("XP.EXE", "XP2 www.xp2.de");
    std::filesystem::create_directories(dir_.PathOf("LOG"));
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override { std::filesystem::current_path(old_cwd_); }

  int Run(std::vector<const char*> args) { return RunWith(run_, std::move(args)); }
  int RunWith(run::Run& run, std::vector<const char*> args) {
    args.insert(args.begin(), "quorix");
    const std::string argv0 = dir_.Prefix() + "quorix";
    return RunProgram(run, ParseCommandLine(static_cast<int>(args.size()), args.data()),
                      argv0.c_str());
  }
  std::string Log() { return dir_.Read("LOG/QUORIX.LOG"); }

  testing::ScratchDir dir_;
  testing::FakeClock clock_;
  testing::FakeSleeper sleeper_;
  // The pause at which a wait throws (an exception at that point of the
  // run); every other wait yields.
  std::atomic<int> throw_on_ms_{-1};
  CountingConsole console_;
  run::Run run_{clock_, sleeper_, console_};
  std::filesystem::path old_cwd_;
};

TEST_F(RunProgramTest, UsageWithoutArgumentsLogsNothing) {
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(console_.printed(),
            "Quorix/Win32 v0.23g\nKorvendale/WebNews-Client for CrossPoint\n \n"
            "Usage: QUORIX <Configuration file>\n");
  EXPECT_EQ(console_.title(), "CrossPoint/Quorix v0.23g");
  EXPECT_FALSE(dir_.Exists("LOG/QUORIX.LOG"));
}

TEST_F(RunProgramTest, NineBoxesGiveEightFetchThreadsAndPostingInSlotNine) {
  EXPECT_EQ(Run({"1.BFG", "2.BFG", "3.BFG", "4.BFG", "5.BFG", "6.BFG", "7.BFG", "8.BFG", "9.BFG"}),
            1)
      << "the failed boxes fail the run";
  EXPECT_EQ(run_.fetch_thread_count.load(), 8);
  EXPECT_EQ(run_.slot_count.load(), 9);
  const std::string log = Log();
  EXPECT_NE(log.find("? 14:03:59  QUORIX   : Too many threads (maximal 8 Threads)\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("QUORIX #8: Error reading Configuration '8.BFG'"), std::string::npos);
  EXPECT_EQ(log.find("'9.BFG'"), std::string::npos) << "the ninth box is ignored";
  EXPECT_NE(log.find("  14:03:59  QUORIX   : No Cps-Info available\r\n"
                     "  14:03:59  QUORIX   : END\r\n"),
            std::string::npos);
}

TEST_F(RunProgramTest, OptionOnlyTailEndsAfterTheStartUp) {
  EXPECT_EQ(Run({"/NOPOST"}), 0);
  EXPECT_EQ(run_.posting_enabled.load(), 0);
  const std::string log = Log();
  EXPECT_NE(log.find("QUORIX   : No Cps-Info available\r\n"), std::string::npos);
  EXPECT_EQ(log.find("Error"), std::string::npos) << log;
}

TEST_F(RunProgramTest, DialUpMarkerLogsOnlyNoActiveConnection) {
  dir_.Write("WDial.No", "");
  EXPECT_EQ(Run({"A.BFG"}), 0);
  const std::string log = Log();
  EXPECT_NE(log.find("  14:03:59  QUORIX   : no active connection!\r\n"), std::string::npos);
  EXPECT_EQ(log.find("END"), std::string::npos);
  EXPECT_EQ(log.find("A.BFG"), std::string::npos);
}

// A refused installation is a failure for whoever started the program for a
// box; with nothing asked for (options only) or no connection there is
// nothing that failed.
TEST_F(RunProgramTest, UnsupportedInstallationPrintsItsMessageAndFails) {
  dir_.Write("XP.EXE", "no markers here");
  EXPECT_EQ(Run({"A.BFG"}), 1);
  EXPECT_NE(console_.printed().find("\n\nNot supported CrossPoint Version / Error reading "
                                    "configuration ...\n"),
            std::string::npos)
      << console_.printed();
  EXPECT_FALSE(dir_.Exists("LOG/QUORIX.LOG"));
}

TEST_F(RunProgramTest, UnsupportedInstallationWithNothingToDoEndsWithZero) {
  dir_.Write("XP.EXE", "no markers here");
  EXPECT_EQ(Run({"/NOPOST"}), 0);
  dir_.Write("WDial.No", "");
  EXPECT_EQ(Run({"A.BFG"}), 0);
  EXPECT_EQ(console_.printed().find("Not supported"), std::string::npos) << console_.printed();
}

// Whatever goes wrong between the start and the end, the run gives the screen
// back, writes its closing lines and ends with exit code 1, never waiting for
// a thread that was not started.
TEST_F(RunProgramTest, RefusedThreadsAndExceptionsStillEndTheRunInOrder) {
  struct Case {
    const char* what;
    int refused_slot;  // -2: none, -1: every thread
    int throw_on_ms;
    const char* logged;
  };
  const Case cases[] = {
      {"no thread at all", -1, -1,
       "! 14:03:59  QUORIX #0: Error: Thread for slot 0 could not be started"},
      {"no status display", 0, -1, "QUORIX #0: Error: Thread for slot 0 could not be started"},
      {"no fetch thread", 1, -1, "QUORIX #1: Error: Thread for slot 1 could not be started"},
      {"no posting thread", 2, -1, "QUORIX #2: Error: Thread for slot 2 could not be started"},
      {"exception in a worker", -2, kConfigErrorPauseMs,
       "! 14:03:59  QUORIX #1: Error: sleep refused (thread ended)"},
      {"exception in the main thread", -2, kThreadStartGapMs,
       "! 14:03:59  QUORIX   : Error: sleep refused (run ended)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(dir_.PathOf("LOG/QUORIX.LOG"));
    run_.aborted = 0;
    run_.stop_display = 0;
    run_.slots[1].error = 0;
    console_.entered = console_.left = 0;
    throw_on_ms_ = c.throw_on_ms;
    run_.start_thread = [refused = c.refused_slot](std::function<void(int)> body, int slot) {
      if (refused == -1 || refused == slot) return platform::Thread();
      return platform::Thread::Start(std::move(body), slot);
    };

    EXPECT_EQ(Run({"A.BFG"}), 1);

    EXPECT_EQ(console_.entered, 1);
    EXPECT_EQ(console_.left, 1);
    const std::string log = Log();
    EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    EXPECT_NE(log.find("  14:03:59  QUORIX   : END\r\n"), std::string::npos) << log;
  }
}

#ifndef _WIN32
// Lock files that cannot be opened would leave two instances unexcluded: the
// run ends before any box is served, logged, with exit code 1.
TEST_F(RunProgramTest, LocksThatCannotExcludeOtherInstancesEndTheRun) {
  const char* saved = std::getenv("TMPDIR");
  const std::string saved_value = saved != nullptr ? saved : "";
  ASSERT_EQ(::setenv("TMPDIR", (dir_.Prefix() + "missing").c_str(), 1), 0);
  run::Run run{clock_, sleeper_, console_};
  if (saved != nullptr) {
    ::setenv("TMPDIR", saved_value.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }

  EXPECT_EQ(RunWith(run, {"A.BFG"}), 1);
  const std::string log = Log();
  EXPECT_NE(log.find("! 14:03:59  QUORIX   : Error: lock quorix_pendingposts cannot exclude other "
                     "instances (lock file not opened), run ended\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("A.BFG"), std::string::npos) << "no box is served";
  EXPECT_NE(log.find("  14:03:59  QUORIX   : END\r\n"), std::string::npos) << log;

  EXPECT_EQ(Run({"A.BFG"}), 1) << "the box file is missing";
  EXPECT_EQ(Log().find("cannot exclude", log.size()), std::string::npos)
      << "lock files that open exclude";
}
#endif

}  // namespace
}  // namespace quorix::core
