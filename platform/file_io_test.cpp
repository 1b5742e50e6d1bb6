#include "platform/file_io.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/scratch_dir.h"

namespace kx::platform {
namespace {

using kx::testing::ListWorkingDirectory;
using kx::testing::ReadFileBytes;
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
  EXPECT_FALSE(ReadFileExactly("f", big.data(), 101));
  EXPECT_FALSE(ReadFileExactly("missing", buffer.data(), 1));
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

}  // namespace
}  // namespace kx::platform
