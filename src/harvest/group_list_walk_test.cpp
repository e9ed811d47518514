#include "harvest/group_list_walk.h"

#include <gtest/gtest.h>

#include <string>

namespace quorix::harvest {
namespace {

TEST(NormaliseGroupList, WritesEveryLineBackWithCrLf) {
  struct Case {
    std::string file;
    std::string written;
  };
  const Case cases[] = {
      // Comment lines stay.
      {"de.a,Forum+One,1,20\r\n;comment\r\nde.b,Forum+Two,2,20\r\n",
       "de.a,Forum+One,1,20\r\n;comment\r\nde.b,Forum+Two,2,20\r\n"},
      // A last line without its line end gets CR LF.
      {"de.a,Forum+One,1,20\r\nde.b,Forum+Two,2,20",
       "de.a,Forum+One,1,20\r\nde.b,Forum+Two,2,20\r\n"},
      // Single empty lines between the entries disappear.
      {"de.a,F,1,20\r\n\r\nde.b,G,2,20\r\n\r\nde.c,H,3,20\r\n",
       "de.a,F,1,20\r\nde.b,G,2,20\r\nde.c,H,3,20\r\n"},
      // LF line ends become CR LF; the CR LF appended to such a text leaves
      // one empty line at the end.
      {"de.a,F,1,20\nde.b,G,2,20\n", "de.a,F,1,20\r\nde.b,G,2,20\r\n\r\n"},
      {"de.a,F,1,20\r\nde.b,G,2,20\r\n\r\n", "de.a,F,1,20\r\nde.b,G,2,20\r\n\r\n"},
      // Stray CRs are dropped.
      {"de.a,F\r,1,20\r\r\n", "de.a,F,1,20\r\n"},
      // Two adjacent blanks become one, in one pass: three become two.
      {"de.a,General  Talk,1,20\r\n", "de.a,General Talk,1,20\r\n"},
      {"de.a,General   Talk,1,20\r\n", "de.a,General  Talk,1,20\r\n"},
      {"", "\r\n"},
      {"\r\n", "\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormaliseGroupList(c.file), c.written) << c.file;
  }
}

TEST(NormaliseGroupList, RunsOfEmptyLinesKeepHalfOfThemLessOne) {
  // k empty lines keep ceil((k + 1) / 2) - 1 of them.
  const int kept[] = {0, 0, 1, 1, 2, 2, 3};
  for (int k = 0; k <= 6; ++k) {
    std::string file = "a\r\n";
    for (int i = 0; i < k; ++i) file += "\r\n";
    file += "b\r\n";
    std::string expected = "a\r\n";
    for (int i = 0; i < kept[k]; ++i) expected += "\r\n";
    expected += "b\r\n";
    EXPECT_EQ(NormaliseGroupList(file), expected) << k << " empty lines";
  }
}

TEST(NormaliseGroupList, EachRewriteHalvesARunOfEmptyLinesAgain) {
  const std::string once = NormaliseGroupList("x,A,1,2\n\n\n\n;c  d\ny,B,2,3");
  EXPECT_EQ(once, "x,A,1,2\r\n\r\n;c d\r\ny,B,2,3\r\n");
  EXPECT_EQ(NormaliseGroupList(once), "x,A,1,2\r\n;c d\r\ny,B,2,3\r\n");
}

TEST(GroupListLines, CleanedTextGivesOneLineMoreThanLineFeeds) {
  const std::string cleaned = CleanGroupListText("de.a,F,1,20\r\n;x\r\nde.b,G,2,20");
  const auto lines = GroupListLines(cleaned);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "de.a,F,1,20");
  EXPECT_EQ(lines[1], ";x");
  EXPECT_EQ(lines[2], "de.b,G,2,20");
  EXPECT_EQ(lines[3], "");
}

TEST(IsGroupEntry, OnlyLinesBeginningWithAnAsciiLetterOrDigit) {
  for (const char* line : {"de.a,F,1,2", "A", "z", "0test", "9"}) {
    EXPECT_TRUE(IsGroupEntry(line)) << line;
  }
  for (const char* line : {"", " de.a,F,1,2", ";de.a", "#x", "-x", "\xE4x", "\tx", ".x"}) {
    EXPECT_FALSE(IsGroupEntry(line)) << line;
  }
}

TEST(ParseGroupEntry, TakesFourFieldsTrimmedAndNumbered) {
  struct Case {
    std::string line;
    std::string newsgroup;
    std::string forum_name;
    int forum_number;
    int days;
  };
  const Case cases[] = {
      {"de.test.forum,General+Talk,3,30", "de.test.forum", "General+Talk", 3, 30},
      {"test,Forum", "test", "Forum", 0, 0},
      {"de.a , Forum+One ,  7 ,20 days,ignored,more", "de.a", "Forum+One", 7, 20},
      {"de.a,,x,", "de.a", "", 0, 0},
      {"de.a,F,-3,99999999999", "de.a", "F", -3, 2147483647},
      {"x", "x", "", 0, 0},
  };
  for (const Case& c : cases) {
    const GroupEntry entry = ParseGroupEntry(c.line);
    EXPECT_EQ(entry.newsgroup, c.newsgroup) << c.line;
    EXPECT_EQ(entry.forum_name, c.forum_name) << c.line;
    EXPECT_EQ(entry.forum_number, c.forum_number) << c.line;
    EXPECT_EQ(entry.days, c.days) << c.line;
  }
}

}  // namespace
}  // namespace quorix::harvest
