// The extension of the spool files written for the reader, chosen by the
// platform: ".msg" on POSIX, where the reader's Linux build imports "*.msg"
// with a case-sensitive match; ".MSG" on Windows, as the reader writes it.
#pragma once

#include <string_view>

namespace quorix::platform {

std::string_view SpoolExtension();

}  // namespace quorix::platform
