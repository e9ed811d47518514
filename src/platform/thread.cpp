// Worker threads: std::thread with a flag that tells whether the body still runs.
#include "platform/thread.h"

#include <system_error>

namespace quorix::platform {

Thread::~Thread() { Join(); }

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    Join();
    thread_ = std::move(other.thread_);
    running_ = std::move(other.running_);
  }
  return *this;
}

Thread Thread::Start(std::function<void(int)> body, int argument) {
  Thread thread;
  auto running = std::make_shared<std::atomic<bool>>(true);
  try {
    thread.thread_ = std::thread([body = std::move(body), argument, running]() noexcept {
      try {
        body(argument);
      } catch (...) {
        // Nothing leaves a worker: the thread simply ends.
      }
      running->store(false);
    });
  } catch (const std::system_error&) {
    return Thread();  // the system could not start a thread: Started() is false
  }
  thread.running_ = std::move(running);
  return thread;
}

bool Thread::IsRunning() const { return running_ != nullptr && running_->load(); }

void Thread::Join() {
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();  // a thread cannot wait for itself
    return;
  }
  thread_.join();
}

}  // namespace quorix::platform
