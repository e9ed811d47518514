// Scanning the topic lists of one forum into the topic table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "harvest/page_fetcher.h"
#include "harvest/topic_rows.h"
#include "harvest/topic_table.h"
#include "run/run.h"
#include "worker/worker.h"

namespace quorix::harvest {

// List pages followed per forum at most. A forum that keeps linking to (or
// announcing) further pages beyond this is cut off with a level-2 log line.
inline constexpr int64_t kMaxListPages = 10000;
// Topics on one UBB list page: the offset of further page i is i * 50.
inline constexpr int64_t kUbbTopicsPerPage = 50;

// What became of a forum's topic list. The topics of every page that
// answered are in the table whatever the outcome.
enum class ListOutcome {
  kRead,      // every page of the list answered as one (status 200)
  kCut,       // the list went on past kMaxListPages; the pages after were left (logged)
  kNoAnswer,  // a page's request got no answer (the fetch showed why)
  kNotAList,  // a page answered with a redirect or another status than 200 (logged)
  kNoEngine,  // the box's engine is neither UBB nor UBBThreads: nothing was asked
};

// Fetches every page of the forum's topic list for the worker's box (engine 1
// UBB, 2 UBBThreads; no request for any other engine) and appends its topics
// to `table`; the slot's TopicCount follows the table's size and its panel
// shows the page being read. Returns the first thing that went wrong, if any.
ListOutcome ScanTopicLists(const worker::Worker& worker, std::string_view forum_name,
                           int forum_number, int days, TopicTable& table, const PageFetcher& fetch);

// The forum name as the status screen shows it: every "+" read as a blank.
std::string DisplayName(std::string_view forum_name);

// "/" + WebPath + WebTopic + forum name + "&number=" + n + "&DaysPrune=" + d + "&LastLogin=".
std::string UbbFirstPagePath(const run::WebSettings& web, std::string_view forum_name,
                             int forum_number, int days);
// The same without "&LastLogin=", followed by the Index_Count text and the offset.
std::string UbbFurtherPagePath(const run::WebSettings& web, std::string_view forum_name,
                               int forum_number, int days, std::string_view index_count,
                               int64_t offset);
// "/" + WebPath + WebTopic + forum number + "&page=" + page + "&view=collapsed&sb=5&o=".
std::string ThreadsPagePath(const run::WebSettings& web, int forum_number, int64_t page);
// True when `page` links to `path` with every "&" written as "&amp;".
bool LinksToPage(std::string_view page, std::string_view path);

}  // namespace quorix::harvest
