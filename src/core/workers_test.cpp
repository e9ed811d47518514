#include "core/workers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
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

// What a box file (and its group list) sets of the slot, through the same
// path the fetch and posting threads take.
TEST_F(WorkersTest, LoadBoxFillsTheSlotFromTheBoxFile) {
  struct Case {
    const char* name;
    std::optional<std::string> box;     // BOX.BFG's text; nothing: no file
    std::optional<std::string> groups;  // BOX.WEB's text; nothing: no file
    bool posting_enabled;
    bool read;
    std::string server;
    std::string group_list;
    int posting;
    long long dupe_limit;
    std::string status;
  };
  const Case cases[] = {
      {"settings, group list, dupe size", "WebServer=forum.example\r\nWebDupeSize=200000\r\n",
       "de.a,A,1,20\r\n", true, true, "forum.example", "de.a,A,1,20\r\n", 1, 200000, ""},
      {"/NOPOST turns posting off", "WebServer=forum.example\r\nWebPosting=Y\r\n", "", false,
       true, "forum.example", "", 0, 128000, ""},
      {"a small dupe size is raised to the floor", "WebDupeSize=100\r\nWebPosting=N\r\n",
       std::nullopt, true, true, "", "", 0, 16000, ""},
      {"missing box file", std::nullopt, "de.a,A,1,20\r\n", true, false, "old.example", "", 0, 0,
       "Error: Configurationfile 'BOX.BFG' not found!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir_.PathOf("BOX.BFG"));
    std::filesystem::remove(dir_.PathOf("BOX.WEB"));
    if (c.box) dir_.Write("BOX.BFG", *c.box);
    if (c.groups) dir_.Write("BOX.WEB", *c.groups);
    run::Run run{clock_, sleeper_, console_};
    run.env.is_xp2 = 1;
    run.posting_enabled = c.posting_enabled ? 1 : 0;
    run::Slot& s = run.slots[1];
    s.box_file = "BOX.BFG";
    s.web.server = "old.example";
    const int pauses = sleeper_.Count(5000);

    EXPECT_EQ(LoadBox(run, 1), c.read);

    EXPECT_EQ(s.web.server, c.server);
    EXPECT_EQ(s.shown_server.Get(), c.read ? c.server : "");
    EXPECT_EQ(s.group_list_text, c.group_list);
    EXPECT_EQ(s.web.posting, c.posting);
    EXPECT_EQ(run.DupeBaseLimit(), c.dupe_limit);
    EXPECT_EQ(s.status.Get(), c.status);
    EXPECT_EQ(sleeper_.Count(5000) - pauses, c.read ? 0 : 1) << "the pause after a missing box";
  }
}

}  // namespace
}  // namespace quorix::core
