#include "config/box_config.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "config/web_settings.h"
#include "run/testing.h"

namespace quorix::config {
namespace {

TEST(BoxFileName, RfcClientDropsDirectoryAndExtension) {
  EXPECT_EQ(BoxFileName("C:\\XP\\BOXES\\MYBOX.TXT", true), "MYBOX.BFG");
  EXPECT_EQ(BoxFileName("/srv/xp/boxes/mybox.bfg", true), "mybox.BFG");
  EXPECT_EQ(BoxFileName("MYBOX", true), "MYBOX.BFG");
  EXPECT_EQ(BoxFileName("C:\\XP\\BOXES\\MYBOX.TXT", false), "C:\\XP\\BOXES\\MYBOX.TXT");
}

TEST(BoxFileName, CompanionAndExtensionRules) {
  EXPECT_EQ(CompanionFileName("MYBOX.BFG"), "MYBOX.BFE");
  EXPECT_EQ(CompanionFileName("C:\\X.Y\\BOX.BFG"), "C:\\X.BFE");
  EXPECT_TRUE(HasBoxExtension("MYBOX.BFG"));
  EXPECT_TRUE(HasBoxExtension("mybox.bfg"));
  EXPECT_FALSE(HasBoxExtension("C:\\X.Y\\BOX.BFG")) << "second field is Y\\BOX";
  EXPECT_FALSE(HasBoxExtension("MYBOX.TXT"));
  EXPECT_FALSE(HasBoxExtension("MYBOX"));
}

// Runs in a scratch directory that is also the current directory, where the
// RFC/Client style looks for its box files.
class ReadBoxConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    run().log.SetMainLog(log::Logger::OpenLogFile("QUORIX.LOG"), "");
  }
  void TearDown() override {
    run().log.CloseLogs();
    std::filesystem::current_path(old_cwd_);
  }
  run::Run& run() { return t_.run; }
  bool Read(const std::string& name, bool xp2) {
    run().env.is_xp2 = xp2 ? 1 : 0;
    run().env.is_rfc_client = xp2 ? 0 : 1;
    box_ = ReadBoxConfig(run(), {run().log, 1}, name);
    // As the worker that reads the box does.
    if (box_.read) {
      run::Slot& slot = run().slots[1];
      slot.web = ReadWebSettings(run().env, {run().log, 1}, box_.text, slot.web, slot.box_file).web;
    }
    return box_.read;
  }
  std::string Log() { return dir_.Read("QUORIX.LOG"); }

  testing::ScratchDir dir_;
  testing::TestRun t_;
  std::filesystem::path old_cwd_;
  BoxConfig box_;
};

TEST_F(ReadBoxConfigTest, MissingBoxFileLogsWaitsAndFails) {
  EXPECT_FALSE(Read("NOBOX.BFG", true));
  EXPECT_NE(
      Log().find("! 14:03:59  QUORIX #1: Error: Configurationfile 'NOBOX.BFG' not found!\r\n"),
      std::string::npos)
      << Log();
  // For the panel during the pause, which the worker makes (core's workers
  // test counts it); nothing of the slot is written here.
  EXPECT_EQ(box_.missing, "Error: Configurationfile 'NOBOX.BFG' not found!");
  EXPECT_EQ(run().slots[1].status.Get(), "");
  EXPECT_TRUE(box_.text.empty());
  EXPECT_FALSE(dir_.Exists("NOBOX.BFG"));
}

TEST_F(ReadBoxConfigTest, BoxFileWinsOverCompanionAndCompanionKeysAreFound) {
  dir_.Write("MYBOX.BFG", "WebServer=box.example\r\n");
  dir_.Write("MYBOX.BFE", "WebServer=companion.example\r\nWebUser=fromcompanion\r\n");
  ASSERT_TRUE(Read("MYBOX.BFG", true));
  EXPECT_EQ(run().slots[1].web.server, "box.example");
  EXPECT_EQ(run().slots[1].web.user, "fromcompanion");
}

TEST_F(ReadBoxConfigTest, ExOverrideInCompanionWinsOverBoxFile) {
  dir_.Write("MYBOX.BFG", "WebServer=box.example\r\n");
  dir_.Write("MYBOX.BFE", "ExWebServer=override.example\r\n");
  ASSERT_TRUE(Read("MYBOX.BFG", true));
  EXPECT_EQ(run().slots[1].web.server, "override.example");
}

TEST_F(ReadBoxConfigTest, KeysBeyondTheBoxFileLimitAreNotSeen) {
  dir_.Write("BIG.BFG", std::string(kBoxFileLimit - 10, ';') + "\r\nWebServer=late.example\r\n");
  ASSERT_TRUE(Read("BIG.BFG", true));
  EXPECT_EQ(run().slots[1].web.server, "");
}

TEST_F(ReadBoxConfigTest, LastLineWithoutLineEndIsSeenThroughTheAppendedCrLf) {
  dir_.Write("MYBOX.BFG", "WebServer=unterminated.example");
  ASSERT_TRUE(Read("MYBOX.BFG", true));
  EXPECT_EQ(run().slots[1].web.server, "unterminated.example");
}

TEST_F(ReadBoxConfigTest, RfcPppAcceptsLowerCaseExtensionAndRefusesOthers) {
  dir_.Write("mybox.bfg", "WebServer=a\r\n");
  EXPECT_TRUE(Read("mybox.bfg", true));
  dir_.Write("MYBOX.TXT", "WebServer=a\r\n");
  EXPECT_FALSE(Read("MYBOX.TXT", true));
}

TEST_F(ReadBoxConfigTest, RfcClientReadsTheRewrittenNameFromTheCurrentDirectory) {
  dir_.Write("MYBOX.BFG", "Client-WebServer=client.example\r\n");
  ASSERT_TRUE(Read("C:\\XP\\BOXES\\MYBOX.TXT", false));
  EXPECT_EQ(run().slots[1].web.server, "client.example");
}

TEST_F(ReadBoxConfigTest, BinaryGarbageIsReadWithoutHarm) {
  std::string garbage;
  for (int i = 0; i < 20000; ++i) garbage.push_back(static_cast<char>((i * 7919) & 0xFF));
  dir_.Write("JUNK.BFG", garbage + "\nWebServer=after.example\n");
  ASSERT_TRUE(Read("JUNK.BFG", true));
  EXPECT_EQ(run().slots[1].web.port, 119);
}

TEST_F(ReadBoxConfigTest, DebugLineNamesTheStyle) {
  run().log.set_debug_mode(true);
  dir_.Write("MYBOX.BFG", "\r\n");
  ASSERT_TRUE(Read("MYBOX.BFG", true));
  EXPECT_NE(Log().find("QUORIX #1: Reading CrossPoints RFC/PPP Configuration\r\n"),
            std::string::npos);
  ASSERT_TRUE(Read("MYBOX.BFG", false));
  EXPECT_NE(Log().find("QUORIX #1: Reading OpenXP RFC/Client Configuration\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace quorix::config
