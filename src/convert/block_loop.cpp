// The block loop: a one-pass form that is exact for well-formed texts, and the
// literal loop for everything else.
#include "convert/block_loop.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <vector>

#include "text/text.h"

namespace quorix::convert {

namespace {

constexpr size_t kNone = std::string_view::npos;

struct Block {
  size_t start = 0;
  size_t end = 0;      // one past the end marker
  uint32_t group = 0;  // equal blocks share a group, numbered by first occurrence
};

// The blocks of a well-formed text, in text order. Empty when the text is not
// well-formed: a start marker begins inside an earlier block (nesting,
// overlapping markers) or a block is shorter than its own start marker (the
// end marker overlaps it). Blocks end at the first start marker without an
// end marker after it.
std::optional<std::vector<Block>> FindBlocks(std::string_view text, std::string_view start_marker,
                                             std::string_view end_marker) {
  std::vector<Block> blocks;
  size_t end_hit = kNone;
  for (size_t at = text.find(start_marker); at != kNone; at = text.find(start_marker, at + 1)) {
    if (!blocks.empty() && at < blocks.back().end) return std::nullopt;
    // The first end marker at or after `at`: the one found for the previous
    // block still is, when it lies at or after `at`.
    if (end_hit == kNone || end_hit < at) end_hit = text.find(end_marker, at);
    if (end_hit == kNone) break;
    size_t end = end_hit + end_marker.size();
    if (end < at + start_marker.size()) return std::nullopt;
    blocks.push_back({at, end, 0});
  }
  return blocks;
}

// Replays the literal loop's order of replacements (group by group, each group
// left to right) and checks that no replacement, together with the text that
// surrounds it at that moment, forms a new start marker. Then the literal loop
// finds exactly the blocks found here, and its result is the one-pass result.
class StraddleCheck {
 public:
  StraddleCheck(std::string_view text, std::string_view marker, const std::vector<Block>& blocks,
                const std::vector<std::string>& replacements)
      : text_(text),
        marker_(marker),
        blocks_(blocks),
        replacements_(replacements),
        replaced_(blocks.size(), false) {}

  bool Passes() {
    // Block indices ordered by group, then by position (a counting sort).
    std::vector<uint32_t> first(replacements_.size() + 1, 0);
    for (const Block& block : blocks_) ++first[block.group + 1];
    for (size_t g = 1; g < first.size(); ++g) first[g] += first[g - 1];
    std::vector<uint32_t> order(blocks_.size());
    std::vector<uint32_t> fill(first.begin(), first.end() - 1);
    for (uint32_t k = 0; k < blocks_.size(); ++k) order[fill[blocks_[k].group]++] = k;

    for (uint32_t k : order) {
      if (!ReplacementFits(k)) return false;
      replaced_[k] = true;
    }
    return true;
  }

 private:
  // The current text of block k: its replacement once replaced.
  std::string_view Current(size_t k) const {
    const Block& block = blocks_[k];
    return replaced_[k] ? std::string_view(replacements_[block.group])
                        : text_.substr(block.start, block.end - block.start);
  }

  // Up to `want` characters of the current text just before block k; false
  // when that would walk through too many (empty) pieces.
  bool Left(size_t k, size_t want, std::string* out) const {
    std::string& gathered = *out;
    gathered.clear();
    size_t gap_end = blocks_[k].start;
    for (size_t steps = 0; gathered.size() < want; ++steps) {
      if (steps > want + 16) return false;
      size_t gap_start = k == 0 ? 0 : blocks_[k - 1].end;
      std::string_view gap = text_.substr(gap_start, gap_end - gap_start);
      PrependTail(gap, want, &gathered);
      if (k == 0 || gathered.size() >= want) break;
      --k;
      PrependTail(Current(k), want, &gathered);
      gap_end = blocks_[k].start;
    }
    return true;
  }

  bool Right(size_t k, size_t want, std::string* out) const {
    std::string& gathered = *out;
    gathered.clear();
    size_t gap_start = blocks_[k].end;
    for (size_t steps = 0; gathered.size() < want; ++steps) {
      if (steps > want + 16) return false;
      bool last = k + 1 == blocks_.size();
      size_t gap_end = last ? text_.size() : blocks_[k + 1].start;
      AppendHead(text_.substr(gap_start, gap_end - gap_start), want, &gathered);
      if (last || gathered.size() >= want) break;
      ++k;
      AppendHead(Current(k), want, &gathered);
      gap_start = blocks_[k].end;
    }
    return true;
  }

  static void PrependTail(std::string_view piece, size_t want, std::string* gathered) {
    size_t take = std::min(piece.size(), want - std::min(want, gathered->size()));
    gathered->insert(0, piece.substr(piece.size() - take));
  }
  static void AppendHead(std::string_view piece, size_t want, std::string* gathered) {
    size_t take = std::min(piece.size(), want - std::min(want, gathered->size()));
    gathered->append(piece.substr(0, take));
  }

  // No start marker may begin in the text before the replacement or in the
  // replacement and reach into what follows (the replacement itself holds none).
  // The pieces are gathered in buffers kept across blocks: one check per
  // block would otherwise cost several allocations, more than the search.
  bool ReplacementFits(size_t k) {
    size_t want = marker_.size() - 1;
    if (want == 0) return true;
    if (!Left(k, want, &left_) || !Right(k, want, &right_)) return false;
    std::string_view replacement = replacements_[blocks_[k].group];
    if (replacement.size() < 2 * want) {
      window_.assign(left_).append(replacement).append(right_);
      size_t hit = window_.find(marker_);
      return hit == kNone || hit >= left_.size() + replacement.size();
    }
    window_.assign(left_).append(replacement.substr(0, want));
    if (window_.find(marker_) != kNone) return false;
    window_.assign(replacement.substr(replacement.size() - want)).append(right_);
    return window_.find(marker_) == kNone;
  }

  std::string_view text_;
  std::string_view marker_;
  const std::vector<Block>& blocks_;
  const std::vector<std::string>& replacements_;
  std::vector<bool> replaced_;
  std::string left_, right_, window_;
};

// The one-pass form; nullopt when it cannot vouch for the literal result.
std::optional<BlockLoopResult> OnePassBlockLoop(std::string& text, std::string_view start_marker,
                                                std::string_view end_marker,
                                                const BlockReplacement& replacement) {
  const std::string_view view = text;
  std::optional<std::vector<Block>> found = FindBlocks(view, start_marker, end_marker);
  if (!found) return std::nullopt;
  std::vector<Block>& blocks = *found;
  if (blocks.empty()) return BlockLoopResult{};

  std::unordered_map<std::string_view, uint32_t> groups;
  std::vector<std::string> replacements;
  for (Block& block : blocks) {
    std::string_view content = view.substr(block.start, block.end - block.start);
    auto [it, added] = groups.emplace(content, static_cast<uint32_t>(replacements.size()));
    if (added) {
      replacements.push_back(replacement(content));
      if (replacements.back().find(start_marker) != kNone) return std::nullopt;
    }
    block.group = it->second;
  }
  if (!StraddleCheck(view, start_marker, blocks, replacements).Passes()) return std::nullopt;

  std::string out;
  out.reserve(view.size());
  size_t done = 0;
  for (const Block& block : blocks) {
    out.append(view.substr(done, block.start - done));
    out.append(replacements[block.group]);
    done = block.end;
  }
  out.append(view.substr(done));
  text.swap(out);
  return BlockLoopResult{true, std::move(replacements.back())};
}

}  // namespace

BlockLoopResult RunLiteralBlockLoop(std::string& text, std::string_view start_marker,
                                    std::string_view end_marker,
                                    const BlockReplacement& replacement, int64_t work_limit) {
  BlockLoopResult result;
  if (start_marker.empty()) return result;
  size_t rounds = text::CountOccurrences(text, start_marker);
  size_t search_from = 0;
  int64_t work = 0;
  for (size_t round = 0; round < rounds; ++round) {
    size_t start = text.find(start_marker, search_from);
    if (start == kNone) break;
    size_t end_hit = text.find(end_marker, start);
    if (end_hit == kNone) break;  // a start marker without an end marker stays
    size_t end = end_hit + end_marker.size();
    std::string block = text.substr(start, end - start);
    std::string replaced = replacement(block);
    result.any_block = true;
    result.last_replacement = replaced;
    // An unchanged text would give the same block in every further round.
    if (block.empty() || replaced == block) break;
    if (block.size() < start_marker.size()) {
      // The end marker overlaps the start marker: the block is a piece of
      // the start marker and may occur anywhere.
      work += static_cast<int64_t>(text.size());
      text = text::ReplaceAll(text, block, replaced);
      search_from = 0;
    } else {
      // Every occurrence of the block begins with a start marker, so none
      // lies before `start`: the text up to there stays as it is.
      std::string next;
      next.reserve(text.size());
      next.append(text, 0, start);
      next.append(replaced);
      next.append(text::ReplaceAll(std::string_view(text).substr(end), block, replaced));
      work += static_cast<int64_t>(text.size() - start);
      text.swap(next);
      // No start marker begins before `start` - (length - 1): that text is unchanged.
      search_from = start + 1 > start_marker.size() ? start + 1 - start_marker.size() : 0;
    }
    if (work > work_limit) break;
  }
  return result;
}

BlockLoopResult RunBlockLoop(std::string& text, std::string_view start_marker,
                             std::string_view end_marker, const BlockReplacement& replacement) {
  if (start_marker.empty()) return {};
  if (std::optional<BlockLoopResult> result =
          OnePassBlockLoop(text, start_marker, end_marker, replacement)) {
    return std::move(*result);
  }
  return RunLiteralBlockLoop(text, start_marker, end_marker, replacement);
}

}  // namespace quorix::convert
