#include "worker/worker.h"

#include <gtest/gtest.h>

#include <string>

#include "run/testing.h"

namespace quorix::worker {
namespace {

using http::Outcome;

struct PanelCase {
  Outcome outcome;
  bool sent;
  const char* request_status;  // after ShowRequest; "before" when left alone
  int request_error;
  const char* form_status;     // after ShowForm
  int form_error;
};

// What the slot's panel shows after each outcome, for a page and for a form.
TEST(Worker, ThePanelShowsWhatBecameOfARequest) {
  const PanelCase cases[] = {
      {Outcome::kAnswered, true, "before", 0, "Disconnected", 0},
      {Outcome::kNoAnswer, true, "before", 0, "Disconnected", 0},
      {Outcome::kCut, true, "before", 0, "Disconnected", 0},
      {Outcome::kCut, false, "before", 0, "before", 0},
      {Outcome::kTimedOut, true, "Timeout", 0, "Disconnected", 0},
      {Outcome::kNotTaken, true, "before", 0, "Disconnected", 0},
      {Outcome::kNoHandle, false, "before", 0, "before", 0},
      {Outcome::kNoServer, false, "No WebBBS-Server specified", 1, "No WebBBS-Server specified", 1},
      {Outcome::kBadPort, false, "Invalid WebPort (not in 1..65535)", 1,
       "Invalid WebPort (not in 1..65535)", 1},
      {Outcome::kProxyUnusable, false, "Proxy setting unusable", 1, "Proxy setting unusable", 1},
      {Outcome::kProxyDown, false, "Proxy not reachable", 1, "Proxy not reachable", 1},
      {Outcome::kProxyRefused, false, "Proxy refused", 1, "Proxy refused", 1},
      {Outcome::kHostNotFound, false, "Host not found", 1, "Host not found", 1},
      {Outcome::kCaFileUnusable, false, "WebCAFile unusable", 1, "WebCAFile unusable", 1},
      {Outcome::kCertificateRefused, false, "Certificate refused", 1, "Certificate refused", 1},
      {Outcome::kTlsFailed, false, "TLS failed", 1, "TLS failed", 1},
  };
  for (const PanelCase& c : cases) {
    for (const bool form : {false, true}) {
      testing::TestRun test_run;
      const Worker worker(test_run.run, test_run.run.slots[3], 3);
      worker.slot().status.Set("before");
      http::Response response;
      response.outcome = c.outcome;
      response.sent = c.sent;
      if (form) {
        worker.ShowForm(response);
      } else {
        worker.ShowRequest(response);
      }
      const char* status = form ? c.form_status : c.request_status;
      const int error = form ? c.form_error : c.request_error;
      const std::string what = std::string(status) + (form ? " (form)" : " (page)");
      EXPECT_EQ(test_run.run.slots[3].status.Get(), status) << what;
      EXPECT_EQ(test_run.run.slots[3].error.load(), error) << what;
      EXPECT_EQ(test_run.run.slots[3].activity.Get(), "") << what;
    }
  }
}

TEST(Worker, AFormThatGoesOutShowsItsPath) {
  testing::TestRun test_run;
  const Worker worker(test_run.run, test_run.run.slots[2], 2);
  worker.ShowPosting("/cgi-bin/postings.cgi");
  EXPECT_EQ(test_run.run.slots[2].activity.Get(), "Posting Article(s)");
  EXPECT_EQ(test_run.run.slots[2].status.Get(), "/cgi-bin/postings.cgi");
}

TEST(Worker, ItsRequestsUseItsSlotAndTag) {
  testing::TestRun test_run;
  test_run.run.slots[4].web.server = "forum.example";
  const Worker worker(test_run.run, test_run.run.slots[4], 4);
  const http::Requester requester = worker.requester();
  EXPECT_EQ(&requester.web, &test_run.run.slots[4].web);
  EXPECT_EQ(&requester.connections, &test_run.run.slots[4].connections);
  EXPECT_EQ(requester.thread, 4);
  EXPECT_EQ(&requester.total_bytes, &test_run.run.total_bytes);
}

}  // namespace
}  // namespace quorix::worker
