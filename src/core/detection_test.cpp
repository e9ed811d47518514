#include "core/detection.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "run/testing.h"

namespace quorix::core {
namespace {

TEST(ProgramDirOf, DirectoryPartAsInvoked) {
  EXPECT_EQ(ProgramDirOf("/srv/xp/quorix"), "/srv/xp/");
  EXPECT_EQ(ProgramDirOf("./quorix"), "./");
  EXPECT_EQ(ProgramDirOf("quorix"), "");
  EXPECT_EQ(ProgramDirOf("\"C:\\XP\\QUORIX.EXE\""), "C:\\XP\\");
}

TEST(MarkerScan, Variants) {
  MarkerScan both;
  both.Scan("...FreeXP...OpenXP...xp.dll");
  EXPECT_EQ(both.Variant(), 1);
  EXPECT_TRUE(both.openxp) << "OpenXP wins over FreeXP";

  MarkerScan lower;
  lower.Scan("xp2 www.xp2.de");
  EXPECT_EQ(lower.Variant(), 0) << "xp2 in lower case is no marker";
  lower.Scan("XP2");
  EXPECT_EQ(lower.Variant(), 2) << "markers found in earlier chunks stay found";
}

TEST(HasXp2VersionMark, Position35Or36) {
  const std::string prefix34(34, '#');
  EXPECT_TRUE(HasXp2VersionMark(prefix34 + " (XP2)\r\n"));
  EXPECT_TRUE(HasXp2VersionMark(prefix34 + "# (XP2)\r\n"));
  EXPECT_FALSE(HasXp2VersionMark(prefix34 + "## (XP2)\r\n"));
  EXPECT_FALSE(HasXp2VersionMark(" (XP2)"));
  EXPECT_FALSE(HasXp2VersionMark(""));
}

class DetectTest : public ::testing::Test {
 protected:
  void Install(const std::string& program_file, const std::string& content) {
    dir_.Write("XPOINT.CFG", "[CrossPoint]\r\n");
    dir_.Write("BOXEN.DB1", "");
    dir_.Write(program_file, content);
  }
  int Detect() {
    DetectCrossPoint(t_.run, dir_.Prefix() + "quorix");
    return t_.run.env.xp_variant;
  }

  testing::ScratchDir dir_;
  testing::TestRun t_;
};

TEST_F(DetectTest, MarkerSplitAcrossChunksIsFound) {
  std::string exe(kScanChunk - 3, 'z');
  exe += "www.xp2.de and XP2";
  Install("XP.EXE", exe);
  EXPECT_EQ(Detect(), 2);
  EXPECT_EQ(t_.run.env.is_xp2, 1);
  EXPECT_EQ(t_.run.env.program_dir, dir_.Prefix());
}

TEST_F(DetectTest, OpenXpHelpFileIsScannedInsteadOfTheProgram) {
  Install("OPENXP-D.HLP", "OpenXP help ... XP.DOC");
  dir_.Write("XP.EXE", "nothing");
  EXPECT_EQ(Detect(), 1);
  EXPECT_EQ(t_.run.env.is_rfc_client, 1);
  EXPECT_EQ(t_.run.env.is_free_xp, 0);
}

TEST_F(DetectTest, FreeXpAndLowerCaseNames) {
  dir_.Write("xpoint.cfg", "");
  dir_.Write("boxen.db1", "");
  dir_.Write("xp.exe", "freexp xp.dat");
  EXPECT_EQ(Detect(), 1);
  EXPECT_EQ(t_.run.env.is_free_xp, 1);
}

TEST_F(DetectTest, NoBoxDatabaseNoDetection) {
  dir_.Write("XPOINT.CFG", "");
  dir_.Write("XP.EXE", "OPENXP XP.D");
  EXPECT_EQ(Detect(), 0);
  EXPECT_EQ(t_.run.env.xp_supported, 0);
}

TEST_F(DetectTest, PrepareReadsSettingsAndOpensLogs) {
  Install("XP.EXE", "XP2 www.xp2.de");
  dir_.Write("XPOINT.CFG", std::string(34, '#') + " (XP2)\r\nSCREENLINES=50\r\nLOGDIR=" +
                               dir_.Prefix() + "LOG\\\r\nSHELL25=J\r\n");
  std::filesystem::create_directories(dir_.PathOf("LOG"));
  ASSERT_EQ(Detect(), 2);
  PrepareEnvironment(t_.run);
  EXPECT_EQ(t_.run.env.xp_supported, 1);
  EXPECT_EQ(t_.run.env.screen_lines, 50);
  EXPECT_EQ(t_.run.env.shell25, 1);
  t_.run.log.CloseLogs();
  EXPECT_TRUE(dir_.Exists("LOG/XP-PPP.LOG"));
  EXPECT_EQ(
      dir_.Read("LOG/QUORIX.LOG").rfind("----------  Fri 05 Mar 04, Korvendale/News v0.23g\r\n", 0),
      0u)
      << dir_.Read("LOG/QUORIX.LOG");
}

TEST_F(DetectTest, Xp2WithoutVersionMarkIsRefusedButKeepsItsClientLog) {
  Install("XP.EXE", "XP2 www.xp2.de");
  dir_.Write("XPOINT.CFG", "LOGDIR=" + dir_.Prefix() + "\r\n");
  ASSERT_EQ(Detect(), 2);
  PrepareEnvironment(t_.run);
  EXPECT_EQ(t_.run.env.xp_supported, 0);
  EXPECT_TRUE(t_.run.log.ClientLogOpen());
  EXPECT_FALSE(t_.run.log.MainLogOpen());
  t_.run.log.CloseLogs();
}

}  // namespace
}  // namespace quorix::core
