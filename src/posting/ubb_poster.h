// Posting an outgoing article to a UBB forum (CGI scripts).
#pragma once

#include <string_view>

#include "worker/worker.h"

namespace quorix::posting {

// Reads WebSpool + `file_name`, submits it as a new topic, reply, edit or
// delete to "/" + WebPath + WebPost and deletes the file when the forum's
// answer holds a success text. True when the article was confirmed.
bool PostUbbArticle(const worker::Worker& worker, std::string_view file_name, int article_number);

}  // namespace quorix::posting
