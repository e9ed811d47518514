#include "core/command_line.h"

#include <gtest/gtest.h>

namespace quorix::core {
namespace {

CommandLine Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "quorix");
  return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(ParseCommandLine, UsageForEmptyTailOrQuestionMark) {
  EXPECT_TRUE(Parse({}).usage);
  EXPECT_TRUE(Parse({"BOX.BFG", "/?"}).usage);
  EXPECT_TRUE(Parse({"a?b"}).usage);
  EXPECT_FALSE(Parse({"BOX.BFG"}).usage);
}

TEST(ParseCommandLine, ThreeBlanksKeepTwoAndGiveAnEmptyField) {
  const CommandLine line = Parse({"A.BFG   B.BFG"});
  EXPECT_EQ(line.argument_text, "A.BFG  B.BFG");
  EXPECT_EQ(BoxNames(line.argument_text), (std::vector<std::string>{"A.BFG", "", "B.BFG"}));
}

TEST(ParseCommandLine, OptionsInAnyCaseAndOptionOnlyTail) {
  const CommandLine two = Parse({"A.BFG", "B.BFG", "/nopost"});
  EXPECT_EQ(two.argument_text, "A.BFG B.BFG");
  EXPECT_TRUE(two.no_post);
  const CommandLine only = Parse({"/NOPOST"});
  EXPECT_EQ(only.argument_text, "");
  EXPECT_TRUE(only.no_post);
  EXPECT_TRUE(BoxNames(only.argument_text).empty());
  EXPECT_FALSE(Parse({"A.BFG", "/DEBUG"}).no_post);
}

TEST(ParseCommandLine, AbsoluteBoxPathsStayIntact) {
  const CommandLine line = Parse({"/srv/xp/BOX.BFG", "/tmp/NOPOST/B.BFG", "/NoPost"});
  EXPECT_EQ(line.argument_text, "/srv/xp/BOX.BFG /tmp/NOPOST/B.BFG");
  EXPECT_TRUE(line.no_post);
  EXPECT_FALSE(Parse({"/tmp/NOPOST/B.BFG"}).no_post);
}

TEST(ParseCommandLine, BlanksAroundAreTrimmed) {
  EXPECT_EQ(Parse({"  A.BFG  "}).argument_text, "A.BFG");
  EXPECT_EQ(Parse({"A.BFG", " /NOPOST"}).argument_text, "A.BFG");
}

TEST(BoxNames, NineNamesAreNine) {
  EXPECT_EQ(BoxNames("1 2 3 4 5 6 7 8 9").size(), 9u);
}

}  // namespace
}  // namespace quorix::core
