// A fixed table of replacements applied one after the other, each one a
// ReplaceAll pass over the text the previous one left.
//
// Taken literally that is one pass over the text per entry. When the table
// allows it, Apply gives the same text in one pass: every search text begins
// with the same byte (the lead, e.g. "<" of a markup) and holds no second one,
// no search text is a proper prefix of another, no replacement is empty or
// holds the lead, and no search text holds, after its lead, the first byte of a replacement.
// Then occurrences of different entries never overlap, and no replacement can
// complete a new occurrence of a later entry together with the text before it,
// so replacing at each lead the first entry that matches there is exact.
// Otherwise Apply runs the passes one by one.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorix::text {

class ReplacementSequence {
 public:
  using Entry = std::pair<std::string, std::string>;  // search text, replacement

  // Entries with an empty search text change nothing and are left out.
  explicit ReplacementSequence(std::vector<Entry> entries);

  void Apply(std::string& text) const;

  // Whether Apply works in one pass (exposed for tests).
  bool OnePass() const { return one_pass_; }

 private:
  bool CheckOnePass() const;
  void ApplyOnePass(std::string& text) const;

  std::vector<Entry> entries_;
  bool one_pass_ = false;
  // The bytes every search text begins with: a lead that is not followed by
  // them starts no occurrence, which settles most leads of a page (other
  // tags) with one comparison instead of one per entry.
  std::string common_prefix_;
};

}  // namespace quorix::text
