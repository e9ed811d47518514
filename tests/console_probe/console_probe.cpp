// The Windows console seen from outside, for the status-screen tests: the
// counterpart of tmux's capture-pane and send-keys.
//
//   console_probe capture NAME.EXE          prints the window of that
//       process's console: "rows R cols C", then each row's characters
//       (code page 437 bytes as they are) and each row's attributes (two
//       hex digits per cell)
//   console_probe keys NAME.EXE KEY...      writes key events into its
//       console's input: Escape, Alt+X, or one character
//
// The process is found by its executable's name (the first match).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

DWORD FindProcess(const char* name) {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = ::Process32First(snapshot, &entry); more && found == 0;
       more = ::Process32Next(snapshot, &entry)) {
    if (::lstrcmpiA(entry.szExeFile, name) == 0) found = entry.th32ProcessID;
  }
  ::CloseHandle(snapshot);
  return found;
}

HANDLE OpenConsoleFile(const char* name) {
  return ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

int Capture() {
  HANDLE out = OpenConsoleFile("CONOUT$");
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (out == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(out, &info)) {
    std::fprintf(stderr, "console_probe: no screen buffer (%lu)\n", ::GetLastError());
    return 3;
  }
  const SMALL_RECT window = info.srWindow;
  const int rows = window.Bottom - window.Top + 1;
  const int cols = window.Right - window.Left + 1;
  std::vector<CHAR_INFO> cells(static_cast<size_t>(rows * cols));
  SMALL_RECT region = window;
  if (!::ReadConsoleOutputA(out, cells.data(), COORD{static_cast<SHORT>(cols), static_cast<SHORT>(rows)},
                            COORD{0, 0}, &region)) {
    std::fprintf(stderr, "console_probe: ReadConsoleOutputA failed (%lu)\n", ::GetLastError());
    return 3;
  }
  std::printf("rows %d cols %d\n", rows, cols);
  for (int r = 0; r < rows; ++r) {
    std::string line;
    for (int c = 0; c < cols; ++c) line += cells[static_cast<size_t>(r * cols + c)].Char.AsciiChar;
    std::printf("T%s\n", line.c_str());
  }
  for (int r = 0; r < rows; ++r) {
    std::string line;
    char hex[4];
    for (int c = 0; c < cols; ++c) {
      std::snprintf(hex, sizeof hex, "%02x", cells[static_cast<size_t>(r * cols + c)].Attributes & 0xff);
      line += hex;
    }
    std::printf("A%s\n", line.c_str());
  }
  return 0;
}

INPUT_RECORD KeyEvent(bool down, WORD virtual_key, WORD scan, char character, DWORD state) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
  record.Event.KeyEvent.wRepeatCount = 1;
  record.Event.KeyEvent.wVirtualKeyCode = virtual_key;
  record.Event.KeyEvent.wVirtualScanCode = scan;
  record.Event.KeyEvent.uChar.AsciiChar = character;
  record.Event.KeyEvent.dwControlKeyState = state;
  return record;
}

int Keys(int count, char** keys) {
  HANDLE in = OpenConsoleFile("CONIN$");
  if (in == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "console_probe: no console input (%lu)\n", ::GetLastError());
    return 3;
  }
  for (int i = 0; i < count; ++i) {
    std::vector<INPUT_RECORD> records;
    const std::string key = keys[i];
    if (key == "Escape") {
      records = {KeyEvent(true, VK_ESCAPE, 1, 27, 0), KeyEvent(false, VK_ESCAPE, 1, 27, 0)};
    } else if (key == "Alt+X") {
      records = {KeyEvent(true, VK_MENU, 56, 0, LEFT_ALT_PRESSED),
                 KeyEvent(true, 'X', 45, 'x', LEFT_ALT_PRESSED),
                 KeyEvent(false, 'X', 45, 'x', LEFT_ALT_PRESSED), KeyEvent(false, VK_MENU, 56, 0, 0)};
    } else if (key.size() == 1) {
      const char c = key[0];
      const SHORT vk = ::VkKeyScanA(c);
      records = {KeyEvent(true, static_cast<WORD>(vk & 0xff), 0, c, 0),
                 KeyEvent(false, static_cast<WORD>(vk & 0xff), 0, c, 0)};
    } else {
      std::fprintf(stderr, "console_probe: unknown key %s\n", key.c_str());
      return 2;
    }
    DWORD written = 0;
    if (!::WriteConsoleInputA(in, records.data(), static_cast<DWORD>(records.size()), &written) ||
        written != records.size()) {
      std::fprintf(stderr, "console_probe: WriteConsoleInputA failed (%lu)\n", ::GetLastError());
      return 3;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || (std::strcmp(argv[1], "capture") != 0 && std::strcmp(argv[1], "keys") != 0)) {
    std::fprintf(stderr, "usage: console_probe capture|keys NAME.EXE [KEY...]\n");
    return 2;
  }
  const DWORD pid = FindProcess(argv[2]);
  if (pid == 0) {
    std::fprintf(stderr, "console_probe: no process %s\n", argv[2]);
    return 4;
  }
  ::FreeConsole();
  if (!::AttachConsole(pid)) {
    std::fprintf(stderr, "console_probe: AttachConsole(%lu) failed (%lu)\n", pid, ::GetLastError());
    return 3;
  }
  return std::strcmp(argv[1], "capture") == 0 ? Capture() : Keys(argc - 3, argv + 3);
}
