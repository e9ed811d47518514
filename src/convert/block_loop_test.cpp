#include "convert/block_loop.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace quorix::convert {
namespace {

// The loop exactly as described, without any shortcut.
std::string ReplaceEvery(const std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  std::string out;
  size_t done = 0;
  for (size_t hit = text.find(from); hit != std::string::npos; hit = text.find(from, done)) {
    out += text.substr(done, hit - done) + to;
    done = hit + from.size();
  }
  return out + text.substr(done);
}

std::string ReferenceLoop(std::string text, const std::string& start, const std::string& end,
                          const BlockReplacement& replacement, std::string* last) {
  if (start.empty()) return text;
  size_t rounds = 0;
  for (size_t hit = text.find(start); hit != std::string::npos;
       hit = text.find(start, hit + start.size())) {
    ++rounds;
  }
  for (size_t round = 0; round < rounds; ++round) {
    size_t a = text.find(start);
    if (a == std::string::npos) break;
    size_t e = text.find(end, a);
    if (e == std::string::npos) break;
    std::string block = text.substr(a, e + end.size() - a);
    std::string replaced = replacement(block);
    *last = replaced;
    text = ReplaceEvery(text, block, replaced);
  }
  return text;
}

std::string RandomText(std::mt19937& random, std::string_view alphabet, size_t max_length) {
  std::uniform_int_distribution<size_t> length(0, max_length);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::string text(length(random), ' ');
  for (char& c : text) c = alphabet[pick(random)];
  return text;
}

TEST(RunBlockLoop, SameResultAsTheLiteralLoopOnRandomTexts) {
  std::mt19937 random(20240501);
  const BlockReplacement replacements[] = {
      [](std::string_view) { return std::string("x"); },
      [](std::string_view) { return std::string(); },
      [](std::string_view block) { return std::string(block.rbegin(), block.rend()); },
      [](std::string_view block) { return std::string(block.substr(block.size() / 2)); },
      [](std::string_view block) { return "c" + std::string(block.substr(0, 1)) + "b"; },
      [](std::string_view block) {  // a link target between quotes
        size_t q = block.find('"');
        size_t from = q == std::string_view::npos ? 0 : q + 1;
        size_t to = block.find('"', from);
        return std::string(block.substr(from, to == std::string_view::npos ? to : to - from));
      },
  };
  // Small alphabets give nesting, overlaps and markers formed across
  // replacements; the second kind gives mostly well-formed blocks.
  struct Kind {
    std::string_view start_alphabet, end_alphabet, text_alphabet;
  } kinds[] = {{"ab\"", "abc\"", "abc\""}, {"ab", "cd", "abcd\"xy"}};
  for (int i = 0; i < 80000; ++i) {
    const Kind& kind = kinds[i % 2];
    std::string start = RandomText(random, kind.start_alphabet, 3);
    std::string end = RandomText(random, kind.end_alphabet, 3);
    std::string text = RandomText(random, kind.text_alphabet, 32);
    const BlockReplacement& replacement = replacements[(i / 2) % std::size(replacements)];
    std::string expected_last;
    std::string expected = ReferenceLoop(text, start, end, replacement, &expected_last);

    std::string fast = text;
    BlockLoopResult fast_result = RunBlockLoop(fast, start, end, replacement);
    std::string literal = text;
    BlockLoopResult literal_result = RunLiteralBlockLoop(literal, start, end, replacement);
    ASSERT_EQ(fast, expected) << "text=" << text << " start=" << start << " end=" << end
                              << " replacement=" << (i / 2) % std::size(replacements);
    ASSERT_EQ(fast_result.last_replacement, expected_last) << text;
    ASSERT_EQ(literal, expected) << text;
    ASSERT_EQ(literal_result.last_replacement, expected_last) << text;
  }
}

TEST(RunBlockLoop, ManyLinksInOnePass) {
  // 60,000 distinct links in about 2 MB: one pass, not one pass per link.
  std::string text;
  std::string expected;
  for (int i = 0; i < 60000; ++i) {
    std::string target = "http://host/" + std::to_string(i);
    text += "<a href=\"" + target + "\">link</a> ";
    expected += target + " ";
  }
  auto link_target = [](std::string_view block) {
    size_t from = block.find('"') + 1;
    return std::string(block.substr(from, block.find('"', from) - from));
  };
  BlockLoopResult result = RunBlockLoop(text, "<a href=\"", "</a>", link_target);
  EXPECT_EQ(text, expected);
  EXPECT_EQ(result.last_replacement, "http://host/59999");
}

std::string Bracketed(std::string_view block) {
  return "[" + std::string(block.substr(3, block.size() - 7)) + "]";
}

TEST(RunBlockLoop, NestingFallsBackToTheLiteralLoop) {
  // One nested pair at the start defeats the one-pass form; the result is
  // the literal loop's.
  std::string text = "<q><q>a</q>";
  for (int i = 0; i < 4000; ++i) text += "<q>" + std::to_string(i) + "</q>";
  std::string last;
  std::string expected = ReferenceLoop(text, "<q>", "</q>", Bracketed, &last);
  BlockLoopResult result = RunBlockLoop(text, "<q>", "</q>", Bracketed);
  EXPECT_TRUE(text == expected);
  EXPECT_EQ(result.last_replacement, last);
}

TEST(RunBlockLoop, LiteralLoopStopsWhenItsWorkLimitIsSpent) {
  std::string text = "<q>a</q>";
  for (int i = 0; i < 20000; ++i) text += "<q>" + std::to_string(i) + "</q>";
  std::string limited = text;
  RunLiteralBlockLoop(limited, "<q>", "</q>", Bracketed, 1'000'000);
  // The first rounds were done, the tail was left as it was.
  EXPECT_EQ(limited.substr(0, 9), "[a][0][1]");
  EXPECT_EQ(limited.substr(limited.size() - 12), "<q>19999</q>");
}

TEST(RunBlockLoop, EmptyStartMarkerDoesNothing) {
  std::string text = "a<b>c";
  BlockLoopResult result = RunBlockLoop(text, "", ">", [](std::string_view) { return "x"; });
  EXPECT_EQ(text, "a<b>c");
  EXPECT_FALSE(result.any_block);
}

}  // namespace
}  // namespace quorix::convert
