// The console as a grid of cells, as the status screen draws it.
//
// Rows and columns of the grid interfaces count from 0 here; the drawing code
// above counts from 1. A cell holds a code page 437 byte and an attribute
// (low 4 bits foreground, next 4 bits background).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorix::platform {

struct Cell {
  uint8_t character = ' ';
  uint16_t attribute = 7;
  bool operator==(const Cell&) const = default;
};

struct CursorState {
  int row = 0;
  int column = 0;
  int size_percent = 25;
  bool visible = true;
};

// Key codes returned by ReadKey.
constexpr int kNoKey = -1;
constexpr int kKeyEscape = 27;
constexpr int kKeyAltX = 0x100 + 45;  // extended key: 0x100 + scan code

class Console {
 public:
  virtual ~Console() = default;
  virtual int Rows() const = 0;
  virtual int Columns() const = 0;
  // Reads the whole visible grid, row by row (Rows() * Columns() cells).
  virtual bool ReadCells(std::vector<Cell>* cells) = 0;
  // Writes a grid of rows x columns cells (clipped to the console) in one piece.
  virtual bool WriteCells(const std::vector<Cell>& cells, int rows, int columns) = 0;
  virtual CursorState GetCursor() const = 0;
  virtual void SetCursor(const CursorState& cursor) = 0;
  virtual void SetTitle(std::string_view title) = 0;
  // One key without waiting: kNoKey, a character byte, or 0x100 + scan code.
  virtual int ReadKey() = 0;
  virtual void FlushInput() = 0;
  // Asks for a new size; the console may refuse. Returns true when it now has it.
  virtual bool Resize(int rows, int columns) = 0;
  // Saves the user's screen / gives it back (alternate screen on a terminal).
  virtual void EnterStatusScreen() {}
  virtual void LeaveStatusScreen() {}
  // Prints a line of text (banner, usage, messages) to standard output.
  virtual void PrintLine(std::string_view text) = 0;
};

// A memory grid that is never shown and reads no keys (queued keys for tests).
class HeadlessConsole : public Console {
 public:
  HeadlessConsole(int rows = 25, int columns = 80, bool echo_lines = true);
  int Rows() const override { return rows_; }
  int Columns() const override { return columns_; }
  bool ReadCells(std::vector<Cell>* cells) override;
  bool WriteCells(const std::vector<Cell>& cells, int rows, int columns) override;
  CursorState GetCursor() const override { return cursor_; }
  void SetCursor(const CursorState& cursor) override { cursor_ = cursor; }
  void SetTitle(std::string_view title) override;
  int ReadKey() override;
  void FlushInput() override { keys_.clear(); }
  bool Resize(int rows, int columns) override;
  void PrintLine(std::string_view text) override;

  // Test helpers.
  void set_resizable(bool resizable) { resizable_ = resizable; }
  void QueueKey(int key) { keys_.push_back(key); }
  const std::vector<Cell>& cells() const { return cells_; }
  const std::string& title() const { return title_; }
  const std::string& printed() const { return printed_; }

 private:
  int rows_;
  int columns_;
  bool echo_lines_;
  bool resizable_ = true;
  std::vector<Cell> cells_;
  CursorState cursor_;
  std::string title_;
  std::string printed_;
  std::vector<int> keys_;
};

// The console for this process: a terminal when standard output is one,
// otherwise a headless console.
std::unique_ptr<Console> OpenProcessConsole();

}  // namespace quorix::platform
