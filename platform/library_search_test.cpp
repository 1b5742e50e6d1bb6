#include "platform/library_search.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/scratch_dir.h"

namespace kx::platform {
namespace {

using testing::WriteFileText;

// The working directory holds libfake.so, as a folder a tool runs in might:
// only the absolute folders are ever looked in.
TEST(LibrarySearchTest, OnlyAbsoluteFoldersAreLookedIn) {
  testing::ScratchDir dir;
  const std::string a = dir.path() + "/a";
  const std::string b = dir.path() + "/b";
  const std::string system = dir.path() + "/system";
  for (const std::string& folder : {a, b, system}) ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  WriteFileText("libfake.so", "");
  WriteFileText(b + "/libfake.so", "");
  WriteFileText(system + "/libfake.so", "");
  WriteFileText(system + "/libsystem.so", "");
  ASSERT_EQ(::mkdir((a + "/libfolder.so").c_str(), 0755), 0);
  WriteFileText(b + "/libfolder.so", "");

  struct Case {
    const char* what;
    std::string name;
    std::string ldLibraryPath;
    std::optional<std::string> found;
    std::vector<std::string> tried;
  };
  const Case cases[] = {
      {"an empty entry is not the working directory",
       "libfake.so",
       ":" + a,
       system + "/libfake.so",
       {a, system}},
      {"nor is '.' or a relative folder",
       "libfake.so",
       ".:a:./b",
       system + "/libfake.so",
       {system}},
      {"an empty variable", "libfake.so", "", system + "/libfake.so", {system}},
      {"absolute entries in order, before the system's",
       "libfake.so",
       a + "::" + b + ":",
       b + "/libfake.so",
       {a, b}},
      {"a folder of the name is not a library",
       "libfolder.so",
       a + ":" + b,
       b + "/libfolder.so",
       {a, b}},
      {"a trailing slash is the same folder",
       "libsystem.so",
       system + "/",
       system + "/libsystem.so",
       {system}},
      {"not anywhere", "libnone.so", ":" + a, std::nullopt, {a, system}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> tried;
    EXPECT_EQ(FindSharedLibrary(c.name, c.ldLibraryPath, {system, "relative"}, &tried), c.found);
    EXPECT_EQ(tried, c.tried);
  }
}

TEST(LibrarySearchTest, LoaderConfigurationWithIncludes) {
  testing::ScratchDir dir;
  ASSERT_EQ(::mkdir("conf.d", 0755), 0);
  WriteFileText("ld.so.conf",
                "# the system's folders\n"
                "/opt/first\n"
                "include conf.d/*.conf\n"
                "relative/folder\n"
                "/opt/two /opt/three, /opt/four # and a comment\n"
                "hwcap 0 nosegneg\n"
                "/opt/first/\n");
  WriteFileText("conf.d/b.conf", "/opt/b\n");
  WriteFileText("conf.d/a.conf", "/opt/a\ninclude " + dir.path() + "/ld.so.conf\n");
  WriteFileText("conf.d/ignored.txt", "/opt/ignored\n");
  // a.conf includes the top file again: it is read there, in place, every
  // folder is kept once, and the circle ends.
  EXPECT_EQ(LibraryFoldersFromConf(dir.path() + "/ld.so.conf"),
            (std::vector<std::string>{"/opt/first", "/opt/a", "/opt/two", "/opt/three", "/opt/four",
                                      "/opt/b"}));
  EXPECT_TRUE(LibraryFoldersFromConf(dir.path() + "/missing.conf").empty());
}

TEST(LibrarySearchTest, SystemFoldersHoldTheLoadersOwn) {
  const std::vector<std::string> folders = SystemLibraryFolders();
  for (const char* own : {"/lib64", "/usr/lib64", "/lib", "/usr/lib"}) {
    EXPECT_EQ(std::count(folders.begin(), folders.end(), own), 1) << own;
  }
  for (const std::string& folder : folders) EXPECT_EQ(folder.front(), '/') << folder;
}

}  // namespace
}  // namespace kx::platform
