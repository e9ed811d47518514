#include "bases/delivery_journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "bases/dupe_base.h"
#include "bases/test_installation.h"

namespace quorix::bases {
namespace {

using testing::TestInstallation;

const std::string kIdx = "# QUORIX Dupebase, do not edit or delete! #\r\n";

JournalRecord Record(const TestInstallation& t, const std::string& temp, int64_t size,
                     std::vector<std::string> ids, const std::string& spool = "N000000.msg") {
  return JournalRecord{t.Path(temp), t.Path(spool), size, std::move(ids)};
}

bool Known(TestInstallation& t, const std::string& id) { return IsDupe(t.run(), id); }

void CatchUp(TestInstallation& t) {
  platform::NamedLock lock(t.run().delivery.mutex());
  ASSERT_TRUE(CatchUpJournal(t.run()));
}

TEST(DeliveryJournal, RecordsSurviveEveryCutAndStopAtADamagedOne) {
  TestInstallation t;
  // IDs with the record's own separators inside them.
  const std::vector<JournalRecord> records = {
      Record(t, "QX1-45.tmp", 120, {"<a@forum3.x.0.1f>", "<b\n:12>"}),
      Record(t, "QX1-99.tmp", 7, {"<9:9>"}, "N000001.msg"),
  };
  const std::string data = EncodeJournalRecord(records[0]) + EncodeJournalRecord(records[1]);
  const size_t first_end = EncodeJournalRecord(records[0]).size();
  for (size_t cut = 0; cut <= data.size(); ++cut) {
    size_t used = 0;
    std::vector<JournalRecord> parsed = ParseJournalRecords(data.substr(0, cut), &used);
    const size_t whole = cut == data.size() ? 2 : (cut >= first_end ? 1 : 0);
    ASSERT_EQ(parsed.size(), whole) << cut;
    EXPECT_EQ(used, whole == 2 ? data.size() : (whole == 1 ? first_end : 0)) << cut;
    for (size_t i = 0; i < whole; ++i) {
      EXPECT_EQ(parsed[i].temp_name, records[i].temp_name);
      EXPECT_EQ(parsed[i].spool_name, records[i].spool_name);
      EXPECT_EQ(parsed[i].size, records[i].size);
      EXPECT_EQ(parsed[i].ids, records[i].ids);
    }
  }
  for (size_t flip = 0; flip < first_end; ++flip) {
    std::string damaged = data;
    damaged[flip] ^= 0x20;
    size_t used = 0;
    EXPECT_TRUE(ParseJournalRecords(damaged, &used).empty()) << flip;
  }
}

TEST(DeliveryJournal, HeaderCarriesTheGeneration) {
  size_t size = 0;
  EXPECT_EQ(JournalGeneration(JournalHeader(42) + "@1", &size), 42);
  EXPECT_EQ(size, JournalHeader(42).size());
  EXPECT_EQ(JournalGeneration(JournalHeader(42).substr(0, 20), &size), -1);
  EXPECT_EQ(JournalGeneration("# QUORIX Dupebase, do not edit or delete! #\r\n", &size), -1);
}

// What the next reader of the journal makes of a record, for each state in
// which a killed writer can leave its temporary spool file.
TEST(DeliveryJournal, NextReaderSettlesWhatAKilledWriterLeft) {
  struct Case {
    const char* name;
    bool temp_exists;
    bool right_size;
    bool spool_name_taken;
    bool ids_known;
    const char* delivered_as;  // "" when no spool file appears
  };
  const Case cases[] = {
      {"renamed before the kill", false, true, false, true, ""},
      {"killed before the rename", true, true, false, true, "N000003.msg"},
      {"name taken meanwhile", true, true, true, true, "N000004.msg"},
      {"not the recorded file", true, false, false, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestInstallation t;
    const std::string entry = "#! rnews 3\nab\n";
    if (c.temp_exists) t.Write("QX1-45.tmp", entry);
    if (c.spool_name_taken) t.Write("N000003.msg", "other");
    const JournalRecord record =
        Record(t, "QX1-45.tmp", c.right_size ? 14 : 99, {"<id.1>", "<id.2>"}, "N000003.msg");
    t.Write("QUORIX.JRN", JournalHeader(1) + EncodeJournalRecord(record));
    LoadDupeBase(t.run());
    EXPECT_EQ(Known(t, "<id.1>"), c.ids_known);
    EXPECT_EQ(Known(t, "<id.2>"), c.ids_known);
    EXPECT_FALSE(t.Exists("QX1-45.tmp"));
    if (*c.delivered_as != '\0') {
      EXPECT_EQ(t.Read(c.delivered_as), entry);
    }
    if (c.spool_name_taken) {
      EXPECT_EQ(t.Read("N000003.msg"), "other");
    }
  }
}

TEST(DeliveryJournal, RecordCutByAKillIsCutOffAndTheNextAppendFollowsTheWholeOnes) {
  TestInstallation t;
  const std::string whole = EncodeJournalRecord(Record(t, "QX1-45.tmp", 1, {"<kept>"}));
  const std::string cut = EncodeJournalRecord(Record(t, "QX1-80.tmp", 1, {"<lost>"}));
  t.Write("QUORIX.JRN", JournalHeader(1) + whole + cut.substr(0, cut.size() - 3));
  LoadDupeBase(t.run());
  EXPECT_TRUE(Known(t, "<kept>"));
  EXPECT_FALSE(Known(t, "<lost>"));
  EXPECT_EQ(t.Read("QUORIX.JRN"), JournalHeader(1) + whole);
  {
    platform::NamedLock lock(t.run().delivery.mutex());
    ASSERT_TRUE(AppendJournalRecord(t.run(), Record(t, "QX1-99.tmp", 1, {"<next>"})));
  }
  TestInstallation reader;
  reader.run().env.program_dir = t.run().env.program_dir;
  LoadDupeBase(reader.run());
  EXPECT_TRUE(Known(reader, "<kept>"));
  EXPECT_TRUE(Known(reader, "<next>"));
}

// Two instances on one installation: each sees what the other delivered, and
// the saves, one after the other, keep the IDs of both.
TEST(DeliveryJournal, InstancesSeeEachOthersDeliveriesAndSavesKeepBoth) {
  TestInstallation a;
  TestInstallation b;
  b.run().env.program_dir = a.run().env.program_dir;
  for (TestInstallation* t : {&a, &b}) {
    t->run().RaiseDupeBaseLimit(16000);
    LoadDupeBase(t->run());
  }
  auto deliver = [](TestInstallation& t, const std::string& temp, const std::string& id) {
    // As a delivery does it: the journal read up to date is kept open for the append.
    platform::NamedLock lock(t.run().delivery.mutex());
    platform::File journal;
    ASSERT_TRUE(CatchUpJournal(t.run(), &journal));
    ASSERT_TRUE(journal.IsOpen());
    ASSERT_TRUE(AppendJournalRecord(t.run(), Record(t, temp, 0, {id}), &journal));
    AddToDupeBase(t.run(), id);
  };
  deliver(a, "QX1-1.tmp", "<from.a>");
  deliver(b, "QX1-2.tmp", "<from.b>");
  CatchUp(a);
  EXPECT_TRUE(Known(a, "<from.b>"));

  SaveDupeBase(a.run());  // folds the journal: a new generation
  deliver(a, "QX2-1.tmp", "<late.a>");
  CatchUp(b);  // b had read <from.b> only: reads QUORIX.IDX again
  EXPECT_TRUE(Known(b, "<from.a>"));
  EXPECT_TRUE(Known(b, "<late.a>"));
  SaveDupeBase(b.run());
  const std::string idx = a.Read("QUORIX.IDX");
  for (const char* id : {"<from.a>", "<from.b>", "<late.a>"}) {
    EXPECT_NE(idx.find(id), std::string::npos) << id;
  }
  EXPECT_EQ(idx.find("<from.a>"), idx.rfind("<from.a>"));
}

// What a run delivered is flushed before the bases may count it: nothing to
// do before the journal was read; a journal that is gone cannot be flushed,
// and the failure is reported so that the bases stay unsaved.
TEST(DeliveryJournal, FlushOfTheDeliveriesReportsWhatHappened) {
  TestInstallation t;
  EXPECT_TRUE(FlushDeliveries(t.run())) << "nothing delivered";
  {
    platform::NamedLock lock(t.run().delivery.mutex());
    platform::File journal;
    ASSERT_TRUE(CatchUpJournal(t.run(), &journal));
    ASSERT_TRUE(AppendJournalRecord(t.run(), Record(t, "QX1-1.tmp", 0, {"<a>"}), &journal));
  }
  EXPECT_TRUE(FlushDeliveries(t.run()));
  ASSERT_TRUE(std::filesystem::remove(t.Path(std::string(kJournalFile))));
  EXPECT_FALSE(FlushDeliveries(t.run()));
}

TEST(DeliveryJournal, LeftoversOfKilledRewritesAreDeletedAtTheLoad) {
  TestInstallation t;
  for (const char* name : {"QUORIX.IDX.tmp123-4", "QUORIX.HTM.tmp9-9", "QUORIX.JRN.tmp1-2"}) {
    t.Write(name, "half");
  }
  t.Write("OTHER.tmp1", "keep");
  LoadDupeBase(t.run());
  EXPECT_FALSE(t.Exists("QUORIX.IDX.tmp123-4"));
  EXPECT_FALSE(t.Exists("QUORIX.HTM.tmp9-9"));
  EXPECT_FALSE(t.Exists("QUORIX.JRN.tmp1-2"));
  EXPECT_TRUE(t.Exists("OTHER.tmp1"));
}

}  // namespace
}  // namespace quorix::bases
