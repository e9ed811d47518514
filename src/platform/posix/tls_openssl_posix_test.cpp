// TLS handshakes that must fail, and fail within their bound: a server that
// never answers, one that speaks no TLS, one that closes, and a cut from
// another thread. (Handshakes that succeed or are refused for their
// certificate run end to end against the forum simulator.)
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/test_util.h"
#include "platform/tls.h"

namespace quorix::platform {
namespace {

using Clock = std::chrono::steady_clock;

// A server on 127.0.0.1 that accepts one connection and then does `what`:
// send `reply` (if any) and close, or stay silent until the test ends.
class OneShotServer {
 public:
  OneShotServer(std::string reply, bool stay_silent) {
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
    thread_ = std::thread([this, reply, stay_silent] {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      char request[512];
      if (!reply.empty()) {
        [[maybe_unused]] ssize_t ignored = ::recv(fd, request, sizeof request, 0);
        ignored = ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
      }
      if (stay_silent) testing::WaitFor([this] { return stopping_.load(); });
      ::close(fd);
    });
  }
  ~OneShotServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
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

struct Attempt {
  TlsFailure failure = TlsFailure::kNone;
  std::string reason;
  double seconds = 0;
};

Attempt HandshakeWith(const OneShotServer& server, int timeout_ms,
                      std::atomic<Connection*>* exposed = nullptr) {
  std::string error;
  auto client = TlsClient::Create("", &error);
  EXPECT_NE(client, nullptr) << error;
  Attempt attempt;
  if (!client) return attempt;
  auto connection = Connection::Connect("127.0.0.1", server.port(), 5000);
  EXPECT_NE(connection, nullptr);
  if (!connection) return attempt;
  if (exposed != nullptr) exposed->store(connection.get());
  const auto started = Clock::now();
  auto stream = TlsStream::Handshake(*client, *connection, "127.0.0.1", server.port(), timeout_ms,
                                     &attempt.failure, &attempt.reason);
  attempt.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  if (exposed != nullptr) exposed->store(nullptr);
  EXPECT_EQ(stream, nullptr);
  return attempt;
}

TEST(TlsHandshake, FailsWithinItsBoundForEachKindOfServer) {
  struct Case {
    const char* name;
    std::string reply;
    bool stay_silent;
    TlsFailure failure;
    double at_least;
  };
  const Case cases[] = {
      {"silent", "", true, TlsFailure::kTimeout, 0.25},
      {"plain HTTP", "HTTP/1.0 400 Bad Request\r\n\r\nno TLS here", false, TlsFailure::kProtocol,
       0},
      {"closes", "", false, TlsFailure::kProtocol, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OneShotServer server(c.reply, c.stay_silent);
    const Attempt attempt = HandshakeWith(server, 300);
    EXPECT_EQ(attempt.failure, c.failure) << attempt.reason;
    EXPECT_FALSE(attempt.reason.empty());
    EXPECT_GE(attempt.seconds, c.at_least);
    EXPECT_LT(attempt.seconds, 5.0);
  }
}

TEST(TlsHandshake, InterruptCutsAWaitingHandshakeAtOnce) {
  OneShotServer server("", true);
  std::atomic<Connection*> connection{nullptr};
  std::thread killer([&] {
    testing::WaitFor([&] { return connection.load() != nullptr; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // into the handshake's wait
    if (Connection* c = connection.load()) c->Interrupt();
  });
  const Attempt attempt = HandshakeWith(server, 60000, &connection);
  killer.join();
  EXPECT_EQ(attempt.failure, TlsFailure::kInterrupted) << attempt.reason;
  EXPECT_LT(attempt.seconds, 5.0);
}

TEST(TlsClient, ExtraCaFileMustHoldACertificate) {
  testing::ScratchDir scratch;
  testing::WriteTestFile(scratch / "empty.pem", "no certificate here\n");
  std::string error;
  EXPECT_EQ(TlsClient::Create(scratch / "missing.pem", &error), nullptr);
  EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
  EXPECT_EQ(TlsClient::Create(scratch / "empty.pem", &error), nullptr);
  EXPECT_NE(error.find("no certificate"), std::string::npos) << error;
}

}  // namespace
}  // namespace quorix::platform
