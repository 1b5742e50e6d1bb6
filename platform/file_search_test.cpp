#include "platform/file_search.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kx::platform
