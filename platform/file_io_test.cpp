#include "platform/file_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <thread>

#include "tests/child_process.h"
#include "tests/scratch_dir.h"

namespace kx::platform {
namespace {

using kx::testing::GiveUpRoot;
using kx::testing::ListWorkingDirectory;
using kx::testing::ReadFileBytes;
using kx::testing::RunInChild;
using kx::testing::ScratchDir;
using kx::testing::WriteFileBytes;

std::vector<std::uint8_t> Pattern(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return bytes;
}

TEST(ReadFileExactlyTest, ReadsTheAskedBytesAndFailsShort) {
  ScratchDir dir;
  WriteFileBytes("f", Pattern(100));
  std::vector<std::uint8_t> buffer(100);
  ASSERT_TRUE(ReadFileExactly("f", buffer.data(), 100));
  EXPECT_EQ(buffer, Pattern(100));
  std::vector<std::uint8_t> big(101);
  EXPECT_EQ(ReadFileExactly("f", big.data(), 101).problem, FileProblem::kTooShort);
  EXPECT_EQ(ReadFileExactly("missing", buffer.data(), 1).problem, FileProblem::kNotFound);
}

TEST(AtomicReplaceFileTest, CreatesAndReplacesKeepingMode) {
  ScratchDir dir;
  auto first = Pattern(10);
  ASSERT_TRUE(AtomicReplaceFile("pkg", first));
  EXPECT_EQ(ReadFileBytes("pkg"), first);
  ASSERT_EQ(chmod("pkg", 0600), 0);
  auto second = Pattern(70000);
  ASSERT_TRUE(AtomicReplaceFile("pkg", second));
  EXPECT_EQ(ReadFileBytes("pkg"), second);
  struct stat info {};
  ASSERT_EQ(stat("pkg", &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ListWorkingDirectory(), std::vector<std::string>{"pkg"});
}

// A disk that fills up after `limit` bytes: the old file must survive whole
// and no temporary file may stay behind, wherever the write stops.
TEST(AtomicReplaceFileTest, FailedWriteKeepsOldFile) {
  for (std::size_t limit : {std::size_t{0}, std::size_t{1}, std::size_t{4096}, std::size_t{69999}}) {
    ScratchDir dir;
    auto old = Pattern(33);
    WriteFileBytes("pkg", old);
    std::size_t written = 0;
    WriteFunction failing = [&](int fd, const void* data, std::size_t size) -> ssize_t {
      if (written >= limit) {
        errno = ENOSPC;
        return -1;
      }
      std::size_t n = std::min(size, limit - written);
      ssize_t done = ::write(fd, data, n);
      if (done > 0) written += static_cast<std::size_t>(done);
      return done;
    };
    EXPECT_FALSE(AtomicReplaceFile("pkg", Pattern(70000), failing)) << limit;
    EXPECT_EQ(ReadFileBytes("pkg"), old) << limit;
    EXPECT_EQ(ListWorkingDirectory(), std::vector<std::string>{"pkg"}) << limit;
  }
}

TEST(AtomicReplaceFileTest, MissingFolderFails) {
  ScratchDir dir;
  EXPECT_FALSE(AtomicReplaceFile("no/such/pkg", Pattern(3)));
}

// ---------------------------------------------------------------- regular files only

// A sink that keeps what ReportFileRefusal tells, for the test's life.
class RefusalsHeard {
 public:
  RefusalsHeard() {
    Heard().clear();
    SetFileRefusalSink([](const std::string& message) { Heard().push_back(message); });
  }
  ~RefusalsHeard() { SetFileRefusalSink(nullptr); }
  const std::vector<std::string>& messages() const { return Heard(); }

 private:
  static std::vector<std::string>& Heard() {
    static std::vector<std::string> heard;
    return heard;
  }
};

// A listening Unix socket at `name`; the descriptor.
int MakeSocket(const std::string& name) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", name.c_str());
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
  return fd;
}

// Every kind of entry a name can stand for, read both ways. In a child with
// its alarm as a guard: a FIFO opened as a file waits for a writer for
// ever; and as a user other than root, whom no permission stops.
TEST(ReadOnlyFileTest, ReadsRegularFilesOnlyAndSaysWhy) {
  ScratchDir dir;
  WriteFileBytes("file", Pattern(100));
  WriteFileBytes("locked", Pattern(100));
  ASSERT_EQ(chmod("locked", geteuid() == 0 ? 0600 : 0), 0);
  ASSERT_EQ(chmod(".", 0755), 0);
  ASSERT_EQ(mkdir("folder", 0755), 0);
  ASSERT_EQ(mkfifo("fifo", 0644), 0);
  ASSERT_EQ(symlink("/dev/null", "device"), 0);
  ASSERT_EQ(symlink("file", "link"), 0);
  const int socketFd = MakeSocket("socket");
  ASSERT_GE(socketFd, 0);
  struct Case {
    const char* name;
    FileProblem problem;
    const char* message;  // what the user is told; "" nothing
  };
  const Case cases[] = {
      {"file", FileProblem::kNone, ""},
      {"link", FileProblem::kNone, ""},  // a link to a regular file is read
      {"missing", FileProblem::kNotFound, ""},
      {"file/below", FileProblem::kNotFound, ""},
      {"folder", FileProblem::kNotRegular, "folder: not a regular file but a folder; not read"},
      {"fifo", FileProblem::kNotRegular, "fifo: not a regular file but a FIFO; not read"},
      {"device", FileProblem::kNotRegular,
       "device: not a regular file but a character device; not read"},
      {"socket", FileProblem::kNotRegular, "socket: not a regular file but a socket; not read"},
      {"locked", FileProblem::kPermission, "locked: permission denied; not read"},
  };
  for (const Case& c : cases) {
    const int result = RunInChild([&] {
      if (!GiveUpRoot()) return 255;
      RefusalsHeard heard;
      std::vector<std::uint8_t> whole;
      std::vector<std::uint8_t> part(10);
      const FileStatus a = ReadWholeFile(c.name, whole);
      const FileStatus b = ReadFileExactly(c.name, part.data(), part.size());
      if (a.problem != b.problem) return 254;
      if (a && (whole != Pattern(100) || part != Pattern(10))) return 253;
      const std::vector<std::string> told =
          *c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{};
      if (heard.messages() != told) return 252;
      return static_cast<int>(a.problem);
    });
    EXPECT_EQ(result, static_cast<int>(c.problem)) << c.name;
  }
  close(socketFd);
}

TEST(ReadOnlyFileTest, RefusalIsToldOnceAndAMissingFileNotAtAll) {
  ScratchDir dir;
  ASSERT_EQ(mkdir("DERadori.ini", 0755), 0);
  RefusalsHeard heard;
  std::vector<std::uint8_t> contents{1, 2, 3};
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(ReadWholeFile("DERadori.ini", contents).problem, FileProblem::kNotRegular);
  EXPECT_EQ(ReadWholeFile("missing.ini", contents).problem, FileProblem::kNotFound);
  EXPECT_EQ(contents, (std::vector<std::uint8_t>{1, 2, 3}));  // untouched on failure
  EXPECT_EQ(heard.messages(),
            std::vector<std::string>{"DERadori.ini: not a regular file but a folder; not read"});
}

// The rename would put a regular file in the place of whatever has the name.
TEST(AtomicReplaceFileTest, RefusesToReplaceWhatIsNotARegularFile) {
  struct Case {
    const char* what;
    std::function<bool()> make;
    mode_t type;
  };
  const Case cases[] = {
      {"FIFO", [] { return mkfifo("DERadori.ini", 0644) == 0; }, S_IFIFO},
      {"folder", [] { return mkdir("DERadori.ini", 0755) == 0; }, S_IFDIR},
      {"link to a device", [] { return symlink("/dev/null", "DERadori.ini") == 0; }, S_IFLNK},
      {"socket", [] { return MakeSocket("DERadori.ini") >= 0; }, S_IFSOCK},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    ASSERT_TRUE(c.make()) << c.what;
    RefusalsHeard heard;
    EXPECT_EQ(AtomicReplaceFile("DERadori.ini", Pattern(10)).problem, FileProblem::kNotRegular)
        << c.what;
    struct stat after {};
    ASSERT_EQ(lstat("DERadori.ini", &after), 0) << c.what;
    EXPECT_EQ(after.st_mode & S_IFMT, c.type) << c.what;
    EXPECT_EQ(ListWorkingDirectory(), std::vector<std::string>{"DERadori.ini"}) << c.what;
    ASSERT_EQ(heard.messages().size(), 1u) << c.what;
    EXPECT_EQ(heard.messages()[0].rfind("DERadori.ini: not a regular file", 0), 0u) << c.what;
  }
}

// ---------------------------------------------------------------- temporary files

// A writer that stops in the middle of its temporary file: its first write
// puts part of the data down, says so on `ready` and waits for a byte on
// `go` (a closed `go` lets it fail instead).
struct PausedWriter {
  int ready[2] = {-1, -1};
  int go[2] = {-1, -1};

  PausedWriter() {
    EXPECT_EQ(pipe(ready), 0);
    EXPECT_EQ(pipe(go), 0);
  }
  ~PausedWriter() {
    for (int fd : {ready[0], ready[1], go[0], go[1]}) {
      if (fd >= 0) close(fd);
    }
  }

  WriteFunction Function() {
    return [this, paused = false](int fd, const void* data, std::size_t size) mutable -> ssize_t {
      ssize_t n = ::write(fd, data, std::min<std::size_t>(size, 4096));
      if (!paused) {
        paused = true;
        char byte = 'r';
        if (::write(ready[1], &byte, 1) != 1 || ::read(go[0], &byte, 1) != 1) return -1;
      }
      return n;
    };
  }
  // Waits until the writer stands in its pause.
  bool AwaitPause() {
    char byte = 0;
    return ::read(ready[0], &byte, 1) == 1;
  }
  bool Release() {
    char byte = 'g';
    return ::write(go[1], &byte, 1) == 1;
  }
};

std::vector<std::string> TemporaryFiles() {
  std::vector<std::string> names;
  for (const std::string& name : ListWorkingDirectory()) {
    if (name.rfind("pkg.tmp-", 0) == 0) names.push_back(name);
  }
  return names;
}

// A writer killed in the middle leaves its full-size temporary file; the
// next write of the same file finds its lock gone and removes it.
TEST(AtomicReplaceFileTest, NextWriteRemovesTheTemporaryFileOfAKilledWriter) {
  ScratchDir dir;
  WriteFileBytes("pkg", Pattern(33));
  PausedWriter writer;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(60);
    _exit(AtomicReplaceFile("pkg", Pattern(70000), writer.Function()) ? 0 : 1);
  }
  ASSERT_TRUE(writer.AwaitPause());
  ASSERT_EQ(TemporaryFiles().size(), 1u);
  ASSERT_EQ(kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(TemporaryFiles().size(), 1u);  // the killed writer's, for good without a sweep
  EXPECT_EQ(ReadFileBytes("pkg"), Pattern(33));

  ASSERT_TRUE(AtomicReplaceFile("pkg", Pattern(12)));
  EXPECT_EQ(ListWorkingDirectory(), std::vector<std::string>{"pkg"});
  EXPECT_EQ(ReadFileBytes("pkg"), Pattern(12));
}

// A writer that is still at work keeps its temporary file through another
// writer's sweep, whether it is another process or a thread of this one,
// and its rename lands afterwards.
TEST(AtomicReplaceFileTest, LiveWritersTemporaryFileSurvivesTheSweep) {
  for (bool inAThread : {false, true}) {
    SCOPED_TRACE(inAThread ? "thread" : "process");
    ScratchDir dir;
    WriteFileBytes("pkg", Pattern(33));
    PausedWriter writer;
    std::thread thread;
    bool threadWrote = false;
    pid_t child = -1;
    if (inAThread) {
      thread = std::thread(
          [&] { threadWrote = AtomicReplaceFile("pkg", Pattern(70000), writer.Function()); });
    } else {
      child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        alarm(60);
        _exit(AtomicReplaceFile("pkg", Pattern(70000), writer.Function()) ? 0 : 1);
      }
    }
    ASSERT_TRUE(writer.AwaitPause());
    const std::vector<std::string> live = TemporaryFiles();
    ASSERT_EQ(live.size(), 1u);

    EXPECT_EQ(RemoveStaleTemporaryFiles("pkg"), 0u);
    ASSERT_TRUE(AtomicReplaceFile("pkg", Pattern(12)));
    EXPECT_EQ(TemporaryFiles(), live);
    EXPECT_EQ(ReadFileBytes("pkg"), Pattern(12));

    ASSERT_TRUE(writer.Release());
    if (inAThread) {
      thread.join();
      EXPECT_TRUE(threadWrote);
    } else {
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(ListWorkingDirectory(), std::vector<std::string>{"pkg"});
    EXPECT_EQ(ReadFileBytes("pkg"), Pattern(70000));
  }
}

// The sweep takes only what a killed writer of this very file leaves:
// "<name>.tmp-" and six letters or digits, a regular file, ours, unlocked.
TEST(RemoveStaleTemporaryFilesTest, RemovesOnlyItsOwnStaleFiles) {
  ScratchDir dir;
  struct Case {
    const char* name;
    std::function<bool(const char*)> make;
    bool removed;
  };
  auto regular = [](const char* name) {
    WriteFileBytes(name, Pattern(5));
    return true;
  };
  int lockedFd = -1;
  const Case cases[] = {
      {"pkg.tmp-AbC123", regular, true},
      {"pkg.tmp-zz9900", regular, true},
      {"pkg.tmp-AbC12", regular, false},
      {"pkg.tmp-AbC1234", regular, false},
      {"pkg.tmp-AbC-12", regular, false},
      {"other.tmp-AbC123", regular, false},
      {"xpkg.tmp-AbC123", regular, false},
      {"pkg.tmp-Fifo00", [](const char* name) { return mkfifo(name, 0644) == 0; }, false},
      {"pkg.tmp-Dir000", [](const char* name) { return mkdir(name, 0755) == 0; }, false},
      {"pkg.tmp-Link00", [](const char* name) { return symlink("target", name) == 0; }, false},
      {"target", regular, false},
      {"pkg.tmp-Lock00",
       [&](const char* name) {
         WriteFileBytes(name, Pattern(5));
         lockedFd = open(name, O_RDONLY | O_CLOEXEC);
         return lockedFd >= 0 && flock(lockedFd, LOCK_EX) == 0;
       },
       false},
      {"pkg.tmp-Other0",
       [](const char* name) {
         WriteFileBytes(name, Pattern(5));
         // Another user's file; only root can make one.
         return geteuid() != 0 || chown(name, 65534, 65534) == 0;
       },
       geteuid() != 0},
  };
  for (const Case& c : cases) ASSERT_TRUE(c.make(c.name)) << c.name;
  std::size_t expectRemoved = 0;
  std::vector<std::string> expectLeft;
  for (const Case& c : cases) {
    if (c.removed) {
      ++expectRemoved;
    } else {
      expectLeft.push_back(c.name);
    }
  }
  std::sort(expectLeft.begin(), expectLeft.end());
  EXPECT_EQ(RemoveStaleTemporaryFiles("pkg"), expectRemoved);
  EXPECT_EQ(ListWorkingDirectory(), expectLeft);
  close(lockedFd);
}

}  // namespace
}  // namespace kx::platform
