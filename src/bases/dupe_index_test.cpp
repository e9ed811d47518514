#include "bases/dupe_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace quorix::bases {
namespace {

TEST(DupeIndex, FindsWholeIdsOnly) {
  run::DupeIndex state;
  AppendDupeText(state, "<g@forum1.topic.0.1a2b>");
  AppendDupeText(state, "<g@forum1.topic.1.ffff>");
  EXPECT_TRUE(DupeTextContains(state, "<g@forum1.topic.0.1a2b>"));
  EXPECT_TRUE(DupeTextContains(state, "<g@forum1.topic.1.ffff>"));
  // An edited article: only the checksum differs.
  EXPECT_FALSE(DupeTextContains(state, "<g@forum1.topic.1.fffe>"));
  EXPECT_FALSE(DupeTextContains(state, "<g@forum1.topic.0.1a2>"));
  // Queries that are not whole IDs are answered by a search of the text.
  EXPECT_TRUE(DupeTextContains(state, "1a2b><g@"));
  EXPECT_TRUE(DupeTextContains(state, "topic"));
  EXPECT_FALSE(DupeTextContains(state, ""));
}

TEST(DupeIndex, EarlierVersionOfAnEditedPost) {
  run::DupeIndex state;
  ResetDupeText(state, "3ab><g@forum1.000001.html.0.1a2b><g@forum1.000001.html.1.ff>");
  AppendDupeText(state, "<g@forum1.000001.html.1.fe><g@forum2.7.4700.0.c0ffee><odd.id>");
  struct Case {
    const char* id;
    const char* earlier;
  };
  const Case cases[] = {
      {"<g@forum1.000001.html.0.99>", "<g@forum1.000001.html.0.1a2b>"},
      // Edited twice: the version stored last is the one the reader holds.
      {"<g@forum1.000001.html.1.12>", "<g@forum1.000001.html.1.fe>"},
      {"<g@forum2.7.4700.0.1>", "<g@forum2.7.4700.0.c0ffee>"},
      {"<g@forum1.000001.html.1.fe>", ""},  // itself
      {"<g@forum1.000001.html.2.1a2b>", ""},
      {"<g@forum1.000001.html.0.XY>", ""},  // no checksum
      {"<odd.id>", ""},
      {"<a.b.3ab>", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(EarlierVersion(state, c.id), c.earlier) << c.id;
}

TEST(DupeIndex, RunOpenAtTheEndIsCompletedByTheNextAppend) {
  run::DupeIndex state;
  // A saved base may be cut inside an ID; the pieces join again.
  ResetDupeText(state,
                "tail>"
                "<a.1");
  EXPECT_FALSE(DupeTextContains(state, "<a.1>"));
  AppendDupeText(state, ">");
  EXPECT_TRUE(DupeTextContains(state, "<a.1>"));
  AppendDupeText(state, "<b");
  AppendDupeText(state, "<c>");
  EXPECT_TRUE(DupeTextContains(state, "<c>"));
  EXPECT_FALSE(DupeTextContains(state, "<b>"));
  EXPECT_TRUE(DupeTextContains(state, "<b<c>"));  // not one ID: found by the search
}

std::string RandomPiece(std::mt19937& random, size_t max_length) {
  static constexpr char kAlphabet[] = "<>ab.";
  std::uniform_int_distribution<size_t> length(0, max_length);
  std::uniform_int_distribution<size_t> pick(0, 4);
  std::string piece(length(random), ' ');
  for (char& c : piece) c = kAlphabet[pick(random)];
  return piece;
}

TEST(DupeIndex, SameAnswersAsSubstringSearch) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    run::DupeIndex state;
    ResetDupeText(state, RandomPiece(random, 12));
    for (int append = 0; append < 40; ++append) {
      // Mostly well-formed IDs, sometimes arbitrary pieces.
      std::string piece =
          append % 3 == 0 ? RandomPiece(random, 6) : "<" + RandomPiece(random, 4) + ">";
      AppendDupeText(state, piece);
      for (int query = 0; query < 20; ++query) {
        std::string id =
            query % 2 == 0 ? "<" + RandomPiece(random, 3) + ">" : RandomPiece(random, 5);
        if (id.empty()) continue;
        ASSERT_EQ(DupeTextContains(state, id), state.text.find(id) != std::string::npos)
            << "text=" << state.text << " id=" << id;
      }
    }
  }
}

TEST(DupeIndex, IsBracketedRun) {
  EXPECT_TRUE(IsBracketedRun("<a>"));
  EXPECT_TRUE(IsBracketedRun("<>"));
  EXPECT_FALSE(IsBracketedRun("<a<b>"));
  EXPECT_FALSE(IsBracketedRun("<a>>"));
  EXPECT_FALSE(IsBracketedRun("a>"));
  EXPECT_FALSE(IsBracketedRun("<"));
}

}  // namespace
}  // namespace quorix::bases
