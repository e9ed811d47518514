#include "core/run_control.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "run/testing.h"

namespace quorix::core {
namespace {

// A supported XP2 installation in a scratch directory, which is also the
// current directory; no box file exists, so every fetch thread fails fast.
class RunProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("XPOINT.CFG", std::string(34, '#') + " (XP2)\r\nLOGDIR=LOG\\\r\n");
    dir_.Write("BOXEN.DB1", "");
    dir_.Write("XP.EXE", "XP2 www.xp2.de");
    std::filesystem::create_directories(dir_.path() / "LOG");
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override { std::filesystem::current_path(old_cwd_); }

  int Run(std::vector<const char*> args) {
    args.insert(args.begin(), "quorix");
    const std::string argv0 = dir_.Prefix() + "quorix";
    return RunProgram(run_, ParseCommandLine(static_cast<int>(args.size()), args.data()),
                      argv0.c_str());
  }
  std::string Log() { return dir_.Read("LOG/QUORIX.LOG"); }

  testing::ScratchDir dir_;
  testing::FakeClock clock_;
  testing::YieldingSleeper sleeper_;
  platform::HeadlessConsole console_{25, 80, false};
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
  EXPECT_EQ(Run({"1.BFG", "2.BFG", "3.BFG", "4.BFG", "5.BFG", "6.BFG", "7.BFG", "8.BFG",
                 "9.BFG"}),
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

TEST_F(RunProgramTest, UnsupportedInstallationPrintsItsMessage) {
  dir_.Write("XP.EXE", "no markers here");
  EXPECT_EQ(Run({"A.BFG"}), 0);
  EXPECT_NE(console_.printed().find("\n\nNot supported CrossPoint Version / Error reading "
                                    "configuration ...\n"),
            std::string::npos)
      << console_.printed();
  EXPECT_FALSE(dir_.Exists("LOG/QUORIX.LOG"));
}

}  // namespace
}  // namespace quorix::core
