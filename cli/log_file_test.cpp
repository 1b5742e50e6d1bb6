// kxupdate update --log-file: which names take the log, and what a refused
// one is told.
#include "cli/log_file.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/child_process.h"
#include "tests/scratch_dir.h"

namespace kx::cli {
namespace {

using testing::ReadFileText;
using testing::ScratchDir;
using testing::WriteFileText;

// Each refused name: the cause told, and nothing made or written anywhere
// (the folder's snapshot stays as it was). Every case runs in a child with a
// guard, so that a refusal that waits (on a FIFO) fails instead of hanging.
TEST(LogFileTest, RefusesWhatIsNoRegularFileWithoutTouchingIt) {
  ScratchDir dir;
  ASSERT_EQ(mkdir("folder", 0755), 0);
  ASSERT_EQ(mkfifo("fifo", 0644), 0);
  WriteFileText("target.log", "kept\n");
  ASSERT_EQ(symlink("target.log", "link.log"), 0);
  ASSERT_EQ(symlink("nowhere.log", "dangling.log"), 0);
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", "socket");
  ASSERT_EQ(bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

  struct Case {
    const char* path;
    const char* cause;
  };
  const Case cases[] = {
      {"no/such/folder/x.log", "its folder does not exist"},
      {"target.log/x.log", "a name on its path is not a folder"},
      {"folder", "it is a folder"},
      {"fifo", "it is a FIFO, not a regular file"},
      {"link.log", "it is a symbolic link (name the file itself)"},
      {"dangling.log", "it is a symbolic link (name the file itself)"},
      {"socket", "it is a socket, not a regular file"},
      {"/dev/null", "it is a device, not a regular file"},
  };
  const auto before = testing::SnapshotFolder(dir.path());
  for (const Case& c : cases) {
    const int result = testing::RunInChild([&] {
      std::string problem;
      auto file = LogFile::Open(c.path, problem);
      const std::string expected = std::string("cannot append to the log file ") + c.path + ": " + c.cause;
      if (file) return 1;
      if (problem != expected) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
      }
      return 0;
    });
    EXPECT_EQ(result, 0) << c.path;
  }
  // A FIFO with a reader waiting is refused all the same and gets nothing.
  const int reader = open("fifo", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::string problem;
  EXPECT_EQ(LogFile::Open("fifo", problem), nullptr);
  char byte;
  EXPECT_LE(read(reader, &byte, 1), 0);
  close(reader);
  close(sock);
  EXPECT_EQ(testing::SnapshotFolder(dir.path()), before);
  EXPECT_EQ(ReadFileText("target.log"), "kept\n");
}

TEST(LogFileTest, AppendsToAFileOrMakesIt) {
  ScratchDir dir;
  WriteFileText("old.log", "first run\n");
  ASSERT_EQ(chmod("old.log", 0600), 0);
  for (const char* name : {"old.log", "new.log"}) {
    std::string problem;
    auto file = LogFile::Open(name, problem);
    ASSERT_NE(file, nullptr) << name << ": " << problem;
    EXPECT_EQ(problem, "");
    file->Append("one\n");
    file->Append("");
    file->Append("two\n");
    EXPECT_EQ(file->WriteProblem(), "") << name;
    EXPECT_EQ(file->path(), name);
  }
  EXPECT_EQ(ReadFileText("old.log"), "first run\none\ntwo\n");
  EXPECT_EQ(ReadFileText("new.log"), "one\ntwo\n");
  struct stat info {};
  ASSERT_EQ(stat("old.log", &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u) << "an existing file keeps its mode";
  const mode_t mask = umask(0);
  umask(mask);
  ASSERT_EQ(stat("new.log", &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0666u & ~mask);
}

// Permissions apply to a user who is not root: the cause says so.
TEST(LogFileTest, AFileTheUserMayNotWriteIsRefused) {
  ScratchDir dir;
  WriteFileText("root.log", "");
  ASSERT_EQ(chmod("root.log", 0444), 0);  // not even its owner may write it
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  const int result = testing::RunInChild([] {
    if (!testing::GiveUpRoot()) return 3;
    std::string problem;
    if (LogFile::Open("root.log", problem)) return 1;
    return problem == "cannot append to the log file root.log: permission denied" ? 0 : 2;
  });
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace kx::cli
