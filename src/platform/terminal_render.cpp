// What the terminal shows: code page 437 glyphs, colour sequences, the
// output that turns one cell grid into the next, and the decoding of key
// bytes. No system calls here.
#include <algorithm>
#include <array>
#include <cctype>

#include "platform/terminal_console.h"

namespace quorix::platform {
namespace {

// Code page 437 as UTF-8, byte by byte; the control bytes as the glyphs the
// code page gives them, 0x00 and 0xFF as blanks.
// clang-format off
constexpr const char* kUtf8Glyphs[256] = {
    " ", "\xE2\x98\xBA", "\xE2\x98\xBB", "\xE2\x99\xA5", "\xE2\x99\xA6", "\xE2\x99\xA3",
    "\xE2\x99\xA0", "\xE2\x80\xA2", "\xE2\x97\x98", "\xE2\x97\x8B", "\xE2\x97\x99", "\xE2\x99\x82",
    "\xE2\x99\x80", "\xE2\x99\xAA", "\xE2\x99\xAB", "\xE2\x98\xBC", "\xE2\x96\xBA", "\xE2\x97\x84",
    "\xE2\x86\x95", "\xE2\x80\xBC", "\xC2\xB6", "\xC2\xA7", "\xE2\x96\xAC", "\xE2\x86\xA8",
    "\xE2\x86\x91", "\xE2\x86\x93", "\xE2\x86\x92", "\xE2\x86\x90", "\xE2\x88\x9F", "\xE2\x86\x94",
    "\xE2\x96\xB2", "\xE2\x96\xBC", " ", "!", "\x22", "#", "$", "%", "&", "'", "(", ")", "*", "+",
    ",", "-", ".", "/", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", ":", ";", "<", "=", ">",
    "\x3F", "@", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "N", "O", "P",
    "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z", "[", "\x5C", "]", "^", "_", "`", "a", "b",
    "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q", "r", "s", "t", "u",
    "v", "w", "x", "y", "z", "{", "|", "}", "~", "\xE2\x8C\x82", "\xC3\x87", "\xC3\xBC",
    "\xC3\xA9", "\xC3\xA2", "\xC3\xA4", "\xC3\xA0", "\xC3\xA5", "\xC3\xA7", "\xC3\xAA", "\xC3\xAB",
    "\xC3\xA8", "\xC3\xAF", "\xC3\xAE", "\xC3\xAC", "\xC3\x84", "\xC3\x85", "\xC3\x89", "\xC3\xA6",
    "\xC3\x86", "\xC3\xB4", "\xC3\xB6", "\xC3\xB2", "\xC3\xBB", "\xC3\xB9", "\xC3\xBF", "\xC3\x96",
    "\xC3\x9C", "\xC2\xA2", "\xC2\xA3", "\xC2\xA5", "\xE2\x82\xA7", "\xC6\x92", "\xC3\xA1",
    "\xC3\xAD", "\xC3\xB3", "\xC3\xBA", "\xC3\xB1", "\xC3\x91", "\xC2\xAA", "\xC2\xBA", "\xC2\xBF",
    "\xE2\x8C\x90", "\xC2\xAC", "\xC2\xBD", "\xC2\xBC", "\xC2\xA1", "\xC2\xAB", "\xC2\xBB",
    "\xE2\x96\x91", "\xE2\x96\x92", "\xE2\x96\x93", "\xE2\x94\x82", "\xE2\x94\xA4", "\xE2\x95\xA1",
    "\xE2\x95\xA2", "\xE2\x95\x96", "\xE2\x95\x95", "\xE2\x95\xA3", "\xE2\x95\x91", "\xE2\x95\x97",
    "\xE2\x95\x9D", "\xE2\x95\x9C", "\xE2\x95\x9B", "\xE2\x94\x90", "\xE2\x94\x94", "\xE2\x94\xB4",
    "\xE2\x94\xAC", "\xE2\x94\x9C", "\xE2\x94\x80", "\xE2\x94\xBC", "\xE2\x95\x9E", "\xE2\x95\x9F",
    "\xE2\x95\x9A", "\xE2\x95\x94", "\xE2\x95\xA9", "\xE2\x95\xA6", "\xE2\x95\xA0", "\xE2\x95\x90",
    "\xE2\x95\xAC", "\xE2\x95\xA7", "\xE2\x95\xA8", "\xE2\x95\xA4", "\xE2\x95\xA5", "\xE2\x95\x99",
    "\xE2\x95\x98", "\xE2\x95\x92", "\xE2\x95\x93", "\xE2\x95\xAB", "\xE2\x95\xAA", "\xE2\x94\x98",
    "\xE2\x94\x8C", "\xE2\x96\x88", "\xE2\x96\x84", "\xE2\x96\x8C", "\xE2\x96\x90", "\xE2\x96\x80",
    "\xCE\xB1", "\xC3\x9F", "\xCE\x93", "\xCF\x80", "\xCE\xA3", "\xCF\x83", "\xC2\xB5", "\xCF\x84",
    "\xCE\xA6", "\xCE\x98", "\xCE\xA9", "\xCE\xB4", "\xE2\x88\x9E", "\xCF\x86", "\xCE\xB5",
    "\xE2\x88\xA9", "\xE2\x89\xA1", "\xC2\xB1", "\xE2\x89\xA5", "\xE2\x89\xA4", "\xE2\x8C\xA0",
    "\xE2\x8C\xA1", "\xC3\xB7", "\xE2\x89\x88", "\xC2\xB0", "\xE2\x88\x99", "\xC2\xB7",
    "\xE2\x88\x9A", "\xE2\x81\xBF", "\xC2\xB2", "\xE2\x96\xA0", " ",
};
// clang-format on

// ASCII look-alikes of code page 437: letters without their accents, "+",
// "-" and "|" for the box characters, "#" for the blocks, "?" for the rest.
constexpr std::array<char, 256> MakeAsciiGlyphs() {
  constexpr std::string_view kLatin = "CueaaaaceeeiiiAAEaAooouuyOUcLYPfaiounNao?--?\?!<>";
  std::array<char, 256> glyphs{};
  for (int c = 0; c < 256; ++c) {
    char glyph = '?';
    if (c == 0 || c == 0xFF) {
      glyph = ' ';
    } else if (c >= 0x20 && c < 0x7F) {
      glyph = static_cast<char>(c);
    } else if (c >= 0x80 && c < 0xB0) {
      glyph = kLatin[static_cast<size_t>(c - 0x80)];
    } else if ((c >= 0xB0 && c <= 0xB2) || (c >= 0xDB && c <= 0xDF) || c == 0xFE) {
      glyph = '#';
    } else if (c == 0xB3 || c == 0xBA) {
      glyph = '|';
    } else if (c == 0xC4 || c == 0xCD) {
      glyph = '-';
    } else if (c >= 0xB4 && c <= 0xDA) {
      glyph = '+';
    }
    glyphs[static_cast<size_t>(c)] = glyph;
  }
  return glyphs;
}
constexpr std::array<char, 256> kAsciiGlyphs = MakeAsciiGlyphs();

bool ContainsUtf8(std::string_view value) {
  std::string lower(value);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

// ANSI colour number of a colour index whose bits are 1 blue, 2 green, 4 red.
int AnsiColour(int colour) { return ((colour & 1) << 2) | (colour & 2) | ((colour & 4) >> 2); }

void AppendNumber(std::string& out, int value) { out += std::to_string(value); }

const Cell kBlank{};

}  // namespace

TerminalCharset CharsetFromLocale(std::string_view lc_all, std::string_view lc_ctype,
                                  std::string_view lang) {
  std::string_view chosen = !lc_all.empty() ? lc_all : !lc_ctype.empty() ? lc_ctype : lang;
  return ContainsUtf8(chosen) ? TerminalCharset::kUtf8 : TerminalCharset::kAscii;
}

bool TerminalHasColours(std::string_view term, bool no_color_set) {
  if (no_color_set || term.empty() || term == "dumb") return false;
  return term.find("mono") == std::string_view::npos && term.find("-m") == std::string_view::npos;
}

std::string_view TerminalGlyph(uint8_t c, TerminalCharset charset) {
  if (charset == TerminalCharset::kUtf8) return kUtf8Glyphs[c];
  return std::string_view(&kAsciiGlyphs[c], 1);
}

std::string AttributeSequence(uint16_t attribute) {
  const int foreground = attribute & 0x0F;
  const int background = (attribute >> 4) & 0x0F;
  std::string out = "\x1b[0;";
  if (foreground == 7) {
    out += "39";
  } else {
    AppendNumber(out, ((foreground & 8) != 0 ? 90 : 30) + AnsiColour(foreground));
  }
  out += ';';
  if (background == 0) {
    out += "49";
  } else {
    AppendNumber(out, ((background & 8) != 0 ? 100 : 40) + AnsiColour(background));
  }
  out += 'm';
  return out;
}

std::string TerminalRenderer::Render(const std::vector<Cell>& cells, int rows, int columns) {
  std::string out;
  if (rows <= 0 || columns <= 0) return out;
  const size_t count = static_cast<size_t>(rows) * static_cast<size_t>(columns);
  if (cells.size() < count) return out;
  const bool full = shown_.size() != count || shown_rows_ != rows || shown_columns_ != columns;
  out.reserve(full ? count * 4 : 256);
  if (full) out += "\x1b[0m\x1b[H\x1b[2J";

  int cursor_row = -1;  // where the terminal's cursor stands; -1 unknown
  int cursor_column = -1;
  // The colours in effect: the default ones after a clear and after every
  // render, which ends by going back to them.
  int attribute = 7;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      const size_t at = static_cast<size_t>(row) * static_cast<size_t>(columns) + column;
      const Cell& cell = cells[at];
      if (full ? cell == kBlank : cell == shown_[at]) continue;
      if (row != cursor_row || column != cursor_column) {
        out += "\x1b[";
        AppendNumber(out, row + 1);
        out += ';';
        AppendNumber(out, column + 1);
        out += 'H';
      }
      if (colours_ && cell.attribute != attribute) {
        out += AttributeSequence(cell.attribute);
        attribute = cell.attribute;
      }
      out += TerminalGlyph(cell.character, charset_);
      cursor_row = row;
      cursor_column = column + 1;
      if (cursor_column >= columns) cursor_row = -1;  // at the edge the position is unsure
    }
  }
  if (colours_ && attribute != 7) out += "\x1b[0m";
  shown_.assign(cells.begin(), cells.begin() + static_cast<ptrdiff_t>(count));
  shown_rows_ = rows;
  shown_columns_ = columns;
  return out;
}

void KeyDecoder::Feed(std::string_view bytes) { pending_.append(bytes); }

bool KeyDecoder::EndsInUnfinishedSequence() const {
  if (pending_.empty() || pending_[0] != '\x1b') return false;
  if (pending_.size() == 1) return true;
  if (pending_[1] == 'O') return pending_.size() == 2;
  if (pending_[1] != '[') return false;
  for (size_t i = 2; i < pending_.size(); ++i) {
    const auto c = static_cast<unsigned char>(pending_[i]);
    if (c >= 0x40 && c <= 0x7E) return false;
  }
  return true;
}

int KeyDecoder::Next() {
  if (pending_.empty()) return kNoKey;
  const auto first = static_cast<unsigned char>(pending_[0]);
  if (first != 0x1b || pending_.size() == 1) {
    pending_.erase(0, 1);
    return first;
  }
  const char second = pending_[1];
  size_t used = 2;
  int key = kNoKey;
  if (second == 'x' || second == 'X') {
    key = kKeyAltX;
  } else if (second == '\x1b') {
    used = 1;
    key = kKeyEscape;
  } else if (second == '[') {
    // A control sequence: parameters and intermediates up to a final byte.
    used = pending_.size();
    for (size_t i = 2; i < pending_.size(); ++i) {
      const auto c = static_cast<unsigned char>(pending_[i]);
      if (c >= 0x40 && c <= 0x7E) {
        used = i + 1;
        break;
      }
    }
  } else if (second == 'O') {
    used = std::min<size_t>(3, pending_.size());
  }
  pending_.erase(0, used);
  return key;
}

}  // namespace quorix::platform
