// The page converter check that the UBB and UBBThreads targets share.
#pragma once

#include <string_view>

namespace quorix::fuzz {

// Converts `page` as the first page of a topic of the engine's forum into its
// posts and their spool entries (no file is written, no base is used), and
// checks:
// - one post for every post cell the engine counts on the page, the topic's
//   counter moved on by as many;
// - their entries make a sequence of "#! rnews <length>" LF + article that
//   covers the batch exactly, one article per post;
// - every article has exactly the header lines of the writer's layout, in
//   order (no value can add a line), then an empty line and the body; the
//   first carries no References, and the Message-IDs are distinct;
// - the same page converted again gives the same posts.
void ConvertPageAndCheck(int engine, std::string_view page);

}  // namespace quorix::fuzz
