// Schannel streams against servers that misbehave: a silent server times the
// handshake out or is cut at once by an interrupt (the status screen's keys),
// a server that speaks no TLS fails the handshake, and the extra CA file must
// hold a certificate. Good and refused certificates are tested end to end
// against the simulator's TLS server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/socket.h"
#include "platform/test_util.h"
#include "platform/tls.h"
#include "platform/win32/windows_api.h"

namespace quorix::platform {
namespace {

using Clock = std::chrono::steady_clock;
using testing::ScratchDir;
using testing::WriteTestFile;

// A loopback listener; the test plays the server.
class Server {
 public:
  Server() {
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
  ~Server() {
    if (accepted_ != INVALID_SOCKET) ::closesocket(accepted_);
    ::closesocket(listener_);
  }
  int port() const { return port_; }
  // Accepts the connection and reads the start of the client hello.
  bool AcceptHello() {
    accepted_ = ::accept(listener_, nullptr, nullptr);
    char buffer[512];
    return accepted_ != INVALID_SOCKET && ::recv(accepted_, buffer, sizeof buffer, 0) > 0;
  }
  void SendAndClose(const std::string& bytes) {
    ::send(accepted_, bytes.data(), static_cast<int>(bytes.size()), 0);
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

TEST(TlsSchannel, HandshakeTimesOutIsCutAtOnceOrFailsOnAServerWithoutTls) {
  enum class ServerDoes { kNothing, kNothingUntilCut, kAnswerHttp };
  const struct {
    ServerDoes does;
    int timeout_ms;
    TlsFailure failure;
    std::string reason;
  } cases[] = {
      {ServerDoes::kNothing, 700, TlsFailure::kTimeout, "timed out"},
      {ServerDoes::kNothingUntilCut, 600000, TlsFailure::kInterrupted, "interrupted"},
      {ServerDoes::kAnswerHttp, 600000, TlsFailure::kProtocol, ""},
  };
  std::string error;
  auto client = TlsClient::Create("", &error);
  ASSERT_NE(client, nullptr) << error;
  for (const auto& test : cases) {
    SCOPED_TRACE(static_cast<int>(test.does));
    Server server;
    auto connection = Connection::Connect("127.0.0.1", server.port(), 5000);
    ASSERT_NE(connection, nullptr);
    std::thread peer([&] {
      if (!server.AcceptHello()) return;
      if (test.does == ServerDoes::kNothingUntilCut) connection->Interrupt();
      if (test.does == ServerDoes::kAnswerHttp) {
        server.SendAndClose("HTTP/1.0 400 Bad Request\r\n\r\nnot TLS\r\n");
      }
    });
    const auto start = Clock::now();
    TlsFailure failure = TlsFailure::kNone;
    std::string reason;
    auto stream = TlsStream::Handshake(*client, *connection, "localhost", server.port(),
                                       test.timeout_ms, &failure, &reason);
    const double seconds = SecondsSince(start);
    peer.join();
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(failure, test.failure) << reason;
    if (!test.reason.empty()) {
      EXPECT_EQ(reason, test.reason);
    }
    EXPECT_FALSE(reason.empty());
    EXPECT_LT(seconds, 30.0) << "a wait that is not bounded or not cut";
  }
}

TEST(TlsSchannel, TheExtraCaFileMustHoldACertificate) {
  ScratchDir dir;
  WriteTestFile(dir / "EMPTY.PEM", "no certificate here\r\n");
  std::string error;
  EXPECT_EQ(TlsClient::Create(dir / "MISSING.PEM", &error), nullptr);
  EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
  EXPECT_EQ(TlsClient::Create(dir / "EMPTY.PEM", &error), nullptr);
  EXPECT_NE(error.find("no certificate in"), std::string::npos) << error;
}

}  // namespace
}  // namespace quorix::platform
