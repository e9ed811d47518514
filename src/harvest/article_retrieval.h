// Fetching the new and changed topics of one forum and handing their pages
// to the converter of the forum's engine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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
// changed, is fetched (a UBB topic with its continuation pages), converted,
// and recorded in the HTML base when every page it fetched was converted.
// Then NextTopic = TopicCount + 1. Always returns 1.
int RetrieveArticles(run::Run& run, std::string_view newsgroup, std::string_view forum_name,
                     int forum_number, const TopicTable& table, int slot);

// The path a topic is fetched by: the link itself (UBB) or the link with the
// all-articles suffix (UBBThreads).
std::string TopicRequestPath(int engine, std::string_view link);
// Page `page` of a UBB topic: the path without its ".html" (last five
// characters), "-", the page number and ".html".
std::string ContinuationPath(std::string_view request_path, int64_t page);

}  // namespace quorix::harvest
