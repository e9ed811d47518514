#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/terminal_console.h"

namespace quorix::platform {
namespace {

TEST(CharsetFromLocale, FirstSetVariableDecides) {
  EXPECT_EQ(CharsetFromLocale("", "", "de_DE.UTF-8"), TerminalCharset::kUtf8);
  EXPECT_EQ(CharsetFromLocale("", "", "en_US.utf8"), TerminalCharset::kUtf8);
  EXPECT_EQ(CharsetFromLocale("", "C.Utf-8", "C"), TerminalCharset::kUtf8);
  EXPECT_EQ(CharsetFromLocale("C", "C.UTF-8", "C.UTF-8"), TerminalCharset::kAscii);
  EXPECT_EQ(CharsetFromLocale("", "", "de_DE.ISO-8859-1"), TerminalCharset::kAscii);
  EXPECT_EQ(CharsetFromLocale("", "", ""), TerminalCharset::kAscii);
}

TEST(TerminalHasColours, ByTermAndNoColor) {
  EXPECT_TRUE(TerminalHasColours("xterm-256color", false));
  EXPECT_TRUE(TerminalHasColours("tmux-256color", false));
  EXPECT_TRUE(TerminalHasColours("linux", false));
  EXPECT_FALSE(TerminalHasColours("xterm-256color", true));
  EXPECT_FALSE(TerminalHasColours("dumb", false));
  EXPECT_FALSE(TerminalHasColours("", false));
  EXPECT_FALSE(TerminalHasColours("xterm-mono", false));
  EXPECT_FALSE(TerminalHasColours("vt100-m", false));
}

TEST(TerminalGlyph, BoxCharactersInUtf8) {
  const struct {
    uint8_t byte;
    std::string glyph;
  } cases[] = {
      {0xDA, "\xE2\x94\x8C"},
      {0xC4, "\xE2\x94\x80"},
      {0xBF, "\xE2\x94\x90"},
      {0xB3, "\xE2\x94\x82"},
      {0xC0, "\xE2\x94\x94"},
      {0xD9, "\xE2\x94\x98"},
      {0xC3, "\xE2\x94\x9C"},
      {0xB4, "\xE2\x94\xA4"},
      {0xCD, "\xE2\x95\x90"},
      {0x81, "\xC3\xBC"},
      {0xE1, "\xC3\x9F"},
      {0xFE, "\xE2\x96\xA0"},
      {0x01, "\xE2\x98\xBA"},
      {'A', "A"},
      {0x00, " "},
      {0xFF, " "},
      {0x7F, "\xE2\x8C\x82"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.byte));
    EXPECT_EQ(TerminalGlyph(c.byte, TerminalCharset::kUtf8), c.glyph);
  }
}

TEST(TerminalGlyph, AsciiLookAlikes) {
  const std::string box = "\xDA\xC4\xBF\xB3\xC0\xD9\xC3\xB4\xCD\xBA\xDB";
  std::string shown;
  for (char c : box) shown += TerminalGlyph(static_cast<uint8_t>(c), TerminalCharset::kAscii);
  EXPECT_EQ(shown, "+-+|++++-|#");
  EXPECT_EQ(TerminalGlyph(0x84, TerminalCharset::kAscii), "a");
  EXPECT_EQ(TerminalGlyph('~', TerminalCharset::kAscii), "~");
}

TEST(TerminalGlyph, NoControlByteReachesTheTerminal) {
  for (int c = 0; c < 256; ++c) {
    for (TerminalCharset charset : {TerminalCharset::kUtf8, TerminalCharset::kAscii}) {
      const std::string_view glyph = TerminalGlyph(static_cast<uint8_t>(c), charset);
      ASSERT_FALSE(glyph.empty()) << c;
      for (char byte : glyph) {
        const auto value = static_cast<uint8_t>(byte);
        EXPECT_TRUE(value >= 0x20 && value != 0x7F) << c;
      }
    }
  }
}

TEST(AttributeSequence, Cp437BitsToAnsiColours) {
  EXPECT_EQ(AttributeSequence(0x07), "\x1b[0;39;49m");
  EXPECT_EQ(AttributeSequence(0x1F), "\x1b[0;97;44m");
  EXPECT_EQ(AttributeSequence(0x4E), "\x1b[0;93;41m");
  EXPECT_EQ(AttributeSequence(0x0A), "\x1b[0;92;49m");
  EXPECT_EQ(AttributeSequence(0x01), "\x1b[0;34;49m");
  EXPECT_EQ(AttributeSequence(0x04), "\x1b[0;31;49m");
  EXPECT_EQ(AttributeSequence(0x70), "\x1b[0;30;47m");
  EXPECT_EQ(AttributeSequence(0x83), "\x1b[0;36;100m");
}

std::vector<Cell> Blank(int rows, int columns) {
  return std::vector<Cell>(static_cast<size_t>(rows * columns));
}

TEST(TerminalRenderer, FirstRenderClearsAndDrawsWhatIsNotBlank) {
  TerminalRenderer renderer(TerminalCharset::kUtf8, true);
  std::vector<Cell> cells = Blank(3, 4);
  cells[5] = Cell{0xDA, 7};
  cells[6] = Cell{'x', 0x1F};
  EXPECT_EQ(renderer.Render(cells, 3, 4),
            "\x1b[0m\x1b[H\x1b[2J\x1b[2;2H\xE2\x94\x8C\x1b[0;97;44mx\x1b[0m");
}

TEST(TerminalRenderer, LaterRendersWriteOnlyChangedCells) {
  TerminalRenderer renderer(TerminalCharset::kUtf8, true);
  std::vector<Cell> cells = Blank(3, 4);
  renderer.Render(cells, 3, 4);
  EXPECT_EQ(renderer.Render(cells, 3, 4), "");
  cells[9] = Cell{'A', 7};
  cells[10] = Cell{'B', 7};
  cells[4] = Cell{'C', 0x4E};
  EXPECT_EQ(renderer.Render(cells, 3, 4), "\x1b[2;1H\x1b[0;93;41mC\x1b[3;2H\x1b[0;39;49mAB");
  cells[11] = Cell{'D', 7};  // the last cell of a row: the cursor is unsure afterwards
  cells[0] = Cell{'E', 7};
  EXPECT_EQ(renderer.Render(cells, 3, 4), "\x1b[1;1HE\x1b[3;4HD");
}

TEST(TerminalRenderer, NewSizeOrInvalidateDrawsEverything) {
  TerminalRenderer renderer(TerminalCharset::kAscii, false);
  std::vector<Cell> cells = Blank(2, 2);
  cells[0] = Cell{0xC4, 0x1F};
  renderer.Render(cells, 2, 2);
  renderer.Invalidate();
  EXPECT_EQ(renderer.Render(cells, 2, 2), "\x1b[0m\x1b[H\x1b[2J\x1b[1;1H-");
  std::vector<Cell> wider = Blank(2, 3);
  wider[2] = Cell{0xB3, 7};
  EXPECT_EQ(renderer.Render(wider, 2, 3), "\x1b[0m\x1b[H\x1b[2J\x1b[1;3H|");
}

TEST(TerminalRenderer, ShortGridOrNoSizeRendersNothing) {
  TerminalRenderer renderer(TerminalCharset::kUtf8, true);
  EXPECT_EQ(renderer.Render(Blank(2, 2), 3, 3), "");
  EXPECT_EQ(renderer.Render({}, 0, 0), "");
}

TEST(KeyDecoder, BytesToKeys) {
  const struct {
    std::string input;
    std::vector<int> keys;
  } cases[] = {
      {"a", {'a'}},
      {"12", {'1', '2'}},
      {"\x1b", {kKeyEscape}},
      {"\x1bx", {kKeyAltX}},
      {"\x1bX7", {kKeyAltX, '7'}},
      {"\x1b[A", {kNoKey}},
      {"\x1b[1;5A2", {kNoKey, '2'}},
      {"\x1bOP3", {kNoKey, '3'}},
      {"\x1b\x1b", {kKeyEscape, kKeyEscape}},
      {"\x1bq", {kNoKey}},
      {"\x1b[", {kNoKey}},
      {"\xff", {0xFF}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    KeyDecoder decoder;
    decoder.Feed(c.input);
    std::vector<int> keys;
    while (decoder.HasInput()) keys.push_back(decoder.Next());
    EXPECT_EQ(keys, c.keys);
    EXPECT_EQ(decoder.Next(), kNoKey);
  }
}

TEST(KeyDecoder, LoneEscapeWaitsForMore) {
  KeyDecoder decoder;
  decoder.Feed("\x1b");
  EXPECT_TRUE(decoder.EndsInUnfinishedSequence());
  decoder.Feed("x");
  EXPECT_FALSE(decoder.EndsInUnfinishedSequence());
  EXPECT_EQ(decoder.Next(), kKeyAltX);
}

TEST(KeyDecoder, CutSequenceWaitsForItsRest) {
  const struct {
    std::string pending;
    bool unfinished;
  } cases[] = {
      {"\x1b[1", true},  {"\x1b[", true},     {"\x1bO", true},    {"\x1b[15~", false},
      {"\x1bOq", false}, {"\x1b[A2", false},  {"\x1bx", false},   {"5~", false},
      {"", false},       {"\x1b\x1b", false}, {"a\x1b[1", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pending);
    KeyDecoder decoder;
    decoder.Feed(c.pending);
    EXPECT_EQ(decoder.EndsInUnfinishedSequence(), c.unfinished);
  }
  // Completed by the next piece of input, the sequence is one key, not digits.
  KeyDecoder decoder;
  decoder.Feed("\x1b[1");
  decoder.Feed("5~");
  EXPECT_EQ(decoder.Next(), kNoKey);
  EXPECT_FALSE(decoder.HasInput());
}

}  // namespace
}  // namespace quorix::platform
