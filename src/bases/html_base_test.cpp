#include "bases/html_base.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "bases/test_installation.h"

namespace quorix::bases {
namespace {

using namespace std::string_literals;
using testing::TestInstallation;

const std::string kHeader = "# QUORIX Htmlbase, do not edit or delete! #\r\n";

platform::LoadStatus Status(TestInstallation& t) {
  platform::MutexLock lock(t.run().html_base.mutex());
  return t.run().html_base.load_status();
}

TEST(HtmlBase, EntryParts) {
  EXPECT_EQ(LinkOf("/cgi/topic/000123.html,17"), "/cgi/topic/000123.html");
  EXPECT_EQ(LinkOf("no comma"), "no comma");
  EXPECT_EQ(MarkerNumberOf("/t.html,17"), 17);
  EXPECT_EQ(MarkerNumberOf("/t.html, 42 replies,x"), 42);
  EXPECT_EQ(MarkerNumberOf("/t.html,10-05-2004"), 10);
  EXPECT_EQ(MarkerNumberOf("/t.html,Oct 5"), 0);
  EXPECT_EQ(MarkerNumberOf("/t.html"), 0);
}

TEST(HtmlBase, HeaderOnlyFileLoadsNoRecords) {
  TestInstallation t;
  t.Write("QUORIX.HTM", kHeader);
  LoadHtmlBase(t.run());
  EXPECT_EQ(HtmlBaseCount(t.run()), 0u);
  EXPECT_EQ(t.LogMessages(), "Reading Htmlbase\n");
  EXPECT_EQ(Status(t), platform::LoadStatus::kLoaded);
}

TEST(HtmlBase, MissingFileIsCreatedAndSavedAsHeaderOnly) {
  TestInstallation t;
  LoadHtmlBase(t.run());
  EXPECT_TRUE(t.Exists("QUORIX.HTM"));
  EXPECT_EQ(t.LogMessages(), "Reading Htmlbase\n");
  EXPECT_EQ(Status(t), platform::LoadStatus::kMissing);
  SaveHtmlBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.HTM"), kHeader);
}

TEST(HtmlBase, TwoRecordsRoundTripByteForByte) {
  TestInstallation t;
  const std::string contents = kHeader + "/a.html,3\0/b.html,12\0"s;
  t.Write("QUORIX.HTM", contents);
  LoadHtmlBase(t.run());
  EXPECT_EQ(HtmlBaseCount(t.run()), 2u);
  EXPECT_EQ(FindHtmlRecord(t.run(), "/b.html"), "/b.html,12");
  SaveHtmlBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.HTM"), contents);
}

TEST(HtmlBase, TextAfterTheLastNulIsDropped) {
  TestInstallation t;
  t.Write("QUORIX.HTM", kHeader + "/a.html,3\0\0/cut.ht"s);
  LoadHtmlBase(t.run());
  EXPECT_EQ(HtmlBaseCount(t.run()), 2u);  // two NULs in a row: an empty record
  EXPECT_FALSE(FindHtmlRecord(t.run(), "/cut.ht"));
  SaveHtmlBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.HTM"), kHeader + "/a.html,3\0\0"s);
}

// Files cut or damaged anywhere: the header is cut off in place and what
// follows the last NUL dropped, whatever the length; a record stored
// afterwards must not pick up any of the dropped bytes.
TEST(HtmlBase, DamagedFilesLoadTheirWholeRecordsOnly) {
  const struct {
    std::string file;
    std::vector<std::string> records;
  } cases[] = {
      {"", {}},
      {kHeader.substr(0, 20), {}},
      {kHeader, {}},
      {kHeader + "/cut", {}},
      {kHeader + "\0"s, {""}},
      {kHeader + "/a,1\0/b"s, {"/a,1"}},
      {kHeader + "/a,1\0\0/b,2\0/c"s, {"/a,1", "", "/b,2"}},
      {"# some other first line, just as long: 43 #\r\n/a,1\0"s, {"/a,1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TestInstallation t;
    t.Write("QUORIX.HTM", c.file);
    LoadHtmlBase(t.run());
    EXPECT_EQ(HtmlRecords(t.run()), c.records);
    RecordTopic(t.run(), "/new,1");
    std::vector<std::string> expected = c.records;
    expected.push_back("/new,1");
    EXPECT_EQ(HtmlRecords(t.run()), expected);
    EXPECT_EQ(FindHtmlRecord(t.run(), "/new"), "/new,1");
  }
}

TEST(HtmlBase, FirstRecordWithTheLinkWins) {
  TestInstallation t;
  t.Write("QUORIX.HTM", kHeader + "/a.html,1\0/a.html,2\0/b.html,5\0"s);
  LoadHtmlBase(t.run());
  EXPECT_EQ(FindHtmlRecord(t.run(), "/a.html"), "/a.html,1");
  // An update replaces that first record in place.
  RecordTopic(t.run(), "/a.html,9");
  EXPECT_EQ(HtmlBaseCount(t.run()), 3u);
  EXPECT_EQ(FindHtmlRecord(t.run(), "/a.html"), "/a.html,9");
  SaveHtmlBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.HTM"), kHeader + "/a.html,9\0/a.html,2\0/b.html,5\0"s);
}

TEST(HtmlBase, NewTopicIsAppendedAndChangedTopicReplaced) {
  TestInstallation t;
  LoadHtmlBase(t.run());
  RecordTopic(t.run(), "/t1.html,4");
  RecordTopic(t.run(), "/t2.html,1");
  RecordTopic(t.run(), "/t1.html,5");
  EXPECT_EQ(HtmlBaseCount(t.run()), 2u);
  EXPECT_EQ(MarkerNumberOf(*FindHtmlRecord(t.run(), "/t1.html")), 5);
  EXPECT_FALSE(FindHtmlRecord(t.run(), "/t3.html"));
}

TEST(HtmlBase, GrowsPastTenThousandRecords) {
  TestInstallation t;
  LoadHtmlBase(t.run());
  for (int i = 0; i < 12000; ++i) RecordTopic(t.run(), "/t" + std::to_string(i) + ".html,1");
  for (int i = 0; i < 12000; i += 1000) RecordTopic(t.run(), "/t" + std::to_string(i) + ".html,2");
  EXPECT_EQ(HtmlBaseCount(t.run()), 12000u);
  EXPECT_EQ(FindHtmlRecord(t.run(), "/t11999.html"), "/t11999.html,1");
  EXPECT_EQ(FindHtmlRecord(t.run(), "/t11000.html"), "/t11000.html,2");
  SaveHtmlBase(t.run());
  TestInstallation reloaded;
  reloaded.Write("QUORIX.HTM", t.Read("QUORIX.HTM"));
  LoadHtmlBase(reloaded.run());
  EXPECT_EQ(HtmlBaseCount(reloaded.run()), 12000u);
  EXPECT_EQ(FindHtmlRecord(reloaded.run(), "/t5000.html"), "/t5000.html,2");
}

TEST(HtmlBase, NulInAnEntryNeverSplitsTheFile) {
  TestInstallation t;
  LoadHtmlBase(t.run());
  RecordTopic(t.run(), "/x\0y.html,1"s);
  EXPECT_EQ(FindHtmlRecord(t.run(), "/x\0y.html"s), "/x y.html,1");
  SaveHtmlBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.HTM"), kHeader + "/x y.html,1\0"s);
}

TEST(HtmlBase, FailedLoadIsLoggedAndTheSaveMerges) {
  TestInstallation t;
  std::filesystem::create_directory(t.Path("QUORIX.HTM"));
  LoadHtmlBase(t.run());
  EXPECT_EQ(t.LogMessages(), "Error Reading Htmlbase\n");
  EXPECT_EQ(HtmlBaseCount(t.run()), 0u);
  EXPECT_EQ(Status(t), platform::LoadStatus::kFailed);
  RecordTopic(t.run(), "/b.html,7");
  RecordTopic(t.run(), "/c.html,1");
  std::filesystem::remove(t.Path("QUORIX.HTM"));
  t.Write("QUORIX.HTM", kHeader + "/a.html,1\0/b.html,2\0"s);
  SaveHtmlBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.HTM"), kHeader + "/a.html,1\0/b.html,7\0/c.html,1\0"s);
}

TEST(HtmlBase, FileUnreadableAtTheSaveIsNotRewritten) {
  TestInstallation t;
  LoadHtmlBase(t.run());
  RecordTopic(t.run(), "/b.html,7");
  std::filesystem::remove(t.Path("QUORIX.HTM"));
  std::filesystem::create_directory(t.Path("QUORIX.HTM"));
  SaveHtmlBase(t.run());
  EXPECT_TRUE(std::filesystem::is_directory(t.Path("QUORIX.HTM")));
}

// The save stores this run's entries into what the file holds at that time,
// as recording them one by one would: a link's last entry replaces only the
// first record with that link, or is appended where the link first came.
TEST(HtmlBase, SaveStoresTheRunsEntriesIntoTheFileAsItIsThen) {
  TestInstallation t;
  t.Write("QUORIX.HTM", kHeader + "/a.html,1\0"s);
  LoadHtmlBase(t.run());
  for (const char* entry : {"/c.html,1", "/a.html,5", "/c.html,2", "/d.html,1", "/b.html,3"}) {
    RecordTopic(t.run(), entry);
  }
  EXPECT_EQ(HtmlRecords(t.run()),
            (std::vector<std::string>{"/a.html,5", "/c.html,2", "/d.html,1", "/b.html,3"}));
  // Another instance saved meanwhile: "/b.html" twice, "/e.html" its own,
  // and a record cut short at the end.
  t.Write("QUORIX.HTM", kHeader + "/b.html,1\0/e.html,1\0/b.html,2\0/a.html,1\0/cut"s);
  SaveHtmlBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.HTM"),
            kHeader + "/b.html,3\0/e.html,1\0/b.html,2\0/a.html,5\0/c.html,2\0/d.html,1\0"s);
}

// A save writes the topics recorded since the last one: a second save of the
// run never puts back an entry that another instance has replaced since.
TEST(HtmlBase, ASecondSaveAppliesOnlyWhatWasRecordedSince) {
  TestInstallation t;
  LoadHtmlBase(t.run());
  RecordTopic(t.run(), "/a.html,1");
  SaveHtmlBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.HTM"), kHeader + "/a.html,1\0"s);
  t.Write("QUORIX.HTM", kHeader + "/a.html,7\0"s);  // another instance's newer entry
  RecordTopic(t.run(), "/b.html,2");
  SaveHtmlBase(t.run());
  EXPECT_EQ(t.Read("QUORIX.HTM"), kHeader + "/a.html,7\0/b.html,2\0"s);
}

TEST(HtmlBase, ThreadsRecordTopicsAtOnce) {
  TestInstallation t;
  LoadHtmlBase(t.run());
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 8; ++thread) {
    threads.emplace_back([&t, thread] {
      // Every thread records the same 200 links, each with its own marker.
      for (int i = 0; i < 200; ++i) {
        std::string link = "/t" + std::to_string(i) + ".html";
        if (!FindHtmlRecord(t.run(), link) || thread % 2 == 0) {
          RecordTopic(t.run(), link + "," + std::to_string(thread));
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(HtmlBaseCount(t.run()), 200u);  // one record per link, never two
}

}  // namespace
}  // namespace quorix::bases
