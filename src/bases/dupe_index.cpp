// Indexing the bracketed runs of the dupe text.
#include "bases/dupe_index.h"

#include <cstring>
#include <utility>

namespace quorix::bases {

namespace {

// Indexes from `indexed_up_to` to the end. Stops at a "<" whose run is still
// open, so that the next append completes it.
//
// Both brackets are found with a byte search (a set search of two bytes
// would test every byte against the set). The ">" found for one candidate
// is kept for the next while it still lies ahead, so a text of many "<" and
// no ">" is scanned once, not once per "<".
void IndexNewText(run::DupeIndex& state) {
  const std::string_view text = state.text;
  size_t position = state.indexed_up_to;
  size_t close = std::string_view::npos;
  bool close_known = false;
  while (true) {
    const size_t open = text.find('<', position);
    if (open == std::string_view::npos) {
      state.indexed_up_to = text.size();
      return;
    }
    if (!close_known || close <= open) {
      close = text.find('>', open + 1);
      close_known = true;
    }
    // The next "<" before that ">" starts the next candidate run instead.
    const size_t limit = close == std::string_view::npos ? text.size() : close;
    const void* next_open = std::memchr(text.data() + open + 1, '<', limit - open - 1);
    if (next_open != nullptr) {
      position = static_cast<size_t>(static_cast<const char*>(next_open) - text.data());
      continue;
    }
    if (close == std::string_view::npos) {
      state.indexed_up_to = open;
      return;
    }
    const run::TextSpan id{open, close - open + 1};
    state.ids.insert(id);
    const std::string_view stem = VersionStem(text.substr(id.offset, id.size));
    if (!stem.empty()) state.latest_version.insert_or_assign(run::TextSpan{open, stem.size()}, id);
    position = close + 1;
  }
}
}  // namespace

bool IsBracketedRun(std::string_view id) {
  return id.size() >= 2 && id.front() == '<' && id.back() == '>' &&
         id.substr(1, id.size() - 2).find_first_of("<>") == std::string_view::npos;
}

std::string_view VersionStem(std::string_view id) {
  if (!IsBracketedRun(id)) return {};
  const size_t dot = id.rfind('.');
  if (dot == std::string_view::npos || id.find('@') > dot) return {};
  const std::string_view checksum = id.substr(dot + 1, id.size() - dot - 2);
  if (checksum.empty() || checksum.size() > 8) return {};
  for (char c : checksum) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return {};
  }
  return id.substr(0, dot + 1);
}

std::string EarlierVersion(const run::DupeIndex& state, std::string_view id) {
  const std::string_view stem = VersionStem(id);
  if (stem.empty()) return {};
  const auto found = state.latest_version.find(stem);
  if (found == state.latest_version.end()) return {};
  const std::string_view latest =
      std::string_view(state.text).substr(found->second.offset, found->second.size);
  if (latest == id) return {};
  return std::string(latest);
}

void ResetDupeText(run::DupeIndex& state, std::string text) {
  state.text = std::move(text);
  state.ids.clear();
  state.latest_version.clear();
  // Room for the IDs the text holds (about 40 bytes each) at once, instead of
  // rehashing the whole set again and again while a large base is indexed.
  state.ids.reserve(state.text.size() / 40);
  state.latest_version.reserve(state.text.size() / 40);
  state.indexed_up_to = 0;
  IndexNewText(state);
}

void AppendDupeText(run::DupeIndex& state, std::string_view id) {
  state.text.append(id);
  IndexNewText(state);
}

bool DupeTextContains(const run::DupeIndex& state, std::string_view id) {
  if (id.empty()) return false;
  if (IsBracketedRun(id)) return state.ids.find(id) != state.ids.end();
  return state.text.find(id) != std::string::npos;
}

}  // namespace quorix::bases
