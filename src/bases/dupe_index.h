// The lookup structure of the dupe base.
//
// The base is one text, the stored Message-IDs concatenated, and an ID counts
// as known when it occurs anywhere in that text. An ID of the form "<...>"
// without inner "<" or ">" can only occur as a run that starts at a "<" and
// ends at the first ">" after it with no "<" between; indexing every such run
// answers those lookups exactly, without searching the text. Any other query
// falls back to a search of the text, so the answer is always the same as a
// plain substring search.
#pragma once

#include <string>
#include <string_view>

#include "run/base_state.h"

namespace quorix::bases {

// Replaces the text (e.g. with the file's contents) and indexes it anew.
void ResetDupeText(run::DupeIndex& state, std::string text);

// Appends an ID and indexes what the text gained; a run left open at the end
// of the text (a "<" without ">" yet) is completed by the next append.
void AppendDupeText(run::DupeIndex& state, std::string_view id);

// True when `id` occurs in the text. An empty ID never does.
bool DupeTextContains(const run::DupeIndex& state, std::string_view id);

// "<...>" with no "<" or ">" inside.
bool IsBracketedRun(std::string_view id);

// The part of a Message-ID that all versions of one post share: the ID up to
// and including the "." before its checksum (the lower-case hexadecimal digits
// before ">"). Empty for an ID without such a checksum.
std::string_view VersionStem(std::string_view id);

// The ID stored last that shares `id`'s stem, looked up in the index; empty
// when there is none or when it is `id` itself.
std::string EarlierVersion(const run::DupeIndex& state, std::string_view id);

}  // namespace quorix::bases
