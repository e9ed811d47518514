// Reading the parts of a raw HTTP response (status line, header lines, body)
// as HttpGet and HttpPost return it.
#pragma once

#include <string_view>

namespace quorix::http {

// The status code of the status line ("HTTP/1.1 301 Moved" -> 301); 0 when
// the response does not start with a well-formed status line.
int StatusCode(std::string_view response);

// The value of the first header line called `name` (case-insensitive), blanks
// trimmed; empty when there is none. Only the header block is searched.
std::string_view HeaderValue(std::string_view response, std::string_view name);

// Everything after the blank line that ends the header block; empty when the
// header block never ends.
std::string_view ResponseBody(std::string_view response);

}  // namespace quorix::http
