// Posting an outgoing article to a UBBThreads forum (PHP pages).
#pragma once

#include <string_view>

#include "worker/worker.h"

namespace quorix::posting {

// As PostUbbArticle, with the UBBThreads Message-IDs; a reply goes to
// "/" + WebPath + "addpost.php" and is confirmed like the other actions.
bool PostThreadsArticle(const worker::Worker& worker, std::string_view file_name,
                        int article_number);

}  // namespace quorix::posting
