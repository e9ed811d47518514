// The terminal pieces without system calls.
//
// - KeyDecoder: the keys of a byte stream decoded at once equal those decoded
//   as the console reads them, in pieces of input-chosen sizes, waiting for
//   the rest of an unfinished ESC sequence before decoding it.
// - TerminalRenderer: a small terminal emulator runs the output of two
//   renders in a row (a full one, then an update or another full one) and
//   must show every cell's glyph (and colours when they are on), with no
//   control byte other than the renderer's own ESC sequences and no glyph
//   written past the right edge.
//
// Input: key bytes, then rows, columns, flags and (character, attribute)
// byte pairs of the two grids; separated by 0x1E.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/console.h"
#include "platform/terminal_console.h"

namespace {

namespace platform = quorix::platform;

std::vector<int> DecodeWhole(std::string_view bytes) {
  platform::KeyDecoder decoder;
  decoder.Feed(bytes);
  std::vector<int> keys;
  while (decoder.HasInput()) {
    const int key = decoder.Next();
    if (key != platform::kNoKey) keys.push_back(key);
  }
  QUORIX_FUZZ_CHECK(decoder.Next() == platform::kNoKey);
  return keys;
}

std::vector<int> DecodeInPieces(std::string_view bytes, std::string_view sizes) {
  platform::KeyDecoder decoder;
  std::vector<int> keys;
  size_t turn = 0;
  auto drain = [&](bool all) {
    while (decoder.HasInput() && (all || !decoder.EndsInUnfinishedSequence())) {
      const int key = decoder.Next();
      if (key != platform::kNoKey) keys.push_back(key);
    }
  };
  while (!bytes.empty()) {
    const size_t piece =
        sizes.empty() ? 1 : 1 + static_cast<unsigned char>(sizes[turn++ % sizes.size()]) % 8;
    decoder.Feed(bytes.substr(0, piece));
    bytes.remove_prefix(std::min(piece, bytes.size()));
    drain(false);
  }
  drain(true);
  return keys;
}

// What a terminal shows after the renderer's output: a glyph and the colour
// sequence in effect for every cell.
class Emulator {
 public:
  Emulator(int rows, int columns, platform::TerminalCharset charset)
      : rows_(rows),
        columns_(columns),
        charset_(charset),
        glyphs_(static_cast<size_t>(rows * columns), "?"),
        colours_(static_cast<size_t>(rows * columns), "?") {}

  void Run(std::string_view out) {
    while (!out.empty()) {
      if (out[0] == '\x1b') {
        out.remove_prefix(Sequence(out));
        continue;
      }
      const auto lead = static_cast<unsigned char>(out[0]);
      QUORIX_FUZZ_CHECK(lead >= 0x20 && lead != 0x7F, "no control byte", out);
      size_t length = 1;
      if (charset_ == platform::TerminalCharset::kUtf8) {
        length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      }
      QUORIX_FUZZ_CHECK(length <= out.size(), "a whole glyph", out);
      QUORIX_FUZZ_CHECK(row_ >= 0 && row_ < rows_ && column_ >= 0 && column_ < columns_,
                        "a glyph inside the screen", out);
      const size_t at = static_cast<size_t>(row_ * columns_ + column_);
      glyphs_[at] = std::string(out.substr(0, length));
      colours_[at] = colour_;
      ++column_;
      out.remove_prefix(length);
    }
  }

  void Check(const std::vector<platform::Cell>& cells, bool colours) const {
    for (size_t at = 0; at < glyphs_.size(); ++at) {
      const std::string_view glyph = platform::TerminalGlyph(cells[at].character, charset_);
      QUORIX_FUZZ_CHECK(glyphs_[at] == glyph, glyph, glyphs_[at]);
      if (colours) {
        const std::string sequence = platform::AttributeSequence(cells[at].attribute);
        QUORIX_FUZZ_CHECK(colours_[at] == sequence, sequence, colours_[at]);
      }
    }
  }

 private:
  // Length of the ESC sequence at the start of `out`, applied.
  size_t Sequence(std::string_view out) {
    QUORIX_FUZZ_CHECK(out.size() >= 3 && out[1] == '[', "a control sequence", out);
    size_t end = 2;
    while (end < out.size() && !(out[end] >= 0x40 && out[end] <= 0x7E)) ++end;
    QUORIX_FUZZ_CHECK(end < out.size(), "a final byte", out);
    const std::string_view parameters = out.substr(2, end - 2);
    const char final_byte = out[end];
    if (final_byte == 'm') {
      colour_ =
          parameters == "0" ? platform::AttributeSequence(7) : std::string(out.substr(0, end + 1));
    } else if (final_byte == 'J') {
      QUORIX_FUZZ_CHECK(parameters == "2", "2J", out);
      std::fill(glyphs_.begin(), glyphs_.end(), " ");
      std::fill(colours_.begin(), colours_.end(), colour_);
    } else if (final_byte == 'H') {
      row_ = column_ = 0;
      if (!parameters.empty()) {
        const size_t semicolon = parameters.find(';');
        QUORIX_FUZZ_CHECK(semicolon != std::string_view::npos, "row;column", out);
        row_ = std::stoi(std::string(parameters.substr(0, semicolon))) - 1;
        column_ = std::stoi(std::string(parameters.substr(semicolon + 1))) - 1;
      }
    } else {
      quorix::fuzz::Fail("a known sequence", "m, J or H", out.substr(0, end + 1));
    }
    return end + 1;
  }

  int rows_;
  int columns_;
  platform::TerminalCharset charset_;
  std::vector<std::string> glyphs_;
  std::vector<std::string> colours_;
  std::string colour_ = platform::AttributeSequence(7);
  int row_ = -1;
  int column_ = -1;
};

std::vector<platform::Cell> Grid(std::string_view& bytes, int rows, int columns) {
  std::vector<platform::Cell> cells(static_cast<size_t>(rows * columns));
  for (platform::Cell& cell : cells) {
    if (bytes.size() < 2) break;
    cell.character = static_cast<uint8_t>(bytes[0]);
    cell.attribute = static_cast<uint8_t>(bytes[1]);
    if (cell.attribute == 0xFF) cell.attribute = 0x107;  // bits above the low byte
    bytes.remove_prefix(2);
  }
  return cells;
}

void CheckRenderer(std::string_view bytes) {
  if (bytes.size() < 3) return;
  const int rows = 1 + static_cast<unsigned char>(bytes[0]) % 6;
  const int columns = 1 + static_cast<unsigned char>(bytes[1]) % 12;
  const auto flags = static_cast<unsigned char>(bytes[2]);
  bytes.remove_prefix(3);
  const auto charset =
      (flags & 1) != 0 ? platform::TerminalCharset::kAscii : platform::TerminalCharset::kUtf8;
  const bool colours = (flags & 2) != 0;
  platform::TerminalRenderer renderer(charset, colours);
  Emulator emulator(rows, columns, charset);

  const std::vector<platform::Cell> first = Grid(bytes, rows, columns);
  emulator.Run(renderer.Render(first, rows, columns));
  emulator.Check(first, colours);

  const std::vector<platform::Cell> second = Grid(bytes, rows, columns);
  if ((flags & 4) != 0) renderer.Invalidate();
  emulator.Run(renderer.Render(second, rows, columns));
  emulator.Check(second, colours);

  // A grid smaller than the screen draws nothing.
  QUORIX_FUZZ_CHECK(renderer.Render({}, rows, columns).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parts = quorix::fuzz::SplitParts(quorix::fuzz::AsText(data, size), 3);
  const std::vector<int> whole = DecodeWhole(parts[0]);
  const std::vector<int> pieces = DecodeInPieces(parts[0], parts[1]);
  QUORIX_FUZZ_CHECK(whole == pieces, "the same keys, whole or in pieces");
  CheckRenderer(parts[2]);
  return 0;
}
