#include "core/command_line.h"

#include "text/text.h"

namespace quorix::core {
namespace {

bool IsOptionWord(std::string_view word) {
  return !word.empty() && word.front() == '/' && word.find('/', 1) == std::string_view::npos;
}

// Position of the first option word in `text`, or npos.
size_t OptionsStart(std::string_view text) {
  size_t word_start = 0;
  while (word_start <= text.size()) {
    size_t word_end = text.find(' ', word_start);
    if (word_end == std::string_view::npos) word_end = text.size();
    if (IsOptionWord(text.substr(word_start, word_end - word_start))) return word_start;
    word_start = word_end + 1;
  }
  return std::string_view::npos;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line.tail += ' ';
    line.tail += argv[i];
  }
  if (line.tail.empty() || line.tail.find('?') != std::string::npos) {
    line.usage = true;
    return line;
  }
  std::string text = text::ReplaceAll(text::TrimBlanks(line.tail), "  ", " ");
  const size_t options = OptionsStart(text);
  if (options != std::string::npos) {
    line.no_post = text::UpperCase437(text.substr(options)).find("/NOPOST") != std::string::npos;
    text = std::string(text::TrimBlanks(std::string_view(text).substr(0, options)));
  }
  line.argument_text = std::move(text);
  return line;
}

std::vector<std::string> BoxNames(std::string_view argument_text) {
  std::vector<std::string> names;
  if (argument_text.empty()) return names;
  for (std::string_view field : text::Split(argument_text, " ")) names.emplace_back(field);
  return names;
}

}  // namespace quorix::core
