#include "platform/named_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <string>

#include "tests/other_user.h"
#include "tests/scratch_dir.h"

namespace kx::platform {
namespace {

using testing::ReadFileText;
using testing::WriteFileText;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// A scratch folder with a lock folder "locks" in it, as a user's own
// folder for the board file would be.
class NamedLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = dir.path() + "/locks";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  }
  NamedLock Lock(const std::string& name = "board-KX58-0001.lock") {
    return NamedLock(folder, name, LockFolderRule::kAsFound);
  }
  std::string LockPath(const std::string& name = "board-KX58-0001.lock") const {
    return folder + "/" + name;
  }

  testing::ScratchDir dir;
  std::string folder;
};

TEST_F(NamedLockTest, HolderIsAloneUntilItEnds) {
  const mode_t umaskBefore = ::umask(0);  // the file's mode is ours, not the umask's
  {
    NamedLock first = Lock();
    ASSERT_EQ(first.TryAcquire().status, LockStatus::kAcquired);
    EXPECT_EQ(ModeOf(LockPath()), 0600u);
    EXPECT_EQ(ReadFileText(LockPath()), std::to_string(getpid()) + "\n");
    // flock locks belong to the open file: a second open in this process
    // conflicts like another process would.
    NamedLock second = Lock();
    const LockAttempt refused = second.TryAcquire();
    EXPECT_EQ(refused.status, LockStatus::kHeld);
    EXPECT_EQ(refused.holder, getpid());
    EXPECT_EQ(second.HolderPid(), getpid());
    EXPECT_FALSE(second.held());
    NamedLock other = Lock("board-KX58-0002.lock");
    EXPECT_EQ(other.TryAcquire().status, LockStatus::kAcquired);
  }
  ::umask(umaskBefore);
  EXPECT_TRUE(testing::FileExists(LockPath())) << "kept after release: removing it would race";
  NamedLock again = Lock();
  EXPECT_EQ(again.TryAcquire().status, LockStatus::kAcquired);  // released with its holder
}

TEST_F(NamedLockTest, ChildProcessIsRefusedWhileTheParentHolds) {
  NamedLock lock = Lock("kx58-DERadori.lock");
  ASSERT_EQ(lock.TryAcquire().status, LockStatus::kAcquired);
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) {
    NamedLock mine = Lock("kx58-DERadori.lock");
    const LockAttempt attempt = mine.TryAcquire();
    _exit(attempt.status == LockStatus::kHeld && attempt.holder == parent ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Whatever another user has put where the lock file goes is refused before
// anything is written: a link's target, a second name's file and a file
// that others may open stay as they were.
TEST_F(NamedLockTest, UntrustedLockFilesAreRefusedAndLeftAlone) {
  const std::string victim = dir.path() + "/victim";
  const std::string absent = dir.path() + "/absent";
  const auto nobody = testing::Nobody();
  struct Case {
    const char* what;
    std::function<void(const std::string& lockPath)> arrange;
    LockFileProblem problem;
    bool needsOtherUser = false;
  };
  const Case cases[] = {
      {"a symbolic link to another file",
       [&](const std::string& p) { ASSERT_EQ(::symlink(victim.c_str(), p.c_str()), 0); },
       LockFileProblem::kLink},
      {"a symbolic link to nothing yet",
       [&](const std::string& p) { ASSERT_EQ(::symlink(absent.c_str(), p.c_str()), 0); },
       LockFileProblem::kLink},
      {"a second name of another file",
       [&](const std::string& p) { ASSERT_EQ(::link(victim.c_str(), p.c_str()), 0); },
       LockFileProblem::kSeveralLinks},
      {"a FIFO (the open must not wait for a writer)",
       [&](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
       LockFileProblem::kNotRegular},
      {"a folder", [&](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0700), 0); },
       LockFileProblem::kNotRegular},
      {"a file that others may open (and so hold)",
       [&](const std::string& p) {
         WriteFileText(p, "4242\n");
         ASSERT_EQ(::chmod(p.c_str(), 0644), 0);
       },
       LockFileProblem::kOpenToOthers},
      {"another user's file",
       [&](const std::string& p) {
         WriteFileText(p, "4242\n");
         ASSERT_EQ(::chmod(p.c_str(), 0600), 0);
         ASSERT_EQ(::chown(p.c_str(), nobody->uid, nobody->gid), 0);
       },
       LockFileProblem::kWrongOwner, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsOtherUser && !nobody) {
      std::printf("[ SKIPPED  ] case '%s': %s\n", c.what, testing::WhyNoOtherUser().c_str());
      continue;
    }
    WriteFileText(victim, "the victim's own text\n");
    ASSERT_EQ(::chmod(victim.c_str(), 0644), 0);
    const std::string name = "case" + std::to_string(n++) + ".lock";
    c.arrange(LockPath(name));
    const std::string before =
        c.problem == LockFileProblem::kOpenToOthers || c.problem == LockFileProblem::kWrongOwner
            ? ReadFileText(LockPath(name))
            : "";

    NamedLock lock = Lock(name);
    const LockAttempt attempt = lock.TryAcquire();
    EXPECT_EQ(attempt.status, LockStatus::kFileRefused);
    EXPECT_EQ(attempt.fileProblem, c.problem);
    EXPECT_FALSE(lock.held());
    EXPECT_NE(DescribeLockAttempt(attempt, lock).find(LockPath(name)), std::string::npos)
        << DescribeLockAttempt(attempt, lock);

    EXPECT_EQ(ReadFileText(victim), "the victim's own text\n");
    EXPECT_EQ(ModeOf(victim), 0644u);
    EXPECT_FALSE(testing::FileExists(absent)) << "nothing is made where a link points";
    if (!before.empty()) {
      EXPECT_EQ(ReadFileText(LockPath(name)), before);
    }
  }
}

// A refused process says who holds the lock only when the file names a live
// process, and it never changes the holder's file.
TEST_F(NamedLockTest, RefusedProcessNamesOnlyALiveHolder) {
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_EQ(waitpid(dead, nullptr, 0), dead);  // reaped: the id names no process now
  const std::string self = std::to_string(getpid());
  struct Case {
    const char* what;
    std::string text;
    std::optional<pid_t> holder;
  };
  const Case cases[] = {
      {"a live process", self + "\n", getpid()},
      {"a live process without the line end", self, getpid()},
      {"a process that has ended", std::to_string(dead) + "\n", std::nullopt},
      {"nothing yet (the holder has not written)", "", std::nullopt},
      {"not a number", "abc\n", std::nullopt},
      {"a number with more after it", self + "x\n", std::nullopt},
      {"zero", "0\n", std::nullopt},
      {"negative", "-1\n", std::nullopt},
      {"too large for a process id", "99999999999999999999\n", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A holder that locks the file the way NamedLock does, with the text given.
    const int holder = ::open(LockPath().c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(::write(holder, c.text.data(), c.text.size()), static_cast<ssize_t>(c.text.size()));

    NamedLock lock = Lock();
    const LockAttempt attempt = lock.TryAcquire();
    EXPECT_EQ(attempt.status, LockStatus::kHeld);
    EXPECT_EQ(attempt.holder, c.holder);
    EXPECT_EQ(lock.HolderPid(), c.holder);
    const std::string said = DescribeLockAttempt(attempt, lock);
    EXPECT_EQ(said.find("process " + std::to_string(dead)), std::string::npos) << said;
    EXPECT_EQ(ReadFileText(LockPath()), c.text) << "a refused process never truncates";
    ::close(holder);
  }
}

// Another user cannot even open the lock file, so cannot hold it with a
// shared lock of their own (flock -s) to keep updates away for good.
TEST_F(NamedLockTest, OtherUsersCannotOpenTheLockFile) {
  const auto nobody = testing::Nobody();
  if (!nobody) GTEST_SKIP() << testing::WhyNoOtherUser();
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  {
    NamedLock made = Lock();
    ASSERT_EQ(made.TryAcquire().status, LockStatus::kAcquired);
  }  // released: the file stays behind, root's, mode 0600

  const std::string path = LockPath();
  const std::string folderPath = folder;
  const int result = testing::RunAs(*nobody, [&] {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 || errno != EACCES) return 1;
    NamedLock theirs(folderPath, "board-KX58-0001.lock", LockFolderRule::kAsFound);
    const LockAttempt attempt = theirs.TryAcquire();
    return attempt.status == LockStatus::kCannotOpen && attempt.error == EACCES ? 0 : 2;
  });
  EXPECT_EQ(result, 0);
  NamedLock lock = Lock();
  EXPECT_EQ(lock.TryAcquire().status, LockStatus::kAcquired);
}

TEST(NamedLockNameTest, AnyNameMakesOneFileName) {
  EXPECT_EQ(NamedLock::SafeFileName("../x y/KX58"), ".._x_y_KX58");
  EXPECT_EQ(NamedLock::SafeFileName("KX58-0001_a.b"), "KX58-0001_a.b");
  EXPECT_EQ(NamedLock::SafeFileName("KX58\xE3\x81\x82"), "KX58___");
}

}  // namespace
}  // namespace kx::platform
