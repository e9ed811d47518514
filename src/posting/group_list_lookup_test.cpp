#include "posting/group_list_lookup.h"

#include <gtest/gtest.h>

#include <string>

namespace quorix::posting {
namespace {

constexpr char kGroupList[] =
    "; forums of the test box\r\n"
    "de.test.forum,General+Talk,3,30\r\n"
    "de.test.other , Other+Forum , 12 , 10\r\n"
    "de.test.dup,Second+Match,3,30\r\n"
    "\r\n";

TEST(FindForumByNewsgroup, FirstMatchingLineWithTrimmedFields) {
  auto forum = FindForumByNewsgroup(kGroupList, "de.test.forum");
  ASSERT_TRUE(forum.has_value());
  EXPECT_EQ(forum->forum_name, "General+Talk");
  EXPECT_EQ(forum->forum_number, "3");
  forum = FindForumByNewsgroup(kGroupList, "de.test.other");
  ASSERT_TRUE(forum.has_value());
  EXPECT_EQ(forum->forum_name, "Other+Forum");
  EXPECT_EQ(forum->forum_number, "12");
}

TEST(FindForumByNewsgroup, NoMatch) {
  EXPECT_FALSE(FindForumByNewsgroup(kGroupList, "de.test.forum,de.test.other").has_value());
  EXPECT_FALSE(FindForumByNewsgroup(kGroupList, "de.test").has_value());
  EXPECT_FALSE(FindForumByNewsgroup(kGroupList, "").has_value());  // empty lines do not count
  EXPECT_FALSE(FindForumByNewsgroup("", "de.test.forum").has_value());
}

TEST(FindForumByNumber, FirstLineWithThatNumber) {
  auto forum = FindForumByNumber(kGroupList, "3");
  ASSERT_TRUE(forum.has_value());
  EXPECT_EQ(forum->forum_name, "General+Talk");
  EXPECT_FALSE(FindForumByNumber(kGroupList, "03").has_value());  // compared as text
  EXPECT_FALSE(FindForumByNumber(kGroupList, "").has_value());
}

TEST(GroupListLines, LfOnlyListOffersOnlyItsFirstEntry) {
  const std::string lf_only = "de.a,Forum+One,1,20\nde.b,Forum+Two,2,20\n";
  auto first = FindForumByNewsgroup(lf_only, "de.a");
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->forum_name, "Forum+One");
  EXPECT_EQ(first->forum_number, "1");
  EXPECT_FALSE(FindForumByNewsgroup(lf_only, "de.b").has_value());
  EXPECT_FALSE(FindForumByNumber(lf_only, "2").has_value());
  EXPECT_TRUE(FindForumByNumber(lf_only, "1").has_value());
}

TEST(GroupListLines, LastLineWithoutLineEndCounts) {
  auto forum = FindForumByNewsgroup("x,A,1\r\nde.last,Last,9", "de.last");
  ASSERT_TRUE(forum.has_value());
  EXPECT_EQ(forum->forum_number, "9");
}

TEST(GroupListLines, ManyEntriesStayLinear) {
  std::string list;
  for (int i = 0; i < 20000; ++i) {
    list += "de.group" + std::to_string(i) + ",Forum+" + std::to_string(i) + "," +
            std::to_string(i) + ",30\r\n";
  }
  auto forum = FindForumByNewsgroup(list, "de.group19999");
  ASSERT_TRUE(forum.has_value());
  EXPECT_EQ(forum->forum_number, "19999");
}

}  // namespace
}  // namespace quorix::posting
