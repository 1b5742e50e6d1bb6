// Where board locks live, and the update dialog refusing a board whose lock
// it cannot have, with the message for the one cause.
#include "camera/board_lock.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>

#include "camera/driver_library.h"
#include "camera/next_dlg.h"
#include "camera/text_fields.h"
#include "platform/named_lock.h"
#include "tests/fake_driver.h"
#include "tests/other_user.h"
#include "tests/recording_window.h"
#include "tests/scratch_dir.h"

namespace kx {
namespace {

namespace fs = std::filesystem;
using platform::LockFolderRule;

// Sets or clears an environment variable for the object's life.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* outer = std::getenv(name)) outer_ = outer;
    Set(value);
  }
  ~ScopedVariable() { Set(outer_); }
  void Set(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> outer_;
};

bool SamePlace(const BoardLockPlace& a, const BoardLockPlace& b) {
  return a.folder == b.folder && a.fileName == b.fileName && a.folderRule == b.folderRule;
}

// Nothing a user sets moves a real board's lock: two runs with different
// runtime folders or board files meet at the one lock.
TEST(BoardLockPlaceTest, RealBoardsLockInTheOneSystemFolder) {
  testing::ScratchDir dir;
  ScopedVariable runtime("XDG_RUNTIME_DIR", std::nullopt);
  ScopedVariable board("KXSIM_BOARD", std::nullopt);
  const std::optional<std::string> runtimes[] = {std::nullopt, dir.path(), "/tmp", ""};
  for (const auto& value : runtimes) {
    SCOPED_TRACE(value.value_or("(not set)"));
    runtime.Set(value);
    board.Set(value ? *value + "/board.ini" : std::string());
    const BoardLockPlace place = BoardLockPlaceFor(BoardLockRule::RealBoard(), "KX58-0001");
    EXPECT_EQ(place.folder, "/run/lock/kxupdate");
    EXPECT_EQ(place.fileName, "board-KX58-0001.lock");
    EXPECT_EQ(place.folderRule, LockFolderRule::kSystem);
  }
  EXPECT_EQ(BoardLockPlaceFor(BoardLockRule::RealBoard(), "KX58/../x").fileName,
            "board-KX58_.._x.lock");
}

// Every board file is a board of its own: its locks live beside it, so two
// folders never meet, while one board file reached by two paths does.
TEST(BoardLockPlaceTest, SimulatedBoardsLockBesideTheirBoardFile) {
  testing::ScratchDir dir;
  ScopedVariable board("KXSIM_BOARD", std::nullopt);
  const std::string cwd = fs::current_path().string();
  ASSERT_EQ(::mkdir("one", 0755), 0);
  ASSERT_EQ(::mkdir("two", 0755), 0);
  ASSERT_EQ(::symlink((cwd + "/one").c_str(), "also-one"), 0);

  struct Case {
    const char* what;
    std::optional<std::string> variable;
    std::string boardFile;
  };
  const Case files[] = {
      {"not set: in the working directory", std::nullopt, cwd + "/kxsim-board.ini"},
      {"empty: as not set", std::string(), cwd + "/kxsim-board.ini"},
      {"relative: from the working directory", std::string("one/board.ini"),
       cwd + "/one/board.ini"},
      {"absolute", cwd + "/two/board.ini", cwd + "/two/board.ini"},
  };
  for (const Case& c : files) {
    SCOPED_TRACE(c.what);
    board.Set(c.variable);
    EXPECT_EQ(SimulatedBoardFile(), c.boardFile);
  }

  auto place = [](const std::string& file, const std::string& id) {
    return BoardLockPlaceFor(BoardLockRule::SimulatedBoard(file), id);
  };
  const BoardLockPlace one = place(cwd + "/one/board.ini", "KX58-0001");
  EXPECT_EQ(one.folder, fs::canonical(cwd + "/one").string());
  EXPECT_EQ(one.fileName, ".board.ini.kx58-0001.lock");
  EXPECT_EQ(one.folderRule, LockFolderRule::kAsFound);
  EXPECT_TRUE(SamePlace(one, place(cwd + "/also-one/board.ini", "KX58-0001")))
      << "one board file through a linked folder";
  EXPECT_TRUE(SamePlace(one, place(cwd + "/one/board.ini", "KX58-0001")));
  EXPECT_TRUE(SamePlace(one, place(cwd + "/one/board.ini", "kx58-0001")))
      << "the board's sections ignore letter case, and so does its lock";
  EXPECT_FALSE(SamePlace(one, place(cwd + "/two/board.ini", "KX58-0001")));
  EXPECT_FALSE(SamePlace(one, place(cwd + "/one/other.ini", "KX58-0001")));
  EXPECT_FALSE(SamePlace(one, place(cwd + "/one/board.ini", "KX58-0002")))
      << "two boards of one board file are updated side by side";
}

// The rule follows the library really loaded: the simulated board by its
// file name, whatever named it; a copy of it under the vendor's name is a
// real driver, and so is any in-process driver.
TEST(BoardLockRuleTest, FollowsTheLoadedLibrary) {
  testing::ScratchDir dir;
  ScopedVariable board("KXSIM_BOARD", dir.path() + "/board.ini");
  fs::copy_file(KXSIM_LIBRARY, dir.path() + "/libTessera.so");
  std::string error;
  auto simulated = DriverLibrary::Open(KXSIM_LIBRARY, &error);
  ASSERT_TRUE(simulated) << error;
  auto renamed = DriverLibrary::Open(dir.path() + "/libTessera.so", &error);
  ASSERT_TRUE(renamed) << error;
  testing::FakeDriver fake;

  const BoardLockRule rule = BoardLockRuleFor(*simulated);
  EXPECT_EQ(rule.kind, BoardLockRule::Kind::kSimulatedBoard);
  EXPECT_EQ(rule.path, dir.path() + "/board.ini");
  EXPECT_EQ(BoardLockRuleFor(*renamed).kind, BoardLockRule::Kind::kRealBoard);
  EXPECT_TRUE(BoardLockRuleFor(*renamed).path.empty());
  EXPECT_EQ(BoardLockRuleFor(fake).kind, BoardLockRule::Kind::kRealBoard);
}

// --- the dialog refusing a board it cannot lock ---

class BoardLockDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { driver.slots = {"KX58-0001"}; }

  // Runs the dialog's initialisation under `rule`; the one message shown.
  std::string Refusal(const BoardLockRule& rule) {
    NextDlgOptions options;
    options.language = Language::kEnglish;
    options.boardLock = rule;
    CNextDlg dialog(driver, window, options);
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.State(), DialogState::kStopped);
    EXPECT_EQ(dialog.ErrorCode(), 1);
    EXPECT_EQ(dialog.OpenProblem(), BoardOpenProblem::kBoardNotLocked);
    EXPECT_EQ(dialog.BoardId(), "KX58-0001");
    EXPECT_TRUE(driver.createdWith.empty()) << "the board must not be touched";
    EXPECT_EQ(std::count(driver.calls.begin(), driver.calls.end(), "CAM_CreateCameraEx"), 0);
    if (window.messages.size() != 1) {
      ADD_FAILURE() << window.messages.size() << " messages";
      return {};
    }
    EXPECT_EQ(window.messages[0].icon, MessageIcon::kError);
    return window.messages[0].text;
  }

  static std::string Text(int id, const std::vector<std::pair<std::string, std::string>>& fields) {
    return FillTextFields(LoadString(id, Language::kEnglish), fields);
  }

  testing::ScratchDir dir;
  testing::FakeDriver driver;
  testing::RecordingWindow window;
};

TEST_F(BoardLockDialogTest, EachRefusalNamesItsCause) {
  const std::string folder = dir.path() + "/locks";
  const std::string file = folder + "/board-KX58-0001.lock";
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_EQ(waitpid(dead, nullptr, 0), dead);

  struct Case {
    const char* what;
    std::function<void()> arrange;
    BoardLockRule rule;
    std::string message;
    bool needsRoot = false;  // a folder of root's
  };
  int holder = -1;
  auto heldNaming = [&](const std::string& text) {
    return [&, text] {
      holder = ::open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      ASSERT_GE(holder, 0);
      ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
      ASSERT_EQ(::write(holder, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    };
  };
  const Case cases[] = {
      {"held by a live process", heldNaming(std::to_string(getpid()) + "\n"),
       BoardLockRule::InFolder(folder),
       Text(411, {{"board", "KX58-0001"}, {"pid", std::to_string(getpid())}})},
      {"held, the file naming a process that has ended", heldNaming(std::to_string(dead) + "\n"),
       BoardLockRule::InFolder(folder), Text(413, {{"board", "KX58-0001"}})},
      {"the lock file a link",
       [&] { ASSERT_EQ(::symlink((dir.path() + "/victim").c_str(), file.c_str()), 0); },
       BoardLockRule::InFolder(folder), Text(416, {{"file", file}})},
      {"the folder missing", [] {}, BoardLockRule::InFolder(folder + "/missing"),
       Text(418, {{"file", folder + "/missing/board-KX58-0001.lock"},
                  {"error", std::strerror(ENOENT)}})},
      {"a system folder that others may write to",
       [&] { ASSERT_EQ(::chmod(folder.c_str(), 01777), 0); }, BoardLockRule::RealBoardIn(folder),
       Text(415, {{"folder", folder}}), true},
      {"a system folder that is a link",
       [&] { ASSERT_EQ(::symlink(folder.c_str(), (dir.path() + "/link").c_str()), 0); },
       BoardLockRule::RealBoardIn(dir.path() + "/link"),
       Text(415, {{"folder", dir.path() + "/link"}}), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsRoot && ::geteuid() != 0) {
      std::printf("[ SKIPPED  ] case '%s': needs a folder of root's\n", c.what);
      continue;
    }
    ::chmod(folder.c_str(), 0755);
    std::error_code ignored;
    fs::remove(file, ignored);
    fs::remove(dir.path() + "/link", ignored);
    testing::WriteFileText(dir.path() + "/victim", "victim\n");
    window.messages.clear();
    c.arrange();
    EXPECT_EQ(Refusal(c.rule), c.message);
    EXPECT_EQ(testing::ReadFileText(dir.path() + "/victim"), "victim\n");
    if (holder >= 0) ::close(holder);
    holder = -1;
  }
}

// A user who may not update real boards is told so, naming the folder; the
// lock never falls back to a folder of their own.
TEST_F(BoardLockDialogTest, UserWhoMayNotLockRealBoardsIsToldSo) {
  const auto nobody = testing::Nobody();
  if (!nobody) GTEST_SKIP() << testing::WhyNoOtherUser();
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  const std::string made = dir.path() + "/made";
  ASSERT_EQ(::mkdir(made.c_str(), 0755), 0);
  struct Case {
    const char* what;
    std::string folder;
    std::string message;
  };
  const Case cases[] = {
      {"the folder is missing", dir.path() + "/missing",
       Text(414, {{"folder", dir.path() + "/missing"}})},
      {"the folder is root's", made, Text(417, {{"board", "KX58-0001"}, {"folder", made}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int result = testing::RunAs(*nobody, [&] {
      const std::string shown = Refusal(BoardLockRule::RealBoardIn(c.folder));
      return shown == c.message && !::testing::Test::HasFailure() ? 0 : 1;
    });
    EXPECT_EQ(result, 0) << c.message;
    EXPECT_FALSE(fs::exists(dir.path() + "/missing"));
    EXPECT_TRUE(fs::is_empty(made));
  }
}

}  // namespace
}  // namespace kx
