// TCP connections with bounded waits, interruptible from another thread.
//
// Two ways to connect:
//   auto connection = Connection::Create();      // not yet connected
//   slot.AttachConnection(connection.get());     // now the killer can reach it
//   connection->ConnectTo(host, port, timeout_ms, &error);
// or, when nobody needs to cut the connect itself, Connection::Connect(...).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace quorix::platform {

// Error numbers of ConnectTo besides the system's own (ECONNREFUSED, ETIMEDOUT...):
constexpr int kHostNotFoundError = 11001;  // the name could not be resolved
// An interrupted connection reports ECANCELED.

class Connection {
 public:
  ~Connection();  // closes
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // A connection that is not connected yet. It can be interrupted already:
  // an Interrupt before or during ConnectTo makes ConnectTo fail at once.
  static std::unique_ptr<Connection> Create();

  // Resolves `host` (name or dotted address) and connects to `port`, waiting
  // at most `timeout_ms` for the connect (negative: as long as the system
  // lets it). False on failure, *error (if given) the reason. Name resolution
  // itself cannot be interrupted; everything after it can. Call once.
  bool ConnectTo(const std::string& host, int port, int timeout_ms, int* error = nullptr);

  // Create + ConnectTo in one step. Null on failure (*error: the reason).
  static std::unique_ptr<Connection> Connect(const std::string& host, int port, int timeout_ms,
                                             int* error = nullptr);

  // Sends all bytes, each wait for readiness bounded by `timeout_ms`.
  bool SendAll(std::string_view data, int timeout_ms);
  // Receives at most `size` bytes, waiting at most `timeout_ms`. Returns the
  // byte count; 0 when the peer closed, the time-out passed, the connection
  // failed or was interrupted.
  int64_t Receive(char* buffer, int64_t size, int timeout_ms);

  // Safe from any thread while the connection exists: wakes every pending and
  // later wait at once (shutdown of the socket and a wake-up descriptor that
  // every wait also watches); descriptors are closed only by ConnectTo (a
  // failed attempt) and the destructor, in the owning thread.
  void Interrupt();
  bool Interrupted() const;

  // The socket descriptor; -1 before a successful ConnectTo.
  int Handle() const;

 private:
  Connection() = default;
  enum class WaitResult { kReady, kTimeout, kInterrupted };
  WaitResult Wait(int fd, short events, int timeout_ms) const;
  void CloseSocket();

  int fd_ = -1;          // written under interrupt_lock_, by the owner only
  int wake_read_ = -1;   // readable once interrupted
  int wake_write_ = -1;
  mutable std::mutex interrupt_lock_;
  bool interrupted_ = false;
};

}  // namespace quorix::platform
