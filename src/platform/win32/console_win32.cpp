// The console of this process on Windows: the console API when standard
// output is a console, otherwise a headless 80x25 grid that echoes printed
// lines (output redirected to a file or a pipe).
//
// The grid is the visible window of the screen buffer; it is read and
// written in one call each (ReadConsoleOutputA / WriteConsoleOutputA) with
// the code page 437 bytes and the attributes as they are (the console's
// attributes are the same four foreground and four background bits). While
// the program runs, the console's output code page is 437 and its title is
// ours; both are given back when the console is closed.
#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

#include "platform/console.h"
#include "platform/win32/windows_api.h"

namespace quorix::platform {
namespace {

constexpr UINT kBoxCodePage = 437;
constexpr WORD kAltX = 0x100 + 45;  // the extended key of Alt+X: 0x100 + its scan code
constexpr DWORD kAltKeys = LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED;

// The key code of one key-down event, or kNoKey for keys the program ignores
// (shift keys alone, cursor keys without a character).
int KeyCodeOf(const KEY_EVENT_RECORD& key) {
  const auto character = static_cast<unsigned char>(key.uChar.AsciiChar);
  if ((key.dwControlKeyState & kAltKeys) != 0) {
    if (key.wVirtualKeyCode == 'X' || key.wVirtualScanCode == 45) return kAltX;
    return key.wVirtualScanCode != 0 ? 0x100 + key.wVirtualScanCode : kNoKey;
  }
  if (character != 0) return character;
  return kNoKey;
}

class WindowsConsole : public Console {
 public:
  WindowsConsole(HANDLE input, HANDLE output) : input_(input), output_(output) {
    saved_code_page_ = ::GetConsoleOutputCP();
    ::SetConsoleOutputCP(kBoxCodePage);
    char title[1024] = {};
    const DWORD length = ::GetConsoleTitleA(title, sizeof title);
    saved_title_.assign(title, length);
    have_saved_title_ = length > 0;
    have_saved_cursor_ = ::GetConsoleCursorInfo(output_, &saved_cursor_) != 0;
  }

  ~WindowsConsole() override {
    if (have_saved_title_) ::SetConsoleTitleA(saved_title_.c_str());
    if (have_saved_cursor_) ::SetConsoleCursorInfo(output_, &saved_cursor_);
    if (saved_code_page_ != 0) ::SetConsoleOutputCP(saved_code_page_);
  }

  int Rows() const override {
    const SMALL_RECT window = Window();
    return window.Bottom - window.Top + 1;
  }

  int Columns() const override {
    const SMALL_RECT window = Window();
    return window.Right - window.Left + 1;
  }

  bool ReadCells(std::vector<Cell>* cells) override {
    std::lock_guard<std::mutex> lock(lock_);
    SMALL_RECT window = Window();
    const int rows = window.Bottom - window.Top + 1;
    const int columns = window.Right - window.Left + 1;
    std::vector<CHAR_INFO> buffer(static_cast<size_t>(rows) * static_cast<size_t>(columns));
    const COORD size{static_cast<SHORT>(columns), static_cast<SHORT>(rows)};
    if (!::ReadConsoleOutputA(output_, buffer.data(), size, COORD{0, 0}, &window)) return false;
    cells->resize(buffer.size());
    for (size_t i = 0; i < buffer.size(); ++i) {
      (*cells)[i].character = static_cast<uint8_t>(buffer[i].Char.AsciiChar);
      (*cells)[i].attribute = buffer[i].Attributes & 0xFF;
    }
    return true;
  }

  bool WriteCells(const std::vector<Cell>& cells, int rows, int columns) override {
    if (rows <= 0 || columns <= 0 ||
        cells.size() < static_cast<size_t>(rows) * static_cast<size_t>(columns)) {
      return false;
    }
    std::lock_guard<std::mutex> lock(lock_);
    SMALL_RECT window = Window();
    const int shown_rows = std::min(rows, window.Bottom - window.Top + 1);
    const int shown_columns = std::min(columns, window.Right - window.Left + 1);
    std::vector<CHAR_INFO> buffer(static_cast<size_t>(shown_rows) *
                                  static_cast<size_t>(shown_columns));
    for (int row = 0; row < shown_rows; ++row) {
      for (int column = 0; column < shown_columns; ++column) {
        const Cell& cell = cells[static_cast<size_t>(row) * columns + column];
        CHAR_INFO& out = buffer[static_cast<size_t>(row) * shown_columns + column];
        out.Char.AsciiChar = static_cast<CHAR>(cell.character);
        out.Attributes = static_cast<WORD>(cell.attribute & 0xFF);
      }
    }
    window.Right = static_cast<SHORT>(window.Left + shown_columns - 1);
    window.Bottom = static_cast<SHORT>(window.Top + shown_rows - 1);
    const COORD size{static_cast<SHORT>(shown_columns), static_cast<SHORT>(shown_rows)};
    return ::WriteConsoleOutputA(output_, buffer.data(), size, COORD{0, 0}, &window) != 0;
  }

  // The cursor position counts from the window's top left corner.
  CursorState GetCursor() const override {
    CursorState cursor;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(output_, &info)) {
      cursor.row = info.dwCursorPosition.Y - info.srWindow.Top;
      cursor.column = info.dwCursorPosition.X - info.srWindow.Left;
    }
    CONSOLE_CURSOR_INFO shape{};
    if (::GetConsoleCursorInfo(output_, &shape)) {
      cursor.size_percent = static_cast<int>(shape.dwSize);
      cursor.visible = shape.bVisible != 0;
    }
    return cursor;
  }

  void SetCursor(const CursorState& cursor) override {
    const SMALL_RECT window = Window();
    const COORD position{static_cast<SHORT>(window.Left + std::max(cursor.column, 0)),
                         static_cast<SHORT>(window.Top + std::max(cursor.row, 0))};
    ::SetConsoleCursorPosition(output_, position);
    CONSOLE_CURSOR_INFO shape{};
    shape.dwSize = static_cast<DWORD>(std::clamp(cursor.size_percent, 1, 100));
    shape.bVisible = cursor.visible ? TRUE : FALSE;
    ::SetConsoleCursorInfo(output_, &shape);
  }

  void SetTitle(std::string_view title) override { ::SetConsoleTitleA(std::string(title).c_str()); }

  // Key-down events only; everything else in the input queue (key releases,
  // mouse, focus and size events) is taken out and dropped.
  int ReadKey() override {
    for (;;) {
      DWORD pending = 0;
      if (!::GetNumberOfConsoleInputEvents(input_, &pending) || pending == 0) return kNoKey;
      INPUT_RECORD record{};
      DWORD read = 0;
      if (!::ReadConsoleInputA(input_, &record, 1, &read) || read == 0) return kNoKey;
      if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
      const int key = KeyCodeOf(record.Event.KeyEvent);
      if (key != kNoKey) return key;
    }
  }

  void FlushInput() override { ::FlushConsoleInputBuffer(input_); }

  // The buffer must never be smaller than the window: it grows first when
  // the window grows, and shrinks after the window when it shrinks.
  bool Resize(int rows, int columns) override {
    if (rows <= 0 || columns <= 0 || rows > 1000 || columns > 1000) return false;
    if (Rows() == rows && Columns() == columns) return true;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(output_, &info)) return false;
    const COORD larger{static_cast<SHORT>(std::max<int>(info.dwSize.X, columns)),
                       static_cast<SHORT>(std::max<int>(info.dwSize.Y, rows))};
    ::SetConsoleScreenBufferSize(output_, larger);
    const SMALL_RECT window{0, 0, static_cast<SHORT>(columns - 1), static_cast<SHORT>(rows - 1)};
    ::SetConsoleWindowInfo(output_, TRUE, &window);
    ::SetConsoleScreenBufferSize(output_,
                                 COORD{static_cast<SHORT>(columns), static_cast<SHORT>(rows)});
    return Rows() == rows && Columns() == columns;
  }

  void PrintLine(std::string_view text) override {
    std::lock_guard<std::mutex> lock(lock_);
    std::string line(text);
    line += "\r\n";
    DWORD written = 0;
    ::WriteConsoleA(output_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }

 private:
  SMALL_RECT Window() const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(output_, &info)) return SMALL_RECT{0, 0, 79, 24};
    return info.srWindow;
  }

  HANDLE input_;
  HANDLE output_;
  std::mutex lock_;
  UINT saved_code_page_ = 0;
  std::string saved_title_;
  bool have_saved_title_ = false;
  CONSOLE_CURSOR_INFO saved_cursor_{};
  bool have_saved_cursor_ = false;
};

}  // namespace

std::unique_ptr<Console> OpenProcessConsole() {
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (output != nullptr && output != INVALID_HANDLE_VALUE && ::GetConsoleMode(output, &mode)) {
    return std::make_unique<WindowsConsole>(input, output);
  }
  return std::make_unique<HeadlessConsole>(25, 80, true);
}

}  // namespace quorix::platform
