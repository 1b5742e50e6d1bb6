#include "platform/executable_name.h"

#include <gtest/gtest.h>

namespace kx::platform {
namespace {

TEST(ExecutableNameTest, BaseNameDropsFolderAndExtension) {
  EXPECT_EQ(BaseNameOf("/opt/kx/DERadori"), "DERadori");
  EXPECT_EQ(BaseNameOf("DERadori.exe"), "DERadori");
  EXPECT_EQ(BaseNameOf("/a/b.c/DERadori2.bin"), "DERadori2");
  EXPECT_EQ(BaseNameOf(".hidden"), ".hidden");
  EXPECT_EQ(ExecutableBaseName(), "kx_platform_test");
}

}  // namespace
}  // namespace kx::platform
