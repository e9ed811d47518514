#include "harvest/topic_prefetch.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "run/run.h"

namespace quorix::harvest {
namespace {

// A fetch of a topic whose pages are converted where they are fetched: each
// whole page once, numbered on from the topic's articles before it, in the
// order of the walk; a page that is not whole ends the walk unconverted.
TEST(FetchTopic, ConvertsEachWholePageOnFromTheArticlesBeforeIt) {
  const std::string first = "/f/000001.html";
  const std::string second = "/f/000001-2.html";
  const std::string third = "/f/000001-3.html";
  struct Case {
    int engine;
    std::map<std::string, std::string> answers;  // path -> answer
    std::vector<std::string> converted;          // "path@articles before" per call
    std::vector<std::optional<size_t>> posts;    // per request made
  };
  const std::string ok = "HTTP/1.1 200 OK\r\n\r\n";
  const Case cases[] = {
      {run::kUbb,
       {{first, ok + "aa " + second}, {second, ok + "bbb " + third}, {third, ok + "c"}},
       {first + "@0", first + "@2", first + "@5"},
       {2, 3, 1}},
      {run::kUbb,
       {{first, ok + "aa " + second}, {second, "HTTP/1.1 404 Not Found\r\n\r\nbbb"}},
       {first + "@0"},
       {2, std::nullopt}},
      // A flat-view topic is one page, whatever it links to.
      {run::kUbbThreads, {{first, ok + "aaaa " + second}}, {first + "@0"}, {4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.converted.front());
    std::vector<std::string> calls;
    const PageConverter convert = [&](const std::string& request_path, std::string_view page,
                                      convert::TopicConversion& topic) {
      calls.push_back(request_path + "@" + std::to_string(topic.article_counter));
      // One post per letter before the first blank of the page's body.
      const std::string_view body = page.substr(page.find("\r\n\r\n") + 4);
      return std::vector<convert::Post>(body.find(' ') == std::string_view::npos ? body.size()
                                                                                 : body.find(' '));
    };
    const HeldPageFetcher fetch = [&](std::string_view path, std::string*) {
      const auto answer = c.answers.find(std::string(path));
      http::Response response;
      if (answer != c.answers.end()) response.text = answer->second;
      return response;
    };
    const FetchedTopic fetched = FetchTopic(c.engine, first, fetch, convert);
    EXPECT_EQ(calls, c.converted);
    std::vector<std::optional<size_t>> posts;
    for (const FetchedPage& page : fetched.pages) {
      posts.push_back(page.posts ? std::optional<size_t>(page.posts->size()) : std::nullopt);
    }
    EXPECT_EQ(posts, c.posts);
    EXPECT_EQ(fetched.failure, "");
  }
}

}  // namespace
}  // namespace quorix::harvest
