// Replacement tables applied in one pass where the table allows it.
#include "text/replacement_sequence.h"

#include <algorithm>

#include "text/text.h"

namespace quorix::text {

namespace {

constexpr size_t kNone = std::string_view::npos;

}  // namespace

ReplacementSequence::ReplacementSequence(std::vector<Entry> entries) {
  for (Entry& entry : entries) {
    if (!entry.first.empty()) entries_.push_back(std::move(entry));
  }
  one_pass_ = CheckOnePass();
  if (one_pass_ && !entries_.empty()) {
    common_prefix_ = entries_.front().first;
    for (const Entry& entry : entries_) {
      const auto [mismatch, unused] = std::mismatch(common_prefix_.begin(), common_prefix_.end(),
                                                    entry.first.begin(), entry.first.end());
      common_prefix_.erase(mismatch, common_prefix_.end());
    }
  }
}

bool ReplacementSequence::CheckOnePass() const {
  if (entries_.empty()) return true;
  const char lead = entries_.front().first.front();
  bool starts_replacement[256] = {};
  for (const Entry& entry : entries_) {
    if (entry.first.front() != lead) return false;
    // An empty replacement joins the text around it, which may form anything.
    if (entry.second.empty() || entry.second.find(lead) != std::string::npos) return false;
    starts_replacement[static_cast<unsigned char>(entry.second[0])] = true;
  }
  for (const Entry& entry : entries_) {
    for (size_t i = 1; i < entry.first.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(entry.first[i]);
      if (c == static_cast<unsigned char>(lead) || starts_replacement[c]) return false;
    }
    for (const Entry& other : entries_) {
      const std::string& a = entry.first;
      const std::string& b = other.first;
      if (a.size() < b.size() && b.compare(0, a.size(), a) == 0) return false;
    }
  }
  return true;
}

void ReplacementSequence::ApplyOnePass(std::string& text) const {
  const char lead = entries_.front().first.front();
  const std::string_view view = text;
  size_t hit = view.find(lead);
  std::string out;
  size_t done = 0;
  bool changed = false;
  while (hit != kNone) {
    const std::string_view rest = view.substr(hit);
    size_t skip = 1;
    if (rest.substr(0, common_prefix_.size()) == common_prefix_) {
      for (const Entry& entry : entries_) {
        if (rest.substr(0, entry.first.size()) != entry.first) continue;
        if (!changed) {
          out.reserve(view.size());
          changed = true;
        }
        out.append(view.data() + done, hit - done);
        out.append(entry.second);
        done = hit + entry.first.size();
        skip = entry.first.size();
        break;
      }
    }
    hit = view.find(lead, hit + skip);
  }
  if (!changed) return;
  out.append(view.data() + done, view.size() - done);
  text.swap(out);
}

void ReplacementSequence::Apply(std::string& text) const {
  if (entries_.empty()) return;
  if (one_pass_) {
    ApplyOnePass(text);
    return;
  }
  for (const Entry& entry : entries_) ReplaceAllInPlace(text, entry.first, entry.second);
}

}  // namespace quorix::text
