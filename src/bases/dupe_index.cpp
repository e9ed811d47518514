// Indexing the bracketed runs of the dupe text.
#include "bases/dupe_index.h"

#include <utility>

namespace quorix::bases {

namespace {

// Indexes from `indexed_up_to` to the end. Stops at a "<" whose run is still
// open, so that the next append completes it.
void IndexNewText(run::DupeBaseState& state) {
  const std::string_view text = state.text;
  size_t position = state.indexed_up_to;
  while (true) {
    size_t open = text.find('<', position);
    if (open == std::string_view::npos) {
      state.indexed_up_to = text.size();
      return;
    }
    size_t close = text.find_first_of("<>", open + 1);
    if (close == std::string_view::npos) {
      state.indexed_up_to = open;
      return;
    }
    if (text[close] == '>') {
      state.ids.emplace(text.substr(open, close - open + 1));
      position = close + 1;
    } else {
      position = close;  // this "<" starts the next candidate run
    }
  }
}

}  // namespace

bool IsBracketedRun(std::string_view id) {
  return id.size() >= 2 && id.front() == '<' && id.back() == '>' &&
         id.substr(1, id.size() - 2).find_first_of("<>") == std::string_view::npos;
}

void ResetDupeText(run::DupeBaseState& state, std::string text) {
  state.text = std::move(text);
  state.ids.clear();
  state.indexed_up_to = 0;
  IndexNewText(state);
}

void AppendDupeText(run::DupeBaseState& state, std::string_view id) {
  state.text.append(id);
  IndexNewText(state);
}

bool DupeTextContains(const run::DupeBaseState& state, std::string_view id) {
  if (id.empty()) return false;
  if (IsBracketedRun(id)) return state.ids.find(id) != state.ids.end();
  return state.text.find(id) != std::string::npos;
}

}  // namespace quorix::bases
