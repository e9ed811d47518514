// Topics fetched ahead over several connections at once and handed to the
// harvest in the order it asks for them, so that the conversion and
// delivery (one thread, in table order) overlap the fetching and come out
// exactly as in a run over one connection.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "convert/article_delivery.h"
#include "harvest/page_fetcher.h"
#include "http/http_client.h"

namespace quorix::harvest {

// Continuation pages followed per UBB topic at most (a guard against a server
// whose every page links to yet another one).
inline constexpr int64_t kMaxTopicPages = 10000;

// Walks the pages of a topic as the harvest reads them: the first page
// (`request_path`), then for a UBB topic each continuation page that the page
// before links to. `fetch(path)` gives a page's answer when it is a whole
// page and "" otherwise, which ends the walk; the view stays valid until the
// next call. `take(page)` is called for each whole page, `cut()` when the
// topic has more than kMaxTopicPages pages. True when every page was whole and
// the topic was not cut.
bool WalkTopicPages(int engine, const std::string& request_path,
                    const std::function<std::string_view(const std::string& path)>& fetch,
                    const std::function<void(std::string_view page)>& take,
                    const std::function<void()>& cut);

// Whether an answer is a topic page as the forum meant it: status 200 and,
// when the answer states its length, all of it.
bool IsWholePage(std::string_view response);

// One request of a topic fetched ahead: its path, its result and the log lines
// it built; for a whole page, its posts when the fetch converted it.
struct FetchedPage {
  std::string path;
  http::Response response;
  std::string lines;
  std::optional<std::vector<convert::Post>> posts;
};

// Converts a whole page of the topic whose first page is `request_path` into
// its posts; `topic` holds the topic's articles before the page (their
// count), and the converter sets the page's character set in it. Pure, so
// that the fetch threads can convert while the harvest's thread delivers.
using PageConverter = std::function<std::vector<convert::Post>(
    const std::string& request_path, std::string_view page, convert::TopicConversion& topic)>;

// The requests of one topic, in the order WalkTopicPages made them.
struct FetchedTopic {
  std::deque<FetchedPage> pages;
  std::string failure;  // what ended the fetch early (an exception's text), if anything
};

// The requests of a topic fetched as WalkTopicPages asks for them, over
// `fetch`; each whole page converted by `convert_page` when there is one.
FetchedTopic FetchTopic(int engine, const std::string& request_path, const HeldPageFetcher& fetch,
                        const PageConverter& convert_page = nullptr);

// Topics by their number, fetched by one thread per fetcher (each over its
// own connection), the lowest number asked for first, and their pages
// converted there by `convert` (when given). Every wait is bounded;
// the destructor lets the fetches in flight end (each request has its bound)
// and joins the threads.
class TopicPrefetch {
 public:
  TopicPrefetch(TopicFetchers fetchers, int engine, PageConverter convert = nullptr);
  ~TopicPrefetch();
  TopicPrefetch(const TopicPrefetch&) = delete;
  TopicPrefetch& operator=(const TopicPrefetch&) = delete;

  // Topics asked for and not yet taken or dropped (in flight or fetched).
  int pending() const;
  bool Queued(int64_t number) const;
  // Asks for topic `number` (first page `request_path`) to be fetched.
  void Queue(int64_t number, const std::string& request_path);
  // The requests of topic `number`, asked for now unless it was queued; waits
  // until they are made. Without a thread of its own (none could be started)
  // the topic is fetched here by the first fetcher.
  FetchedTopic Take(int64_t number, const std::string& request_path);
  // Forgets topic `number`; one in flight is forgotten when it arrives.
  void Drop(int64_t number);

 private:
  struct Job {
    std::string path;
    bool started = false;
    bool done = false;
    bool dropped = false;
    FetchedTopic topic;
  };
  void FetchLoop(size_t fetcher);

  const TopicFetchers fetchers_;
  const int engine_;
  const PageConverter convert_;
  mutable std::mutex lock_;
  std::condition_variable work_;     // a job was queued, or the end
  std::condition_variable arrived_;  // a job is done
  std::map<int64_t, Job> jobs_;      // under lock_
  bool ending_ = false;              // under lock_
  std::vector<std::thread> threads_;
};

}  // namespace quorix::harvest
