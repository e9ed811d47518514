#include <atomic>
#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/test_util.h"
#include "platform/thread.h"

namespace quorix::platform {
namespace {

using testing::WaitFor;

TEST(Thread, PassesArgumentAndStopsRunningWhenBodyReturns) {
  std::atomic<bool> release{false};
  std::atomic<int> seen{0};
  Thread thread = Thread::Start(
      [&](int argument) {
        seen = argument;
        while (!release) std::this_thread::yield();
      },
      7);
  ASSERT_TRUE(thread.Started());
  EXPECT_TRUE(thread.IsRunning());  // the body cannot end before it is released
  release = true;
  EXPECT_TRUE(WaitFor([&] { return !thread.IsRunning(); }));
  EXPECT_EQ(seen, 7);
  thread.Join();
  EXPECT_FALSE(thread.Started());
}

TEST(Thread, SwallowsEscapingException) {
  Thread thread = Thread::Start([](int) { throw std::runtime_error("boom"); }, 0);
  EXPECT_TRUE(WaitFor([&] { return !thread.IsRunning(); }));
  thread.Join();
  Thread empty_body = Thread::Start(std::function<void(int)>(), 0);
  EXPECT_TRUE(WaitFor([&] { return !empty_body.IsRunning(); }));
}

TEST(Thread, DestructorJoins) {
  std::atomic<bool> done{false};
  {
    Thread thread = Thread::Start(
        [&](int) {
          std::this_thread::yield();
          done = true;
        },
        0);
  }
  EXPECT_TRUE(done);
}

TEST(Thread, MoveAssignmentJoinsTheOldThread) {
  std::atomic<bool> first_done{false};
  Thread thread = Thread::Start([&](int) { first_done = true; }, 1);
  thread = Thread::Start([](int) {}, 2);
  EXPECT_TRUE(first_done);
  EXPECT_TRUE(thread.Started());
  Thread moved(std::move(thread));
  EXPECT_TRUE(moved.Started());
  moved.Join();
}

TEST(Thread, NotStartedIsNotRunning) {
  Thread thread;
  EXPECT_FALSE(thread.Started());
  EXPECT_FALSE(thread.IsRunning());
  thread.Join();
}

}  // namespace
}  // namespace quorix::platform
