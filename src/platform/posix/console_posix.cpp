// The console of this process on POSIX.
#include <unistd.h>

#include <memory>

#include "platform/console.h"

namespace quorix::platform {

// The choice between the terminal console and the headless one is made here:
// a terminal on standard output gets the terminal console once that exists;
// until then, and whenever standard output is not a terminal, the process
// works with a headless 80x25 grid that echoes printed lines.
std::unique_ptr<Console> OpenProcessConsole() {
  const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  if (terminal) return std::make_unique<HeadlessConsole>(25, 80, true);
  return std::make_unique<HeadlessConsole>(25, 80, true);
}

}  // namespace quorix::platform
