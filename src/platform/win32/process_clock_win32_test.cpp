// Process facts and the clock on Windows.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/win32/windows_api.h"

namespace quorix::platform {
namespace {

TEST(ProcessWin32, EnvironmentAndDirectories) {
  ASSERT_TRUE(::SetEnvironmentVariableA("QUORIX_TEST_VALUE", "C:\\XP\\LOG"));
  EXPECT_EQ(GetEnvironment("QUORIX_TEST_VALUE"), "C:\\XP\\LOG");
  ::SetEnvironmentVariableA("QUORIX_TEST_VALUE", nullptr);
  EXPECT_EQ(GetEnvironment("QUORIX_TEST_VALUE"), "");
  const std::string long_value(5000, 'x');  // longer than the first buffer
  ASSERT_TRUE(::SetEnvironmentVariableA("QUORIX_TEST_LONG", long_value.c_str()));
  EXPECT_EQ(GetEnvironment("QUORIX_TEST_LONG"), long_value);

  const std::string temp = TempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_NE(temp.back(), '\\');
  EXPECT_TRUE(std::filesystem::is_directory(temp));
  EXPECT_TRUE(std::filesystem::equivalent(CurrentDirectory(), std::filesystem::current_path()));
}

TEST(SystemClockWin32, FieldsAgree) {
  const LocalTime now = SystemClock().Now();
  EXPECT_GE(now.year, 2020);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.day_of_week, 0);
  EXPECT_LE(now.day_of_week, 6);
  const double whole = now.hour * 3600.0 + now.minute * 60.0 + now.second;
  EXPECT_GE(now.seconds_since_midnight, whole);
  EXPECT_LT(now.seconds_since_midnight, whole + 1.0);
}

}  // namespace
}  // namespace quorix::platform
