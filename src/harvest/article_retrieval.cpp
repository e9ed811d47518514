#include "harvest/article_retrieval.h"

#include <algorithm>
#include <optional>

#include "bases/html_base.h"
#include "convert/threads_converter.h"
#include "convert/ubb_converter.h"
#include "harvest/moved_forum.h"
#include "harvest/page_charset.h"
#include "http/http_client.h"
#include "log/logger.h"
#include "text/text.h"

namespace quorix::harvest {

namespace {

constexpr char kReadingActivity[] = "Reading Article(s)";

// Reads the continuation pages of a UBB topic whose first page was `page`.
// Returns whether every page fetched was converted.
bool ReadUbbContinuation(run::Run& run, std::string_view newsgroup, int forum_number,
                         const std::string& request_path, std::string page,
                         convert::TopicConversion& topic, bool success, int slot_number) {
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  for (int64_t number = 2;; ++number) {
    const std::string next_path = ContinuationPath(request_path, number);
    if (page.find(next_path) == std::string::npos) break;
    if (number > kMaxTopicPages) {
      run.log.WriteLog(
          "Topic " + request_path + " cut after " + text::Decimal(kMaxTopicPages) + " pages",
          slot_number, log::kProblem);
      break;
    }
    success = false;
    slot.activity.Set(kReadingActivity);
    page = http::HttpGet(run, next_path, slot_number);
    ReportMovedForum(run, next_path, page, ForumRequest::kTopicPage, slot_number);
    if (page.empty()) break;
    topic.charset = NotePageCharset(slot, page);
    // Every page of the topic is converted under the first page's path.
    success = convert::ConvertUbbPage(run, newsgroup, request_path, forum_number, page, topic,
                                      slot_number);
  }
  return success;
}

void RetrieveTopic(run::Run& run, std::string_view newsgroup, int forum_number,
                   std::string_view entry, int slot_number) {
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  const int engine = slot.web.engine;
  if (engine != run::kUbb && engine != run::kUbbThreads) return;
  const std::string_view link = bases::LinkOf(entry);
  if (link.empty()) return;  // a row without a link names nothing to fetch

  const std::string request_path = TopicRequestPath(engine, link);
  const std::optional<std::string> known = bases::FindHtmlRecord(run, link);
  if (known && bases::MarkerNumberOf(*known) == bases::MarkerNumberOf(entry)) return;  // unchanged

  slot.activity.Set(kReadingActivity);
  slot.status.Set(request_path);
  std::string page = http::HttpGet(run, request_path, slot_number);
  ReportMovedForum(run, request_path, page, ForumRequest::kTopicPage, slot_number);
  if (page.empty()) return;  // tried again on the next run

  convert::TopicConversion topic;
  topic.charset = NotePageCharset(slot, page);
  bool success = false;
  if (engine == run::kUbbThreads) {
    success = convert::ConvertThreadsPage(run, newsgroup, request_path, forum_number, page, topic,
                                          slot_number);
  } else {
    success = convert::ConvertUbbPage(run, newsgroup, request_path, forum_number, page, topic,
                                      slot_number);
    success = ReadUbbContinuation(run, newsgroup, forum_number, request_path, std::move(page),
                                  topic, success, slot_number);
  }
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
                     int forum_number, const TopicTable& table, int slot) {
  (void)forum_name;
  run::Slot& state = run.slots.at(static_cast<size_t>(slot));
  const int64_t last = std::min<int64_t>(state.topic_count, static_cast<int64_t>(table.size()));
  for (int64_t number = state.next_topic < 1 ? 1 : state.next_topic; number <= last; ++number) {
    RetrieveTopic(run, newsgroup, forum_number, table[static_cast<size_t>(number - 1)], slot);
  }
  state.next_topic = state.topic_count + 1;
  return 1;
}

}  // namespace quorix::harvest
