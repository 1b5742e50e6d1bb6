#include "platform/lock_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "tests/other_user.h"
#include "tests/scratch_dir.h"

namespace kx::platform {
namespace {

struct Seen {
  bool exists = false;
  mode_t mode = 0;
  uid_t owner = 0;
};

Seen Look(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return {};
  return {true, st.st_mode & 07777, st.st_uid};
}

// Opens and closes; the problem found.
FolderProblem ProblemOf(const std::string& path, LockFolderRule rule) {
  const OpenedFolder folder = OpenLockFolder(path, rule);
  if (folder.fd >= 0) ::close(folder.fd);
  EXPECT_EQ(folder.fd >= 0, folder.problem == FolderProblem::kNone);
  return folder.problem;
}

TEST(LockFolderTest, SystemFolderAndItsParentAreMadeByRootOnly) {
  testing::ScratchDir dir;
  const auto nobody = testing::Nobody();
  if (!nobody) GTEST_SKIP() << testing::WhyNoOtherUser();
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  const mode_t umaskBefore = ::umask(0);

  // Another user finds it missing and makes nothing.
  const std::string theirs = dir.path() + "/lock-of-nobody/kxupdate";
  EXPECT_EQ(testing::RunAs(*nobody,
                           [&] {
                             return ProblemOf(theirs, LockFolderRule::kSystem) ==
                                            FolderProblem::kMissing
                                        ? 0
                                        : 1;
                           }),
            0);
  EXPECT_FALSE(Look(dir.path() + "/lock-of-nobody").exists);

  const std::string folder = dir.path() + "/lock/kxupdate";
  EXPECT_EQ(ProblemOf(folder, LockFolderRule::kSystem), FolderProblem::kNone);
  for (const std::string& made : {dir.path() + "/lock", folder}) {
    const Seen seen = Look(made);
    EXPECT_TRUE(seen.exists) << made;
    EXPECT_EQ(seen.mode, 0755u) << made;
    EXPECT_EQ(seen.owner, 0u) << made;
  }
  ::umask(umaskBefore);
  EXPECT_EQ(ProblemOf(folder, LockFolderRule::kSystem), FolderProblem::kNone);  // found as made
}

TEST(LockFolderTest, PrivateFolderIsMadeForTheUserAlone) {
  testing::ScratchDir dir;
  const mode_t umaskBefore = ::umask(0);
  const std::string folder = dir.path() + "/kx58-" + std::to_string(::geteuid());
  EXPECT_EQ(ProblemOf(folder, LockFolderRule::kPrivate), FolderProblem::kNone);
  ::umask(umaskBefore);
  const Seen seen = Look(folder);
  EXPECT_EQ(seen.mode, 0700u);
  EXPECT_EQ(seen.owner, ::geteuid());
}

// A folder someone else could redirect, replace or fill is refused, with
// the one check that failed, and left as it is.
TEST(LockFolderTest, FoldersOthersCouldChangeAreRefused) {
  testing::ScratchDir dir;
  const auto nobody = testing::Nobody();
  const bool root = ::geteuid() == 0;
  struct Case {
    const char* what;
    LockFolderRule rule;
    std::function<void(const std::string& path)> arrange;
    FolderProblem problem;
    bool needsRoot = false;  // a folder of root's, or another user's
  };
  auto folder = [](mode_t mode) {
    return [mode](const std::string& p) {
      ASSERT_EQ(::mkdir(p.c_str(), 0700), 0);
      ASSERT_EQ(::chmod(p.c_str(), mode), 0);
    };
  };
  auto nobodys = [&](const std::string& p) {
    ASSERT_EQ(::mkdir(p.c_str(), 0755), 0);
    ASSERT_EQ(::chown(p.c_str(), nobody->uid, nobody->gid), 0);
  };
  auto linkToGood = [&](const std::string& p) {
    const std::string good = p + "-target";
    ASSERT_EQ(::mkdir(good.c_str(), 0755), 0);
    ASSERT_EQ(::symlink(good.c_str(), p.c_str()), 0);
  };
  auto file = [](const std::string& p) { testing::WriteFileText(p, ""); };
  const Case cases[] = {
      {"system: as it must be", LockFolderRule::kSystem, folder(0755), FolderProblem::kNone, true},
      {"system: no access for others at all", LockFolderRule::kSystem, folder(0700),
       FolderProblem::kNone, true},
      {"system: a link to a good folder", LockFolderRule::kSystem, linkToGood, FolderProblem::kLink,
       true},
      {"system: a file", LockFolderRule::kSystem, file, FolderProblem::kNotFolder, true},
      {"system: group may write", LockFolderRule::kSystem, folder(0775),
       FolderProblem::kOpenToOthers, true},
      {"system: others may write", LockFolderRule::kSystem, folder(0757),
       FolderProblem::kOpenToOthers, true},
      {"system: like /tmp", LockFolderRule::kSystem, folder(01777), FolderProblem::kOpenToOthers,
       true},
      {"system: another user's", LockFolderRule::kSystem, nobodys, FolderProblem::kWrongOwner,
       true},
      {"private: as it must be", LockFolderRule::kPrivate, folder(0700), FolderProblem::kNone},
      {"private: a link to a good folder", LockFolderRule::kPrivate, linkToGood,
       FolderProblem::kLink},
      {"private: a file", LockFolderRule::kPrivate, file, FolderProblem::kNotFolder},
      {"private: others may write", LockFolderRule::kPrivate, folder(0703),
       FolderProblem::kOpenToOthers},
      {"private: another user's", LockFolderRule::kPrivate, nobodys, FolderProblem::kWrongOwner,
       true},
      {"as found: open to all", LockFolderRule::kAsFound, folder(01777), FolderProblem::kNone},
      {"as found: missing is not made", LockFolderRule::kAsFound, [](const std::string&) {},
       FolderProblem::kCannotOpen},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsRoot && (!root || !nobody)) {
      std::printf("[ SKIPPED  ] case '%s': %s\n", c.what, testing::WhyNoOtherUser().c_str());
      continue;
    }
    const std::string path = dir.path() + "/case" + std::to_string(n++);
    c.arrange(path);
    const Seen before = Look(path);
    const OpenedFolder opened = OpenLockFolder(path, c.rule);
    if (opened.fd >= 0) ::close(opened.fd);
    EXPECT_EQ(opened.problem, c.problem);
    const Seen after = Look(path);
    EXPECT_EQ(after.exists, before.exists);
    EXPECT_EQ(after.mode, before.mode);
    if (c.problem != FolderProblem::kNone) {
      const std::string said = DescribeFolderProblem(opened, path, c.rule);
      EXPECT_NE(said.find(path), std::string::npos) << said;
    }
  }
}

TEST(LockFolderTest, UserFolderIsTheRuntimeFolderOnlyWhenItIsTheUsersAlone) {
  testing::ScratchDir dir;
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string outer = saved ? saved : "";
  const std::string fallback = "/tmp/kx58-" + std::to_string(::geteuid());
  const std::string own = dir.path() + "/own";
  const std::string shared = dir.path() + "/shared";
  const std::string linked = dir.path() + "/linked";
  ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(own.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(shared.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 0755), 0);
  ASSERT_EQ(::symlink(own.c_str(), linked.c_str()), 0);
  struct Case {
    const char* what;
    std::optional<std::string> runtime;
    std::string folder;
  };
  const Case cases[] = {
      {"the user's own, mode 0700", own, own},
      {"readable by others", shared, fallback},
      {"a link to the user's own", linked, fallback},
      {"relative", std::string("own"), fallback},
      {"empty", std::string(), fallback},
      {"missing", dir.path() + "/missing", fallback},
      {"not set", std::nullopt, fallback},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.runtime) {
      ::setenv("XDG_RUNTIME_DIR", c.runtime->c_str(), 1);
    } else {
      ::unsetenv("XDG_RUNTIME_DIR");
    }
    EXPECT_EQ(UserLockFolder(), c.folder);
  }
  if (saved) {
    ::setenv("XDG_RUNTIME_DIR", outer.c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
}

}  // namespace
}  // namespace kx::platform
