#include "text/replacement_sequence.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "text/text.h"

namespace quorix::text {
namespace {

using Entries = std::vector<ReplacementSequence::Entry>;

std::string OneByOne(std::string text, const Entries& entries) {
  for (const auto& [from, to] : entries) text = ReplaceAll(text, from, to);
  return text;
}

// Texts from the bytes the tables use, so that occurrences, near misses,
// adjacent and cut markups are frequent; deterministic.
std::vector<std::string> SampleTexts() {
  std::vector<std::string> texts = {"", "<", "<<a>", "<a><a>", "<a:<b>>", "x<ab>y<a>z<b>:"};
  const std::string alphabet = "<<ab>:8-x";
  uint32_t state = 12345;
  for (int n = 0; n < 4000; ++n) {
    std::string text;
    const size_t length = n % 23;
    for (size_t i = 0; i < length; ++i) {
      state = state * 1103515245u + 12345u;
      text.push_back(alphabet[(state >> 16) % alphabet.size()]);
    }
    texts.push_back(text);
  }
  return texts;
}

// Every table gives exactly the text of its passes one after the other,
// whether or not it qualifies for the single pass.
TEST(ReplacementSequence, EqualsThePassesInSequence) {
  struct Case {
    const char* name;
    Entries entries;
    bool one_pass;
  };
  const std::vector<Case> cases = {
      {"markups", {{"<a>", ":-)"}, {"<b>", "8-)"}, {"<ab>", ":)"}, {"<a>", "x"}}, true},
      {"one entry", {{"<a>", "-"}}, true},
      {"empty search texts left out", {{"", "x"}, {"<b>", ":"}}, true},
      {"prefix of another", {{"<a", ":"}, {"<ab>", "8"}}, false},
      {"second lead inside", {{"<a<b>", ":"}, {"<b>", "8"}}, false},
      {"different leads", {{"<a>", ":"}, {"a>", "8"}}, false},
      {"replacement holds the lead", {{"<a>", "<"}, {"<b>", "8"}}, false},
      {"empty replacement joins", {{"<a>", ""}, {"<b>", "8"}}, false},
      {"replacement completes a later markup", {{"<b>", ":"}, {"<a:", "8"}}, false},
      {"replacement completes an earlier markup", {{"<a:", "8"}, {"<b>", ":"}}, false},
  };
  const std::vector<std::string> texts = SampleTexts();
  for (const Case& c : cases) {
    const ReplacementSequence sequence(c.entries);
    EXPECT_EQ(sequence.OnePass(), c.one_pass) << c.name;
    for (const std::string& text : texts) {
      std::string applied = text;
      sequence.Apply(applied);
      ASSERT_EQ(applied, OneByOne(text, c.entries)) << c.name << " on \"" << text << "\"";
    }
  }
}

TEST(ReplaceAllInPlace, EqualsReplaceAll) {
  struct Case {
    std::string text, from, to;
    bool changed;
  };
  const std::vector<Case> cases = {
      {"a  b   c", "  ", " ", true}, {"&amp;lt;", "&amp;", "&", true}, {"none", "x", "y", false},
      {"xx", "", "y", false},        {"abab", "ab", "abab", true},     {"", "a", "b", false},
      {"same", "m", "m", true},
  };
  for (const Case& c : cases) {
    std::string in_place = c.text;
    EXPECT_EQ(ReplaceAllInPlace(in_place, c.from, c.to), c.changed) << c.text;
    EXPECT_EQ(in_place, ReplaceAll(c.text, c.from, c.to)) << c.text;
  }
}

}  // namespace
}  // namespace quorix::text
