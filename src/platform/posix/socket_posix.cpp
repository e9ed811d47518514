// TCP connections on POSIX. The socket stays non-blocking; every wait is a
// poll on the socket and on a wake-up pipe, bounded by the caller's time-out.
// Interrupt marks the connection, shuts the socket down and writes to the
// pipe, so a connect, send or receive in progress returns at once. Only the
// owning thread closes descriptors, so a descriptor number can never be
// reused under the interrupting thread's feet.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "platform/socket.h"

namespace quorix::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, for poll: -1 means no limit.
int RemainingMs(bool bounded, Clock::time_point deadline) {
  if (!bounded) return -1;
  // Rounded up: a wait never ends before its deadline.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

struct AddressList {
  addrinfo* head = nullptr;
  ~AddressList() {
    if (head != nullptr) ::freeaddrinfo(head);
  }
};

}  // namespace

std::unique_ptr<Connection> Connection::Create() {
  std::unique_ptr<Connection> connection(new Connection());
  int fds[2];
  // Without the pipe the shutdown alone still wakes the waits on Linux.
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    connection->wake_read_ = fds[0];
    connection->wake_write_ = fds[1];
  }
  return connection;
}

std::unique_ptr<Connection> Connection::Connect(const std::string& host, int port,
                                                int timeout_ms, int* error) {
  std::unique_ptr<Connection> connection = Create();
  if (!connection->ConnectTo(host, port, timeout_ms, error)) return nullptr;
  return connection;
}

Connection::~Connection() {
  CloseSocket();
  if (wake_read_ >= 0) ::close(wake_read_);
  if (wake_write_ >= 0) ::close(wake_write_);
}

bool Connection::ConnectTo(const std::string& host, int port, int timeout_ms, int* error) {
  int reason = 0;
  auto fail = [&](int number) {
    if (error != nullptr) *error = number != 0 ? number : EIO;
    return false;
  };
  if (port < 1 || port > 65535) return fail(EINVAL);
  if (Handle() >= 0) return fail(EISCONN);
  if (Interrupted()) return fail(ECANCELED);

  const bool bounded = timeout_ms >= 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(bounded ? timeout_ms : 0);

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  AddressList addresses;
  const std::string service = std::to_string(port);
  const int resolved = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses.head);
  if (resolved != 0) return fail(resolved == EAI_SYSTEM && errno != 0 ? errno : kHostNotFoundError);

  reason = kHostNotFoundError;
  for (const addrinfo* address = addresses.head; address != nullptr; address = address->ai_next) {
    const int fd = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address->ai_protocol);
    if (fd < 0) {
      reason = errno;
      continue;
    }
    {
      std::lock_guard<std::mutex> lock(interrupt_lock_);
      if (interrupted_) {
        ::close(fd);
        return fail(ECANCELED);
      }
      fd_ = fd;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // every line goes out at once

    int result = ::connect(fd, address->ai_addr, address->ai_addrlen);
    if (result != 0 && (errno == EINPROGRESS || errno == EINTR)) {
      switch (Wait(fd, POLLOUT, RemainingMs(bounded, deadline))) {
        case WaitResult::kInterrupted:
          CloseSocket();
          return fail(ECANCELED);
        case WaitResult::kTimeout:
          errno = ETIMEDOUT;
          break;
        case WaitResult::kReady: {
          int socket_error = 0;
          socklen_t length = sizeof socket_error;
          if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &socket_error, &length) != 0) {
            socket_error = errno;
          }
          if (socket_error == 0) result = 0;
          errno = socket_error;
          break;
        }
      }
    }
    if (result == 0) {
      if (Interrupted()) {
        CloseSocket();
        return fail(ECANCELED);
      }
      if (error != nullptr) *error = 0;
      return true;
    }
    reason = errno;
    CloseSocket();
    if (Interrupted()) return fail(ECANCELED);
    if (bounded && Clock::now() >= deadline) return fail(ETIMEDOUT);
  }
  return fail(reason);
}

Connection::WaitResult Connection::Wait(int fd, short events, int timeout_ms) const {
  const bool bounded = timeout_ms >= 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(bounded ? timeout_ms : 0);
  for (;;) {
    if (Interrupted()) return WaitResult::kInterrupted;
    pollfd entries[2] = {{fd, events, 0}, {wake_read_, POLLIN, 0}};
    const int count = ::poll(entries, wake_read_ >= 0 ? 2 : 1, RemainingMs(bounded, deadline));
    if (count < 0) {
      if (errno == EINTR) continue;
      return WaitResult::kReady;  // let the following call report the failure
    }
    if (entries[1].revents != 0 || Interrupted()) return WaitResult::kInterrupted;
    if (count == 0) return WaitResult::kTimeout;
    if (entries[0].revents != 0) return WaitResult::kReady;
  }
}

bool Connection::SendAll(std::string_view data, int timeout_ms) {
  const int fd = Handle();
  if (fd < 0) return false;
  while (!data.empty()) {
    if (Interrupted()) return false;
    const ssize_t count = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (count > 0) {
      data.remove_prefix(static_cast<size_t>(count));
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (Wait(fd, POLLOUT, timeout_ms) != WaitResult::kReady) return false;
      continue;
    }
    return false;
  }
  return true;
}

int64_t Connection::Receive(char* buffer, int64_t size, int timeout_ms) {
  const int fd = Handle();
  if (fd < 0 || size <= 0) return 0;
  const bool bounded = timeout_ms >= 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(bounded ? timeout_ms : 0);
  for (;;) {
    if (Wait(fd, POLLIN, RemainingMs(bounded, deadline)) != WaitResult::kReady) return 0;
    const ssize_t count = ::recv(fd, buffer, static_cast<size_t>(size), 0);
    if (count >= 0) return count;
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
      if (bounded && Clock::now() >= deadline) return 0;
      continue;  // woken without data: wait for the rest of the time
    }
    return 0;
  }
}

void Connection::Interrupt() {
  std::lock_guard<std::mutex> lock(interrupt_lock_);
  interrupted_ = true;
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
  if (wake_write_ >= 0) {
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(wake_write_, &byte, 1);  // full pipe: already awake
  }
}

bool Connection::Interrupted() const {
  std::lock_guard<std::mutex> lock(interrupt_lock_);
  return interrupted_;
}

int Connection::Handle() const {
  std::lock_guard<std::mutex> lock(interrupt_lock_);
  return fd_;
}

// The owner alone closes; Interrupt no longer sees the number once it is -1.
void Connection::CloseSocket() {
  int fd;
  {
    std::lock_guard<std::mutex> lock(interrupt_lock_);
    fd = fd_;
    fd_ = -1;
  }
  if (fd >= 0) ::close(fd);
}

}  // namespace quorix::platform
