#include "harvest/topic_lists.h"

#include <utility>

#include "harvest/moved_forum.h"
#include "harvest/page_charset.h"
#include "http/http_client.h"
#include "log/logger.h"
#include "text/text.h"

namespace quorix::harvest {

namespace {

std::string ScriptPrefix(const run::WebSettings& web) { return "/" + web.path + web.topic; }

std::string UbbPathStem(const run::WebSettings& web, std::string_view forum_name, int forum_number,
                        int days) {
  return ScriptPrefix(web) + std::string(forum_name) + "&number=" + text::Decimal(forum_number) +
         "&DaysPrune=" + text::Decimal(days);
}

void RecordPage(run::Slot& slot, std::string_view page, TopicTable& table) {
  NotePageCharset(slot, page);
  if (slot.web.engine == run::kUbb) {
    ParseUbbTopicRows(page, slot.web.path, table);
  } else {
    ParseThreadsTopicRows(page, table);
  }
  slot.topic_count = static_cast<int>(table.size());
}

void LogPagesCut(const worker::Worker& worker, std::string_view display_name) {
  worker.Log("Topic list of " + std::string(display_name) + " cut after " +
                 text::Decimal(kMaxListPages) + " pages",
             log::kProblem);
}

// One list page: logged when it is no list, its topics recorded. The
// outcome so far stays unless this is the first page that went wrong.
class ListPages {
 public:
  ListPages(const worker::Worker& worker, TopicTable& table, const PageFetcher& fetch)
      : worker_(worker), slot_(worker.slot()), table_(table), fetch_(fetch) {}

  std::string Read(const std::string& path) {
    http::Response response = fetch_(path);
    const bool moved =
        ReportMovedForum(worker_.log(), path, response.text, ForumRequest::kTopicList);
    if (response.outcome != http::Outcome::kAnswered || response.text.empty()) {
      Note(ListOutcome::kNoAnswer);
    } else if (moved) {
      Note(ListOutcome::kNotAList);
    }
    RecordPage(slot_, response.text, table_);
    return std::move(response.text);
  }
  void Note(ListOutcome outcome) {
    if (outcome_ == ListOutcome::kRead) outcome_ = outcome;
  }
  ListOutcome outcome() const { return outcome_; }

 private:
  const worker::Worker& worker_;
  run::Slot& slot_;
  TopicTable& table_;
  const PageFetcher& fetch_;
  ListOutcome outcome_ = ListOutcome::kRead;
};

ListOutcome ScanUbbLists(const worker::Worker& worker, std::string_view forum_name,
                         int forum_number, int days, TopicTable& table, const PageFetcher& fetch) {
  run::Slot& slot = worker.slot();
  ListPages pages(worker, table, fetch);
  const std::string display_name = DisplayName(forum_name);
  slot.activity.Set("Scanning: " + display_name);
  slot.status.Set("Page: 1");
  const std::string first_page =
      pages.Read(UbbFirstPagePath(slot.web, forum_name, forum_number, days));

  const std::string index_count = slot.forum_template.index_count;
  int64_t further_pages = static_cast<int64_t>(text::CountOccurrences(first_page, index_count));
  if (further_pages >= kMaxListPages) {
    LogPagesCut(worker, display_name);
    pages.Note(ListOutcome::kCut);
    further_pages = kMaxListPages - 1;
  }
  for (int64_t i = 1; i <= further_pages; ++i) {
    slot.activity.Set("Scanning: " + display_name);
    slot.status.Set("Page: " + text::Decimal(i + 1) + " of " + text::Decimal(further_pages + 1) +
                    " Pages");
    pages.Read(UbbFurtherPagePath(slot.web, forum_name, forum_number, days, index_count,
                                  i * kUbbTopicsPerPage));
  }
  return pages.outcome();
}

ListOutcome ScanThreadsLists(const worker::Worker& worker, std::string_view forum_name,
                             int forum_number, TopicTable& table, const PageFetcher& fetch) {
  run::Slot& slot = worker.slot();
  ListPages pages(worker, table, fetch);
  const std::string display_name = DisplayName(forum_name);
  slot.activity.Set("Scanning: " + display_name);
  slot.status.Set("Page: 1");
  std::string page = pages.Read(ThreadsPagePath(slot.web, forum_number, 0));
  for (int64_t i = 1;; ++i) {
    const std::string candidate = ThreadsPagePath(slot.web, forum_number, i);
    if (!LinksToPage(page, candidate)) break;
    if (i >= kMaxListPages) {
      LogPagesCut(worker, display_name);
      pages.Note(ListOutcome::kCut);
      break;
    }
    slot.activity.Set("Scanning: " + display_name);
    slot.status.Set("Page: " + text::Decimal(i + 1));
    page = pages.Read(candidate);
  }
  return pages.outcome();
}

}  // namespace

std::string DisplayName(std::string_view forum_name) {
  return text::ReplaceAll(forum_name, "+", " ");
}

std::string UbbFirstPagePath(const run::WebSettings& web, std::string_view forum_name,
                             int forum_number, int days) {
  return UbbPathStem(web, forum_name, forum_number, days) + "&LastLogin=";
}

std::string UbbFurtherPagePath(const run::WebSettings& web, std::string_view forum_name,
                               int forum_number, int days, std::string_view index_count,
                               int64_t offset) {
  return UbbPathStem(web, forum_name, forum_number, days) + std::string(index_count) +
         text::Decimal(offset);
}

std::string ThreadsPagePath(const run::WebSettings& web, int forum_number, int64_t page) {
  return ScriptPrefix(web) + text::Decimal(forum_number) + "&page=" + text::Decimal(page) +
         "&view=collapsed&sb=5&o=";
}

bool LinksToPage(std::string_view page, std::string_view path) {
  return page.find(text::ReplaceAll(path, "&", "&amp;")) != std::string_view::npos;
}

ListOutcome ScanTopicLists(const worker::Worker& worker, std::string_view forum_name,
                           int forum_number, int days, TopicTable& table,
                           const PageFetcher& fetch) {
  const int engine = worker.slot().web.engine;
  if (engine == run::kUbb)
    return ScanUbbLists(worker, forum_name, forum_number, days, table, fetch);
  if (engine == run::kUbbThreads) {
    return ScanThreadsLists(worker, forum_name, forum_number, table, fetch);
  }
  return ListOutcome::kNoEngine;
}

}  // namespace quorix::harvest
