#include "harvest/article_retrieval.h"

#include <algorithm>
#include <optional>

#include "bases/html_base.h"
#include "convert/threads_converter.h"
#include "convert/ubb_converter.h"
#include "harvest/moved_forum.h"
#include "harvest/page_charset.h"
#include "http/http_client.h"
#include "http/http_response.h"
#include "log/logger.h"
#include "text/text.h"
#include "worker/worker.h"

namespace quorix::harvest {

namespace {

constexpr char kReadingActivity[] = "Reading Article(s)";

// A topic page as the forum meant it: status 200 and, when the answer states
// its length, all of it. Anything else (an error page, a cut or garbled
// answer) leaves the topic for the next run.
bool IsWholePage(std::string_view response) {
  if (http::StatusCode(response) != 200) return false;
  const std::string_view length = http::HeaderValue(response, "Content-Length");
  if (length.empty()) return true;
  for (char c : length) {
    if (c < '0' || c > '9') return false;
  }
  return static_cast<int64_t>(http::ResponseBody(response).size()) >= text::LeadingNumber(length);
}

// Fetches one page of a topic. Empty (with a log line for an answer that was
// no whole page) when the topic cannot be read now.
std::string FetchTopicPage(run::Run& run, const std::string& path, int slot_number,
                           const PageFetcher& fetch) {
  run.slots.at(static_cast<size_t>(slot_number)).activity.Set(kReadingActivity);
  std::string page = fetch(path).text;
  if (page.empty() || IsWholePage(page)) return page;
  // A redirect says where the forum went; any other answer that is no whole
  // page says only that the topic waits.
  std::string message = MovedForumMessage(path, page, ForumRequest::kTopicPage);
  if (message.empty()) {
    message = "Topic page " + path + " not read whole (status " +
              text::Decimal(http::StatusCode(page)) + "), left for the next run";
  }
  run.log.WriteLog(message, slot_number, log::kProblem);
  return {};
}

// Converts one fetched page; a spool that failed fails the slot. True when
// the page's posts are all delivered.
bool ConvertPage(run::Run& run, int engine, std::string_view newsgroup, int forum_number,
                 const std::string& request_path, std::string_view page,
                 convert::TopicConversion& topic, int slot_number) {
  const convert::PageTarget target = worker::Worker(run, slot_number).page_target();
  const convert::PageOutcome outcome =
      engine == run::kUbbThreads
          ? convert::ConvertThreadsPage(target, newsgroup, request_path, forum_number, page, topic)
          : convert::ConvertUbbPage(target, newsgroup, request_path, forum_number, page, topic);
  if (outcome == convert::PageOutcome::kFailed) {
    run.slots.at(static_cast<size_t>(slot_number)).error = 1;
  }
  return outcome == convert::PageOutcome::kDelivered;
}

// Reads the continuation pages of a UBB topic whose first page was `page`.
// Returns whether each of them was read whole and all its posts delivered.
bool ReadUbbContinuation(run::Run& run, std::string_view newsgroup, int forum_number,
                         const std::string& request_path, std::string page,
                         convert::TopicConversion& topic, int slot_number,
                         const PageFetcher& fetch) {
  bool success = true;
  for (int64_t number = 2;; ++number) {
    const std::string next_path = ContinuationPath(request_path, number);
    if (page.find(next_path) == std::string::npos) break;
    if (number > kMaxTopicPages) {
      run.log.WriteLog(
          "Topic " + request_path + " cut after " + text::Decimal(kMaxTopicPages) + " pages",
          slot_number, log::kProblem);
      return false;
    }
    page = FetchTopicPage(run, next_path, slot_number, fetch);
    if (page.empty()) return false;
    topic.charset = NotePageCharset(run.slots.at(static_cast<size_t>(slot_number)), page);
    // Every page of the topic is converted under the first page's path.
    success = ConvertPage(run, run::kUbb, newsgroup, forum_number, request_path, page, topic,
                          slot_number) &&
              success;
  }
  return success;
}

void RetrieveTopic(run::Run& run, std::string_view newsgroup, int forum_number,
                   std::string_view entry, int slot_number, const PageFetcher& fetch) {
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  const int engine = slot.web.engine;
  if (engine != run::kUbb && engine != run::kUbbThreads) return;
  const std::string_view link = bases::LinkOf(entry);
  if (link.empty()) return;  // a row without a link names nothing to fetch

  const std::string request_path = TopicRequestPath(engine, link);
  const std::optional<std::string> known = bases::FindHtmlRecord(run, link);
  if (known && bases::MarkerNumberOf(*known) == bases::MarkerNumberOf(entry)) return;  // unchanged

  slot.status.Set(request_path);
  std::string page = FetchTopicPage(run, request_path, slot_number, fetch);
  if (page.empty()) return;  // tried again on the next run

  convert::TopicConversion topic;
  topic.charset = NotePageCharset(slot, page);
  bool success =
      ConvertPage(run, engine, newsgroup, forum_number, request_path, page, topic, slot_number);
  if (engine == run::kUbb) {
    success = ReadUbbContinuation(run, newsgroup, forum_number, request_path, std::move(page),
                                  topic, slot_number, fetch) &&
              success;
  }
  // Recorded only when every article of every page is delivered: otherwise
  // the next run reads the topic again, and the dupe base keeps the articles
  // that did arrive from coming twice.
  if (success) bases::RecordTopic(run, entry);
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

int RetrieveArticles(run::Run& run, std::string_view newsgroup, std::string_view forum_name,
                     int forum_number, const TopicTable& table, int slot,
                     const PageFetcher& fetch) {
  (void)forum_name;
  run::Slot& state = run.slots.at(static_cast<size_t>(slot));
  const int64_t last = std::min<int64_t>(state.topic_count, static_cast<int64_t>(table.size()));
  for (int64_t number = state.next_topic < 1 ? 1 : state.next_topic; number <= last; ++number) {
    RetrieveTopic(run, newsgroup, forum_number, table[static_cast<size_t>(number - 1)], slot,
                  fetch);
  }
  state.next_topic = state.topic_count + 1;
  return 1;
}

}  // namespace quorix::harvest
