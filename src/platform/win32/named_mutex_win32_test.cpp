// Named mutexes on Windows: two objects of one name exclude each other as
// two processes would, and a mutex whose owner died counts as acquired.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/named_mutex.h"
#include "platform/win32/windows_api.h"

namespace quorix::platform {
namespace {

std::string UniqueName(const char* what) {
  return std::string("quorix_test_") + what + "_" + std::to_string(::GetCurrentProcessId());
}

// Each object has an in-process mutex of its own, so only the kernel mutex
// of the shared name can keep these two threads apart.
TEST(NamedMutexWin32, TwoObjectsOfOneNameExcludeEachOther) {
  NamedMutex first(UniqueName("objects"));
  NamedMutex second(UniqueName("objects"));
  int counter = 0;
  auto work = [&counter](NamedMutex& mutex) {
    for (int i = 0; i < 300; ++i) {
      NamedLock lock(mutex);
      const int seen = counter;
      std::this_thread::yield();
      counter = seen + 1;
    }
  };
  std::thread one(work, std::ref(first));
  std::thread two(work, std::ref(second));
  one.join();
  two.join();
  EXPECT_EQ(counter, 600);
}

// A thread that ends while it owns the kernel mutex abandons it, as a
// killed process does; the next lock must not wait forever.
TEST(NamedMutexWin32, AbandonedMutexCountsAsAcquired) {
  const std::string name = UniqueName("abandoned");
  std::thread owner([&name] {
    HANDLE handle = ::CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(::WaitForSingleObject(handle, 0), WAIT_OBJECT_0);
    // ends without ReleaseMutex; the handle stays open so the mutex lives on
  });
  owner.join();
  NamedMutex mutex(name);
  std::thread taker([&mutex] {
    mutex.lock();
    mutex.unlock();
  });
  taker.join();  // hangs (and the test times out) if abandonment blocks
}

}  // namespace
}  // namespace quorix::platform
