#include "harvest/page_fetcher.h"

namespace quorix::harvest {

PageFetcher HttpPageFetcher(const worker::Worker& worker, http::FetchConnections& connections) {
  return [&worker, &connections](std::string_view path) {
    http::Response response = http::HttpGet(worker.requester(), path, &connections);
    worker.ShowRequest(response);
    return response;
  };
}

}  // namespace quorix::harvest
