#include "harvest/topic_lists.h"

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

void LogPagesCut(run::Run& run, std::string_view display_name, int slot) {
  run.log.WriteLog("Topic list of " + std::string(display_name) + " cut after " +
                       text::Decimal(kMaxListPages) + " pages",
                   slot, log::kProblem);
}

void ScanUbbLists(run::Run& run, std::string_view forum_name, int forum_number, int days,
                  TopicTable& table, int slot_number, const PageFetcher& fetch) {
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  const std::string display_name = DisplayName(forum_name);
  slot.activity.Set("Scanning: " + display_name);
  slot.status.Set("Page: 1");
  const std::string first_path = UbbFirstPagePath(slot.web, forum_name, forum_number, days);
  const std::string first_page = fetch(first_path).text;
  ReportMovedForum(run, first_path, first_page, ForumRequest::kTopicList, slot_number);
  RecordPage(slot, first_page, table);

  const std::string index_count = slot.forum_template.index_count;
  int64_t further_pages = static_cast<int64_t>(text::CountOccurrences(first_page, index_count));
  if (further_pages >= kMaxListPages) {
    LogPagesCut(run, display_name, slot_number);
    further_pages = kMaxListPages - 1;
  }
  for (int64_t i = 1; i <= further_pages; ++i) {
    slot.activity.Set("Scanning: " + display_name);
    slot.status.Set("Page: " + text::Decimal(i + 1) + " of " + text::Decimal(further_pages + 1) +
                    " Pages");
    const std::string path = UbbFurtherPagePath(slot.web, forum_name, forum_number, days,
                                                index_count, i * kUbbTopicsPerPage);
    const std::string page = fetch(path).text;
    ReportMovedForum(run, path, page, ForumRequest::kTopicList, slot_number);
    RecordPage(slot, page, table);
  }
}

void ScanThreadsLists(run::Run& run, std::string_view forum_name, int forum_number,
                      TopicTable& table, int slot_number, const PageFetcher& fetch) {
  run::Slot& slot = run.slots.at(static_cast<size_t>(slot_number));
  const std::string display_name = DisplayName(forum_name);
  slot.activity.Set("Scanning: " + display_name);
  slot.status.Set("Page: 1");
  const std::string first_path = ThreadsPagePath(slot.web, forum_number, 0);
  std::string page = fetch(first_path).text;
  ReportMovedForum(run, first_path, page, ForumRequest::kTopicList, slot_number);
  RecordPage(slot, page, table);
  for (int64_t i = 1;; ++i) {
    const std::string candidate = ThreadsPagePath(slot.web, forum_number, i);
    if (!LinksToPage(page, candidate)) break;
    if (i >= kMaxListPages) {
      LogPagesCut(run, display_name, slot_number);
      break;
    }
    slot.activity.Set("Scanning: " + display_name);
    slot.status.Set("Page: " + text::Decimal(i + 1));
    page = fetch(candidate).text;
    ReportMovedForum(run, candidate, page, ForumRequest::kTopicList, slot_number);
    RecordPage(slot, page, table);
  }
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

int ScanTopicLists(run::Run& run, std::string_view newsgroup, std::string_view forum_name,
                   int forum_number, int days, TopicTable& table, int slot,
                   const PageFetcher& fetch) {
  (void)newsgroup;
  const int engine = run.slots.at(static_cast<size_t>(slot)).web.engine;
  if (engine == run::kUbb) {
    ScanUbbLists(run, forum_name, forum_number, days, table, slot, fetch);
  } else if (engine == run::kUbbThreads) {
    ScanThreadsLists(run, forum_name, forum_number, table, slot, fetch);
  }
  return 1;
}

}  // namespace quorix::harvest
