#include "bases/spool_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bases/test_installation.h"

namespace quorix::bases {
namespace {

using testing::TestInstallation;

std::string Name(int number) { return SpoolFileName("", number); }

class SpoolNames : public ::testing::Test {
 protected:
  SpoolNames() {
    std::filesystem::create_directory(t_.Path("SPOOL"));
    spool_ = t_.dir() + "/SPOOL\\";
  }
  // As a delivery names a page's file: the smallest free number, then the
  // rename. Returns the name without the folder, "" when it failed.
  std::string Take(const std::string& temp = "QX1-1.tmp") {
    platform::NamedLock lock(t_.run().delivery.mutex());
    const int number = NextFreeNumber(SpoolNumbers(t_.run(), spool_), 0);
    return Rename(temp, SpoolFileName(spool_, number));
  }
  std::string Rename(const std::string& temp, std::string name)
      REQUIRES(t_.run().delivery.mutex()) {
    t_.Write("SPOOL/" + temp, "new");
    const auto attempt = [this](const std::string& tried) {
      tried_.push_back(tried.substr(spool_.size()));
    };
    if (!RenameIntoSpool(t_.run(), spool_ + temp, &name, attempt)) return "";
    return name.substr(spool_.size());
  }
  void Touch(const std::string& name) { t_.Write("SPOOL/" + name, "old"); }

  TestInstallation t_;
  std::string spool_;
  std::vector<std::string> tried_;
};

TEST(SpoolFileName, SixDigitsAndThePlatformsExtension) {
#ifdef _WIN32
  EXPECT_EQ(SpoolFileName("S\\", 42), "S\\N000042.MSG");
#else
  EXPECT_EQ(SpoolFileName("S\\", 42), "S\\N000042.msg");
#endif
  EXPECT_EQ(SpoolFileName("", 999999).substr(0, 7), "N999999");
}

// The smallest number that the listing (letter case ignored) shows free, then
// upward; only names of the spool form count.
TEST_F(SpoolNames, SmallestFreeNumberInOneListing) {
  struct Case {
    std::vector<std::string> existing;
    std::vector<int> taken;
  };
  const Case cases[] = {
      {{}, {0, 1, 2}},
      {{"N000000.MSG", "n000001.Msg", "NABCDEF.MSG", "N0000003.MSG", "N000002.txt"}, {2, 3}},
      {{"N000001.msg"}, {0, 2}},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(t_.Path("SPOOL"));
    std::filesystem::create_directory(t_.Path("SPOOL"));
    t_.run().delivery.Clear();
    for (const std::string& name : c.existing) Touch(name);
    for (int number : c.taken) EXPECT_EQ(Take(), Name(number)) << c.existing.size();
    for (const std::string& name : c.existing) EXPECT_EQ(t_.Read("SPOOL/" + name), "old") << name;
  }
}

TEST_F(SpoolNames, NameTakenSinceTheListingIsNeverReplaced) {
  EXPECT_EQ(Take(), Name(0));
  Touch(Name(1));  // after the listing: only the rename finds it
  Touch(Name(2));
  tried_.clear();
  EXPECT_EQ(Take(), Name(3));
  EXPECT_EQ(tried_, (std::vector<std::string>{Name(1), Name(2), Name(3)}));
  EXPECT_EQ(t_.Read("SPOOL/" + Name(1)), "old");
  EXPECT_EQ(t_.Read("SPOOL/" + Name(3)), "new");
  tried_.clear();
  EXPECT_EQ(Take(), Name(4)) << "the numbers found taken are remembered";
  EXPECT_EQ(tried_, std::vector<std::string>{Name(4)});
}

// The journal's recovery at the load: no listing yet, so each next number is
// tried in turn; a name without a spool number is tried once.
TEST_F(SpoolNames, WithoutAListingEachNextNumberIsTried) {
  Touch(Name(3));
  Touch(Name(4));
  Touch("OTHER.TXT");
  platform::NamedLock lock(t_.run().delivery.mutex());
  EXPECT_EQ(Rename("QX1-1.tmp", SpoolFileName(spool_, 3)), Name(5));
  EXPECT_EQ(Rename("QX1-2.tmp", spool_ + "OTHER.TXT"), "");
  EXPECT_EQ(tried_, (std::vector<std::string>{Name(3), Name(4), Name(5), "OTHER.TXT"}));
  EXPECT_EQ(t_.Read("SPOOL/OTHER.TXT"), "old");
}

TEST_F(SpoolNames, MissingFolderFailsWithTheNameTried) {
  const std::string missing = t_.dir() + "/NOWHERE\\";
  platform::NamedLock lock(t_.run().delivery.mutex());
  std::string name = SpoolFileName(missing, NextFreeNumber(SpoolNumbers(t_.run(), missing), 0));
  EXPECT_FALSE(RenameIntoSpool(t_.run(), spool_ + "QX1-1.tmp", &name));
  EXPECT_EQ(name, missing + Name(0));
}

TEST_F(SpoolNames, ListingDeletesDeadWritersTemporariesOnly) {
  Touch("QX3-45.tmp");
  Touch("QX3-46.tmp");
  Touch("QX.tmp");
  platform::NamedLock lock(t_.run().delivery.mutex());
  t_.run().delivery.journal().waiting_temps.insert(spool_ + "QX3-46.tmp");
  SpoolNumbers(t_.run(), spool_);
  EXPECT_FALSE(t_.Exists("SPOOL/QX3-45.tmp"));
  EXPECT_TRUE(t_.Exists("SPOOL/QX3-46.tmp")) << "its record waits for the rename";
  EXPECT_TRUE(t_.Exists("SPOOL/QX.tmp"));
}

TEST_F(SpoolNames, ThreadsNeverShareANumber) {
  std::vector<std::vector<std::string>> names(4);
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([this, &names, thread] {
      for (int i = 0; i < 25; ++i) {
        std::string name = Take("QX" + std::to_string(thread) + "-" + std::to_string(i) + ".tmp");
        if (!name.empty()) names[thread].push_back(name);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<std::string> all;
  for (const auto& list : names) all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), 100u);
  EXPECT_EQ(*all.rbegin(), Name(99));
}

}  // namespace
}  // namespace quorix::bases
