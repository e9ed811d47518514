#include "convert/spool_delivery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bases/delivery_journal.h"
#include "bases/dupe_base.h"
#include "bases/test_installation.h"
#include "convert/converter_test_support.h"
#include "platform/fault_files.h"

namespace quorix::convert {
namespace {

using platform::FileOp;
using platform::testing::FaultFiles;
using testing::SpoolFileName;

constexpr int kSlot = 1;

// A page's delivery into INST/SPOOL/ with the journal in INST/, the files of
// INST watched by the fault layer (the log lies outside it).
class SpoolDeliveryTest : public ::testing::Test {
 protected:
  SpoolDeliveryTest() {
    std::filesystem::create_directories(t_.Path("INST/SPOOL"));
    t_.run().env.program_dir = t_.Path("INST") + "/";
    faults_ = std::make_unique<FaultFiles>(t_.Path("INST"));
  }

  std::string Spool() const { return t_.Path("INST/SPOOL") + "/"; }
  bool Deliver(const std::vector<SpoolArticle>& page) {
    return DeliverSpoolArticles(t_.run(), {t_.run().log, kSlot}, Spool(), page);
  }
  std::string SpoolFile(int number) const { return t_.Read("INST/SPOOL/" + SpoolFileName(number)); }
  std::vector<std::string> SpoolNames() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(t_.Path("INST/SPOOL"))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // The Message-IDs of the journal's records, one record per string.
  std::vector<std::string> JournalIds() const {
    const std::string journal = t_.Read("INST/QUORIX.JRN");
    size_t header = 0;
    if (bases::JournalGeneration(journal, &header) < 0) return {"no journal"};
    size_t used = 0;
    std::vector<std::string> records;
    for (const auto& record :
         bases::ParseJournalRecords(std::string_view(journal).substr(header), &used)) {
      std::string ids;
      for (const std::string& id : record.ids) ids += id;
      records.push_back(ids);
    }
    return records;
  }
  bool Known(const std::string& id) { return bases::IsDupe(t_.run(), id); }

  bases::testing::TestInstallation t_;
  std::unique_ptr<FaultFiles> faults_;
};

const std::vector<SpoolArticle> kPage = {
    {"<a1>", "#! rnews 10\nMessage-ID: <a1>\n"},
    {"<a2>", "#! rnews 10\nMessage-ID: <a2>\n"},
    {"<a3>", "#! rnews 10\nMessage-ID: <a3>\n"},
};

// The order that keeps a power cut from losing the page: the file's data,
// then its name, are flushed before the journal record that counts it.
TEST_F(SpoolDeliveryTest, FileAndNameAreFlushedBeforeTheJournalRecord) {
  ASSERT_TRUE(Deliver(kPage));
  const std::vector<std::string> trace = faults_->Trace();
  ASSERT_GE(trace.size(), 6u);
  const std::string temp = "SPOOL/QX1-" + std::to_string(bases::JournalHeader(1).size()) + ".tmp";
  const std::vector<std::string> page(trace.end() - 6, trace.end());
  EXPECT_EQ(
      page,
      (std::vector<std::string>{
          "create " + temp, "write " + temp + " 0+" + std::to_string(3 * kPage[0].entry.size()),
          "sync " + temp, "syncdir SPOOL",
          "write QUORIX.JRN " + std::to_string(bases::JournalHeader(1).size()) + "+" +
              std::to_string(t_.Read("INST/QUORIX.JRN").size() - bases::JournalHeader(1).size()),
          "rename " + temp + " SPOOL/" + SpoolFileName(0)}));
  EXPECT_EQ(SpoolFile(0), kPage[0].entry + kPage[1].entry + kPage[2].entry);
}

// Pages one after the other: each record names its whole file and its size,
// follows the one before it without a gap, and the next temporary name
// carries the journal's new end.
TEST_F(SpoolDeliveryTest, EachRecordCountsItsWholeFileRightAfterTheLastRecord) {
  const std::vector<std::vector<SpoolArticle>> pages = {
      kPage,
      {{"<b1>", "#! rnews 5\nb1\n"}},
      {{"<c1>", "#! rnews 12\nMessage: c1\n"}, {"<c2>", "#! rnews 3\nc\n"}},
  };
  for (const auto& page : pages) ASSERT_TRUE(Deliver(page));

  const std::string journal = t_.Read("INST/QUORIX.JRN");
  size_t header = 0;
  ASSERT_EQ(bases::JournalGeneration(journal, &header), 1);
  size_t used = 0;
  const std::vector<bases::JournalRecord> records =
      bases::ParseJournalRecords(std::string_view(journal).substr(header), &used);
  ASSERT_EQ(records.size(), pages.size());
  EXPECT_EQ(header + used, journal.size());  // nothing after the last record
  size_t end = header;
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(i);
    std::string file;
    for (const SpoolArticle& article : pages[i]) file += article.entry;
    EXPECT_EQ(SpoolFile(static_cast<int>(i)), file);
    EXPECT_EQ(records[i].size, static_cast<int64_t>(file.size()));
    EXPECT_EQ(records[i].temp_name, Spool() + "QX1-" + std::to_string(end) + ".tmp");
    end += bases::EncodeJournalRecord(records[i]).size();
  }
  EXPECT_EQ(t_.run().delivery.journal().offset, static_cast<int64_t>(journal.size()));
}

// A full disk: the page does not fit in one write, so the file is cut and
// written entry by entry; the entries that fit are delivered and counted,
// the rest come with the next page that finds room.
TEST_F(SpoolDeliveryTest, FullDiskDeliversTheWholeEntriesThatFit) {
  struct Case {
    int64_t free;
    std::string delivered;  // the spool file, "-" for none
    std::vector<std::string> records;
  };
  const int64_t entry = static_cast<int64_t>(kPage[0].entry.size());
  const Case cases[] = {
      {0, "-", {}},
      {entry - 1, "-", {}},
      {entry, kPage[0].entry, {"<a1>"}},
      {2 * entry + 5, kPage[0].entry + kPage[1].entry, {"<a1><a2>"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.free);
    bases::testing::TestInstallation fresh;
    std::filesystem::create_directories(fresh.Path("INST/SPOOL"));
    fresh.run().env.program_dir = fresh.Path("INST") + "/";
    faults_ = std::make_unique<FaultFiles>(fresh.Path("INST"));
    // The journal exists already; only the spool file runs out of room.
    ASSERT_TRUE(bases::CatchUpJournal(fresh.run()));
    faults_->SetFreeSpace(fresh.Path("INST/SPOOL"), c.free);

    EXPECT_FALSE(DeliverSpoolArticles(fresh.run(), {fresh.run().log, kSlot},
                                      fresh.Path("INST/SPOOL") + "/", kPage));

    const std::string name = fresh.Path("INST/SPOOL") + "/" + SpoolFileName(0);
    EXPECT_EQ(std::filesystem::exists(name) ? fresh.Read("INST/SPOOL/" + SpoolFileName(0)) : "-",
              c.delivered);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(fresh.Path("INST/SPOOL")),
                            std::filesystem::directory_iterator()),
              c.delivered == "-" ? 0 : 1);  // no temporary file left
    EXPECT_NE(fresh.LogMessages().find("Error Spoolfile: " + name), std::string::npos);
    EXPECT_EQ(bases::IsDupe(fresh.run(), "<a1>"), !c.records.empty());
    EXPECT_FALSE(bases::IsDupe(fresh.run(), "<a3>"));
    faults_.reset();
    bases::testing::TestInstallation reboot;
    reboot.run().env.program_dir = fresh.Path("INST") + "/";
    ASSERT_TRUE(bases::CatchUpJournal(reboot.run()));
    EXPECT_EQ(bases::IsDupe(reboot.run(), "<a1>"), !c.records.empty());
    EXPECT_FALSE(bases::IsDupe(reboot.run(), "<a3>"));
  }
}

TEST_F(SpoolDeliveryTest, FailedFlushDeliversNothingAndLeavesNoFile) {
  for (const FileOp op : {FileOp::kSync, FileOp::kSyncDirectory}) {
    SCOPED_TRACE(static_cast<int>(op));
    faults_->FailNext(op, op == FileOp::kSync ? "QX*.tmp" : "SPOOL");
    EXPECT_FALSE(Deliver(kPage));
    EXPECT_TRUE(SpoolNames().empty());
    EXPECT_EQ(JournalIds(), std::vector<std::string>{});
    EXPECT_FALSE(Known("<a1>"));
  }
  EXPECT_TRUE(Deliver(kPage));  // the next page that flushes goes through
  EXPECT_EQ(SpoolNames(), std::vector<std::string>{SpoolFileName(0)});
}

// The record is written, the rename fails: the file waits under its
// temporary name, its articles count as delivered, and the next reader of
// the journal gives it its spool name.
TEST_F(SpoolDeliveryTest, FailedRenameIsFinishedByTheNextReaderOfTheJournal) {
  faults_->FailNext(FileOp::kRename, "N*");
  EXPECT_FALSE(Deliver(kPage));
  EXPECT_EQ(JournalIds(), std::vector<std::string>{"<a1><a2><a3>"});
  EXPECT_TRUE(Known("<a3>"));
  ASSERT_EQ(SpoolNames().size(), 1u);
  EXPECT_TRUE(bases::IsJournalTempName(SpoolNames()[0]));

  bases::testing::TestInstallation next;
  next.run().env.program_dir = t_.Path("INST") + "/";
  ASSERT_TRUE(bases::CatchUpJournal(next.run()));
  EXPECT_EQ(SpoolNames(), std::vector<std::string>{SpoolFileName(0)});
  EXPECT_EQ(SpoolFile(0), kPage[0].entry + kPage[1].entry + kPage[2].entry);
  EXPECT_TRUE(bases::IsDupe(next.run(), "<a2>"));
}

TEST_F(SpoolDeliveryTest, FailedJournalWriteDeliversNothing) {
  ASSERT_TRUE(bases::CatchUpJournal(t_.run()));
  faults_->FailNext(FileOp::kWrite, "QUORIX.JRN");
  EXPECT_FALSE(Deliver(kPage));
  EXPECT_TRUE(SpoolNames().empty());
  EXPECT_FALSE(Known("<a1>"));
  EXPECT_NE(t_.LogMessages().find("Error Writing Journal"), std::string::npos);
}

}  // namespace
}  // namespace quorix::convert
