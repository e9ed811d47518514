// The fetch thread's work for one box: walk the group list, scan and fetch
// every listed forum, write the group list back normalised.
#pragma once

#include "harvest/page_fetcher.h"
#include "worker/worker.h"

namespace quorix::harvest {

// Pause after a missing group list, so that the message stays on screen.
inline constexpr int kMissingGroupListPauseMs = 5000;

// Returns 1 when the group list was walked and written back, 0 when it is
// missing or cannot be read (the slot's SlotError is then set) or the walk
// failed on the way (the file is then left as it was).
// The program's scan asks the HTTP client over kept connections of its own.
int ScanForums(const worker::Worker& worker);

// The same scan with every page asked of `fetch`, but topic pages of
// `topic_fetchers` when there are two or more (see RetrieveArticles).
int ScanForums(const worker::Worker& worker, const PageFetcher& fetch,
               const TopicFetchers& topic_fetchers = {});

}  // namespace quorix::harvest
