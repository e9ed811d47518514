// A loopback HTTP test server for unit tests (linked into test binaries only).
// It accepts connections on 127.0.0.1 with an ephemeral port, one after the
// other, records each request's bytes and answers as told.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quorix::http::testing {

struct Reply {
  std::string data;  // sent `repeat` times after the request has been read
  int64_t repeat = 1;
  bool silent = false;  // read the request, never answer, keep the connection open
  int drip_ms = 0;      // when > 0: send one byte of `data` at a time, this long apart
};

// Answers one whole request (request line, headers and body) with a response.
using Responder = std::function<std::string(std::string_view request)>;

class TestServer {
 public:
  explicit TestServer(Reply reply);
  explicit TestServer(Responder responder);
  // Keeps each connection for up to `requests_per_connection` requests, each
  // answered by `responder`, then closes it (as a server's request limit does).
  TestServer(Responder responder, int requests_per_connection);
  ~TestServer();  // stops the server and closes every connection
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int port() const { return port_; }
  bool listening() const { return listen_fd_ >= 0; }

  // The bytes received on each connection so far (all its requests), in order
  // of acceptance.
  std::vector<std::string> Requests() const;
  // The request path of each request ("GET /x HTTP/1.0" gives "/x").
  std::vector<std::string> RequestPaths() const;
  // Waits (bounded by `timeout_ms`) until `count` connections were accepted.
  bool WaitForConnections(int count, int timeout_ms) const;

 private:
  void Serve();
  void HandleConnection(int fd);
  bool SendAll(int fd, std::string_view data);
  void AppendReceived(size_t index, const char* data, size_t size);

  void Start();

  Reply reply_;
  Responder responder_;
  int requests_per_connection_ = 1;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace quorix::http::testing
