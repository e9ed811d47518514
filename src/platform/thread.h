// Worker threads started with one integer argument.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace quorix::platform {

class Thread {
 public:
  Thread() = default;
  ~Thread();  // joins a thread that was started and not joined
  Thread(Thread&&) noexcept = default;
  Thread& operator=(Thread&&) noexcept;

  // Starts `body(argument)`. Exceptions never leave the thread: one that
  // escapes the body is swallowed and the thread ends.
  static Thread Start(std::function<void(int)> body, int argument);

  bool Started() const { return thread_.joinable(); }
  bool IsRunning() const;  // false once the body has returned
  void Join();

 private:
  std::thread thread_;
  std::shared_ptr<std::atomic<bool>> running_;
};

}  // namespace quorix::platform
