// The bound of one public call of a TLS stream (a handshake, a send, a
// receive): every read and write that the call makes on the connection
// shares it. Used by the TLS implementations of both platforms.
#pragma once

#include <chrono>

namespace quorix::platform {

struct TlsDeadline {
  using Clock = std::chrono::steady_clock;

  bool bounded = false;
  Clock::time_point at;

  static TlsDeadline After(int timeout_ms) {
    TlsDeadline deadline;
    deadline.bounded = timeout_ms >= 0;
    deadline.at = Clock::now() + std::chrono::milliseconds(deadline.bounded ? timeout_ms : 0);
    return deadline;
  }
  // What is left, rounded up; -1 when unbounded.
  int RemainingMs() const {
    if (!bounded) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(at - Clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(left.count());
  }
  // A wait that ended this close to the deadline counts as timed out.
  bool Passed() const { return bounded && Clock::now() + std::chrono::milliseconds(10) >= at; }
};

}  // namespace quorix::platform
