// The loop that the block filters (links, mail links, quotes) share.
//
// Semantics: count the occurrences of the start marker S once; then, that many
// times: take the first S in the text, the first end marker E at or after it,
// the block from S to the end of E, compute the block's replacement and
// replace every occurrence of the block in the text by it. A start marker
// without an end marker after it ends the loop and stays as it is.
//
// Taken literally that costs one pass over the rest of the text per block.
// RunBlockLoop gives the same result in one pass whenever the blocks neither
// nest nor overlap and no replacement creates a new start marker (every
// forum page we know); otherwise it runs the literal loop, whose total work is
// bounded: past kLiteralWorkLimit bytes scanned, the rest of a (hostile) text
// is left as it is.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quorix::convert {

using BlockReplacement = std::function<std::string(std::string_view block)>;

constexpr int64_t kLiteralWorkLimit = int64_t{1} << 30;

struct BlockLoopResult {
  bool any_block = false;        // at least one block was found
  std::string last_replacement;  // the replacement computed last by the loop
};

BlockLoopResult RunBlockLoop(std::string& text, std::string_view start_marker,
                             std::string_view end_marker, const BlockReplacement& replacement);

// The literal loop (exposed for tests that compare the two).
BlockLoopResult RunLiteralBlockLoop(std::string& text, std::string_view start_marker,
                                    std::string_view end_marker,
                                    const BlockReplacement& replacement,
                                    int64_t work_limit = kLiteralWorkLimit);

}  // namespace quorix::convert
