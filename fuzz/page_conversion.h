// The page converter check that the UBB and UBBThreads targets share.
#pragma once

#include <string_view>

namespace quorix::fuzz {

// Converts `page` as the first page of a topic of the engine's forum into an
// empty spool directory with empty bases, and checks what was written:
// - at most one spool file, a sequence of "#! rnews <length>" LF + article
//   entries that covers the file exactly;
// - every article has exactly the header lines of the writer's layout, in
//   order (no value can add a line), then an empty line and the body;
// - the topic's counter equals the number of posts on the page, no more
//   articles than that were written, and their Message-IDs are distinct;
// - converting the same page again delivers nothing and leaves no file.
// The spool directory is emptied again at the end.
void ConvertPageAndCheck(int engine, std::string_view page);

}  // namespace quorix::fuzz
