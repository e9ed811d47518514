#include <stdlib.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/test_util.h"
#include "platform/process.h"

namespace quorix::platform {
namespace {

using testing::CurrentDirectoryGuard;
using testing::ScratchDirectory;

class EnvironmentGuard {
 public:
  explicit EnvironmentGuard(const char* name) : name_(name), had_(::getenv(name) != nullptr) {
    if (had_) saved_ = ::getenv(name);
  }
  ~EnvironmentGuard() {
    if (had_) {
      ::setenv(name_, saved_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_;
  std::string saved_;
};

TEST(Process, EnvironmentVariables) {
  EnvironmentGuard guard("QUORIX_TEST_VALUE");
  ::unsetenv("QUORIX_TEST_VALUE");
  EXPECT_EQ(GetEnvironment("QUORIX_TEST_VALUE"), "");
  ::setenv("QUORIX_TEST_VALUE", "German 1", 1);
  EXPECT_EQ(GetEnvironment("QUORIX_TEST_VALUE"), "German 1");
}

TEST(Process, TempDirectoryHasNoTrailingSeparator) {
  EnvironmentGuard guard("TMPDIR");
  ::setenv("TMPDIR", "/var/tmp/quorix/", 1);
  EXPECT_EQ(TempDirectory(), "/var/tmp/quorix");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(TempDirectory(), "/tmp");
}

TEST(Process, CurrentDirectory) {
  ScratchDirectory dir;
  CurrentDirectoryGuard guard;
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  char real[4096];
  ASSERT_NE(::realpath(dir.path().c_str(), real), nullptr);
  EXPECT_EQ(CurrentDirectory(), real);
}

TEST(SystemClock, FieldsAgree) {
  const LocalTime now = SystemClock().Now();
  EXPECT_GE(now.year, 2020);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.day, 1);
  EXPECT_LE(now.day, 31);
  EXPECT_GE(now.day_of_week, 0);
  EXPECT_LE(now.day_of_week, 6);
  const double whole = now.hour * 3600.0 + now.minute * 60.0 + now.second;
  EXPECT_GE(now.seconds_since_midnight, whole);
  EXPECT_LT(now.seconds_since_midnight, whole + 1.0);
}

}  // namespace
}  // namespace quorix::platform
