#include "platform/file_lock.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/scratch_dir.h"

namespace kx::platform {
namespace {

using kx::testing::ScratchDir;
using kx::testing::WriteFileText;

// True when a lock of our own on the lock file of `path` is refused now.
bool LockedByAnother(const std::string& path) {
  int fd = ::open(FileLock::LockPathFor(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool refused = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return refused;
}

// Adds one to the number in the file at `path` with a plain read and write,
// which loses counts unless the callers take turns.
void Bump(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  char text[32] = {};
  ASSERT_GE(::pread(fd, text, sizeof text - 1, 0), 0);
  sched_yield();  // another process or thread gets every chance to interleave
  std::string next = std::to_string(std::atoi(text) + 1);
  ASSERT_EQ(::pwrite(fd, next.data(), next.size(), 0), static_cast<ssize_t>(next.size()));
  ::close(fd);
}

int ReadCount(const std::string& path) {
  return std::atoi(kx::testing::ReadFileText(path).c_str());
}

constexpr int kRounds = 300;

void CountUnderTheLock(const std::string& path) {
  for (int i = 0; i < kRounds; ++i) {
    FileLock lock;
    ASSERT_EQ(lock.Acquire(path), FileLockStatus::kLocked);
    Bump(path);
  }
}

TEST(FileLockTest, MakesThePrivateLockFileAndHoldsItUntilReleased) {
  ScratchDir dir;
  const std::string file = dir.path() + "/board.ini";
  FileLock lock;
  ASSERT_EQ(lock.Acquire(file), FileLockStatus::kLocked);
  EXPECT_TRUE(lock.held());
  struct stat info {};
  ASSERT_EQ(::lstat((file + ".lock").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(kx::testing::FileExists(file)) << "the locked file itself is not made";
  EXPECT_TRUE(LockedByAnother(file));

  FileLock moved = std::move(lock);
  EXPECT_FALSE(lock.held());
  EXPECT_TRUE(LockedByAnother(file)) << "the lock goes with the object it is moved to";
  moved.Release();
  EXPECT_FALSE(moved.held());
  EXPECT_FALSE(LockedByAnother(file));

  ASSERT_EQ(moved.Acquire(file), FileLockStatus::kLocked) << "the lock file is used again";
  EXPECT_TRUE(LockedByAnother(file));
}

TEST(FileLockTest, RefusesALockFileItCannotTrust) {
  ScratchDir dir;
  WriteFileText("other", "");
  ASSERT_EQ(::symlink("other", "link.lock"), 0);
  ASSERT_EQ(::symlink("missing", "dangling.lock"), 0);
  ASSERT_EQ(::mkdir("folder.lock", 0700), 0);
  ASSERT_EQ(::mkfifo("fifo.lock", 0600), 0);
  ASSERT_EQ(::link("other", "twice.lock"), 0);
  struct Case {
    const char* file;
    FileLockStatus status;
  };
  const Case cases[] = {
      {"link", FileLockStatus::kSymbolicLink},
      {"dangling", FileLockStatus::kSymbolicLink},
      {"folder", FileLockStatus::kNotRegular},
      {"fifo", FileLockStatus::kNotRegular},
      {"twice", FileLockStatus::kNotRegular},
      {"no-such-folder/board.ini", FileLockStatus::kCannotOpen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    FileLock lock;
    EXPECT_EQ(lock.Acquire(c.file), c.status);
    EXPECT_FALSE(lock.held());
  }
  EXPECT_FALSE(kx::testing::FileExists("missing")) << "nothing is made through a link";
}

TEST(FileLockTest, RefusesALockFileOfAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  ScratchDir dir;
  WriteFileText("board.ini.lock", "");
  ASSERT_EQ(::chown("board.ini.lock", 65534, 65534), 0);
  FileLock lock;
  EXPECT_EQ(lock.Acquire("board.ini"), FileLockStatus::kForeignOwner);
  ASSERT_EQ(::chown("board.ini.lock", 0, 0), 0);
  EXPECT_EQ(lock.Acquire("board.ini"), FileLockStatus::kLocked) << "root's own is trusted";
}

TEST(FileLockTest, ProcessesTakeTurns) {
  ScratchDir dir;
  const std::string counter = dir.path() + "/count";
  WriteFileText(counter, "0");
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    CountUnderTheLock(counter);
    ::_exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  CountUnderTheLock(counter);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadCount(counter), 2 * kRounds);
}

TEST(FileLockTest, ThreadsTakeTurns) {
  ScratchDir dir;
  const std::string counter = dir.path() + "/count";
  WriteFileText(counter, "0");
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) threads.emplace_back([&] { CountUnderTheLock(counter); });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(ReadCount(counter), 3 * kRounds);
}

}  // namespace
}  // namespace kx::platform
