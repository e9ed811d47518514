// The fetch thread's work for one box: walk the group list, scan and fetch
// every listed forum, write the group list back normalised.
#pragma once

#include "harvest/page_fetcher.h"
#include "worker/worker.h"

namespace quorix::harvest {

// Pause after a missing group list, so that the message stays on screen.
inline constexpr int kMissingGroupListPauseMs = 5000;

// What a box's scan came to. Every outcome but kWalked fails the slot (the
// caller sets its error); a missing or unreadable list and a spool failure
// set it when they happen too, so that the panel shows it at once.
enum class ScanOutcome {
  kWalked,               // every entry scanned, the list written back
  kSpoolFailed,          // walked and written back, but a page could not be
                         // delivered (its topic is read again next run)
  kNoGroupList,          // the group list is missing (not created)
  kGroupListUnreadable,  // the group list could not be read (left as it was)
  kEndedEarly,           // a failure ended the walk (the list is left as it was)
};

// The program's scan asks the HTTP client over kept connections of its own.
ScanOutcome ScanForums(const worker::Worker& worker);

// The same scan with every page asked of `fetch`, but topic pages of
// `topic_fetchers` when there are two or more (see RetrieveArticles).
ScanOutcome ScanForums(const worker::Worker& worker, const PageFetcher& fetch,
                       const TopicFetchers& topic_fetchers = {});

}  // namespace quorix::harvest
