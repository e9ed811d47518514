// Answers that tell the user to fix the box: a topic list or topic page that
// redirects (the forum moved; the redirect is never followed), and a topic
// list that answers with any status other than 200.
#pragma once

#include <string>
#include <string_view>

#include "log/thread_log.h"

namespace quorix::harvest {

enum class ForumRequest { kTopicList, kTopicPage };

// The level-2 log line for `response` to a request for `path`; empty when the
// response is an ordinary answer (or none at all: a failed request has been
// logged already).
std::string MovedForumMessage(std::string_view path, std::string_view response, ForumRequest kind);

// Logs MovedForumMessage in the worker's log, when there is one; true then.
bool ReportMovedForum(const log::ThreadLog& log, std::string_view path, std::string_view response,
                      ForumRequest kind);

}  // namespace quorix::harvest
