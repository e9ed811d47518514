// Fetching the new and changed topics of one forum and handing their pages
// to the converter of the forum's engine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "harvest/page_fetcher.h"
#include "harvest/topic_table.h"
#include "run/run.h"

namespace quorix::harvest {

// Asks a UBBThreads topic page for all its articles at once.
inline constexpr std::string_view kThreadsTopicSuffix = "&page=0&view=collapsed&sb=5&o=&fpart=all";
// Continuation pages followed per UBB topic at most (a guard against a server
// whose every page links to yet another one).
inline constexpr int64_t kMaxTopicPages = 10000;

// Handles topics NextTopic .. TopicCount of the slot (numbered from 1): a
// topic whose link is unknown to the HTML base, or whose marker number
// changed, is fetched (a UBB topic with its continuation pages) and
// converted. It is recorded in the HTML base only when every page was a whole
// topic page (status 200, as long as it said, at least one post) and all its
// articles were delivered or known; a spool that could not be written also
// sets the slot's SlotError. Then NextTopic = TopicCount + 1. Returns 1: the
// topic list was worked through (a topic left unread is read next run).
int RetrieveArticles(run::Run& run, std::string_view newsgroup, std::string_view forum_name,
                     int forum_number, const TopicTable& table, int slot,
                     const PageFetcher& fetch);

// The path a topic is fetched by: the link itself (UBB) or the link with the
// all-articles suffix (UBBThreads).
std::string TopicRequestPath(int engine, std::string_view link);
// Page `page` of a UBB topic: the path without its ".html" (last five
// characters), "-", the page number and ".html".
std::string ContinuationPath(std::string_view request_path, int64_t page);

}  // namespace quorix::harvest
