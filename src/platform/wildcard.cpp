// DOS wildcard matching, the same on every system.
#include "platform/file.h"

namespace quorix::platform {
namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

// "?" takes exactly one character and "*" any run, so "n????.OUT" needs four
// characters between "n" and ".OUT". The match covers the whole name. Greedy
// with one back-tracking point (the last "*"), which is linear for the
// patterns used here and never worse than pattern length times name length.
bool MatchWildcard(std::string_view pattern, std::string_view name) {
  size_t p = 0;
  size_t n = 0;
  size_t star = std::string_view::npos;  // position after the last "*" seen
  size_t star_name = 0;                  // where that "*" currently stops in the name
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = ++p;
      star_name = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace quorix::platform
