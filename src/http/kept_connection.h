// The kept HTTP/1.1 connections of one harvest: a box's GET requests go over
// a connection that stays open between them, with gzip asked for. Posting
// never uses them.
//
// The object belongs to the fetch that makes the requests (one box's harvest
// on one slot) and closes its connections when it ends.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "http/http_client.h"
#include "http/proxy.h"
#include "run/run.h"

namespace quorix::http {

// Whether a box's harvest keeps its connections: "https://" boxes unless
// "WebKeepAlive=N", plain boxes only with "WebKeepAlive=Y".
bool KeepsConnections(const run::WebSettings& web);

// The request of a GET on a kept connection, as one block of bytes.
std::string KeptGetRequest(std::string_view path, const run::WebSettings& web);

class FetchConnections {
 public:
  // `own_tls_client`: the connections' TLS sessions are their own, not the
  // worker's (a harvest's further connections, used by threads of their own).
  explicit FetchConnections(bool own_tls_client = false);
  ~FetchConnections();
  FetchConnections(const FetchConnections&) = delete;
  FetchConnections& operator=(const FetchConnections&) = delete;

  // GET `path` over the kept connection (opened first when there is none,
  // the server closed it, or the box's server changed). A request that gets
  // no byte of an answer on a connection used before is sent once more on a
  // fresh one. An answered result's text is the answer's status line and
  // headers without its framing and coding lines, then the decoded body; an
  // answer that is not whole is not taken (logged at level 2). A new
  // connection goes through `proxy` (none, or a tunnel).
  Response Get(const Requester& requester, std::string_view path, const Proxy& proxy = {});

  // Whether a connection is open now (for tests).
  bool open() const { return link_ != nullptr; }

  struct Link;

 private:
  bool own_tls_client_;
  // Declared before the link: its TLS stream leaves its session here.
  std::unique_ptr<platform::TlsClient> tls_client_;  // when own_tls_client_
  std::unique_ptr<Link> link_;
};

// How many connections a box's harvest fetches topic pages over at once:
// "WebConnections=" (default kDefaultConnections) for a box that keeps its
// connections, else 1.
inline constexpr int kDefaultConnections = 4;
int ConnectionCount(const run::WebSettings& web);

}  // namespace quorix::http
