#include "bases/dupe_base.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "bases/test_installation.h"

namespace quorix::bases {
namespace {

using testing::TestInstallation;

const std::string kHeader = "# QUORIX Dupebase, do not edit or delete! #\r\n";

// `count` IDs of 20 characters each: "<id-000000.xxxxxxx>" and so on.
std::string Ids(int first, int count) {
  std::string ids;
  for (int i = first; i < first + count; ++i) {
    std::string number = std::to_string(i);
    ids += "<id-" + std::string(6 - number.size(), '0') + number + ".xxxxxxxx>";
  }
  return ids;
}

platform::LoadStatus Status(TestInstallation& t) {
  platform::MutexLock lock(t.run().dupe_base.mutex());
  return t.run().dupe_base.load_status();
}

TEST(DupeBase, HeaderIsFortyFiveBytes) { EXPECT_EQ(kDupeBaseHeader.size(), 45u); }

TEST(DupeBase, LoadReadsFromByteFortyFive) {
  TestInstallation t;
  // The header line is not checked; the data may begin inside an ID.
  t.Write("QUORIX.IDX", std::string(43, 'x') + "\r\n" + Ids(0, 3).substr(4));
  LoadDupeBase(t.run());
  EXPECT_EQ(t.run().dupe_base.Text(), Ids(0, 3).substr(4));
  EXPECT_TRUE(IsDupe(t.run(), "<id-000001.xxxxxxxx>"));
  EXPECT_FALSE(IsDupe(t.run(), "<id-000003.xxxxxxxx>"));
}

TEST(DupeBase, HeaderOnlyOrShortFileLoadsEmpty) {
  for (const std::string& contents : {kHeader, std::string(), std::string("# QUO")}) {
    TestInstallation t;
    t.Write("QUORIX.IDX", contents);
    LoadDupeBase(t.run());
    EXPECT_EQ(t.run().dupe_base.Text(), "");
    EXPECT_EQ(Status(t), platform::LoadStatus::kLoaded);
  }
}

TEST(DupeBase, MissingFileIsCreatedEmpty) {
  TestInstallation t;
  LoadDupeBase(t.run());
  EXPECT_TRUE(t.Exists("QUORIX.IDX"));
  EXPECT_EQ(Status(t), platform::LoadStatus::kMissing);
  EXPECT_EQ(t.run().dupe_base.Text(), "");
  EXPECT_EQ(t.LogMessages(), "");
}

TEST(DupeBase, SaveKeepsTheLastLimitCharacters) {
  TestInstallation t;
  t.run().RaiseDupeBaseLimit(16000);
  LoadDupeBase(t.run());
  const std::string all = Ids(0, 1000);  // 20000 characters
  for (int i = 0; i < 1000; ++i) AddToDupeBase(t.run(), all.substr(i * 20, 20));
  SaveDupeBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.IDX"), kHeader + all.substr(4000));
}

TEST(DupeBase, SavedOnlyWhenThisRunAddedAnId) {
  TestInstallation t;
  t.run().RaiseDupeBaseLimit(16000);
  const std::string old = kHeader + Ids(0, 100);
  t.Write("QUORIX.IDX", old);
  LoadDupeBase(t.run());
  EXPECT_TRUE(IsDupe(t.run(), "<id-000050.xxxxxxxx>"));
  SaveDupeBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.IDX"), old);

  // A small base is saved too once something was added.
  AddToDupeBase(t.run(), "<new.1>");
  SaveDupeBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.IDX"), old + "<new.1>");
}

TEST(DupeBase, NothingSavedBelowTheSmallestLimit) {
  TestInstallation t;  // no box read: the limit is 0
  t.Write("QUORIX.IDX", kHeader + "<old>");
  LoadDupeBase(t.run());
  AddToDupeBase(t.run(), "<new>");
  SaveDupeBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.IDX"), kHeader + "<old>");
}

TEST(DupeBase, FailedLoadIsLoggedAndTheSaveMerges) {
  TestInstallation t;
  t.run().RaiseDupeBaseLimit(16000);
  // A directory in the file's place cannot be read as a file.
  std::filesystem::create_directory(t.Path("QUORIX.IDX"));
  LoadDupeBase(t.run());
  EXPECT_EQ(t.LogMessages(), "Error Reading Dupebase\n");
  EXPECT_EQ(Status(t), platform::LoadStatus::kFailed);
  AddToDupeBase(t.run(), "<a.1>");
  AddToDupeBase(t.run(), "<b.2>");

  // By the end of the run the file is readable again: its IDs are kept and
  // only the new ones it lacks are added.
  std::filesystem::remove(t.Path("QUORIX.IDX"));
  t.Write("QUORIX.IDX", kHeader + "<old.0><b.2>");
  SaveDupeBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.IDX"), kHeader + "<old.0><b.2><a.1>");
}

TEST(DupeBase, SaveAddsWhatTheFileLacksOnceInTheRunsOrder) {
  TestInstallation t;
  t.run().RaiseDupeBaseLimit(16000);
  t.Write("QUORIX.IDX", kHeader + "<old.0>");
  LoadDupeBase(t.run());
  // Added by this run: one the other instance also stored, one twice (an
  // ID added again after a failed page), one whose "<" the file left open,
  // and a text that is no bracketed ID.
  {
    platform::MutexLock lock(t.run().dupe_base.mutex());
    for (const char* id : {"<c.3>", "<b.2>", "<a.1>", "<c.3>", "<d.4>", "plain"}) {
      t.run().dupe_base.NoteAdded(id);
    }
  }
  // Meanwhile another instance saved: its file holds <b.2> and an open "<x".
  t.Write("QUORIX.IDX", kHeader + "<old.0><b.2><x");
  SaveDupeBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.IDX"), kHeader + "<old.0><b.2><x<c.3><a.1><d.4>plain");
}

TEST(DupeBase, FailedLoadAndUnreadableFileAtSaveKeepsTheFile) {
  TestInstallation t;
  t.run().RaiseDupeBaseLimit(16000);
  std::filesystem::create_directory(t.Path("QUORIX.IDX"));
  LoadDupeBase(t.run());
  AddToDupeBase(t.run(), "<a.1>");
  SaveDupeBase(t.run());
  EXPECT_TRUE(std::filesystem::is_directory(t.Path("QUORIX.IDX")));
}

TEST(DupeBase, DupeIsNotAddedTwice) {
  TestInstallation t;
  LoadDupeBase(t.run());
  const std::string id = "<de.test@forum3.000123.html.0.1c291ca3>";
  EXPECT_FALSE(IsDupe(t.run(), id));
  AddToDupeBase(t.run(), id);
  EXPECT_TRUE(IsDupe(t.run(), id));
  EXPECT_FALSE(IsDupe(t.run(), "<de.test@forum3.000123.html.0.1c291ca4>"));
  EXPECT_EQ(t.run().dupe_base.Text(), id);
}

TEST(DupeBase, ThreadsLookUpAndAddAtOnce) {
  TestInstallation t;
  LoadDupeBase(t.run());
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 8; ++thread) {
    threads.emplace_back([&t, thread] {
      for (int i = 0; i < 300; ++i) {
        std::string id = "<t" + std::to_string(thread) + "." + std::to_string(i) + ">";
        if (!IsDupe(t.run(), id)) AddToDupeBase(t.run(), id);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int thread = 0; thread < 8; ++thread) {
    for (int i = 0; i < 300; i += 37) {
      EXPECT_TRUE(IsDupe(t.run(), "<t" + std::to_string(thread) + "." + std::to_string(i) + ">"));
    }
  }
  platform::MutexLock lock(t.run().dupe_base.mutex());
  EXPECT_EQ(t.run().dupe_base.added_ids().size(), 2400u);
}

}  // namespace
}  // namespace quorix::bases
