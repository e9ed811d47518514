// The form encoder for POST bodies (application/x-www-form-urlencoded).
#pragma once

#include <string>
#include <string_view>

namespace quorix::http {

// Encodes byte by byte: ASCII letters and digits stay, a blank becomes "+",
// every other byte (punctuation, control bytes, bytes of 128 and above)
// becomes "%" and two upper-case hexadecimal digits. The result is at most
// three times as long as `text`.
std::string UrlEncodeForm(std::string_view text);

}  // namespace quorix::http
