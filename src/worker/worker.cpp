#include "worker/worker.h"

#include <string>

namespace quorix::worker {

void Worker::Log(std::string_view message, int level) const {
  run_.log.WriteLog(message, tag_, level);
}

convert::PageTarget Worker::page_target() const {
  return convert::PageTarget{run_, log(), slot_.web, slot_.forum_template};
}

http::Requester Worker::requester() const {
  return http::Requester{slot_.web,         run_.log,         tag_,   slot_.connections,
                         run_.open_handles, run_.total_bytes, nullptr};
}

std::string_view FailureStatus(http::Outcome outcome) {
  switch (outcome) {
    case http::Outcome::kNoServer:
      return "No WebBBS-Server specified";
    case http::Outcome::kBadPort:
      return "Invalid WebPort (not in 1..65535)";
    case http::Outcome::kProxyUnusable:
      return "Proxy setting unusable";
    case http::Outcome::kProxyDown:
      return "Proxy not reachable";
    case http::Outcome::kProxyRefused:
      return "Proxy refused";
    case http::Outcome::kHostNotFound:
      return "Host not found";
    case http::Outcome::kCaFileUnusable:
      return "WebCAFile unusable";
    case http::Outcome::kCertificateRefused:
      return "Certificate refused";
    case http::Outcome::kTlsFailed:
      return "TLS failed";
    case http::Outcome::kTimedOut:
      return "Timeout";
    case http::Outcome::kAnswered:
    case http::Outcome::kNoAnswer:
    case http::Outcome::kNotTaken:
    case http::Outcome::kCut:
    case http::Outcome::kNoHandle:
      return "";
  }
  return "";
}

bool MarksError(http::Outcome outcome) {
  return outcome != http::Outcome::kTimedOut && !FailureStatus(outcome).empty();
}

void Worker::ShowRequest(const http::Response& response) const {
  const std::string_view status = FailureStatus(response.outcome);
  if (!status.empty()) slot_.status.Set(std::string(status));
  if (MarksError(response.outcome)) slot_.error.store(1);
}

void Worker::ShowForm(const http::Response& response) const {
  if (response.sent) {
    slot_.status.Set("Disconnected");
    return;
  }
  ShowRequest(response);
}

void Worker::ShowPosting(std::string_view path) const {
  slot_.activity.Set("Posting Article(s)");
  slot_.status.Set(std::string(path));
}

}  // namespace quorix::worker
