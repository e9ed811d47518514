// Fetching the new and changed topics of one forum and handing their pages
// to the converter of the forum's engine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "harvest/page_fetcher.h"
#include "harvest/topic_table.h"
#include "run/run.h"
#include "worker/worker.h"

namespace quorix::harvest {

// Asks a UBBThreads topic page for all its articles at once.
inline constexpr std::string_view kThreadsTopicSuffix = "&page=0&view=collapsed&sb=5&o=&fpart=all";

// What became of a forum's topics.
struct RetrievalOutcome {
  int64_t topics_read = 0;  // fetched, and recorded in the HTML base
  int64_t topics_left = 0;  // asked for but not recorded: read again next run
  // A spool file could not be created or written: the slot fails.
  bool spool_failed = false;
};

// Handles topics NextTopic .. TopicCount of the slot (numbered from 1): a
// topic whose link is unknown to the HTML base, or whose marker number
// changed, is fetched (a UBB topic with its continuation pages) and
// converted. It is recorded in the HTML base only when every page was a whole
// topic page (status 200, as long as it said, at least one post) and all its
// articles were delivered or known. Then NextTopic = TopicCount + 1.
//
// With two or more `topic_fetchers`, topics are fetched ahead over all of
// them at once (a few per fetcher, see kTopicsAheadPerFetcher), while this
// thread converts and delivers them in table order: spool files, bases,
// journal, log lines and the slot's texts come out as over `fetch` alone.
RetrievalOutcome RetrieveArticles(const worker::Worker& worker, std::string_view newsgroup,
                                  std::string_view forum_name, int forum_number,
                                  const TopicTable& table, const PageFetcher& fetch,
                                  const TopicFetchers& topic_fetchers = {});

// Topics fetched or in flight ahead of the one being converted, per fetcher:
// what the harvest holds in memory at most besides the page it converts.
inline constexpr int kTopicsAheadPerFetcher = 2;

// The path a topic is fetched by: the link itself (UBB) or the link with the
// all-articles suffix (UBBThreads).
std::string TopicRequestPath(int engine, std::string_view link);
// Page `page` of a UBB topic: the path without its ".html" (last five
// characters), "-", the page number and ".html".
std::string ContinuationPath(std::string_view request_path, int64_t page);

}  // namespace quorix::harvest
