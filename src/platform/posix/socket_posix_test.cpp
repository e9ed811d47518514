#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/test_util.h"
#include "platform/socket.h"

namespace quorix::platform {
namespace {

using testing::WaitFor;

// A one-connection server on 127.0.0.1 (ephemeral port) that runs `handler`
// on the accepted socket in a thread of its own. A handler that waits watches
// `stopping`, which the destructor sets.
class LoopbackServer {
 public:
  using Handler = std::function<void(int fd, const std::atomic<bool>& stopping)>;
  explicit LoopbackServer(Handler handler) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, handler = std::move(handler)] {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      handler(fd, stopping_);
      ::close(fd);
    });
  }
  ~LoopbackServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);  // ends an accept still waiting
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  int port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

std::string ReceiveExactly(int fd, size_t size) {
  std::string bytes;
  char buffer[4096];
  while (bytes.size() < size) {
    const ssize_t count = ::recv(fd, buffer, std::min(sizeof buffer, size - bytes.size()), 0);
    if (count <= 0) break;
    bytes.append(buffer, static_cast<size_t>(count));
  }
  return bytes;
}

// A port on 127.0.0.1 where nobody listens.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

TEST(Connection, SendsAndReceivesBytesExactly) {
  const std::string request("GET / HTTP/1.0\r\n\0\xff\r\n\r\n", 22);
  std::string response;
  for (int i = 0; i < 10000; ++i) response.push_back(static_cast<char>(i % 251));
  std::string server_got;
  LoopbackServer server([&](int fd, const std::atomic<bool>&) {
    server_got = ReceiveExactly(fd, request.size());
    ::send(fd, response.data(), response.size(), MSG_NOSIGNAL);
  });
  int error = -1;
  auto connection = Connection::Connect("127.0.0.1", server.port(), 5000, &error);
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(error, 0);
  EXPECT_GE(connection->Handle(), 0);
  ASSERT_TRUE(connection->SendAll(request, 5000));
  std::string received;
  char buffer[4096];
  int chunks = 0;
  while (int64_t count = connection->Receive(buffer, sizeof buffer, 5000)) {
    received.append(buffer, static_cast<size_t>(count));
    ++chunks;
  }
  EXPECT_EQ(received, response);
  EXPECT_GE(chunks, 3);
  EXPECT_FALSE(connection->Interrupted());
  connection.reset();
  EXPECT_EQ(server_got, request);
}

TEST(Connection, ResolvesHostNames) {
  LoopbackServer server([](int fd, const std::atomic<bool>&) { ::send(fd, "ok", 2, MSG_NOSIGNAL); });
  auto connection = Connection::Connect("localhost", server.port(), 5000);
  ASSERT_NE(connection, nullptr);
  char buffer[8];
  EXPECT_EQ(connection->Receive(buffer, sizeof buffer, 5000), 2);
}

TEST(Connection, ReceiveReturnsNothingAfterTimeOut) {
  LoopbackServer server([](int, const std::atomic<bool>& stopping) {
    WaitFor([&] { return stopping.load(); }, std::chrono::seconds(60));
  });
  auto connection = Connection::Connect("127.0.0.1", server.port(), 5000);
  ASSERT_NE(connection, nullptr);
  char buffer[16];
  EXPECT_EQ(connection->Receive(buffer, sizeof buffer, 200), 0);
  EXPECT_FALSE(connection->Interrupted());
}

TEST(Connection, InterruptWakesBlockedReceive) {
  LoopbackServer server([](int, const std::atomic<bool>& stopping) {
    WaitFor([&] { return stopping.load(); }, std::chrono::seconds(60));
  });
  auto connection = Connection::Connect("127.0.0.1", server.port(), 5000);
  ASSERT_NE(connection, nullptr);
  std::atomic<bool> receiving{false};
  std::atomic<bool> returned{false};
  std::atomic<int64_t> result{-1};
  std::thread reader([&] {
    char buffer[16];
    receiving = true;
    result = connection->Receive(buffer, sizeof buffer, 60000);
    returned = true;
  });
  ASSERT_TRUE(WaitFor([&] { return receiving.load(); }));
  connection->Interrupt();
  EXPECT_TRUE(WaitFor([&] { return returned.load(); }));
  reader.join();
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(connection->Interrupted());
  char buffer[16];
  EXPECT_EQ(connection->Receive(buffer, sizeof buffer, 60000), 0);  // later waits end at once
  EXPECT_FALSE(connection->SendAll("x", 60000));
}

// A listener whose accept queue is full: the system drops further SYNs, so a
// connect to it waits until its time-out or an interrupt.
class FullListener {
 public:
  FullListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 0);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    filled_ = ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~FullListener() {
    ::close(filler_);
    ::close(listener_);
  }
  int port() const { return port_; }
  bool filled() const { return filled_; }

 private:
  int listener_ = -1;
  int filler_ = -1;
  int port_ = 0;
  bool filled_ = false;
};

TEST(Connection, ConnectTimesOut) {
  FullListener listener;
  ASSERT_TRUE(listener.filled());
  int error = 0;
  EXPECT_EQ(Connection::Connect("127.0.0.1", listener.port(), 200, &error), nullptr);
  EXPECT_EQ(error, ETIMEDOUT);
}

TEST(Connection, InterruptWakesPendingConnect) {
  FullListener listener;
  ASSERT_TRUE(listener.filled());
  auto connection = Connection::Create();
  std::atomic<bool> connecting{false};
  std::atomic<bool> returned{false};
  std::atomic<bool> connected{true};
  std::atomic<int> error{0};
  std::thread connector([&] {
    int reason = 0;
    connecting = true;
    connected = connection->ConnectTo("127.0.0.1", listener.port(), 60000, &reason);
    error = reason;
    returned = true;
  });
  ASSERT_TRUE(WaitFor([&] { return connecting.load(); }));
  // Once the socket exists the connect is under way (its SYN goes unanswered).
  EXPECT_TRUE(WaitFor([&] { return connection->Handle() >= 0 || returned.load(); }));
  connection->Interrupt();
  EXPECT_TRUE(WaitFor([&] { return returned.load(); }));
  connector.join();
  EXPECT_FALSE(connected);
  EXPECT_EQ(error, ECANCELED);
  EXPECT_EQ(connection->Handle(), -1);
}

TEST(Connection, InterruptBeforeConnectFailsAtOnce) {
  LoopbackServer server([](int, const std::atomic<bool>&) {});
  auto connection = Connection::Create();
  connection->Interrupt();
  int error = 0;
  EXPECT_FALSE(connection->ConnectTo("127.0.0.1", server.port(), 5000, &error));
  EXPECT_EQ(error, ECANCELED);
  EXPECT_EQ(connection->Handle(), -1);
}

TEST(Connection, FailuresCarryAReason) {
  int error = 0;
  EXPECT_EQ(Connection::Connect("no-such-host.invalid", 80, 5000, &error), nullptr);
  EXPECT_EQ(error, kHostNotFoundError);
  error = 0;
  EXPECT_EQ(Connection::Connect("", 80, 5000, &error), nullptr);
  EXPECT_NE(error, 0);
  error = 0;
  EXPECT_EQ(Connection::Connect("127.0.0.1", ClosedPort(), 5000, &error), nullptr);
  EXPECT_EQ(error, ECONNREFUSED);
  for (int port : {0, -1, 65536}) {
    error = 0;
    EXPECT_EQ(Connection::Connect("127.0.0.1", port, 5000, &error), nullptr);
    EXPECT_EQ(error, EINVAL);
  }
}

TEST(Connection, SendToClosedPeerFailsWithoutSignal) {
  LoopbackServer server([](int fd, const std::atomic<bool>&) {
    // Resets only after the client has spoken, so that the reset cannot
    // overtake the client's connect.
    ReceiveExactly(fd, 1);
    linger abort{1, 0};  // close with a reset
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  });
  auto connection = Connection::Connect("127.0.0.1", server.port(), 5000);
  ASSERT_NE(connection, nullptr);
  ASSERT_TRUE(connection->SendAll("x", 5000));
  char buffer[16];
  EXPECT_EQ(connection->Receive(buffer, sizeof buffer, 5000), 0);  // reset or closed
  const std::string block(65536, 'x');
  bool failed = false;
  for (int i = 0; i < 100 && !failed; ++i) failed = !connection->SendAll(block, 5000);
  EXPECT_TRUE(failed);
}

TEST(Connection, UnconnectedConnectionDoesNothing) {
  auto connection = Connection::Create();
  char buffer[4];
  EXPECT_EQ(connection->Handle(), -1);
  EXPECT_EQ(connection->Receive(buffer, sizeof buffer, 10), 0);
  EXPECT_FALSE(connection->SendAll("x", 10));
  connection->Interrupt();
  EXPECT_TRUE(connection->Interrupted());
}

}  // namespace
}  // namespace quorix::platform
