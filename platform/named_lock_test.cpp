#include "platform/named_lock.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/scratch_dir.h"

namespace kx::platform {
namespace {

TEST(NamedLockTest, SecondHolderIsRefusedAndToldWho) {
  testing::ScratchDir dir;
  setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
  {
    NamedLock first("board KX58/0001");
    ASSERT_TRUE(first.TryAcquire());
    // flock locks belong to the open file: a second open in this process
    // conflicts like another process would.
    NamedLock second("board KX58/0001");
    EXPECT_FALSE(second.TryAcquire());
    ASSERT_TRUE(second.HolderPid());
    EXPECT_EQ(*second.HolderPid(), getpid());
    NamedLock other("board KX58-0002");
    EXPECT_TRUE(other.TryAcquire());
  }
  NamedLock again("board KX58/0001");
  EXPECT_TRUE(again.TryAcquire());  // released with its holder
  unsetenv("XDG_RUNTIME_DIR");
}

TEST(NamedLockTest, ChildProcessSeesTheLock) {
  testing::ScratchDir dir;
  setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
  NamedLock lock("DERadori");
  ASSERT_TRUE(lock.TryAcquire());
  pid_t child = fork();
  if (child == 0) {
    NamedLock mine("DERadori");
    _exit(mine.TryAcquire() ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  unsetenv("XDG_RUNTIME_DIR");
}

TEST(NamedLockTest, PathIsSafeForAnyName) {
  std::string path = NamedLock::PathFor("../x y/KX58");
  EXPECT_EQ(path.substr(path.rfind('/') + 1), "kx58-.._x_y_KX58.lock");
}

}  // namespace
}  // namespace kx::platform
