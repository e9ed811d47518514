// The terminal console on POSIX. The status screen lives in the terminal's
// alternate screen, so that leaving it gives the user's screen back as it
// was; keys are read in raw mode (no echo, no line editing, reads that never
// wait). Whatever way the process ends, the terminal is put back: by
// LeaveStatusScreen, the destructor, an exit handler, and handlers of the
// signals that end or stop the process.
#include "platform/terminal_console.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

namespace quorix::platform {
namespace {

constexpr char kEnterSequence[] = "\x1b[?1049h\x1b[?7l\x1b[0m\x1b[H\x1b[2J";
constexpr char kLeaveSequence[] = "\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l";
constexpr int kDefaultRows = 25;
constexpr int kDefaultColumns = 80;
constexpr int kEscapeWaitMs = 50;     // bytes of one key sequence come closer than this
constexpr int kResizeWaitSteps = 20;  // the terminal takes a new size a little later
constexpr int kResizeStepMs = 10;
constexpr size_t kReadChunk = 64;

// The signals after which the terminal must not stay in raw mode and in the
// alternate screen. The handler restores the terminal and raises the signal
// again with the disposition it had before.
constexpr int kEndingSignals[] = {SIGINT,  SIGTERM, SIGHUP, SIGQUIT, SIGABRT,
                                  SIGSEGV, SIGBUS,  SIGFPE, SIGILL};

// What a signal handler and the exit handler need to put the terminal back.
// A signal handler can reach nothing but process-wide state, so this is the
// one place where such state exists; it is set while a status screen is
// entered and only read by the handlers. One terminal console per process
// enters the status screen at a time.
struct RestoreState {
  std::atomic<bool> active{false};     // the terminal is in the status screen now
  std::atomic<bool> suspended{false};  // stopped by SIGTSTP, to be entered again on SIGCONT
  std::atomic<bool> redraw{false};     // the screen was lost (stop and continue)
  int input_fd = -1;
  int output_fd = -1;
  bool have_termios = false;
  struct termios saved {};
  struct termios raw {};
  struct sigaction previous[sizeof(kEndingSignals) / sizeof(kEndingSignals[0])]{};
  struct sigaction previous_stop {};
  struct sigaction previous_continue {};
  bool handlers_installed = false;
};
RestoreState restore_state;  // NOLINT: needed by the signal handlers (see above)

void WriteRaw(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t count = ::write(fd, bytes, size);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return;
    bytes += count;
    size -= static_cast<size_t>(count);
  }
}

// Async-signal-safe: write and tcsetattr only.
void RestoreTerminalNow() {
  if (!restore_state.active.exchange(false)) return;
  WriteRaw(restore_state.output_fd, kLeaveSequence, sizeof(kLeaveSequence) - 1);
  if (restore_state.have_termios) {
    ::tcsetattr(restore_state.input_fd, TCSANOW, &restore_state.saved);
  }
}

void EnterTerminalNow() {
  if (restore_state.have_termios) {
    ::tcsetattr(restore_state.input_fd, TCSANOW, &restore_state.raw);
  }
  WriteRaw(restore_state.output_fd, kEnterSequence, sizeof(kEnterSequence) - 1);
  restore_state.active.store(true);
}

void OnEndingSignal(int signal_number) {
  const int saved_errno = errno;
  RestoreTerminalNow();
  for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
    if (kEndingSignals[i] == signal_number) {
      ::sigaction(signal_number, &restore_state.previous[i], nullptr);
    }
  }
  ::raise(signal_number);  // delivered with the old disposition once this handler returns
  errno = saved_errno;
}

void OnStop(int) {
  const int saved_errno = errno;
  if (restore_state.active.load()) {
    RestoreTerminalNow();
    restore_state.suspended.store(true);
  }
  struct sigaction stop {};
  stop.sa_handler = SIG_DFL;
  ::sigemptyset(&stop.sa_mask);
  ::sigaction(SIGTSTP, &stop, nullptr);
  ::raise(SIGTSTP);
  errno = saved_errno;
}

void InstallStopHandler() {
  struct sigaction action {};
  action.sa_handler = OnStop;
  ::sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTSTP, &action, nullptr);
}

void OnContinue(int) {
  const int saved_errno = errno;
  if (restore_state.suspended.exchange(false)) {
    EnterTerminalNow();
    restore_state.redraw.store(true);
  }
  InstallStopHandler();
  errno = saved_errno;
}

void InstallHandlers() {
  if (restore_state.handlers_installed) return;
  for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = OnEndingSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(kEndingSignals[i], nullptr, &restore_state.previous[i]);
    // A signal the process ignores (SIGHUP under nohup) stays ignored.
    if (restore_state.previous[i].sa_handler == SIG_IGN) continue;
    ::sigaction(kEndingSignals[i], &action, nullptr);
  }
  ::sigaction(SIGTSTP, nullptr, &restore_state.previous_stop);
  if (restore_state.previous_stop.sa_handler != SIG_IGN) InstallStopHandler();
  struct sigaction action {};
  action.sa_handler = OnContinue;
  ::sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGCONT, &action, &restore_state.previous_continue);
  restore_state.handlers_installed = true;
}

void RemoveHandlers() {
  if (!restore_state.handlers_installed) return;
  for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
    ::sigaction(kEndingSignals[i], &restore_state.previous[i], nullptr);
  }
  ::sigaction(SIGTSTP, &restore_state.previous_stop, nullptr);
  ::sigaction(SIGCONT, &restore_state.previous_continue, nullptr);
  restore_state.handlers_installed = false;
}

void RestoreAtExit() { RestoreTerminalNow(); }

void SleepMs(int milliseconds) {
  struct timespec wait {};
  wait.tv_sec = milliseconds / 1000;
  wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

std::string Env(const char* name) {
  const char* value = ::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

class TerminalConsole : public Console {
 public:
  TerminalConsole(int input_fd, int output_fd, TerminalCharset charset, bool colours)
      : input_fd_(input_fd), output_fd_(output_fd), charset_(charset), renderer_(charset, colours) {
    QuerySize(&grid_rows_, &grid_columns_);
    grid_.assign(static_cast<size_t>(grid_rows_) * static_cast<size_t>(grid_columns_), Cell{});
  }
  ~TerminalConsole() override { LeaveStatusScreen(); }

  int Rows() const override {
    int rows = 0, columns = 0;
    QuerySize(&rows, &columns);
    return rows;
  }
  int Columns() const override {
    int rows = 0, columns = 0;
    QuerySize(&rows, &columns);
    return columns;
  }

  bool ReadCells(std::vector<Cell>* cells) override {
    std::lock_guard<std::mutex> lock(lock_);
    FollowTerminalSize();
    *cells = grid_;
    return true;
  }

  bool WriteCells(const std::vector<Cell>& cells, int rows, int columns) override {
    if (rows < 0 || columns < 0 ||
        cells.size() < static_cast<size_t>(rows) * static_cast<size_t>(columns)) {
      return false;
    }
    std::lock_guard<std::mutex> lock(lock_);
    FollowTerminalSize();
    const int copy_rows = std::min(rows, grid_rows_);
    const int copy_columns = std::min(columns, grid_columns_);
    for (int row = 0; row < copy_rows; ++row) {
      const auto from = cells.begin() + static_cast<ptrdiff_t>(row) * columns;
      std::copy(from, from + copy_columns,
                grid_.begin() + static_cast<ptrdiff_t>(row) * grid_columns_);
    }
    if (!in_status_screen_) return true;  // the user's screen is never drawn over
    std::string out = renderer_.Render(grid_, grid_rows_, grid_columns_);
    if (out.empty()) return true;
    out += CursorSequence();
    return WriteAll(out);
  }

  CursorState GetCursor() const override {
    std::lock_guard<std::mutex> lock(lock_);
    return cursor_;
  }
  void SetCursor(const CursorState& cursor) override {
    std::lock_guard<std::mutex> lock(lock_);
    cursor_ = cursor;
    if (in_status_screen_) WriteAll(CursorSequence());
  }

  void SetTitle(std::string_view title) override {
    std::string out = "\x1b]0;";
    for (char c : title) {
      const auto byte = static_cast<uint8_t>(c);
      if (byte < 0x20 || byte == 0x7F) continue;
      out += TerminalGlyph(byte, charset_);
    }
    out += '\x07';
    std::lock_guard<std::mutex> lock(lock_);
    WriteAll(out);
  }

  int ReadKey() override {
    std::lock_guard<std::mutex> lock(lock_);
    if (!keys_.HasInput()) ReadAvailable(0);
    if (keys_.EndsInUnfinishedSequence()) ReadAvailable(kEscapeWaitMs);
    return keys_.Next();
  }

  void FlushInput() override {
    std::lock_guard<std::mutex> lock(lock_);
    if (::isatty(input_fd_) == 1) ::tcflush(input_fd_, TCIFLUSH);
    keys_.Clear();
  }

  bool Resize(int rows, int columns) override {
    if (Rows() == rows && Columns() == columns) return true;
    {
      std::lock_guard<std::mutex> lock(lock_);
      WriteAll("\x1b[8;" + std::to_string(rows) + ";" + std::to_string(columns) + "t");
    }
    for (int step = 0; step < kResizeWaitSteps; ++step) {
      if (Rows() == rows && Columns() == columns) return true;
      SleepMs(kResizeStepMs);
    }
    return Rows() == rows && Columns() == columns;
  }

  void EnterStatusScreen() override {
    std::lock_guard<std::mutex> lock(lock_);
    if (in_status_screen_ || restore_state.active.load()) return;
    restore_state.input_fd = input_fd_;
    restore_state.output_fd = output_fd_;
    restore_state.have_termios =
        ::isatty(input_fd_) == 1 && ::tcgetattr(input_fd_, &restore_state.saved) == 0;
    if (restore_state.have_termios) {
      restore_state.raw = restore_state.saved;
      restore_state.raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
      restore_state.raw.c_cc[VMIN] = 0;
      restore_state.raw.c_cc[VTIME] = 0;
    }
    static std::once_flag exit_handler;
    std::call_once(exit_handler, [] { std::atexit(RestoreAtExit); });
    InstallHandlers();
    EnterTerminalNow();
    in_status_screen_ = true;
    // The alternate screen starts empty.
    std::fill(grid_.begin(), grid_.end(), Cell{});
    renderer_.Invalidate();
  }

  void LeaveStatusScreen() override {
    std::lock_guard<std::mutex> lock(lock_);
    if (!in_status_screen_) return;
    in_status_screen_ = false;
    restore_state.suspended.store(false);
    RestoreTerminalNow();
    RemoveHandlers();
  }

  void PrintLine(std::string_view text) override {
    std::lock_guard<std::mutex> lock(lock_);
    std::string line(text);
    line += in_status_screen_ ? "\r\n" : "\n";
    WriteAll(line);
    if (in_status_screen_) renderer_.Invalidate();  // the line disturbed the screen
  }

 private:
  void QuerySize(int* rows, int* columns) const {
    struct winsize size {};
    if (::ioctl(output_fd_, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
      *rows = size.ws_row;
      *columns = size.ws_col;
      return;
    }
    *rows = kDefaultRows;
    *columns = kDefaultColumns;
  }

  // A terminal that changed its size shows nothing of ours any more that we
  // could rely on: the grid starts blank at the new size and is drawn whole.
  void FollowTerminalSize() {
    int rows = 0, columns = 0;
    QuerySize(&rows, &columns);
    if (rows != grid_rows_ || columns != grid_columns_) {
      grid_rows_ = rows;
      grid_columns_ = columns;
      grid_.assign(static_cast<size_t>(rows) * static_cast<size_t>(columns), Cell{});
      renderer_.Invalidate();
    }
    if (restore_state.redraw.exchange(false)) renderer_.Invalidate();
  }

  std::string CursorSequence() const {
    if (!cursor_.visible) return "\x1b[?25l";
    return "\x1b[" + std::to_string(cursor_.row + 1) + ";" + std::to_string(cursor_.column + 1) +
           "H\x1b[?25h";
  }

  bool WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t count = ::write(output_fd_, bytes.data(), bytes.size());
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(count));
    }
    return true;
  }

  // Reads what the input has, waiting at most `wait_ms` for the first byte.
  // Called only when the decoder has used up what it had (or holds a lone
  // ESC), so input never piles up.
  bool ReadAvailable(int wait_ms) {
    struct pollfd poll_fd {};
    poll_fd.fd = input_fd_;
    poll_fd.events = POLLIN;
    if (::poll(&poll_fd, 1, wait_ms) <= 0 || (poll_fd.revents & POLLIN) == 0) return false;
    char buffer[kReadChunk];
    const ssize_t count = ::read(input_fd_, buffer, sizeof(buffer));
    if (count <= 0) return false;
    keys_.Feed(std::string_view(buffer, static_cast<size_t>(count)));
    return true;
  }

  const int input_fd_;
  const int output_fd_;
  const TerminalCharset charset_;
  mutable std::mutex lock_;
  TerminalRenderer renderer_;
  std::vector<Cell> grid_;
  int grid_rows_ = 0;
  int grid_columns_ = 0;
  CursorState cursor_;
  bool in_status_screen_ = false;
  KeyDecoder keys_;
};

}  // namespace

std::unique_ptr<Console> OpenTerminalConsole(int input_fd, int output_fd) {
  if (::isatty(output_fd) != 1) return nullptr;
  const TerminalCharset charset = CharsetFromLocale(Env("LC_ALL"), Env("LC_CTYPE"), Env("LANG"));
  const bool colours = TerminalHasColours(Env("TERM"), ::getenv("NO_COLOR") != nullptr);
  return std::make_unique<TerminalConsole>(input_fd, output_fd, charset, colours);
}

}  // namespace quorix::platform
