#include "harvest/scan_driver.h"

#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "harvest/article_retrieval.h"
#include "harvest/group_list_walk.h"
#include "harvest/page_fetcher.h"
#include "harvest/topic_lists.h"
#include "harvest/topic_table.h"
#include "log/logger.h"
#include "log/shared_file.h"
#include "platform/file.h"
#include "platform/named_mutex.h"

namespace quorix::harvest {

namespace {

void FailSlot(const worker::Worker& worker, const std::string& message) {
  worker.Log(message, log::kError);
  worker.slot().status.Set(message);
  worker.slot().error.store(1);
}

// Reads the group list through the shared file access. The file is closed
// again before the scan, so that the rewrite can replace it.
bool ReadGroupListFile(const worker::Worker& worker, const std::string& file_name,
                       std::string* file_text) {
  run::Run& run = worker.run();
  platform::File file;
  if (!log::OpenShared(run.file_open_mutex, run.log, file_name, worker.tag(), &file)) return false;
  const bool read = file.ReadToEnd(file_text);
  file.Close();
  return read;
}

ScanOutcome WalkGroupList(const worker::Worker& worker, const PageFetcher& fetch,
                          const TopicFetchers& topic_fetchers) {
  run::Run& run = worker.run();
  run::Slot& slot = worker.slot();
  TopicTable table;
  slot.next_topic = 1;
  slot.topic_count = 0;
  const std::string file_name = slot.web.group_file;

  // Checked first: opening the group list would create it.
  if (!platform::FileExists(file_name)) {
    FailSlot(worker, "Error: Webforum File '" + file_name + "' not found!");
    run.sleeper.SleepMs(kMissingGroupListPauseMs);
    return ScanOutcome::kNoGroupList;
  }
  std::string file_text;
  if (!ReadGroupListFile(worker, file_name, &file_text)) {
    FailSlot(worker, "Error: Access denied '" + file_name + "'!");
    return ScanOutcome::kGroupListUnreadable;
  }

  const std::string cleaned = CleanGroupListText(file_text);
  const std::vector<std::string_view> lines = GroupListLines(cleaned);
  bool spool_failed = false;
  for (std::string_view line : lines) {
    if (!IsGroupEntry(line)) continue;
    // The user's exit request is honoured between entries only.
    if (run.user_exit_requested.load() != 0) {
      slot.status.Set(run::kExitRequestText);
      continue;
    }
    const GroupEntry entry = ParseGroupEntry(line);
    // A list page that went wrong does not fail the slot: its outcome is not used.
    ScanTopicLists(worker, entry.forum_name, entry.forum_number, entry.days, table, fetch);
    const RetrievalOutcome retrieved = RetrieveArticles(
        worker, entry.newsgroup, entry.forum_name, entry.forum_number, table, fetch, topic_fetchers);
    // A spool that could not take a page fails the slot; its topic waits.
    if (retrieved.spool_failed) {
      slot.error.store(1);
      spool_failed = true;
    }
  }

  // A crash during the rewrite leaves the old or the new list, never half of
  // one; an existing list is replaced under the name it has on disk. Every
  // rewrite of a list holds "quorix_fileopen": a temporary file of one found
  // then is a killed run's, and is deleted.
  const std::string rewritten = RebuildGroupListText(lines);
  bool written;
  {
    platform::NamedLock file_lock(run.file_open_mutex);
    platform::DeleteReplaceLeftovers(file_name);
    written = platform::ReplaceFileContents(file_name, rewritten);
  }
  if (!written) {
    worker.Log("Error Writing Web/Grouplist '" + file_name + "'", log::kProblem);
  }
  return spool_failed ? ScanOutcome::kSpoolFailed : ScanOutcome::kWalked;
}

}  // namespace

ScanOutcome ScanForums(const worker::Worker& worker) {
  // The harvest's kept connections, closed when it ends: the worker's, and
  // for a box that fetches topics over several, the others.
  http::FetchConnections connections;
  std::vector<std::unique_ptr<http::FetchConnections>> extra;
  const TopicFetchers topic_fetchers = HttpTopicFetchers(worker, connections, &extra);
  return ScanForums(worker, HttpPageFetcher(worker, connections), topic_fetchers);
}

ScanOutcome ScanForums(const worker::Worker& worker, const PageFetcher& fetch,
                       const TopicFetchers& topic_fetchers) {
  try {
    return WalkGroupList(worker, fetch, topic_fetchers);
  } catch (const std::exception& failure) {
    worker.Log(std::string("Error: Scan ended early: ") + failure.what(), log::kError);
    return ScanOutcome::kEndedEarly;
  }
}

}  // namespace quorix::harvest
