// The console on an ANSI terminal: the cell grid drawn with escape sequences
// in the alternate screen, keys read without waiting in raw mode.
//
// Pieces without system calls (what a cell looks like on the terminal, the
// output that turns one grid into the next, the decoding of key bytes) are
// here so that tests feed them directly; the terminal itself is opened by
// OpenTerminalConsole.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"

namespace quorix::platform {

// How code page 437 bytes reach the terminal: as their Unicode characters in
// UTF-8, or as ASCII look-alikes ("+", "-", "|" for the box characters).
enum class TerminalCharset { kUtf8, kAscii };

// UTF-8 when the first set one of LC_ALL, LC_CTYPE and LANG names "UTF-8" or
// "utf8" (any letter case).
TerminalCharset CharsetFromLocale(std::string_view lc_all, std::string_view lc_ctype,
                                  std::string_view lang);

// Whether TERM (and NO_COLOR) allow colour sequences.
bool TerminalHasColours(std::string_view term, bool no_color_set);

// The bytes that show code page 437 byte `c`. Control bytes never reach the
// terminal as such.
std::string_view TerminalGlyph(uint8_t c, TerminalCharset charset);

// The SGR sequence of an attribute (low 4 bits foreground, next 4 background;
// bit 1 blue, 2 green, 4 red, 8 bright). Light grey on black is the
// terminal's own default colours.
std::string AttributeSequence(uint16_t attribute);

// Keeps what the terminal shows and produces the output for the next grid:
// the whole screen when nothing is known of it, otherwise only the cells
// that changed.
class TerminalRenderer {
 public:
  TerminalRenderer(TerminalCharset charset, bool colours) : charset_(charset), colours_(colours) {}

  // The output that makes the terminal show `cells` (rows x columns, the
  // terminal's size). Afterwards the renderer takes it as shown.
  std::string Render(const std::vector<Cell>& cells, int rows, int columns);
  // Forget what is shown: the next Render draws everything.
  void Invalidate() { shown_.clear(); }

 private:
  TerminalCharset charset_;
  bool colours_;
  std::vector<Cell> shown_;
  int shown_rows_ = 0;
  int shown_columns_ = 0;
};

// Turns the bytes the terminal sends into key codes: a byte is a character;
// ESC alone is Esc; ESC "x" (Alt+X) is kKeyAltX; other ESC sequences (cursor
// keys, function keys, other Alt keys) are consumed and give no key.
class KeyDecoder {
 public:
  void Feed(std::string_view bytes);
  bool HasInput() const { return !pending_.empty(); }
  // True when what is left is one ESC sequence that may not be complete yet:
  // a lone ESC, "ESC O" or a control sequence without its final byte (input
  // read in pieces can cut a sequence anywhere). The caller waits briefly for
  // the rest before decoding it, so its parameters never come out as keys.
  bool EndsInUnfinishedSequence() const;
  // The next key, or kNoKey when there is none.
  int Next();
  void Clear() { pending_.clear(); }

 private:
  std::string pending_;
};

// The terminal console on these descriptors (standard input and output for
// the process), or null when `output_fd` is not a terminal.
std::unique_ptr<Console> OpenTerminalConsole(int input_fd, int output_fd);

}  // namespace quorix::platform
