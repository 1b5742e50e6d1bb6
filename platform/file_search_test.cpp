#include "platform/file_search.h"

#include <sys/stat.h>

#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_io.h"
#include "tests/child_process.h"
#include "tests/scratch_dir.h"

namespace kx::platform {
namespace {

using kx::testing::ScratchDir;
using kx::testing::WriteFileText;

TEST(WildcardMatchTest, Table) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"KXFPGA1v*.rbf", "KXFPGA1v01_02_03.rbf", true},
      {"KXFPGA1v*.rbf", "KXFPGA1v.rbf", true},  // '*' takes the empty run
      {"KXFPGA1v*.rbf", "kxfpga1V1_0_0.RBF", true},  // letters ignore case
      {"KXFPGA1v*.rbf", "KXFPGA1v1_0_0.rbf.bak", false},
      {"KXFPGA1v*.rbf", "KXFPGA2v1_0_0.rbf", false},
      {"KXFPGA*.rbf", "KXFPGA3.rbf", true},
      {"KXFirm*.s", "KXFirmv1_0_0.s", true},
      {"KXFirm*.s", "KXFirmv1_0_0.srec", false},
      {"DERadori.kx", "deradori.KX", true},
      {"DERadori.kx", "DERadori.kx.tmp", false},
      {"a*b*c", "aXXbYYbZc", true},
      {"a*b*c", "aXXbYYbZ", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"*", "", true},
      {"", "x", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
  }
}

TEST(FindFirstMatchTest, ReturnsLowestNameWithItsSize) {
  ScratchDir dir;
  WriteFileText("KXFPGA1v02_00_00.rbf", "12345");
  WriteFileText("KXFPGA1v01_00_00.rbf", "123");
  WriteFileText("KXFPGA2v01_00_00.rbf", "1");
  auto found = FindFirstMatch("KXFPGA1v*.rbf");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->name, "KXFPGA1v01_00_00.rbf");
  EXPECT_EQ(found->size, 3u);
}

TEST(FindFirstMatchTest, NothingMatches) {
  ScratchDir dir;
  WriteFileText("other.txt", "x");
  EXPECT_FALSE(FindFirstMatch("DERadori.kx"));
}

TEST(FindFirstMatchTest, SkipsDirectories) {
  ScratchDir dir;
  ASSERT_EQ(mkdir("KXFirmv0_0_1.s", 0755), 0);
  EXPECT_FALSE(FindFirstMatch("KXFirmv*.s"));
  WriteFileText("KXFirmv0_0_2.s", "S0");
  auto found = FindFirstMatch("KXFirmv*.s");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->name, "KXFirmv0_0_2.s");
}

// Every match, in byte order whatever the directory's order, with sizes;
// the first is FindFirstMatch's. Upper case sorts before lower case, as
// bytes do.
TEST(FindAllMatchesTest, EveryRegularMatchInByteOrder) {
  ScratchDir dir;
  WriteFileText("KXFPGA1v01_03_00.rbf", "12345");
  WriteFileText("KXFPGA1v01_02_00.rbf", "123");
  WriteFileText("kxfpga1v00_09_00.rbf", "1");
  WriteFileText("KXFPGA2v01_00_00.rbf", "1");
  ASSERT_EQ(mkdir("KXFPGA1v01_01_00.rbf", 0755), 0);  // no file: passed over
  const std::vector<FoundFile> all = FindAllMatches("KXFPGA1v*.rbf");
  std::vector<std::pair<std::string, std::uint64_t>> seen;
  for (const FoundFile& file : all) seen.emplace_back(file.name, file.size);
  EXPECT_EQ(
      seen,
      (std::vector<std::pair<std::string, std::uint64_t>>{
          {"KXFPGA1v01_02_00.rbf", 3}, {"KXFPGA1v01_03_00.rbf", 5}, {"kxfpga1v00_09_00.rbf", 1}}));
  ASSERT_TRUE(FindFirstMatch("KXFPGA1v*.rbf"));
  EXPECT_EQ(FindFirstMatch("KXFPGA1v*.rbf")->name, all.front().name);
  EXPECT_TRUE(FindAllMatches("KXBootv*.s").empty());

  // Another folder: the names stay bare.
  ASSERT_EQ(mkdir("sub", 0755), 0);
  WriteFileText("sub/KXBootv1_0_0.s", "S0");
  const std::vector<FoundFile> inSub = FindAllMatches("KXBootv*.s", "sub");
  ASSERT_EQ(inSub.size(), 1u);
  EXPECT_EQ(inSub[0].name, "KXBootv1_0_0.s");
  EXPECT_TRUE(FindAllMatches("*", "no-such-folder").empty());
}

std::vector<std::string> g_heard;

// A FIFO named like an update file is no update file, and the user is told
// why it was passed over; the search itself never opens it.
TEST(FindFirstMatchTest, PassesOverAFifoAndSaysSo) {
  ScratchDir dir;
  ASSERT_EQ(mkfifo("KXFirmv0_0_1.s", 0644), 0);
  WriteFileText("KXFirmv0_0_2.s", "S0");
  g_heard.clear();
  SetFileRefusalSink([](const std::string& message) { g_heard.push_back(message); });
  auto found = FindFirstMatch("KXFirmv*.s");
  SetFileRefusalSink(nullptr);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->name, "KXFirmv0_0_2.s");
  EXPECT_EQ(g_heard,
            std::vector<std::string>{"KXFirmv0_0_1.s: not a regular file but a FIFO; passed over"});
}

// A file the search found, replaced by a FIFO before it is read: the read
// refuses it at once rather than wait for a writer (the child's alarm
// guards against the wait).
TEST(FindFirstMatchTest, FileReplacedByAFifoAfterTheSearchIsRefusedWhenRead) {
  ScratchDir dir;
  WriteFileText("DERadori.ini", "[Behavior]\nMode=1\n");
  auto found = FindFirstMatch("DERadori.ini");
  ASSERT_TRUE(found);
  ASSERT_EQ(unlink("DERadori.ini"), 0);
  ASSERT_EQ(mkfifo("DERadori.ini", 0644), 0);
  const int problem = kx::testing::RunInChild([&] {
    std::vector<std::uint8_t> contents;
    return static_cast<int>(ReadWholeFile(found->name, contents).problem);
  });
  EXPECT_EQ(problem, static_cast<int>(FileProblem::kNotRegular));
}

}  // namespace
}  // namespace kx::platform
