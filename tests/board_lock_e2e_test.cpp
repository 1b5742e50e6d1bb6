// kxupdate and the board lock, the board choice and the driver it loads, as
// a user at a terminal meets them: each case runs the built tool in a
// scratch folder with the sample update files, holds or plants lock files
// itself where a second run or another user would, and reads the final
// --json object.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/lock_folder.h"
#include "platform/named_lock.h"
#include "tests/kxupdate_runner.h"
#include "tests/other_user.h"
#include "tests/scratch_dir.h"

namespace kx {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using platform::LockFolderRule;
using platform::LockStatus;
using platform::NamedLock;
using testing::Fields;
using testing::KxupdateRun;
using testing::KxupdateRunner;
using testing::ReadFileText;
using testing::ScratchDir;
using testing::WriteFileText;

// kxupdate in the working directory without a terminal, with none of the
// variables that choose a driver, a board file or a runtime folder but
// those the test sets.
KxupdateRunner Kxupdate(const std::string& program = KXUPDATE_PATH) {
  KxupdateRunner runner(program);
  runner.Unset("XDG_RUNTIME_DIR").Unset("LD_LIBRARY_PATH");
  return runner;
}

// The final object's outcome, error code, board and problem.
json Summary(const KxupdateRun& run) {
  return Fields(run.Json(), {"outcome", "error_code", "board", "problem"});
}

void CopySamples(const std::string& folder) {
  for (const auto& entry : fs::directory_iterator(testing::SourceDir() + "/samples")) {
    if (entry.path().filename().string().rfind("KX", 0) == 0) {
      fs::copy_file(entry.path(), fs::path(folder) / entry.path().filename());
    }
  }
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// A board file with the given boards, the sample update files beside it.
std::string BoardFolder(const std::string& path, const std::string& boards = "Board1=KX58-0001\n") {
  fs::create_directories(path);
  CopySamples(path);
  WriteFileText(path + "/board.ini", "[Driver]\nDelayMs=0\n[Boards]\n" + boards);
  return fs::canonical(path).string();
}

// Holds a lock file the way a running update holds it: flock on a 0600
// file that names `pid`.
class Holder {
 public:
  Holder(const std::string& path, pid_t pid) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    EXPECT_GE(fd_, 0) << path;
    EXPECT_EQ(::flock(fd_, LOCK_EX | LOCK_NB), 0) << path;
    const std::string text = std::to_string(pid) + "\n";
    EXPECT_EQ(::write(fd_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  ~Holder() { ::close(fd_); }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

 private:
  int fd_ = -1;
};

pid_t DeadPid() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  EXPECT_EQ(waitpid(child, nullptr, 0), child);
  return child;
}

// --- the simulated board: every board file is a board of its own ---

// Two folders with two board files are two boards: a run in one never meets
// a run in the other, while a second run on one board file is refused. Two
// boards of one board file are two boards too.
TEST(SimulatedBoardLockE2eTest, TwoBoardFilesNeverMeetWhileOneDoes) {
  ScratchDir dir;
  const std::string a = BoardFolder(dir.path() + "/a", "Board1=KX58-0001\nBoard2=KX58-0002\n");
  const std::string b = BoardFolder(dir.path() + "/b");
  const pid_t dead = DeadPid();
  // An update holds board KX58-0001 of a/board.ini: its lock lives beside
  // the board file, keyed by the file and the board.
  auto holder = std::make_unique<Holder>(a + "/.board.ini.kx58-0001.lock", getpid());

  struct Case {
    const char* what;
    std::string folder;
    std::string args;
    int status;
    json summary;
    std::string stderrHas;
  };
  const std::string self = std::to_string(getpid());
  const Case cases[] = {
      {"the held board",
       a,
       "--board KX58-0001",
       1,
       {"failed", 1, "KX58-0001", "board KX58-0001 is being updated by process " + self},
       "The PCI-board KX58-0001 is being updated by another program (process " + self + ")."},
      {"the same board file reached through another path",
       dir.path() + "/b/../a",
       "--board KX58-0001",
       1,
       {"failed", 1, "KX58-0001", "board KX58-0001 is being updated by process " + self},
       ""},
      {"the other board of the same board file",
       a,
       "--board KX58-0002",
       0,
       {"ready", 0, "KX58-0002", ""},
       ""},
      {"another folder's board file", b, "", 0, {"ready", 0, "KX58-0001", ""}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::current_path(c.folder);
    const KxupdateRun run =
        Kxupdate()
            .Set("KXSIM_BOARD", c.folder + "/board.ini")
            .Set("XDG_RUNTIME_DIR", dir.path())("--simulate update --check --json " + c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(Summary(run), c.summary) << run.err;
    EXPECT_TRUE(Contains(run.err, c.stderrHas)) << run.err;
  }
  EXPECT_FALSE(Contains(ReadFileText(a + "/board.ini"), "CreatedBoard=KX58-0001"))
      << "the held board was never opened";

  // The holder has ended but its file names it still, and another process
  // has the lock without having written yet: no process is named.
  holder.reset();
  {
    Holder unnamed(a + "/.board.ini.kx58-0001.lock", dead);
    fs::current_path(a);
    const KxupdateRun run = Kxupdate().Set(
        "KXSIM_BOARD", a + "/board.ini")("--simulate update --check --json --board KX58-0001");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(Summary(run), json({"failed", 1, "KX58-0001",
                                  "board KX58-0001 is being updated by another process"}))
        << run.err;
    EXPECT_TRUE(Contains(run.err, "The PCI-board KX58-0001 is being updated by another program.\n"))
        << run.err;
    EXPECT_FALSE(Contains(run.err, std::to_string(dead))) << run.err;
  }

  // Released: the run opens the board; its lock file is the user's, 0600.
  fs::current_path(b);
  const KxupdateRun run = Kxupdate().Set(
      "KXSIM_BOARD", a + "/board.ini")("--simulate update --check --json --board KX58-0001");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ModeOf(a + "/.board.ini.kx58-0001.lock"), 0600u);
  fs::current_path(dir.path());
}

// Without KXSIM_BOARD the board file is kxsim-board.ini in the working
// directory, and its lock is beside it there.
TEST(SimulatedBoardLockE2eTest, DefaultBoardFileLocksInTheWorkingDirectory) {
  ScratchDir dir;
  CopySamples(dir.path());
  Holder holder(dir.path() + "/.kxsim-board.ini.kx58-0001.lock", getpid());
  const KxupdateRun run = Kxupdate()("--simulate update --check --json");
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(Summary(run),
            json({"failed", 1, "KX58-0001",
                  "board KX58-0001 is being updated by process " + std::to_string(getpid())}))
      << run.err;
}

// A link planted where the lock file goes (by any user who can write to
// the folder) is refused: its target keeps its text, and nothing is made
// where a dangling one points.
TEST(SimulatedBoardLockE2eTest, PlantedLinkIsRefusedAndItsTargetLeftAlone) {
  ScratchDir dir;
  const std::string folder = BoardFolder(dir.path() + "/board");
  WriteFileText(dir.path() + "/victim", "keep me\n");
  const std::string lock = folder + "/.board.ini.kx58-0001.lock";
  for (const std::string& target : {dir.path() + "/victim", dir.path() + "/made-by-root"}) {
    SCOPED_TRACE(target);
    fs::remove(lock);
    fs::create_symlink(target, lock);
    fs::current_path(folder);
    const KxupdateRun run =
        Kxupdate().Set("KXSIM_BOARD", folder + "/board.ini")("--simulate update --json");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(Summary(run),
              json({"failed", 1, "KX58-0001",
                    "board KX58-0001 cannot be locked for the update: the lock file " + lock +
                        " is a symbolic link"}))
        << run.err;
    EXPECT_TRUE(Contains(run.err, "The lock file " + lock + " is not safe.")) << run.err;
  }
  EXPECT_EQ(ReadFileText(dir.path() + "/victim"), "keep me\n");
  EXPECT_FALSE(fs::exists(dir.path() + "/made-by-root"));
  EXPECT_FALSE(Contains(ReadFileText(folder + "/board.ini"), "[Written"));
  fs::current_path(dir.path());
}

// --- real boards: one system-wide lock folder ---

// A driver that is not the simulated board: a copy of it under the
// vendor's name, with a board id of its own so that nothing else meets it.
std::string RealDriverCopy(const std::string& folder) {
  const std::string library = folder + "/libTessera.so";
  fs::copy_file(KXSIM_LIBRARY, library);
  return library;
}

// The runtime folder and the board file do not move a real board's lock:
// while it is held, runs with any of them are refused.
TEST(RealBoardLockE2eTest, RuntimeFolderDoesNotMoveTheLock) {
  if (::geteuid() != 0) GTEST_SKIP() << "real boards' locks are root's (/run/lock/kxupdate)";
  ScratchDir dir;
  const std::string driver = RealDriverCopy(dir.path());
  const std::string folder = BoardFolder(dir.path() + "/board", "Board1=KX58-E2E-RUNTIME\n");
  fs::create_directories(dir.path() + "/run1");
  fs::create_directories(dir.path() + "/run2");
  fs::current_path(folder);
  NamedLock held("/run/lock/kxupdate", "board-KX58-E2E-RUNTIME.lock", LockFolderRule::kSystem);
  ASSERT_EQ(held.TryAcquire().status, LockStatus::kAcquired);
  EXPECT_EQ(ModeOf("/run/lock/kxupdate"), 0755u);
  EXPECT_EQ(ModeOf(held.path()), 0600u);

  const std::string self = std::to_string(getpid());
  for (const std::string& runtime :
       {std::string(), dir.path() + "/run1", dir.path() + "/run2", std::string("/tmp")}) {
    SCOPED_TRACE(runtime);
    KxupdateRunner runner = Kxupdate();
    runner.Set("KXSIM_BOARD", folder + "/board.ini");
    if (!runtime.empty()) runner.Set("XDG_RUNTIME_DIR", runtime);
    const KxupdateRun run = runner.Run({"--driver", driver, "update", "--json"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(Summary(run), json({"failed", 1, "KX58-E2E-RUNTIME",
                                  "board KX58-E2E-RUNTIME is being updated by process " + self}))
        << run.err;
  }
  EXPECT_FALSE(Contains(ReadFileText(folder + "/board.ini"), "CreatedBoard"));
  fs::current_path(dir.path());
}

// A user who may not update boards is told so, naming the folder, and
// gets no lock of their own anywhere instead.
TEST(RealBoardLockE2eTest, UserWhoMayNotUpdateIsToldWhyAndNothingIsSent) {
  const auto nobody = testing::Nobody();
  if (!nobody) GTEST_SKIP() << testing::WhyNoOtherUser();
  if (testing::RunCommand("setpriv --version >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "setpriv (util-linux) is needed to run kxupdate as another user";
  }
  ScratchDir dir;
  // The system folder as the package or a first root run leaves it.
  const platform::OpenedFolder system =
      platform::OpenLockFolder("/run/lock/kxupdate", LockFolderRule::kSystem);
  ASSERT_GE(system.fd, 0);
  ::close(system.fd);

  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  const std::string driver = RealDriverCopy(dir.path());
  const std::string folder = BoardFolder(dir.path() + "/board", "Board1=KX58-E2E-NOBODY\n");
  const std::string runtime = dir.path() + "/runtime-of-nobody";
  fs::create_directories(runtime);
  ASSERT_EQ(::chown(runtime.c_str(), nobody->uid, nobody->gid), 0);
  ASSERT_EQ(::chmod(runtime.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
  ASSERT_EQ(::chmod((folder + "/board.ini").c_str(), 0666), 0);
  fs::current_path(folder);

  const std::vector<std::string> asNobody = {"setpriv", "--reuid=" + std::to_string(nobody->uid),
                                             "--regid=" + std::to_string(nobody->gid),
                                             "--clear-groups"};
  const KxupdateRun run = Kxupdate()
                              .Set("KXSIM_BOARD", folder + "/board.ini")
                              .Set("XDG_RUNTIME_DIR", runtime)
                              .Through(asNobody)
                              .Run({"--driver", driver, "update", "--json"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(Summary(run),
            json({"failed", 1, "KX58-E2E-NOBODY",
                  "board KX58-E2E-NOBODY cannot be locked for the update: the lock file "
                  "/run/lock/kxupdate/board-KX58-E2E-NOBODY.lock cannot be made or opened: "
                  "Permission denied"}))
      << run.err;
  EXPECT_TRUE(Contains(run.err,
                       "You may not update the PCI-board KX58-E2E-NOBODY: the lock file cannot be "
                       "made in /run/lock/kxupdate.\n"))
      << run.err;
  EXPECT_TRUE(fs::is_empty(runtime)) << "no lock of their own instead";
  EXPECT_FALSE(
      fs::exists("/tmp/kx58-" + std::to_string(nobody->uid) + "/board-KX58-E2E-NOBODY.lock"));
  EXPECT_FALSE(Contains(ReadFileText(folder + "/board.ini"), "CreatedBoard"));

  // The simulated board is theirs to update: its lock is beside its board
  // file, their own.
  const KxupdateRun demo = Kxupdate()
                               .Set("KXSIM_BOARD", folder + "/board.ini")
                               .Through(asNobody)("--simulate update --check --json");
  EXPECT_EQ(demo.status, 0) << demo.err;
  EXPECT_EQ(Summary(demo), json({"ready", 0, "KX58-E2E-NOBODY", ""})) << demo.err;
  struct stat lock {};
  ASSERT_EQ(::lstat((folder + "/.board.ini.kx58-e2e-nobody.lock").c_str(), &lock), 0);
  EXPECT_EQ(lock.st_uid, nobody->uid);
  EXPECT_EQ(lock.st_mode & 07777, 0600u);
  fs::current_path(dir.path());
}

// --- choosing the board ---

TEST(BoardChoiceE2eTest, NamedBoardMustBePresentAndSeveralMustBeChosen) {
  ScratchDir dir;
  struct Case {
    const char* what;
    std::string boards;
    std::string args;
    json summary;
    std::string message;  // the dialog's message on standard error
  };
  const Case cases[] = {
      {"a named board that is not present",
       "Board1=KX58-0001\n",
       "--board KX58-0002",
       {"failed", 1, "",
        "no board KX58-0002 among those present (KX58-0001); nothing was sent to the driver"},
       "Error:\nThe PCI-board KX58-0002 is not present.\nUpdate is exited.\n(Error Code:01)\n"},
      {"several boards, no terminal, none named",
       "Board1=KX58-0002\nBoard2=ZX10-0001\nBoard3=KX58-0001\n",
       "",
       {"failed", 1, "",
        "several boards are present and no terminal to choose one: use --board ID "
        "(KX58-0001, KX58-0002)"},
       "Error:\nSeveral PCI-boards are present: KX58-0001, KX58-0002.\nA PCI-board must be chosen "
       "(--board ID).\nUpdate is exited.\n(Error Code:01)\n"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = BoardFolder(dir.path() + "/case" + std::to_string(n++), c.boards);
    fs::current_path(folder);
    const KxupdateRun run =
        Kxupdate().Set("KXSIM_BOARD", folder + "/board.ini")("--simulate update --json " + c.args);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(Summary(run), c.summary) << run.err;
    EXPECT_TRUE(Contains(run.err, c.message)) << run.err;
    const std::string board = ReadFileText(folder + "/board.ini");
    EXPECT_FALSE(Contains(board, "CreatedBoard")) << "nothing was sent: " << board;
    EXPECT_FALSE(Contains(board, "[Written")) << board;
    EXPECT_FALSE(Contains(board, "BehaviorMode")) << board;
  }
  fs::current_path(dir.path());
}

// --- the driver library ---

// A copied or installed kxupdate finds the simulated board relative to
// itself, in its own layout only.
TEST(DriverLibraryE2eTest, SimulatedBoardIsFoundBesideTheExecutableOnly) {
  ScratchDir dir;
  fs::create_directories("bin");
  fs::copy_file(KXUPDATE_PATH, "bin/kxupdate");
  const std::string copy = dir.path() + "/bin/kxupdate";
  const KxupdateRunner kxupdate = Kxupdate(copy).Set("KXSIM_BOARD", dir.path() + "/board.ini");

  KxupdateRun run = kxupdate("--simulate boards");
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_EQ(run.err, "kxupdate: cannot find the simulated board's library; looked for " +
                         dir.path() + "/bin/libkxsim.so, " + dir.path() +
                         "/lib/kxupdate/libkxsim.so, " + dir.path() + "/simboard/libkxsim.so\n");
  EXPECT_FALSE(fs::exists("board.ini")) << "no simulated board was loaded";

  // The install layout: bin/kxupdate and lib/kxupdate/libkxsim.so.
  fs::create_directories("lib/kxupdate");
  fs::copy_file(KXSIM_LIBRARY, "lib/kxupdate/libkxsim.so");
  run = kxupdate("--simulate boards");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "KX58-0001\n");
}

// The default driver, a bare name, is never loaded from the working
// directory, however LD_LIBRARY_PATH names it; an absolute folder of
// LD_LIBRARY_PATH is searched as ever.
TEST(DriverLibraryE2eTest, BareDriverNameIsNeverLoadedFromTheWorkingDirectory) {
  ScratchDir dir;
  fs::copy_file(KXSIM_LIBRARY, "libTessera.so");  // would make kxsim-board.ini here when loaded
  fs::create_directories("libs");
  fs::copy_file(KXSIM_LIBRARY, "libs/libTessera.so");
  const std::string board = dir.path() + "/kxsim-board.ini";
  struct Case {
    const char* what;
    std::string ldLibraryPath;
    bool loaded;
  };
  const Case cases[] = {
      {"an empty entry", ":/nonexistent", false},
      {"only an empty entry", ":", false},
      {"the current folder", ".", false},
      {"a relative folder", "libs", false},
      {"an absolute folder", dir.path() + "/libs", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::error_code ignored;
    fs::remove(board, ignored);
    const KxupdateRun run = Kxupdate().Set("LD_LIBRARY_PATH", c.ldLibraryPath)("boards");
    EXPECT_EQ(fs::exists(board), c.loaded) << run.err;
    if (c.loaded) {
      EXPECT_EQ(run.status, 0) << run.err;
    } else {
      EXPECT_EQ(run.status, 2) << run.err;
      EXPECT_TRUE(Contains(run.err,
                           "kxupdate: cannot find the driver library libTessera.so in the "
                           "absolute folders of LD_LIBRARY_PATH nor in the system's "
                           "library folders ("))
          << run.err;
      EXPECT_FALSE(Contains(run.err, dir.path() + ",")) << run.err;
    }
  }
}

}  // namespace
}  // namespace kx
