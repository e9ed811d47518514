#include "harvest/article_retrieval.h"

#include <algorithm>
#include <map>
#include <optional>

#include "bases/html_base.h"
#include "convert/article_delivery.h"
#include "harvest/moved_forum.h"
#include "harvest/page_charset.h"
#include "harvest/topic_prefetch.h"
#include "http/http_client.h"
#include "http/http_response.h"
#include "log/logger.h"
#include "text/text.h"
#include "worker/worker.h"

namespace quorix::harvest {

namespace {

constexpr char kReadingActivity[] = "Reading Article(s)";
// Table entries looked at ahead of the one being converted at most, whether
// or not they need fetching (most entries of a known forum do not).
constexpr int64_t kLookAheadEntries = 1000;

// What the topics of one forum are read for, and what became of them.
struct ForumReading {
  const worker::Worker& worker;
  std::string_view newsgroup;
  int forum_number;
  RetrievalOutcome& outcome;
};

// Fetches one page of a topic. Empty (with a log line for an answer that was
// no whole page) when the topic cannot be read now.
std::string FetchTopicPage(const worker::Worker& worker, const std::string& path,
                           const PageFetcher& fetch) {
  worker.slot().activity.Set(kReadingActivity);
  std::string page = fetch(path).text;
  if (page.empty() || IsWholePage(page)) return page;
  // A redirect says where the forum went; any other answer that is no whole
  // page says only that the topic waits.
  std::string message = MovedForumMessage(path, page, ForumRequest::kTopicPage);
  if (message.empty()) {
    message = "Topic page " + path + " not read whole (status " +
              text::Decimal(http::StatusCode(page)) + "), left for the next run";
  }
  worker.Log(message, log::kProblem);
  return {};
}

// The posts of a page of the topic whose first page is `request_path`: every
// page is converted under the first page's path.
std::vector<convert::Post> PagePosts(const ForumReading& reading, int engine,
                                     const std::string& request_path, std::string_view page,
                                     const convert::TopicConversion& topic) {
  const run::Slot& slot = reading.worker.slot();
  return convert::PagePosts(engine, slot.forum_template, slot.web.time_zone, reading.newsgroup,
                            request_path, reading.forum_number, page, topic);
}

// The path topic `entry` is fetched by; "" when it is not fetched: no engine
// of ours, no link, or known to the HTML base with the same marker number.
std::string PathToFetch(run::Run& run, int engine, std::string_view entry) {
  if (engine != run::kUbb && engine != run::kUbbThreads) return {};
  const std::string_view link = bases::LinkOf(entry);
  if (link.empty()) return {};  // a row without a link names nothing to fetch
  const std::optional<std::string> known = bases::FindHtmlRecord(run, link);
  if (known && bases::MarkerNumberOf(*known) == bases::MarkerNumberOf(entry)) return {};
  return TopicRequestPath(engine, link);
}

// Fetches and converts the pages of topic `entry` (first page
// `request_path`) and delivers their posts; records it when every page was
// whole and delivered. A page whose posts `converted` holds when it is taken
// (the fetch converted it) is not converted again.
void ReadTopic(const ForumReading& reading, std::string_view entry, const std::string& request_path,
               const PageFetcher& fetch,
               std::optional<std::vector<convert::Post>>* converted = nullptr) {
  run::Slot& slot = reading.worker.slot();
  const int engine = slot.web.engine;
  slot.status.Set(request_path);
  convert::TopicConversion topic;
  bool delivered = true;
  std::string current;
  const bool whole = WalkTopicPages(
      engine, request_path,
      [&](const std::string& path) -> std::string_view {
        current = FetchTopicPage(reading.worker, path, fetch);
        return current;
      },
      [&](std::string_view page) {
        topic.charset = NotePageCharset(slot, page);
        std::vector<convert::Post> posts;
        if (converted != nullptr && *converted) {
          posts = std::move(**converted);
          converted->reset();
        } else {
          posts = PagePosts(reading, engine, request_path, page, topic);
        }
        const convert::PageOutcome outcome = convert::DeliverPage(
            reading.worker.page_target(), reading.newsgroup, request_path, posts, topic);
        if (outcome == convert::PageOutcome::kFailed) reading.outcome.spool_failed = true;
        delivered = outcome == convert::PageOutcome::kDelivered && delivered;
      },
      [&] {
        reading.worker.Log(
            "Topic " + request_path + " cut after " + text::Decimal(kMaxTopicPages) + " pages",
            log::kProblem);
      });
  // Recorded only when every article of every page is delivered: otherwise
  // the next run reads the topic again, and the dupe base keeps the articles
  // that did arrive from coming twice.
  if (whole && delivered) {
    bases::RecordTopic(reading.worker.run(), entry);
    ++reading.outcome.topics_read;
  } else {
    ++reading.outcome.topics_left;
  }
}

// Hands out the requests of a topic fetched ahead as a fetcher would make
// them, in their order: each request's log lines are written and its outcome
// shown when its page is taken, its posts (if it was converted) put into
// `converted`. A path out of that order gets no answer.
PageFetcher Replay(FetchedTopic& fetched, run::Run& run, const worker::Worker& worker,
                   std::optional<std::vector<convert::Post>>& converted) {
  return [&fetched, &run, &worker, &converted](std::string_view path) {
    if (fetched.pages.empty() || fetched.pages.front().path != path) return http::Response{};
    FetchedPage page = std::move(fetched.pages.front());
    fetched.pages.pop_front();
    converted = std::move(page.posts);
    run.log.WriteBuiltLines(page.lines, worker.tag());
    worker.ShowRequest(page.response);
    return std::move(page.response);
  };
}

// Topics `first`..`last` of `table` over several fetchers at once: a few
// topics ahead are fetched while this thread converts them one by one in
// table order. A topic is fetched ahead only when no entry before it that is
// not converted yet has the same link, since converting that one may record
// the link; every topic is decided again when its turn comes, as over one
// connection.
void RetrieveAhead(const ForumReading& reading, const TopicTable& table, int64_t first,
                   int64_t last, const TopicFetchers& fetchers) {
  const worker::Worker& worker = reading.worker;
  run::Run& run = worker.run();
  const int engine = worker.slot().web.engine;
  const int ahead = kTopicsAheadPerFetcher * static_cast<int>(fetchers.size());
  // The pages are converted on the fetch threads, which is pure, with the
  // character set the delivery notes for them here (PageCharset of the same
  // settings and page).
  const run::WebSettings& web = worker.slot().web;
  TopicPrefetch prefetch(
      fetchers, engine,
      [&reading, &web, engine](const std::string& request_path, std::string_view page,
                               convert::TopicConversion& topic) {
        topic.charset = PageCharset(web, page);
        return PagePosts(reading, engine, request_path, page, topic);
      });
  std::map<std::string, int, std::less<>> waiting_links;  // of entries looked at, not converted
  int64_t looked_at = first - 1;
  for (int64_t number = first; number <= last; ++number) {
    while (looked_at < last && prefetch.pending() < ahead &&
           looked_at - number < kLookAheadEntries) {
      ++looked_at;
      const std::string_view entry = table[static_cast<size_t>(looked_at - 1)];
      int& earlier = waiting_links[std::string(bases::LinkOf(entry))];
      if (earlier++ > 0) continue;
      const std::string path = PathToFetch(run, engine, entry);
      if (!path.empty()) prefetch.Queue(looked_at, path);
    }
    const std::string_view entry = table[static_cast<size_t>(number - 1)];
    const std::string path = PathToFetch(run, engine, entry);
    if (path.empty()) {
      prefetch.Drop(number);
    } else {
      FetchedTopic fetched = prefetch.Take(number, path);
      std::optional<std::vector<convert::Post>> converted;
      ReadTopic(reading, entry, path, Replay(fetched, run, worker, converted), &converted);
      if (!fetched.failure.empty()) {
        worker.Log("Error: Fetching topic " + path + " ended early: " + fetched.failure,
                   log::kError);
      }
    }
    const auto link = waiting_links.find(bases::LinkOf(entry));
    if (link != waiting_links.end() && --link->second == 0) waiting_links.erase(link);
  }
}

}  // namespace

std::string TopicRequestPath(int engine, std::string_view link) {
  std::string path(link);
  if (engine == run::kUbbThreads) path.append(kThreadsTopicSuffix);
  return path;
}

std::string ContinuationPath(std::string_view request_path, int64_t page) {
  const size_t keep = request_path.size() >= 5 ? request_path.size() - 5 : 0;
  std::string path(request_path.substr(0, keep));
  path.append("-").append(text::Decimal(page)).append(".html");
  return path;
}

RetrievalOutcome RetrieveArticles(const worker::Worker& worker, std::string_view newsgroup,
                                  std::string_view forum_name, int forum_number,
                                  const TopicTable& table, const PageFetcher& fetch,
                                  const TopicFetchers& topic_fetchers) {
  (void)forum_name;
  run::Run& run = worker.run();
  run::Slot& state = worker.slot();
  RetrievalOutcome outcome;
  const ForumReading reading{worker, newsgroup, forum_number, outcome};
  const int64_t first = state.next_topic < 1 ? 1 : state.next_topic;
  const int64_t last = std::min<int64_t>(state.topic_count, static_cast<int64_t>(table.size()));
  if (topic_fetchers.size() >= 2 && first <= last) {
    RetrieveAhead(reading, table, first, last, topic_fetchers);
  } else {
    for (int64_t number = first; number <= last; ++number) {
      const std::string_view entry = table[static_cast<size_t>(number - 1)];
      const std::string path = PathToFetch(run, state.web.engine, entry);
      if (!path.empty()) ReadTopic(reading, entry, path, fetch);
    }
  }
  state.next_topic = state.topic_count + 1;
  return outcome;
}

}  // namespace quorix::harvest
