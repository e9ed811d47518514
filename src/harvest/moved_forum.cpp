#include "harvest/moved_forum.h"

#include "http/http_response.h"
#include "log/logger.h"
#include "text/text.h"

namespace quorix::harvest {
namespace {

// A hostile server's address is cut before it can flood the log.
constexpr size_t kMaxShownAddress = 300;

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 307 || status == 308;
}

}  // namespace

std::string MovedForumMessage(std::string_view path, std::string_view response, ForumRequest kind) {
  if (response.empty()) return {};
  const int status = http::StatusCode(response);
  if (IsRedirect(status)) {
    std::string_view location = http::HeaderValue(response, "Location");
    std::string message = "Forum moved: " + std::string(path) + " answers " + text::Decimal(status);
    if (location.empty()) return message + " without a new address";
    if (location.size() > kMaxShownAddress) location = location.substr(0, kMaxShownAddress);
    return message + ", new address " + std::string(location);
  }
  if (kind == ForumRequest::kTopicList && status != 200) {
    const std::string answer =
        status == 0 ? std::string("no HTTP status") : "status " + text::Decimal(status);
    return "Not a forum page: " + std::string(path) + " answers " + answer;
  }
  return {};
}

bool ReportMovedForum(const log::ThreadLog& log, std::string_view path, std::string_view response,
                      ForumRequest kind) {
  const std::string message = MovedForumMessage(path, response, kind);
  if (message.empty()) return false;
  log.Write(message, log::kProblem);
  return true;
}

}  // namespace quorix::harvest
