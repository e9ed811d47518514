#include "harvest/page_fetcher.h"

namespace quorix::harvest {

namespace {

HeldPageFetcher HeldFetcher(const worker::Worker& worker, http::FetchConnections& connections) {
  return [&worker, &connections](std::string_view path, std::string* lines) {
    http::Requester requester = worker.requester();
    requester.held_lines = lines;
    return http::HttpGet(requester, path, &connections);
  };
}

}  // namespace

PageFetcher HttpPageFetcher(const worker::Worker& worker, http::FetchConnections& connections) {
  return [&worker, &connections](std::string_view path) {
    http::Response response = http::HttpGet(worker.requester(), path, &connections);
    worker.ShowRequest(response);
    return response;
  };
}

TopicFetchers HttpTopicFetchers(const worker::Worker& worker, http::FetchConnections& connections,
                                std::vector<std::unique_ptr<http::FetchConnections>>* extra) {
  const int count = http::ConnectionCount(worker.slot().web);
  worker.slot().connections.count.store(count);
  TopicFetchers fetchers;
  if (count < 2) return fetchers;
  fetchers.push_back(HeldFetcher(worker, connections));
  for (int index = 1; index < count; ++index) {
    extra->push_back(std::make_unique<http::FetchConnections>(/*own_tls_client=*/true));
    fetchers.push_back(HeldFetcher(worker, *extra->back()));
  }
  return fetchers;
}

}  // namespace quorix::harvest
