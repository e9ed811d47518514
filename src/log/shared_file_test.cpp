#include "log/shared_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/test_util.h"
#include "text/text.h"

namespace quorix::log {
namespace {

using platform::testing::FakeClock;
using platform::testing::ReadTestFile;
using platform::testing::ScratchDir;

constexpr char kHeader[] = "----------  Fri 05 Mar 04, Korvendale/News v0.23g\r\n";

class OpenSharedTest : public ::testing::Test {
 protected:
  OpenSharedTest() {
    clock_.Set(2004, 3, 5, 5, 14, 3, 59);
    logger_.SetMainLog(Logger::OpenLogFile(dir_ / "QUORIX.LOG"), "");
  }
  // The log after its header.
  std::string LogBody() const {
    return ReadTestFile(dir_ / "QUORIX.LOG").substr(sizeof(kHeader) - 1);
  }

  FakeClock clock_;
  ScratchDir dir_;
  Logger logger_{clock_, "QUORIX ", "v0.23g"};
  platform::NamedMutex mutex_{"quorix_test_log_fileopen"};
};

TEST_F(OpenSharedTest, MissingFileIsCreatedEmpty) {
  platform::File file;
  const std::string name = dir_ / "BOX.WEB";
  EXPECT_TRUE(OpenShared(mutex_, logger_, name, 1, &file));
  EXPECT_TRUE(file.IsOpen());
  EXPECT_TRUE(std::filesystem::exists(name));
  EXPECT_EQ(file.Size(), 0);
  EXPECT_EQ(LogBody(), "");
}

TEST_F(OpenSharedTest, ExistingFileOpensReadWriteAtTheStart) {
  const std::string name = dir_ / "BOX.BFG";
  {
    std::ofstream out(name, std::ios::binary);
    out << "WebServer=x\r\n";
  }
  platform::File file;
  ASSERT_TRUE(OpenShared(mutex_, logger_, name, 1, &file));
  std::string content;
  ASSERT_TRUE(file.ReadToEnd(&content));
  EXPECT_EQ(content, "WebServer=x\r\n");
  EXPECT_TRUE(file.Write("Added=1\r\n"));
  file.Close();
  EXPECT_EQ(ReadTestFile(name), "WebServer=x\r\nAdded=1\r\n");
}

TEST_F(OpenSharedTest, UnopenableNameIsLoggedAtLevelTwo) {
  const std::string name = dir_ / "NODIR/BOX.WEB";
  platform::File file =
      platform::File::Open(dir_ / "other", platform::Access::kReadWrite, platform::Sharing::kShared,
                           platform::Missing::kCreate);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_FALSE(OpenShared(mutex_, logger_, name, 3, &file));
  EXPECT_FALSE(file.IsOpen());  // whatever it held is closed

  const std::string body = LogBody();
  const std::string prefix = "? 14:03:59  QUORIX #3: Error (";
  const std::string suffix = ") Opening " + name + "\r\n";
  ASSERT_GT(body.size(), prefix.size() + suffix.size());
  EXPECT_EQ(body.substr(0, prefix.size()), prefix);
  EXPECT_EQ(body.substr(body.size() - suffix.size()), suffix);
  const std::string number =
      body.substr(prefix.size(), body.size() - prefix.size() - suffix.size());
  EXPECT_FALSE(number.empty());
  EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << number;
  EXPECT_GT(text::LeadingNumber(number), 0);
}

TEST_F(OpenSharedTest, MainThreadFailureHasBlankTag) {
  platform::File file;
  const std::string name = dir_.path();  // a directory is not a file
  EXPECT_FALSE(OpenShared(mutex_, logger_, name, kMainThread, &file));
  EXPECT_EQ(LogBody().substr(0, 30), "? 14:03:59  QUORIX   : Error (");
}

TEST_F(OpenSharedTest, MutexIsReleasedAfterFailureAndSuccess) {
  // A mutex left held would make the next open wait for ever.
  platform::File file;
  EXPECT_FALSE(OpenShared(mutex_, logger_, dir_ / "NODIR/X", 1, &file));
  EXPECT_TRUE(OpenShared(mutex_, logger_, dir_ / "A", 1, &file));
  EXPECT_TRUE(OpenShared(mutex_, logger_, dir_ / "B", 1, &file));
  mutex_.lock();
  mutex_.unlock();
}

// A file that this process may read but not write: a read-only file, or,
// for a user whom file modes do not stop, the running test program itself
// (the system refuses to write a program while it runs). Empty when neither.
std::string UnwritableFile(const std::string& scratch_name) {
  {
    std::ofstream out(scratch_name, std::ios::binary);
    out << "article";
  }
  std::filesystem::permissions(scratch_name, std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::group_read |
                                                 std::filesystem::perms::others_read);
  if (!std::ofstream(scratch_name, std::ios::app).is_open()) return scratch_name;
  const std::string self = "/proc/self/exe";
  if (std::filesystem::exists(self) && !std::ofstream(self, std::ios::app).is_open()) return self;
  return "";
}

TEST_F(OpenSharedTest, UnwritableFileFallsBackToReading) {
  const std::string scratch_name = dir_ / "RO.OUT";
  const std::string name = UnwritableFile(scratch_name);
  if (name.empty()) GTEST_SKIP() << "no file here refuses writing";
  platform::File file;
  ASSERT_TRUE(OpenShared(mutex_, logger_, name, 1, &file));
  char start[7] = {};
  EXPECT_GT(file.Read(start, sizeof(start)), 0);
  if (name == scratch_name) {
    EXPECT_EQ(std::string(start, sizeof(start)), "article");
    EXPECT_FALSE(file.Write("x"));  // never tried on the running program
  }
  EXPECT_EQ(LogBody(), "");
}

}  // namespace
}  // namespace quorix::log
