// The terminal console on a pseudo terminal: what it writes, what it reads,
// and that the terminal is put back.
#include "platform/terminal_console.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace quorix::platform {
namespace {

class PseudoTerminal {
 public:
  PseudoTerminal(int rows, int columns) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const char* name = ::ptsname(master_);
    if (name == nullptr) return;
    slave_ = ::open(name, O_RDWR | O_NOCTTY);
    SetSize(rows, columns);
  }
  ~PseudoTerminal() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  bool ok() const { return master_ >= 0 && slave_ >= 0; }
  int slave() const { return slave_; }

  void SetSize(int rows, int columns) {
    struct winsize size {};
    size.ws_row = static_cast<unsigned short>(rows);
    size.ws_col = static_cast<unsigned short>(columns);
    ::ioctl(master_, TIOCSWINSZ, &size);
  }
  // Everything the console wrote so far (waits briefly for it to arrive).
  std::string Drain() {
    std::string out;
    for (;;) {
      struct pollfd poll_fd {
        master_, POLLIN, 0
      };
      if (::poll(&poll_fd, 1, 100) <= 0) break;
      char buffer[4096];
      const ssize_t count = ::read(master_, buffer, sizeof(buffer));
      if (count <= 0) break;
      out.append(buffer, static_cast<size_t>(count));
    }
    return out;
  }
  void Type(const std::string& keys) {
    ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  struct termios Modes() const {
    struct termios modes {};
    ::tcgetattr(slave_, &modes);
    return modes;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
};

// The locale for the console under test, put back afterwards.
class LocaleGuard {
 public:
  explicit LocaleGuard(const char* lc_all) {
    const char* old = ::getenv("LC_ALL");
    had_ = old != nullptr;
    if (had_) old_ = old;
    ::setenv("LC_ALL", lc_all, 1);
  }
  ~LocaleGuard() {
    if (had_) {
      ::setenv("LC_ALL", old_.c_str(), 1);
    } else {
      ::unsetenv("LC_ALL");
    }
  }

 private:
  bool had_ = false;
  std::string old_;
};

int ReadKeyWithin(Console& console, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const int key = console.ReadKey();
    if (key != kNoKey || std::chrono::steady_clock::now() > deadline) return key;
  }
}

bool Cooked(const struct termios& modes) {
  return (modes.c_lflag & ICANON) != 0 && (modes.c_lflag & ECHO) != 0;
}

TEST(TerminalConsole, OnlyForATerminal) {
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  EXPECT_EQ(OpenTerminalConsole(pipe_fds[0], pipe_fds[1]), nullptr);
  ::close(pipe_fds[0]);
  ::close(pipe_fds[1]);
}

TEST(TerminalConsole, SizeFollowsTheTerminal) {
  PseudoTerminal pty(10, 20);
  ASSERT_TRUE(pty.ok());
  auto console = OpenTerminalConsole(pty.slave(), pty.slave());
  ASSERT_NE(console, nullptr);
  EXPECT_EQ(console->Rows(), 10);
  EXPECT_EQ(console->Columns(), 20);
  EXPECT_TRUE(console->Resize(10, 20));
  pty.SetSize(12, 30);
  std::vector<Cell> cells;
  ASSERT_TRUE(console->ReadCells(&cells));
  EXPECT_EQ(cells.size(), 360u);
}

TEST(TerminalConsole, StatusScreenDrawsAndPutsTheTerminalBack) {
  LocaleGuard locale("C.UTF-8");
  PseudoTerminal pty(10, 20);
  ASSERT_TRUE(pty.ok());
  ASSERT_TRUE(Cooked(pty.Modes()));
  auto console = OpenTerminalConsole(pty.slave(), pty.slave());
  ASSERT_NE(console, nullptr);

  std::vector<Cell> cells(200);
  cells[0] = Cell{0xDA, 7};
  EXPECT_TRUE(console->WriteCells(cells, 10, 20));
  EXPECT_EQ(pty.Drain(), "");  // nothing is drawn over the user's screen

  console->EnterStatusScreen();
  EXPECT_FALSE(Cooked(pty.Modes()));
  std::string out = pty.Drain();
  EXPECT_NE(out.find("\x1b[?1049h"), std::string::npos);

  cells[21] = Cell{'Q', 0x1F};
  EXPECT_TRUE(console->WriteCells(cells, 10, 20));
  out = pty.Drain();
  EXPECT_NE(out.find("\x1b[1;1H\xE2\x94\x8C"), std::string::npos) << out;
  EXPECT_NE(out.find("\x1b[0;97;44mQ"), std::string::npos) << out;
  std::vector<Cell> shown;
  ASSERT_TRUE(console->ReadCells(&shown));
  EXPECT_EQ(shown, cells);

  console->SetCursor({0, 0, 25, false});
  EXPECT_NE(pty.Drain().find("\x1b[?25l"), std::string::npos);

  console->LeaveStatusScreen();
  EXPECT_TRUE(Cooked(pty.Modes()));
  out = pty.Drain();
  EXPECT_NE(out.find("\x1b[?1049l"), std::string::npos);
  EXPECT_NE(out.find("\x1b[?25h"), std::string::npos);
}

TEST(TerminalConsole, AsciiOutsideAUtf8Locale) {
  LocaleGuard locale("C");
  PseudoTerminal pty(5, 10);
  ASSERT_TRUE(pty.ok());
  auto console = OpenTerminalConsole(pty.slave(), pty.slave());
  ASSERT_NE(console, nullptr);
  console->EnterStatusScreen();
  pty.Drain();
  std::vector<Cell> cells(50);
  cells[0] = Cell{0xDA, 7};
  cells[1] = Cell{0xC4, 7};
  cells[2] = Cell{0xBF, 7};
  console->WriteCells(cells, 5, 10);
  EXPECT_NE(pty.Drain().find("+-+"), std::string::npos);
  console->LeaveStatusScreen();
}

TEST(TerminalConsole, KeysWithoutWaiting) {
  PseudoTerminal pty(10, 20);
  ASSERT_TRUE(pty.ok());
  auto console = OpenTerminalConsole(pty.slave(), pty.slave());
  ASSERT_NE(console, nullptr);
  console->EnterStatusScreen();
  EXPECT_EQ(console->ReadKey(), kNoKey);
  pty.Type("2");
  EXPECT_EQ(ReadKeyWithin(*console, std::chrono::seconds(5)), '2');
  pty.Type("\x1bx");
  EXPECT_EQ(ReadKeyWithin(*console, std::chrono::seconds(5)), kKeyAltX);
  pty.Type("\x1b");
  EXPECT_EQ(ReadKeyWithin(*console, std::chrono::seconds(5)), kKeyEscape);
  pty.Type("9");
  ASSERT_EQ(ReadKeyWithin(*console, std::chrono::seconds(5)), '9');
  pty.Type("55");
  console->FlushInput();
  EXPECT_EQ(console->ReadKey(), kNoKey);
  console->LeaveStatusScreen();
}

// Input that piles up is read in pieces; a key sequence cut at the end of a
// piece is completed from the next one, so its parameters never come out as
// digit keys (which would cut a slot's connection).
TEST(TerminalConsole, SequenceCutBetweenReadsIsNotTakenForKeys) {
  PseudoTerminal pty(10, 20);
  ASSERT_TRUE(pty.ok());
  auto console = OpenTerminalConsole(pty.slave(), pty.slave());
  ASSERT_NE(console, nullptr);
  console->EnterStatusScreen();
  const std::string typed = std::string(61, 'a') + "\x1b[15~";  // F5 after 61 letters
  pty.Type(typed);
  // Everything is waiting in the terminal before the first key is read.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int waiting = 0;
  while (::ioctl(pty.slave(), FIONREAD, &waiting) == 0 &&
         waiting < static_cast<int>(typed.size()) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  ASSERT_EQ(waiting, static_cast<int>(typed.size()));
  std::string keys;
  for (int call = 0; call < 100; ++call) {
    const int key = console->ReadKey();
    if (key != kNoKey) keys += static_cast<char>(key);
  }
  EXPECT_EQ(keys, std::string(61, 'a'));
  console->LeaveStatusScreen();
}

TEST(TerminalConsole, PrintLineEndsWithCrLfInRawMode) {
  PseudoTerminal pty(10, 20);
  ASSERT_TRUE(pty.ok());
  auto console = OpenTerminalConsole(pty.slave(), pty.slave());
  ASSERT_NE(console, nullptr);
  console->PrintLine("before");
  EXPECT_EQ(pty.Drain(), "before\r\n");  // the terminal's own output processing
  console->SetTitle("CrossPoint/Quorix v0.23g\x07");
  EXPECT_EQ(pty.Drain(), "\x1b]0;CrossPoint/Quorix v0.23g\x07");
}

TEST(TerminalConsole, SignalThatEndsTheProcessPutsTheTerminalBack) {
  PseudoTerminal pty(10, 20);
  ASSERT_TRUE(pty.ok());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto console = OpenTerminalConsole(pty.slave(), pty.slave());
    if (console == nullptr) ::_exit(3);
    console->EnterStatusScreen();
    ::raise(SIGTERM);
    ::_exit(4);  // not reached: SIGTERM ends the process
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_TRUE(Cooked(pty.Modes()));
  const std::string out = pty.Drain();
  EXPECT_NE(out.find("\x1b[?1049h"), std::string::npos);
  EXPECT_NE(out.find("\x1b[?1049l"), std::string::npos);
}

TEST(TerminalConsole, ExitPutsTheTerminalBack) {
  PseudoTerminal pty(10, 20);
  ASSERT_TRUE(pty.ok());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto console = OpenTerminalConsole(pty.slave(), pty.slave());
    if (console == nullptr) ::_exit(3);
    console->EnterStatusScreen();
    console.release();  // never left: the exit handler restores
    ::exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_TRUE(Cooked(pty.Modes()));
  EXPECT_NE(pty.Drain().find("\x1b[?1049l"), std::string::npos);
}

}  // namespace
}  // namespace quorix::platform
