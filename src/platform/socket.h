// TCP connections with bounded waits, interruptible from another thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace quorix::platform {

class Connection {
 public:
  ~Connection();  // closes
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Resolves `host` (name or dotted address) and connects to `port`, waiting
  // at most `timeout_ms` for the connect. Null on failure (*error: the reason).
  static std::unique_ptr<Connection> Connect(const std::string& host, int port, int timeout_ms,
                                             int* error = nullptr);

  // Sends all bytes, each wait for readiness bounded by `timeout_ms`.
  bool SendAll(std::string_view data, int timeout_ms);
  // Receives at most `size` bytes, waiting at most `timeout_ms`. Returns the
  // byte count; 0 when the peer closed, the time-out passed, the connection
  // failed or was interrupted.
  int64_t Receive(char* buffer, int64_t size, int timeout_ms);

  // Safe from any thread while the connection exists: wakes every pending and
  // later wait at once (shutdown of the socket); the descriptor is closed only
  // by the destructor, in the owning thread.
  void Interrupt();
  bool Interrupted() const;

  int Handle() const { return fd_; }

 private:
  explicit Connection(int fd) : fd_(fd) {}
  int fd_ = -1;
  mutable std::mutex interrupt_lock_;
  bool interrupted_ = false;
};

}  // namespace quorix::platform
