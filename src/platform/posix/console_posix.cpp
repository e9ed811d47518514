// The console of this process on POSIX.
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string_view>

#include "platform/console.h"
#include "platform/terminal_console.h"

namespace quorix::platform {

// The choice between the terminal console and the headless one is made here:
// a terminal on standard output gets the terminal console; whenever standard
// output is not a terminal, or the terminal cannot place the cursor
// (TERM=dumb), the process works with a headless 80x25 grid that echoes
// printed lines.
std::unique_ptr<Console> OpenProcessConsole() {
  const char* term = ::getenv("TERM");
  const bool dumb = term != nullptr && std::string_view(term) == "dumb";
  if (!dumb) {
    if (auto terminal = OpenTerminalConsole(STDIN_FILENO, STDOUT_FILENO)) return terminal;
  }
  return std::make_unique<HeadlessConsole>(25, 80, true);
}

}  // namespace quorix::platform
