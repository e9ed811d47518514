// Forum pages for the benchmarks, laid out as the forum simulator
// (tests/forumsim) serves them: UBB topic pages (lines joined by CR LF, one
// post cell per post) and UBBThreads flat views (lines joined by LF, posts
// between the template's article markers). Post bodies carry quotes, web and
// mail links, smileys, code blocks, highlights, entities and signatures, and
// the topic and post numbers, so that every body (and so every Message-ID)
// differs.
#pragma once

#include <string>
#include <string_view>

namespace quorix::bench {

// The box-file template lines of each engine, as the simulator writes them.
std::string_view UbbTemplateText();
std::string_view ThreadsTemplateText();

// The HTML body of post k of topic t.
std::string UbbPostBody(int topic, int k);
std::string ThreadsPostBody(int topic, int k);

// A topic page with `posts` posts (numbered 0 .. posts - 1).
std::string UbbTopicPage(int topic, int posts);
std::string ThreadsFlatPage(int topic, int posts);

// The request paths the article retrieval would pass with those pages.
std::string UbbTopicAddress(int topic);      // /support/forums/Forum3/HTML/000123.html
std::string ThreadsTopicAddress(int topic);  // /ubbthreads/showflat.php?...&Number=...&fpart=all

// A UBB post cell whose body field ("<FONT><HR>" ... "</FONT>") holds post
// bodies (with signatures) of about `bytes` bytes in all.
std::string LargeUbbCell(size_t bytes);
// A UBBThreads body of about `bytes` bytes, as the converter has it before
// the filters.
std::string LargeThreadsBody(size_t bytes);

}  // namespace quorix::bench
