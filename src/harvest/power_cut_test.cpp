// Power cuts during a harvest: the run is cut after each file operation in
// turn, the machine "reboots" with what the disk kept, and the next runs must
// deliver every post, none more than twice, and only the posts of the run
// that was cut may come twice.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bases/delivery_journal.h"
#include "bases/dupe_base.h"
#include "bases/html_base.h"
#include "harvest/scan_driver.h"
#include "harvest/test_forum.h"
#include "harvest/topic_rows.h"
#include "log/logger.h"
#include "platform/fault_files.h"
#include "platform/file_hook.h"
#include "run/testing.h"

namespace quorix::harvest {
namespace {

using platform::testing::FaultFiles;
using Survival = FaultFiles::Survival;

constexpr int kSlot = 1;
constexpr char kTopicList[] = "/ubb/f.cgi?forum=F&number=1&DaysPrune=20&LastLogin=";

std::string Answer(const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A UBB forum: topic number -> the texts of its posts.
using Forum = std::map<int, std::vector<std::string>>;

std::map<std::string, std::string> Pages(const Forum& forum) {
  std::map<std::string, std::string> pages;
  std::string list;
  for (auto topic = forum.rbegin(); topic != forum.rend(); ++topic) {
    const std::string link = "/ubb/" + std::to_string(topic->first) + ".html";
    list += std::string(kUbbRowMarker) + "\n<A HREF=\"http://h" + link + "\">T</A>\n3\n4\n<FONT>" +
            std::to_string(topic->second.size() - 1) + "</FONT>\n6\n7\n8\n9</td></tr>\n";
    std::string page;
    for (const std::string& text : topic->second) {
      page +=
          "<TD width=18% valign=top>\r\nJoe\r\n3\r\n4\r\n5\r\n6\r\n"
          "October 05, 2004 10:30 PM\r\n8\r\n9\r\n" +
          text + "</td></tr>\r\n";
    }
    pages[link] = Answer(page);
  }
  pages[kTopicList] = Answer(list);
  return pages;
}

// The Message-IDs in the spool files, each with how often it is there.
std::map<std::string, int> Delivered(const std::string& spool) {
  std::map<std::string, int> ids;
  for (const auto& entry : std::filesystem::directory_iterator(spool)) {
    const std::string name = entry.path().filename().string();
    if (!platform::MatchWildcard("N??????.msg", name)) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t at = bytes.find("\nMessage-ID: "); at != std::string::npos;
         at = bytes.find("\nMessage-ID: ", at + 1)) {
      const size_t start = at + 13;
      ++ids[bytes.substr(start, bytes.find('\n', start) - start)];
    }
  }
  return ids;
}

class PowerCutTest : public ::testing::Test {
 protected:
  void Serve(const Forum& forum) { pages_ = Pages(forum); }

  // One run of the program over the installation in `dir`: the bases loaded,
  // the box's forum harvested, the deliveries flushed and the bases saved.
  // Returns the run's log messages.
  std::string Harvest(const std::string& dir) {
    // Under the fault layer even when nothing is cut: its flushes cost no
    // time, where the system's would make the test slow.
    std::optional<FaultFiles> watch;
    if (platform::InstalledFileHook() == nullptr) watch.emplace(dir);
    quorix::testing::TestRun test_run;
    run::Run& run = test_run.run;
    run.env.program_dir = dir + "/";
    run.RaiseDupeBaseLimit(16000);
    run.log.SetMainLog(log::Logger::OpenLogFile(logs_.PathOf("QUORIX.LOG")), "");
    run::Slot& slot = run.slots[kSlot];
    slot.web.group_file = dir + "/BOX.WEB";
    slot.web.spool = dir + "/SPOOL/";
    slot.web.engine = run::kUbb;
    slot.web.path = "ubb/";
    slot.web.topic = "f.cgi?forum=";
    slot.web.server = "127.0.0.1";
    // The forum answers in process, through the harvest's page seam.
    testing::TestForum forum(slot, pages_);
    bases::LoadDupeBase(run);
    bases::LoadHtmlBase(run);
    ScanForums(worker::Worker(run, run.slots[kSlot], kSlot), forum.fetcher());
    if (bases::FlushDeliveries(run)) {
      bases::SaveHtmlBase(run);
      bases::SaveDupeBase(run);
    }
    run.log.CloseLogs();
    const std::string log = logs_.Read("QUORIX.LOG");
    std::filesystem::remove(logs_.PathOf("QUORIX.LOG"));
    return log;
  }

  // A fresh installation that one whole run has harvested `before` into
  // (a copy of the first one made).
  std::string Installation(const Forum& before) {
    if (!harvested_) {
      harvested_ = std::make_unique<quorix::testing::ScratchDir>();
      harvested_->Write("BOX.WEB", "de.test,F,1,20\r\n");
      std::filesystem::create_directories(harvested_->PathOf("SPOOL"));
      Serve(before);
      Harvest(harvested_->path());
    }
    auto dir = std::make_unique<quorix::testing::ScratchDir>();
    for (const auto& entry : std::filesystem::directory_iterator(harvested_->path())) {
      std::filesystem::copy(entry.path(), dir->PathOf(entry.path().filename().string()),
                            std::filesystem::copy_options::recursive);
    }
    installations_.push_back(std::move(dir));
    return installations_.back()->path();
  }

  struct Outcome {
    int points = 0;
    int posts = 0;
    int lost = 0;
    int twice = 0;
  };

  // Cuts the power after each operation of the run that harvests `after`
  // (one installation per point), reboots and runs twice more.
  Outcome CutEverywhere(const Forum& before, const Forum& after, Survival survival) {
    std::vector<std::string> old_posts;
    int64_t operations = 0;
    {
      const std::string dir = Installation(before);
      for (const auto& delivered : Delivered(dir + "/SPOOL")) old_posts.push_back(delivered.first);
      FaultFiles faults(dir);
      Serve(after);
      Harvest(dir);
      operations = faults.operations();
    }
    EXPECT_GT(operations, 20);
    Outcome outcome;
    for (int64_t point = 0; point <= operations; ++point) {
      SCOPED_TRACE("power cut after operation " + std::to_string(point));
      const std::string dir = Installation(before);
      {
        FaultFiles faults(dir);
        faults.CutPowerAfter(point);
        Serve(after);
        Harvest(dir);
        faults.PowerCut(survival, static_cast<uint32_t>(point));
      }
      const std::string rerun = Harvest(dir);
      EXPECT_EQ(rerun.find("Error Reading"), std::string::npos) << rerun;
      Harvest(dir);  // nothing may come a third time
      const std::map<std::string, int> delivered = Delivered(dir + "/SPOOL");
      ++outcome.points;
      outcome.posts = static_cast<int>(delivered.size());
      for (const std::string& id : old_posts) {
        const auto found = delivered.find(id);
        EXPECT_EQ(found == delivered.end() ? 0 : found->second, 1) << id;
      }
      for (const auto& [id, count] : delivered) {
        EXPECT_LE(count, 2) << id;
        if (count > 1) ++outcome.twice;
      }
      // Every post of the forum is there.
      int expected = 0;
      for (const auto& [topic, texts] : after) expected += static_cast<int>(texts.size());
      outcome.lost += std::max(0, expected - static_cast<int>(delivered.size()));
      EXPECT_EQ(static_cast<int>(delivered.size()), expected);
      // Both bases and the journal load whole.
      const std::string dupes = installations_.back()->Read("QUORIX.IDX");
      const std::string topics = installations_.back()->Read("QUORIX.HTM");
      const std::string journal = installations_.back()->Read("QUORIX.JRN");
      EXPECT_TRUE(dupes.starts_with(bases::kDupeBaseHeader));
      EXPECT_TRUE(topics.starts_with(bases::kHtmlBaseHeader));
      size_t header = 0;
      EXPECT_GE(bases::JournalGeneration(journal, &header), 0);
      EXPECT_EQ(installations_.back()->Read("BOX.WEB"), "de.test,F,1,20\r\n");
      installations_.clear();
    }
    return outcome;
  }

  quorix::testing::ScratchDir logs_;
  std::map<std::string, std::string> pages_;
  std::unique_ptr<quorix::testing::ScratchDir> harvested_;
  std::vector<std::unique_ptr<quorix::testing::ScratchDir>> installations_;
};

// Three topics read in a whole run; then one gains a reply and two are new.
const Forum kBefore = {{1, {"one a", "one b"}}, {2, {"two a", "two b"}}, {3, {"three a"}}};
const Forum kAfter = {{1, {"one a", "one b", "one c"}},
                      {2, {"two a", "two b"}},
                      {3, {"three a"}},
                      {4, {"four a", "four b"}},
                      {5, {"five a"}}};

TEST_F(PowerCutTest, NothingLostAfterACutThatKeepsOnlyWhatWasFlushed) {
  const Outcome outcome = CutEverywhere(kBefore, kAfter, Survival::kFlushedOnly);
  std::cout << "power cuts (flushed only): points " << outcome.points << ", posts " << outcome.posts
            << ", lost " << outcome.lost << ", twice " << outcome.twice << "\n";
}

TEST_F(PowerCutTest, NothingLostAfterACutThatKeepsSomeOfTheCache) {
  const Outcome outcome = CutEverywhere(kBefore, kAfter, Survival::kSomeOfTheCache);
  std::cout << "power cuts (some of the cache, seeded): points " << outcome.points << ", posts "
            << outcome.posts << ", lost " << outcome.lost << ", twice " << outcome.twice << "\n";
}

}  // namespace
}  // namespace quorix::harvest
