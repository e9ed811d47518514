// The console as the status screen draws it: a grid of ScreenLines rows and
// as many columns as the console has, an off-screen copy in which one cycle of
// drawing is collected and then written out in one piece, text and frame
// drawing, and a stack of saved screens with which main keeps the user's
// console during the run.
//
// Rows and columns count from 1 in every interface here.
//
// Only one thread draws at a time (main pushes before the status display
// starts and pops after it has ended), so nothing here is locked.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/console.h"
#include "run/run.h"

namespace quorix::console {

// Code page 437 single-line box characters.
constexpr char kBoxTopLeft = '\xDA';
constexpr char kBoxHorizontal = '\xC4';
constexpr char kBoxTopRight = '\xBF';
constexpr char kBoxVertical = '\xB3';
constexpr char kBoxBottomLeft = '\xC0';
constexpr char kBoxBottomRight = '\xD9';
constexpr char kBoxTeeRight = '\xC3';
constexpr char kBoxTeeLeft = '\xB4';

// The error number a failed console read or write leaves for the display
// ("device I/O error").
constexpr int kConsoleIoError = 57;

// A copy of the screen contents, row by row.
struct ScreenCopy {
  int rows = 0;
  int columns = 0;
  std::vector<platform::Cell> cells;
};

class Screen {
 public:
  static constexpr int kStackLimit = 15;

  // `env` supplies ScreenLines and Shell25; ScreenLines is changed by
  // PushScreen/PopScreen (Shell25) and by the status display.
  Screen(platform::Console& console, run::Environment& env);
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  // Rows of the grid: ScreenLines, or the console's own rows while ScreenLines
  // is not set (0 or below).
  int Lines() const;
  // Columns of the grid: asked from the console each time.
  int Columns() const;

  // Reads rows 1..Lines() of the console into a new copy; rows the console does
  // not have are blank.
  ScreenCopy SnapshotScreen();
  // Writes a copy to the console (clipped to the console's size).
  void WriteScreen(const ScreenCopy& copy);

  // Starts collecting a cycle of drawing in ScreenBuffer (a second begin keeps
  // the first copy); EndScreenUpdate writes it out and drops it.
  void BeginScreenUpdate();
  void EndScreenUpdate();
  bool UpdateOpen() const { return buffer_.has_value(); }

  // Writes the text's bytes into consecutive cells from (row, column); a text
  // longer than the rest of the row goes on in the next row, cells past the
  // end of the grid are dropped.
  void PutText(int row, int column, std::string_view text, uint16_t attribute);
  // A single-line frame covering rows row..row+height-1 and columns
  // column..column+width-1; nothing when width or height is 2 or less.
  void DrawFrame(int row, int column, int height, int width, uint16_t attribute);

  // Saves cursor and screen on the stack (at most 15 entries) / restores the
  // last saved ones. Shell25 forces ScreenLines to 25 first.
  void PushScreen();
  void PopScreen();
  int depth() const { return static_cast<int>(stack_.size()); }

  // The error number of the last failed console operation (0: none), cleared
  // by TakeError.
  int TakeError();

  platform::Console& console() { return console_; }
  run::Environment& env() { return env_; }

 private:
  struct SavedScreen {
    platform::CursorState cursor;
    ScreenCopy copy;
  };

  // Applies `draw` to ScreenBuffer, or to a snapshot written back at once.
  template <typename Drawing>
  void ApplyDrawing(Drawing&& drawing);
  static void PutCells(ScreenCopy& copy, int row, int column, std::string_view text,
                       uint16_t attribute);

  platform::Console& console_;
  run::Environment& env_;
  std::optional<ScreenCopy> buffer_;  // ScreenBuffer
  std::vector<SavedScreen> stack_;
  int error_ = 0;
};

}  // namespace quorix::console
