// Winsock connections: data both ways, bounded waits, and the interrupt
// that the status screen's keys use to cut a blocked receive at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "platform/socket.h"
#include "platform/test_util.h"
#include "platform/win32/windows_api.h"

namespace quorix::platform {
namespace {

using Clock = std::chrono::steady_clock;
using testing::WaitFor;

// A loopback listener that accepts one connection; the test plays the peer.
class Peer {
 public:
  Peer() {
    Connection::Create();  // starts Winsock for this process
    listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Peer() {
    if (accepted_ != INVALID_SOCKET) ::closesocket(accepted_);
    ::closesocket(listener_);
  }
  int port() const { return port_; }
  SOCKET Accept() { return accepted_ = ::accept(listener_, nullptr, nullptr); }
  void Close() {
    ::closesocket(accepted_);
    accepted_ = INVALID_SOCKET;
  }

 private:
  SOCKET listener_ = INVALID_SOCKET;
  SOCKET accepted_ = INVALID_SOCKET;
  int port_ = 0;
};

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(ConnectionWin32, DataBothWaysTimeOutAndPeerClose) {
  Peer peer;
  int error = -1;
  auto connection = Connection::Connect("127.0.0.1", peer.port(), 5000, &error);
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(error, 0);
  const SOCKET other = peer.Accept();
  ASSERT_NE(other, INVALID_SOCKET);

  // Larger than the socket buffers, so that SendAll must wait for room
  // while the peer reads.
  const std::string big(4 << 20, 'q');
  std::atomic<size_t> received{0};
  std::thread reader([&] {
    char buffer[65536];
    while (received < big.size()) {
      const int got = ::recv(other, buffer, sizeof buffer, 0);
      if (got <= 0) return;
      received += static_cast<size_t>(got);
    }
  });
  EXPECT_TRUE(connection->SendAll(big, 10000));
  reader.join();
  EXPECT_EQ(received.load(), big.size());

  ::send(other, "HTTP/1.0 200 OK\r\n", 17, 0);
  char buffer[64];
  std::string got;
  ASSERT_TRUE(WaitFor([&] {
    const int64_t count = connection->Receive(buffer, sizeof buffer, 1000);
    got.append(buffer, static_cast<size_t>(count > 0 ? count : 0));
    return got.size() >= 17;
  }));
  EXPECT_EQ(got, "HTTP/1.0 200 OK\r\n");

  const auto start = Clock::now();
  EXPECT_EQ(connection->Receive(buffer, sizeof buffer, 300), 0);
  const double waited = SecondsSince(start);
  EXPECT_GE(waited, 0.25);
  EXPECT_LT(waited, 5.0);

  peer.Close();
  EXPECT_EQ(connection->Receive(buffer, sizeof buffer, 10000), 0);
  EXPECT_LT(SecondsSince(start), 8.0) << "a closed peer ends the wait at once";
}

TEST(ConnectionWin32, InterruptWakesABlockedReceiveAtOnce) {
  Peer peer;
  auto connection = Connection::Connect("127.0.0.1", peer.port(), 5000);
  ASSERT_NE(connection, nullptr);
  peer.Accept();  // the peer never answers
  std::atomic<bool> receiving{false};
  std::atomic<double> waited{-1};
  std::thread worker([&] {
    char buffer[16];
    receiving = true;
    const auto start = Clock::now();
    connection->Receive(buffer, sizeof buffer, 60000);
    waited = SecondsSince(start);
  });
  ASSERT_TRUE(WaitFor([&] { return receiving.load(); }));
  connection->Interrupt();
  worker.join();
  EXPECT_GE(waited.load(), 0.0);
  EXPECT_LT(waited.load(), 5.0);
  EXPECT_TRUE(connection->Interrupted());
  EXPECT_FALSE(connection->SendAll("GET / HTTP/1.0\r\n", 1000));
}

TEST(ConnectionWin32, RefusedPortBadPortAndEarlyInterrupt) {
  int port = 0;
  {
    Peer closed;  // a port that nobody listens on once the peer is gone
    port = closed.port();
  }
  int error = 0;
  EXPECT_EQ(Connection::Connect("127.0.0.1", port, 5000, &error), nullptr);
  EXPECT_NE(error, 0);
  EXPECT_EQ(Connection::Connect("127.0.0.1", 70000, 5000, &error), nullptr);
  EXPECT_NE(error, 0);

  Peer peer;
  auto connection = Connection::Create();
  connection->Interrupt();
  EXPECT_FALSE(connection->ConnectTo("127.0.0.1", peer.port(), 5000, &error));
  EXPECT_EQ(error, ECANCELED);
  EXPECT_EQ(connection->Handle(), -1);
}

}  // namespace
}  // namespace quorix::platform
