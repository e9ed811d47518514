// The command line as CrossPoint passes it: box file names, then options.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorix::core {

struct CommandLine {
  std::string tail;           // argv[1..] joined by blanks
  std::string argument_text;  // the box names, normalised, options removed
  bool usage = false;         // empty tail or a "?" in it
  bool no_post = false;       // "/NOPOST" among the options (any letter case)
};

// Options start at the first blank-separated word that begins with "/" and
// contains no further "/", so absolute box paths stay intact.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// The blank-separated fields of the argument text: a double blank gives an
// empty field between its neighbours.
std::vector<std::string> BoxNames(std::string_view argument_text);

}  // namespace quorix::core
