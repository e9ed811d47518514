// How the harvest asks for a page: the HTTP client over the harvest's kept
// connections in the program, pages from a table in tests. The program's
// fetcher also shows on the worker's panel what became of each request.
#pragma once

#include <functional>
#include <string_view>

#include "http/http_client.h"
#include "http/kept_connection.h"
#include "worker/worker.h"

namespace quorix::harvest {

using PageFetcher = std::function<http::Response(std::string_view path)>;

// The program's fetcher for `worker` over `connections`; both must outlive it.
PageFetcher HttpPageFetcher(const worker::Worker& worker, http::FetchConnections& connections);

}  // namespace quorix::harvest
