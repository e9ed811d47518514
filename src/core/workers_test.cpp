#include "core/workers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "run/testing.h"

namespace quorix::core {
namespace {

class WorkersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The workers poll each other: a wait yields instead.
    sleeper_.set_on_sleep([](int, int) { std::this_thread::yield(); });
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    run_.env.is_xp2 = 1;
    run_.log.SetMainLog(log::Logger::OpenLogFile("QUORIX.LOG"), "");
  }
  void TearDown() override {
    run_.log.CloseLogs();
    std::filesystem::current_path(old_cwd_);
  }
  void Start(std::vector<std::string> boxes) {
    run_.fetch_thread_count = static_cast<int>(boxes.size());
    run_.slot_count = static_cast<int>(boxes.size()) + 1;
    for (size_t i = 0; i < boxes.size(); ++i) run_.slots[i + 1].box_file = boxes[i];
    RunWorkers(run_);
  }

  testing::ScratchDir dir_;
  testing::FakeClock clock_;
  testing::FakeSleeper sleeper_;
  platform::HeadlessConsole console_{25, 80, false};
  run::Run run_{clock_, sleeper_, console_};
  std::filesystem::path old_cwd_;
};

TEST_F(WorkersTest, MissingBoxesFailTheirSlotsAndThePostingThreadWaitsPerFetchThread) {
  Start({"A.BFG", "B.BFG", "C.BFG"});
  // The fetch threads start 10 ms apart, before anything else is waited for.
  EXPECT_EQ(sleeper_.Count(kThreadStartGapMs), 3);
  EXPECT_EQ(sleeper_.Count(kPostingWaitPerFetchThreadMs), 3);
  EXPECT_EQ(sleeper_.Count(kConfigErrorPauseMs), 3);
  EXPECT_EQ(sleeper_.Count(5000), 6) << "each box file is missing for fetch and posting";
  for (int slot = 1; slot <= 3; ++slot) {
    EXPECT_EQ(run_.slots[slot].error.load(), 1);
    EXPECT_EQ(run_.slots[slot].status.Get(),
              "Error reading Configuration '" + run_.slots[slot].box_file + "'");
  }
  EXPECT_EQ(run_.slots[4].error.load(), 0) << "the posting thread skips unreadable boxes";
  EXPECT_EQ(run_.slots[4].status.Get(), "Error: Configurationfile 'C.BFG' not found!");
  const std::string log = dir_.Read("QUORIX.LOG");
  EXPECT_NE(log.find("! 14:03:59  QUORIX #2: Error reading Configuration 'B.BFG'\r\n"),
            std::string::npos)
      << log;
}

TEST_F(WorkersTest, EmptyBoxNameFailsWithAnEmptyName) {
  Start({"A.BFG", "", "B.BFG"});
  EXPECT_EQ(run_.slots[2].status.Get(), "Error reading Configuration ''");
}

}  // namespace
}  // namespace quorix::core
