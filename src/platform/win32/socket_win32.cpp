// TCP connections on Windows with Winsock 2. The socket is tied to an event
// with WSAEventSelect (which also makes it non-blocking); every wait watches
// that event and a second "stop" event, bounded by the caller's time-out.
// Interrupt marks the connection and sets the stop event, so a connect, send
// or receive in progress returns at once (shutdown does not wake a blocked
// wait under every Windows implementation; the stop event does). Only the
// owning thread closes the socket.
//
// The int members of socket.h hold: fd_ the SOCKET, wake_read_ the socket's
// event, wake_write_ the stop event.
#include <cerrno>
#include <chrono>
#include <string>

#include "platform/socket.h"
#include "platform/win32/windows_api.h"

namespace quorix::platform {
namespace {

using Clock = std::chrono::steady_clock;
using win32::HandleOf;
using win32::IntOf;
using win32::SocketOf;

constexpr short kWantRead = 1;
constexpr short kWantWrite = 2;
constexpr short kWantConnect = 4;

// Winsock for the life of the process: started (version 2.0) with the
// first connection, cleaned up when the program ends.
class WinsockSession {
 public:
  WinsockSession() {
    WSADATA data{};
    started_ = ::WSAStartup(MAKEWORD(2, 0), &data) == 0;
  }
  ~WinsockSession() {
    if (started_) ::WSACleanup();
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;

 private:
  bool started_ = false;
};

void StartWinsock() { static WinsockSession session; }

DWORD RemainingMs(bool bounded, Clock::time_point deadline) {
  if (!bounded) return WSA_INFINITE;
  // Rounded up: a wait never ends before its deadline.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<DWORD>(left);
}

struct AddressList {
  addrinfo* head = nullptr;
  ~AddressList() {
    if (head != nullptr) ::freeaddrinfo(head);
  }
};

}  // namespace

std::unique_ptr<Connection> Connection::Create() {
  StartWinsock();
  std::unique_ptr<Connection> connection(new Connection());
  WSAEVENT socket_event = ::WSACreateEvent();
  HANDLE stop_event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  connection->wake_read_ = socket_event != WSA_INVALID_EVENT ? IntOf(socket_event) : -1;
  connection->wake_write_ = stop_event != nullptr ? IntOf(stop_event) : -1;
  return connection;
}

std::unique_ptr<Connection> Connection::Connect(const std::string& host, int port, int timeout_ms,
                                                int* error) {
  std::unique_ptr<Connection> connection = Create();
  if (!connection->ConnectTo(host, port, timeout_ms, error)) return nullptr;
  return connection;
}

Connection::~Connection() {
  CloseSocket();
  if (wake_read_ >= 0) ::WSACloseEvent(HandleOf(wake_read_));
  if (wake_write_ >= 0) ::CloseHandle(HandleOf(wake_write_));
}

bool Connection::ConnectTo(const std::string& host, int port, int timeout_ms, int* error) {
  auto fail = [&](int number) {
    if (error != nullptr) *error = number != 0 ? number : WSAECONNABORTED;
    return false;
  };
  if (port < 1 || port > 65535) return fail(WSAEINVAL);
  if (Handle() >= 0) return fail(WSAEISCONN);
  if (Interrupted()) return fail(ECANCELED);
  if (wake_read_ < 0 || wake_write_ < 0) return fail(WSAENOBUFS);

  const bool bounded = timeout_ms >= 0;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(bounded ? timeout_ms : 0);

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  AddressList addresses;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses.head) != 0) {
    return fail(kHostNotFoundError);
  }

  int reason = kHostNotFoundError;
  for (const addrinfo* address = addresses.head; address != nullptr; address = address->ai_next) {
    const SOCKET socket = ::WSASocketA(address->ai_family, address->ai_socktype,
                                       address->ai_protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (socket == INVALID_SOCKET) {
      reason = ::WSAGetLastError();
      continue;
    }
    ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    {
      std::lock_guard<std::mutex> lock(interrupt_lock_);
      if (interrupted_) {
        ::closesocket(socket);
        return fail(ECANCELED);
      }
      fd_ = IntOf(socket);
    }
    const BOOL one = TRUE;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                 sizeof one);  // every line goes out at once
    ::WSAEventSelect(socket, HandleOf(wake_read_), FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);

    int result = ::connect(socket, address->ai_addr, static_cast<int>(address->ai_addrlen));
    int socket_error = result == 0 ? 0 : ::WSAGetLastError();
    if (result != 0 && socket_error == WSAEWOULDBLOCK) {
      switch (Wait(fd_, kWantConnect, static_cast<int>(RemainingMs(bounded, deadline)))) {
        case WaitResult::kInterrupted:
          CloseSocket();
          return fail(ECANCELED);
        case WaitResult::kTimeout:
          socket_error = WSAETIMEDOUT;
          break;
        case WaitResult::kReady: {
          int connect_error = 0;
          int length = sizeof connect_error;
          if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&connect_error),
                           &length) != 0) {
            connect_error = ::WSAGetLastError();
          }
          socket_error = connect_error;
          if (connect_error == 0) result = 0;
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
    reason = socket_error;
    CloseSocket();
    if (Interrupted()) return fail(ECANCELED);
    if (bounded && Clock::now() >= deadline) return fail(WSAETIMEDOUT);
  }
  return fail(reason);
}

// Waits for the socket's event or the stop event. The socket's event only
// says that something happened since the last look; the caller retries its
// operation and comes back when that would block. A connect is ready once
// its FD_CONNECT arrived (with or without an error).
Connection::WaitResult Connection::Wait(int fd, short events, int timeout_ms) const {
  const bool bounded = timeout_ms >= 0;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(bounded ? timeout_ms : 0);
  const WSAEVENT handles[2] = {HandleOf(wake_write_), HandleOf(wake_read_)};
  for (;;) {
    if (Interrupted()) return WaitResult::kInterrupted;
    const DWORD result =
        ::WSAWaitForMultipleEvents(2, handles, FALSE, RemainingMs(bounded, deadline), FALSE);
    if (result == WSA_WAIT_EVENT_0 || Interrupted()) return WaitResult::kInterrupted;
    if (result == WSA_WAIT_TIMEOUT) return WaitResult::kTimeout;
    if (result != WSA_WAIT_EVENT_0 + 1) return WaitResult::kReady;  // the call reports it
    WSANETWORKEVENTS happened{};
    if (::WSAEnumNetworkEvents(SocketOf(fd), HandleOf(wake_read_), &happened) != 0) {
      return WaitResult::kReady;
    }
    const long seen = happened.lNetworkEvents;
    if ((events & kWantConnect) != 0 && (seen & (FD_CONNECT | FD_CLOSE)) != 0) {
      return WaitResult::kReady;
    }
    if ((events & kWantRead) != 0 && (seen & (FD_READ | FD_CLOSE)) != 0) return WaitResult::kReady;
    if ((events & kWantWrite) != 0 && (seen & (FD_WRITE | FD_CLOSE)) != 0) {
      return WaitResult::kReady;
    }
    if (bounded && Clock::now() >= deadline) return WaitResult::kTimeout;
  }
}

bool Connection::SendAll(std::string_view data, int timeout_ms) {
  const int fd = Handle();
  if (fd < 0) return false;
  while (!data.empty()) {
    if (Interrupted()) return false;
    const int chunk = data.size() > 0x10000000 ? 0x10000000 : static_cast<int>(data.size());
    const int count = ::send(SocketOf(fd), data.data(), chunk, 0);
    if (count > 0) {
      data.remove_prefix(static_cast<size_t>(count));
      continue;
    }
    if (count == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
      if (Wait(fd, kWantWrite, timeout_ms) != WaitResult::kReady) return false;
      continue;
    }
    return false;
  }
  return true;
}

// Tries first and waits only when nothing is there: a readiness that
// Winsock reported before this call is not reported again.
int64_t Connection::Receive(char* buffer, int64_t size, int timeout_ms) {
  const int fd = Handle();
  if (fd < 0 || size <= 0) return 0;
  const bool bounded = timeout_ms >= 0;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(bounded ? timeout_ms : 0);
  const int want = size > 0x10000000 ? 0x10000000 : static_cast<int>(size);
  for (;;) {
    if (Interrupted()) return 0;
    const int count = ::recv(SocketOf(fd), buffer, want, 0);
    if (count >= 0) return count;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return 0;
    if (Wait(fd, kWantRead, static_cast<int>(RemainingMs(bounded, deadline))) !=
        WaitResult::kReady) {
      return 0;
    }
  }
}

void Connection::Interrupt() {
  std::lock_guard<std::mutex> lock(interrupt_lock_);
  interrupted_ = true;
  if (wake_write_ >= 0) ::SetEvent(HandleOf(wake_write_));
}

bool Connection::Interrupted() const {
  std::lock_guard<std::mutex> lock(interrupt_lock_);
  return interrupted_;
}

int Connection::Handle() const {
  std::lock_guard<std::mutex> lock(interrupt_lock_);
  return fd_;
}

// The owner alone closes; Interrupt no longer sees the socket once it is -1.
void Connection::CloseSocket() {
  int fd;
  {
    std::lock_guard<std::mutex> lock(interrupt_lock_);
    fd = fd_;
    fd_ = -1;
  }
  if (fd >= 0) ::closesocket(SocketOf(fd));
}

}  // namespace quorix::platform
