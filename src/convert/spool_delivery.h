// Handing one page's new articles to CrossPoint, exactly once.
//
// The articles are written to a temporary file in the spool directory (a name
// the reader never imports), the delivery journal records the file and the
// articles' Message-IDs, and then the file is renamed to its spool name
// "N" + six digits + ".MSG" without replacing any file: the reader sees a
// spool file whole or not at all. All of it holds the "quorix_dupebase" lock,
// shared with other instances, after the journal was read up to date, so an
// article that another instance delivered meanwhile is left out, and a
// record's temporary file exists only while its writer holds the lock (or
// after its writer died). See bases/delivery_journal.h for the recovery.
//
// The spool number is the smallest that is free in one listing of the
// directory per run (letter case ignored, as CrossPoint sees the files),
// moving upward from there; the rename refuses a name that appeared since
// (bases/spool_names.h, which the journal's recovery uses too).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "log/thread_log.h"
#include "run/run.h"

namespace quorix::convert {

struct SpoolArticle {
  std::string message_id;
  std::string entry;  // batch line and article
};

// Delivers the articles that no one delivered yet. True when every article is
// in the spool or known as delivered; false (with "Error Spoolfile: " + name
// logged at level 2) when the spool could not be written, or only in part:
// the articles written before the failure are delivered and remembered.
bool DeliverSpoolArticles(run::Run& run, const log::ThreadLog& log, std::string_view spool_dir,
                          const std::vector<SpoolArticle>& articles);

}  // namespace quorix::convert
