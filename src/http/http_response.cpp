#include "http/http_response.h"

#include "text/text.h"

namespace quorix::http {
namespace {

// The header block without the status line: up to the first empty line.
// Lines may end in CR LF or a bare LF, as careless servers send them.
std::string_view HeaderBlock(std::string_view response) {
  size_t end = response.find("\r\n\r\n");
  size_t bare = response.find("\n\n");
  if (bare != std::string_view::npos && (end == std::string_view::npos || bare < end)) end = bare;
  return end == std::string_view::npos ? response : response.substr(0, end);
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (text::ToLower437(a[i]) != text::ToLower437(b[i])) return false;
  }
  return true;
}

}  // namespace

int StatusCode(std::string_view response) {
  if (!response.starts_with("HTTP/")) return 0;
  size_t blank = response.find(' ');
  if (blank == std::string_view::npos || response.size() < blank + 4) return 0;
  int code = 0;
  for (size_t i = blank + 1; i < blank + 4; ++i) {
    char c = response[i];
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  if (response.size() > blank + 4 && response[blank + 4] != ' ' && response[blank + 4] != '\r' &&
      response[blank + 4] != '\n') {
    return 0;
  }
  return code;
}

std::string_view HeaderValue(std::string_view response, std::string_view name) {
  std::string_view block = HeaderBlock(response);
  size_t line_start = block.find('\n');
  while (line_start != std::string_view::npos) {
    ++line_start;
    size_t line_end = block.find('\n', line_start);
    std::string_view line =
        block.substr(line_start, line_end == std::string_view::npos ? std::string_view::npos
                                                                    : line_end - line_start);
    size_t colon = line.find(':');
    if (colon != std::string_view::npos && SameIgnoringCase(line.substr(0, colon), name)) {
      std::string_view value = line.substr(colon + 1);
      if (!value.empty() && value.back() == '\r') value.remove_suffix(1);
      return text::TrimBlanks(value);
    }
    line_start = line_end;
  }
  return {};
}

std::string_view ResponseBody(std::string_view response) {
  size_t end = response.find("\r\n\r\n");
  size_t bare = response.find("\n\n");
  if (bare != std::string_view::npos && (end == std::string_view::npos || bare < end)) {
    return response.substr(bare + 2);
  }
  return end == std::string_view::npos ? std::string_view{} : response.substr(end + 4);
}

}  // namespace quorix::http
