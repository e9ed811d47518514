// Test support only: the one place of this module that talks to the
// operating system's sockets directly, to play the forum server's part.
#include "http/test_server.h"

#ifdef _WIN32
// Winsock names the same calls a little differently; the socket fits the
// int that the header keeps (kernel handles keep their value in 32 bits).
#include <winsock2.h>
#include <ws2tcpip.h>
using socklen_t = int;
#define poll WSAPoll
#define close closesocket
#define MSG_NOSIGNAL 0
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace quorix::http::testing {

namespace {

// Winsock must be started before the first socket; once per process.
void StartSockets() {
#ifdef _WIN32
  static const bool started = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
#endif
}

constexpr int kPollMs = 20;

// True once `request` holds a complete request: the header block and as many
// body bytes as its Content-Length names.
bool RequestComplete(const std::string& request) {
  const size_t header_end = request.find("\r\n\r\n");
  if (header_end == std::string::npos) return false;
  const size_t length_at = request.find("Content-Length:");
  if (length_at == std::string::npos || length_at > header_end) return true;
  const long length = std::strtol(request.c_str() + length_at + 15, nullptr, 10);
  return request.size() >= header_end + 4 + static_cast<size_t>(length);
}

}  // namespace

TestServer::TestServer(Reply reply) : reply_(std::move(reply)) { Start(); }

TestServer::TestServer(Responder responder) : responder_(std::move(responder)) { Start(); }

TestServer::TestServer(Responder responder, int requests_per_connection)
    : responder_(std::move(responder)), requests_per_connection_(requests_per_connection) {
  Start();
}

void TestServer::Start() {
  StartSockets();
  listen_fd_ = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
  if (listen_fd_ < 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof(address);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(listen_fd_, 16) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listen_fd_);
    listen_fd_ = -1;
    return;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

TestServer::~TestServer() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

std::vector<std::string> TestServer::Requests() const {
  std::lock_guard<std::mutex> lock(lock_);
  return requests_;
}

std::vector<std::string> TestServer::RequestPaths() const {
  std::vector<std::string> paths;
  for (const std::string& request : Requests()) {
    const size_t first_blank = request.find(' ');
    const size_t line_end = request.find(" HTTP/1.0\r\n");
    if (first_blank == std::string::npos || line_end == std::string::npos ||
        line_end < first_blank) {
      paths.emplace_back();
      continue;
    }
    paths.push_back(request.substr(first_blank + 1, line_end - first_blank - 1));
  }
  return paths;
}

bool TestServer::WaitForConnections(int count, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(lock_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return requests_.size() >= static_cast<size_t>(count); });
}

void TestServer::AppendReceived(size_t index, const char* data, size_t size) {
  std::lock_guard<std::mutex> lock(lock_);
  requests_[index].append(data, size);
}

void TestServer::Serve() {
  while (!stop_.load()) {
    pollfd waiting{};
    waiting.fd = listen_fd_;
    waiting.events = POLLIN;
    if (::poll(&waiting, 1, kPollMs) <= 0) continue;
    const int fd = static_cast<int>(::accept(listen_fd_, nullptr, nullptr));
    if (fd < 0) continue;
    HandleConnection(fd);
    ::close(fd);
  }
}

void TestServer::HandleConnection(int fd) {
  size_t index = 0;
  {
    std::lock_guard<std::mutex> lock(lock_);
    index = requests_.size();
    requests_.emplace_back();
  }
  changed_.notify_all();
  for (int answered = 0;; ++answered) {
    std::string request;
    char buffer[4096];
    // Read the request (or, when silent, whatever comes until the peer leaves).
    while (!stop_.load() && (reply_.silent || !RequestComplete(request))) {
      pollfd waiting{};
      waiting.fd = fd;
      waiting.events = POLLIN;
      if (::poll(&waiting, 1, kPollMs) <= 0) continue;
      const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
      if (got <= 0) return;
      request.append(buffer, static_cast<size_t>(got));
      AppendReceived(index, buffer, static_cast<size_t>(got));
    }
    if (!responder_) break;
    if (!SendAll(fd, responder_(request))) return;
    if (answered + 1 >= requests_per_connection_ || stop_.load()) return;
  }
  for (int64_t i = 0; i < reply_.repeat && !stop_.load(); ++i) {
    if (reply_.drip_ms <= 0) {
      if (!SendAll(fd, reply_.data)) return;
      continue;
    }
    for (char byte : reply_.data) {
      if (!SendAll(fd, std::string_view(&byte, 1))) return;
      // Waits on the connection, so a client that leaves ends the drip early.
      pollfd waiting{};
      waiting.fd = fd;
      waiting.events = POLLIN;
      ::poll(&waiting, 1, reply_.drip_ms);
      if (stop_.load()) return;
    }
  }
}

bool TestServer::SendAll(int fd, std::string_view data) {
  size_t sent = 0;
  while (sent < data.size()) {
    if (stop_.load()) return false;
    pollfd waiting{};
    waiting.fd = fd;
    waiting.events = POLLOUT;
    if (::poll(&waiting, 1, kPollMs) <= 0) continue;
    const ssize_t put = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (put <= 0) return false;  // the client went away
    sent += static_cast<size_t>(put);
  }
  return true;
}

}  // namespace quorix::http::testing
