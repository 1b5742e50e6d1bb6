// kxupdate --version: the one product version, in the form scripts parse.
#include <gtest/gtest.h>

#include <regex>

#include "res/product_version.h"
#include "tests/scratch_dir.h"

namespace kx {
namespace {

TEST(KxupdateVersionTest, BothSpellingsPrintTheProjectVersion) {
  testing::ScratchDir dir;
  for (const char* spelling : {"--version", "-V", "--simulate --version"}) {
    int status = -1;
    const std::string out =
        testing::CaptureCommand(std::string(KXUPDATE_PATH) + " " + spelling + " 2>&1", &status);
    EXPECT_EQ(status, 0) << spelling;
    EXPECT_EQ(out, std::string("kxupdate ") + kProductVersion + "\n") << spelling;
  }
  EXPECT_TRUE(std::regex_match(kProductVersion, std::regex(R"(\d+\.\d+\.\d+)")));
  EXPECT_EQ(std::string(kProductVersion).rfind(kProductVersionShort, 0), 0u);
}

}  // namespace
}  // namespace kx
