#include "updatedata/version_text.h"

#include <gtest/gtest.h>

namespace kx {
namespace {

TEST(CompareVersionNamesTest, Table) {
  struct Case {
    const char* first;
    const char* second;
    int result;
  };
  const Case cases[] = {
      {"01_02_03", "1_2_3", 0},   {"1_10_0", "1_9_9", 1},    {"1_2_3", "2_0_0", 2},
      {"1_2_3_9", "1_2_3", 0},    {"", "1_0_0", 2},          {"1_0_0", "", 1},
      {"", "", 0},                {"2_0_0", "1_99_99", 1},   {"1_2_4", "1_2_3", 1},
      {"1_2", "1_2_0", 0},        {"abc", "0_0_0", 0},       {"-1_0_0", "0_0_0", 2},
      {"1__2_3", "1_0_0", 0},     {"_1_2", "0_0_0", 0},      {" 4_0_0", "3_0_0", 1},
      // Parts far longer than a 32-bit number compare without harm, saturated.
      {"99999999999999999999_0_0", "2147483647_0_0", 0},
      {"99999999999999999999_0_0", "2147483646_9_9", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareVersionNames(c.first, c.second), c.result) << c.first << " vs " << c.second;
  }
}

TEST(FormatVersionTest, Table) {
  const std::pair<const char*, const char*> cases[] = {
      {"1_2_3", "V01.02.03"},  {"01_02_03", "V01.02.03"}, {"1_2_100", "V01.02.100"},
      {"100_1_1", "V100.01.01"}, {"0_x_7", "V00.00.07"},  {"", "V00.00.00"},
      {"1_2", "V01.02.00"},    {"-3_0_0", "V-03.00.00"},
  };
  for (const auto& [text, formatted] : cases) EXPECT_EQ(FormatVersion(text), formatted) << text;
}

TEST(VersionTextOfFileNameTest, TextBetweenPrefixAndExtension) {
  const auto& fpga1 = kComponents[0];
  const auto& boot = kComponents[3];
  EXPECT_EQ(VersionTextOfFileName(fpga1, "KXFPGA1v01_02_03.rbf"), "01_02_03");
  EXPECT_EQ(VersionTextOfFileName(fpga1, "KXFPGA1v.rbf"), "");
  EXPECT_EQ(VersionTextOfFileName(boot, "KXBootv1_0_5.s"), "1_0_5");
  EXPECT_EQ(VersionTextOfFileName(boot, "KXBootv.s"), "");
}

}  // namespace
}  // namespace kx
