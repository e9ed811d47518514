// How the harvest asks for a page: the HTTP client over the harvest's kept
// connections in the program, pages from a table in tests. The program's
// fetcher also shows on the worker's panel what became of each request.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "http/http_client.h"
#include "http/kept_connection.h"
#include "worker/worker.h"

namespace quorix::harvest {

using PageFetcher = std::function<http::Response(std::string_view path)>;

// A fetcher for a thread of its own: the log lines of its request are built
// (with their times) and appended to *lines instead of written, and nothing
// of the slot's panel is touched; the harvest writes the lines and shows the
// outcome when it takes the page.
using HeldPageFetcher = std::function<http::Response(std::string_view path, std::string* lines)>;

// The fetchers topic pages are asked of at once, each over a connection of
// its own and used by one thread at a time. Fewer than two: topic pages go
// through the PageFetcher one after another.
using TopicFetchers = std::vector<HeldPageFetcher>;

// The program's fetcher for `worker` over `connections`; both must outlive it.
PageFetcher HttpPageFetcher(const worker::Worker& worker, http::FetchConnections& connections);

// The program's fetchers for topic pages: http::ConnectionCount of the box,
// the first over `connections` (the worker's, with its TLS sessions), the
// others over connections of their own in `extra`. `worker`, `connections`
// and `extra` must outlive them. None when the box fetches one page at a time.
TopicFetchers HttpTopicFetchers(const worker::Worker& worker, http::FetchConnections& connections,
                                std::vector<std::unique_ptr<http::FetchConnections>>* extra);

}  // namespace quorix::harvest
