#include "console/colours.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "console/console_test_support.h"

namespace quorix::console {
namespace {

struct ColourCase {
  std::string file_text;
  uint16_t frame;
  uint16_t value;
  uint16_t title;
};

TEST(ParseColourText, MailerLines) {
  const ColourCase cases[] = {
      {"mailer=$1F $4E $0A", 31, 78, 10},
      {"MAILER=7 15 14", 7, 15, 14},
      {"MAILER=7 15 14\r\n", 7, 15, 14},
      {"Mailer $1f $4e $0a\r\n", 31, 78, 10},  // any separator, hex in lower case
      {"", 7, 15, 15},                         // the defaults
      {"LISTER=$1F $1F $1F\r\nMENU=3 3 3\r\n", 7, 15, 15},
      {"MAILER=1 2 3\nMAILER=4 5 6\n", 4, 5, 6},   // the last line wins
      {"MAILER=1 2 3\nxMAILER=4 5 6\n", 1, 2, 3},  // only at the start of a line
      {"MAILER=$1F $4E $0A $77 $78", 31, 78, 10},  // 11 characters taken
      {"MAILER=12345678901234", 7221, 0, 0},       // 12345678901 kept to 16 bits
      {"MAILER=$1F  $4E $0A", 31, 0, 78},          // an empty field reads 0
      {"MAILER=zz $G1 &hFF", 0, 0, 255},
      {"MAILER", 0, 0, 0},
      {"MAILER=", 0, 0, 0},
      {"MAILER=-1 99999 $", 65535, 34463, 0},  // kept to 16 bits
      {"MAILER=$FFFFFF 7 7", 65535, 7, 7},
      {std::string("MAILER=") + std::string("\0\x01\xFF", 3) + " 3 4", 0, 3, 4},
      {"MAILER=7 15 1\r", 7, 15, 1},  // CR at the end of the file
  };
  for (const ColourCase& c : cases) {
    SCOPED_TRACE(c.file_text);
    const DisplayColours colours = ParseColourText(c.file_text);
    EXPECT_EQ(colours.frame, c.frame);
    EXPECT_EQ(colours.value, c.value);
    EXPECT_EQ(colours.title, c.title);
  }
}

TEST(ParseColourText, FedInPiecesGivesTheSameText) {
  const std::string file = "X=1\r\nmailer=$1F $4E $0A\r\nMAIL=2\r\nMAILER 3 4 5\r\nEND";
  ColourTextScanner scanner;
  for (char c : file) scanner.Feed(std::string_view(&c, 1));
  EXPECT_EQ(scanner.Finish(), "3 4 5");
}

TEST(ParseColourText, HugeLinesCostNoMemory) {
  std::string file =
      "MAILER=1 2 3" + std::string(5'000'000, 'x') + "\nnoise" + std::string(5'000'000, '\r');
  const DisplayColours colours = ParseColourText(file);
  EXPECT_EQ(colours.frame, 1);
  EXPECT_EQ(colours.value, 2);
  EXPECT_EQ(colours.title, 3);  // the 11 characters are "1 2 3xxxxxx"
}

TEST(ReadColours, FromTheProgramDirectory) {
  platform::HeadlessConsole console(25, 80, false);
  testing::ConsoleRun r(console);
  r.dir.Write("XPOINT.COL", "LISTER=1 1 1\r\nMAILER=$1F $4E $0A\r\n");
  uint16_t frame = 0, value = 0, title = 0;
  ReadColours(r.run, &frame, &value, &title);
  EXPECT_EQ(frame, 31);
  EXPECT_EQ(value, 78);
  EXPECT_EQ(title, 10);
  EXPECT_TRUE(r.Logged("Using CrossPoint Mailer Colors ", log::kDebug, 0));
}

TEST(ReadColours, FoundInAnyLetterCase) {
  platform::HeadlessConsole console(25, 80, false);
  testing::ConsoleRun r(console);
  r.dir.Write("xpoint.col", "MAILER=7 15 14\r\n");
  uint16_t frame = 0, value = 0, title = 0;
  ReadColours(r.run, &frame, &value, &title);
  EXPECT_EQ(title, 14);
}

TEST(ReadColours, MissingFileGivesDefaultsSilently) {
  platform::HeadlessConsole console(25, 80, false);
  testing::ConsoleRun r(console);
  uint16_t frame = 0, value = 0, title = 0;
  ReadColours(r.run, &frame, &value, &title);
  EXPECT_EQ(frame, 7);
  EXPECT_EQ(value, 15);
  EXPECT_EQ(title, 15);
  EXPECT_EQ(r.LogText().find("Colors"), std::string::npos);
}

TEST(ReadColours, UnreadableFileIsLoggedAndGivesDefaults) {
  platform::HeadlessConsole console(25, 80, false);
  testing::ConsoleRun r(console);
  r.dir.Write("XPOINT.COL", "MAILER=1 2 3\r\n");
  std::filesystem::permissions(r.dir.PathOf("XPOINT.COL"), std::filesystem::perms::none);
  if (platform::File::Open(r.dir.PathOf("XPOINT.COL"), platform::Access::kRead,
                           platform::Sharing::kShared, platform::Missing::kFail)
          .IsOpen()) {
    GTEST_SKIP() << "this user reads files without read permission";
  }
  uint16_t frame = 0, value = 0, title = 0;
  ReadColours(r.run, &frame, &value, &title);
  EXPECT_EQ(frame, 7);
  EXPECT_EQ(value, 15);
  EXPECT_EQ(title, 15);
  EXPECT_TRUE(r.Logged("Error Reading XPOINT.COL", log::kProblem, log::kMainThread));
}

}  // namespace
}  // namespace quorix::console
