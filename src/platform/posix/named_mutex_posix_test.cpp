#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/named_mutex.h"
#include "platform/test_util.h"
#include "platform/process.h"

namespace quorix::platform {
namespace {

using testing::WaitFor;

std::string UniqueName(const char* what) {
  return std::string("quorix_test_") + what + "_" + std::to_string(::getpid());
}

// One byte through a pipe, waiting at most ten seconds.
bool ReadByte(int fd, char* byte) {
  pollfd entry{fd, POLLIN, 0};
  if (::poll(&entry, 1, 10000) != 1) return false;
  return ::read(fd, byte, 1) == 1;
}

// Whether another holder could take the lock file right now.
bool LockFileIsFree(const std::string& name) {
  const std::string path = TempDirectory() + "/" + name + ".lock";
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

// Removes the lock file a test left in the temporary directory.
class LockFileCleanup {
 public:
  explicit LockFileCleanup(std::string name) : path_(TempDirectory() + "/" + name + ".lock") {}
  ~LockFileCleanup() { ::unlink(path_.c_str()); }

 private:
  std::string path_;
};

struct Pipe {
  Pipe() { ok = ::pipe(fds) == 0; }
  ~Pipe() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  int fds[2] = {-1, -1};
  bool ok = false;
};

TEST(NamedMutex, ExcludesThreadsOfOneProcess) {
  LockFileCleanup cleanup(UniqueName("threads"));
  NamedMutex mutex(UniqueName("threads"));
  int counter = 0;  // guarded by mutex only; a lost update shows a broken lock
  auto work = [&] {
    for (int i = 0; i < 300; ++i) {
      NamedLock lock(mutex);
      const int seen = counter;
      std::this_thread::yield();
      counter = seen + 1;
    }
  };
  std::thread first(work);
  std::thread second(work);
  first.join();
  second.join();
  EXPECT_EQ(counter, 600);
}

TEST(NamedMutex, ExcludesOtherProcesses) {
  const std::string name = UniqueName("processes");
  LockFileCleanup cleanup(name);
  Pipe locked;    // child -> parent: "L" once it holds the lock, "R" just before it releases
  Pipe release;   // parent -> child: release now
  ASSERT_TRUE(locked.ok && release.ok);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    NamedMutex mutex(name);
    mutex.lock();
    char byte = 'L';
    if (::write(locked.fds[1], &byte, 1) != 1) ::_exit(2);
    if (!ReadByte(release.fds[0], &byte)) ::_exit(3);
    byte = 'R';
    if (::write(locked.fds[1], &byte, 1) != 1) ::_exit(4);
    mutex.unlock();
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_TRUE(ReadByte(locked.fds[0], &byte));
  ASSERT_EQ(byte, 'L');
  EXPECT_FALSE(LockFileIsFree(name));

  NamedMutex mutex(name);
  std::atomic<bool> trying{false};
  std::atomic<bool> acquired{false};
  std::atomic<bool> child_released_first{false};
  std::thread locker([&] {
    trying = true;
    mutex.lock();
    char released = 0;
    pollfd entry{locked.fds[0], POLLIN, 0};
    child_released_first = ::poll(&entry, 1, 0) == 1 && ::read(locked.fds[0], &released, 1) == 1 &&
                           released == 'R';
    acquired = true;
    mutex.unlock();
  });
  ASSERT_TRUE(WaitFor([&] { return trying.load(); }));
  byte = 'G';
  ASSERT_EQ(::write(release.fds[1], &byte, 1), 1);
  EXPECT_TRUE(WaitFor([&] { return acquired.load(); }));
  locker.join();
  EXPECT_TRUE(child_released_first);
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(LockFileIsFree(name));
}

TEST(NamedMutex, ReleasedWhenHolderDies) {
  const std::string name = UniqueName("death");
  LockFileCleanup cleanup(name);
  Pipe locked;
  ASSERT_TRUE(locked.ok);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    NamedMutex mutex(name);
    mutex.lock();
    char byte = 'L';
    if (::write(locked.fds[1], &byte, 1) != 1) ::_exit(2);
    for (;;) ::pause();
  }
  char byte = 0;
  ASSERT_TRUE(ReadByte(locked.fds[0], &byte));
  EXPECT_FALSE(LockFileIsFree(name));
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  NamedMutex mutex(name);
  mutex.lock();  // would wait for ever if the dead holder kept the lock
  EXPECT_FALSE(LockFileIsFree(name));
  mutex.unlock();
  EXPECT_TRUE(LockFileIsFree(name));
}

TEST(NamedMutex, NameWithSeparatorsStaysInTempDirectory) {
  LockFileCleanup cleanup("quorix_test_.._x");
  NamedMutex mutex("quorix_test/../x");
  EXPECT_EQ(mutex.name(), "quorix_test/../x");
  mutex.lock();
  EXPECT_FALSE(LockFileIsFree("quorix_test_.._x"));
  mutex.unlock();
}

TEST(NamedMutex, StillLocksWithoutLockFile) {
  const std::string saved = GetEnvironment("TMPDIR");
  ASSERT_EQ(::setenv("TMPDIR", "/nonexistent/quorix_test", 1), 0);
  NamedMutex mutex(UniqueName("nofile"));
  if (saved.empty()) {
    ::unsetenv("TMPDIR");
  } else {
    ::setenv("TMPDIR", saved.c_str(), 1);
  }
  int counter = 0;
  auto work = [&] {
    for (int i = 0; i < 200; ++i) {
      NamedLock lock(mutex);
      const int seen = counter;
      std::this_thread::yield();
      counter = seen + 1;
    }
  };
  std::thread first(work);
  std::thread second(work);
  first.join();
  second.join();
  EXPECT_EQ(counter, 400);
}

}  // namespace
}  // namespace quorix::platform
