// The character set of a forum's pages: what a page declares, read by the
// harvest and remembered for the slot, so that posting writes to the forum in
// the set it reads from it.
#pragma once

#include <optional>
#include <string_view>

#include "run/run.h"
#include "text/charset.h"

namespace quorix::harvest {

// What a raw response declares: the "charset=" parameter of its HTTP
// Content-Type header, else the first "charset=" inside a <meta ...> tag of
// the page's first 64 KiB (both the <meta charset="..."> and the http-equiv
// form). Nothing when neither names a known set.
std::optional<text::Charset> DeclaredCharset(std::string_view response);

// The set a page is read in: the box's WebCharset when it names a known set,
// else what the page declares, else ISO-8859-1 (the engines' historic default).
text::Charset PageCharset(const run::WebSettings& web, std::string_view response);

// Remembers the set of a fetched page for the slot (`Slot::forum_charset`).
// Only an answer with status 200 counts: an error page may come from
// elsewhere. Returns the set to read the page in.
text::Charset NotePageCharset(run::Slot& slot, std::string_view response);

}  // namespace quorix::harvest
