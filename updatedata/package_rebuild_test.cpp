#include <sys/stat.h>

#include <cstring>

#include <gtest/gtest.h>

#include "tests/child_process.h"
#include "tests/package_fixture.h"
#include "tests/scratch_dir.h"
#include "tests/srecord_fixture.h"
#include "updatedata/package_format.h"
#include "updatedata/update_data_set.h"

namespace kx {
namespace {

using testing::FixturePackage;
using testing::GiveUpRoot;
using testing::ListWorkingDirectory;
using testing::PatternBytes;
using testing::PlainPackage;
using testing::ReadFileBytes;
using testing::RunInChild;
using testing::ScratchDir;
using testing::SnapshotFolder;
using testing::SRecordText;
using testing::StoredPackage;
using testing::WriteFileBytes;
using testing::WriteFileText;

constexpr platform::LocalDate kDate{2026, 12, 11};

std::vector<std::uint8_t> ImageBytes(const ComponentImage& image) {
  return std::vector<std::uint8_t>(image.data, image.data + image.size);
}

struct Loaded {
  UpdateDataSet set;
  bool ok = false;
};

// Loads the package that the rebuild wrote, as the update dialog would.
std::unique_ptr<Loaded> LoadWritten() {
  auto loaded = std::make_unique<Loaded>();
  loaded->ok = loaded->set.LoadPackage() == 1 && loaded->set.VerifyChecksum() == 1;
  return loaded;
}

FixturePackage OldPackage() {
  return {{{"01_00_00", PatternBytes(100, 11)},
           {"01_00_00", PatternBytes(50, 12)},
           {"1_0_0", PatternBytes(64, 13)},
           {"1_0_0", PatternBytes(32, 14)}}};
}

TEST(RebuildPackageTest, ComponentFilesAloneNoPackage) {
  ScratchDir dir;
  auto fpga1 = PatternBytes(300, 1);
  auto firm = PatternBytes(200, 2);
  WriteFileBytes("KXFPGA1v01_02_03.rbf", fpga1);
  WriteFileText("KXFirmv2_0_0.s", SRecordText(firm, 0x4000));
  WriteFileBytes("KXFPGA2v.rbf", PatternBytes(10, 3));  // no version: never wins
  UpdateDataSet set;
  ASSERT_EQ(set.RebuildPackage(kDate), 1);
  // The data set is not changed by the rebuild.
  EXPECT_EQ(set.GetFpga1Image().size, 0u);

  auto written = LoadWritten();
  ASSERT_TRUE(written->ok);
  EXPECT_EQ(written->set.GetFpga1Version(), "01_02_03");
  EXPECT_EQ(ImageBytes(written->set.GetFpga1Image()), fpga1);
  EXPECT_EQ(written->set.GetFpga2Image().size, 0u);
  EXPECT_EQ(written->set.GetFirmApplVersion(), "2_0_0");
  EXPECT_EQ(ImageBytes(written->set.GetFirmApplImage()), firm);
  EXPECT_EQ(written->set.GetFirmBootImage().size, 0u);

  auto plain = PlainPackage(ReadFileBytes("DERadori.kx"));
  EXPECT_EQ(plain.size(), 256u + 300 + 200);
  for (int i = 32; i < 64; ++i) EXPECT_EQ(plain[i], 0) << "absent FPGA2's field, byte " << i;
  auto stored = ReadFileBytes("DERadori.kx");
  std::int32_t seed;
  std::memcpy(&seed, &stored[240], 4);
  EXPECT_EQ(seed, 20261211);
}

// The merge table: for each case the component FPGA2 (a package component
// at 01_00_00) meets a file of some version.
TEST(RebuildPackageTest, MergeTable) {
  struct Case {
    const char* what;
    const char* fileName;  // empty: no file
    bool packageHasIt;
    const char* expectVersion;  // empty: absent from the new package
    bool expectFileBytes;
  };
  const Case cases[] = {
      {"no file, package has it", "", true, "01_00_00", false},
      {"no file, package lacks it", "", false, "", false},
      {"newer file", "KXFPGA2v01_00_01.rbf", true, "01_00_01", true},
      {"file, package lacks it", "KXFPGA2v0_0_1.rbf", false, "0_0_1", true},
      {"same version: package bytes kept", "KXFPGA2v1_0_0.rbf", true, "01_00_00", false},
      {"older file", "KXFPGA2v0_9_0.rbf", true, "01_00_00", false},
      {"older file, package lacks it", "KXFPGA2v0_9_0.rbf", false, "0_9_0", true},
      {"file without a version", "KXFPGA2v.rbf", true, "01_00_00", false},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    auto parts = OldPackage();
    if (!c.packageHasIt) parts[1] = {};
    WriteFileBytes("DERadori.kx", StoredPackage(parts, 7));
    auto fileBytes = PatternBytes(77, 99);
    if (*c.fileName) WriteFileBytes(c.fileName, fileBytes);
    // Another component file so that the rebuild has files to work with.
    WriteFileBytes("KXFPGA1v00_00_01.rbf", PatternBytes(5, 5));

    UpdateDataSet set;
    ASSERT_EQ(set.RebuildPackage(kDate), 1) << c.what;
    auto written = LoadWritten();
    ASSERT_TRUE(written->ok) << c.what;
    EXPECT_EQ(written->set.GetFpga2Version(), c.expectVersion) << c.what;
    std::vector<std::uint8_t> expected;
    if (*c.expectVersion) expected = c.expectFileBytes ? fileBytes : parts[1].image;
    EXPECT_EQ(ImageBytes(written->set.GetFpga2Image()), expected) << c.what;
    // The other three components come through unchanged (FPGA1's file is older).
    EXPECT_EQ(ImageBytes(written->set.GetFpga1Image()), parts[0].image) << c.what;
    EXPECT_EQ(ImageBytes(written->set.GetFirmApplImage()), parts[2].image) << c.what;
    EXPECT_EQ(ImageBytes(written->set.GetFirmBootImage()), parts[3].image) << c.what;
  }
}

TEST(RebuildPackageTest, EmptyNewerFpgaFileLeavesComponentAbsent) {
  ScratchDir dir;
  WriteFileBytes("KXFPGA1v9_9_9.rbf", {});
  UpdateDataSet set;
  ASSERT_EQ(set.RebuildPackage(kDate), 1);
  auto written = LoadWritten();
  ASSERT_TRUE(written->ok);
  EXPECT_EQ(written->set.GetFpga1Image().size, 0u);
  EXPECT_EQ(written->set.GetFpga1Version(), "");
}

TEST(RebuildPackageTest, SecondRebuildSameDayIsByteIdentical) {
  ScratchDir dir;
  WriteFileBytes("KXFPGA1v1_0_0.rbf", PatternBytes(1000, 1));
  WriteFileText("KXBootv1_0_0.s", SRecordText(PatternBytes(300, 2)));
  UpdateDataSet first;
  ASSERT_EQ(first.RebuildPackage(kDate), 1);
  auto once = ReadFileBytes("DERadori.kx");
  UpdateDataSet second;
  ASSERT_EQ(second.RebuildPackage(kDate), 1);
  EXPECT_EQ(ReadFileBytes("DERadori.kx"), once);
  // Another day: another seed, so every scrambled byte moves.
  UpdateDataSet third;
  ASSERT_EQ(third.RebuildPackage({2026, 12, 12}), 1);
  EXPECT_NE(ReadFileBytes("DERadori.kx"), once);
}

// Failures that must leave the old package byte for byte as it was, and no
// stray file behind.
TEST(RebuildPackageTest, FailuresKeepTheOldPackage) {
  struct Case {
    const char* what;
    std::string fileName;
    std::string contents;
  };
  const Case cases[] = {
      {"newer firmware the loader rejects", "KXFirmv9_0_0.s", "S0030000FC\nnot a record\n"},
      {"newer firmware beyond 1 MiB", "KXFirmv9_0_0.s", SRecordText({1, 2}, 0xFFFFF)},
      {"newer firmware without a data byte (empty)", "KXFirmv9_0_0.s", ""},
      {"newer firmware without a data byte (header alone)", "KXBootv9_0_0.s", "S0030000FC\n"},
      {"newer FPGA with a 32-character version",
       "KXFPGA1v" + std::string("9_0_0_") + std::string(26, '0') + ".rbf", "raw"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    auto old = StoredPackage(OldPackage(), 3);
    WriteFileBytes("DERadori.kx", old);
    WriteFileText(c.fileName, c.contents);
    UpdateDataSet set;
    EXPECT_EQ(set.RebuildPackage(kDate), 0) << c.what;
    EXPECT_EQ(ReadFileBytes("DERadori.kx"), old) << c.what;
    EXPECT_EQ(ListWorkingDirectory().size(), 2u) << c.what;
  }
}

TEST(RebuildPackageTest, Version31CharactersFits) {
  ScratchDir dir;
  std::string version = "9_0_0_" + std::string(25, '0');
  ASSERT_EQ(version.size(), 31u);
  WriteFileBytes("KXFPGA1v" + version + ".rbf", PatternBytes(9, 1));
  UpdateDataSet set;
  ASSERT_EQ(set.RebuildPackage(kDate), 1);
  auto written = LoadWritten();
  ASSERT_TRUE(written->ok);
  EXPECT_EQ(written->set.GetFpga1Version(), version);
}

// A package that is there but does not load must stop the rebuild and stay
// byte for byte as it was: a package of the component files alone would
// drop every component the old one carried.
TEST(RebuildPackageTest, PackageThatDoesNotLoadIsRefusedAndKept) {
  const auto good = StoredPackage(OldPackage(), 3);
  auto appended = good;
  appended.push_back(0);
  auto cut = good;
  cut.resize(cut.size() - 10);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    bool unreadable = false;  // mode 600 and read by another user
  };
  const Case cases[] = {
      {"one byte appended", appended},
      {"ten bytes cut off", cut},
      {"the header alone", std::vector<std::uint8_t>(good.begin(), good.begin() + 256)},
      {"shorter than the header", std::vector<std::uint8_t>(good.begin(), good.begin() + 100)},
      {"empty", {}},
      {"unreadable", good, true},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    WriteFileBytes("DERadori.kx", c.bytes);
    WriteFileBytes("KXFPGA2v9_0_0.rbf", PatternBytes(40, 8));
    if (c.unreadable) {
      ASSERT_EQ(chmod(".", 0755), 0);
      ASSERT_EQ(chmod("DERadori.kx", geteuid() == 0 ? 0600 : 0), 0);
    }
    const auto before = SnapshotFolder(".");
    RebuildProblem problem = RebuildProblem::kNone;
    if (c.unreadable) {
      // Root reads whatever the mode says: the rebuild runs as another user.
      problem = static_cast<RebuildProblem>(RunInChild([] {
        if (!GiveUpRoot()) return 255;
        UpdateDataSet set;
        return static_cast<int>(set.Rebuild(kDate).problem);
      }));
    } else {
      UpdateDataSet set;
      problem = set.Rebuild(kDate).problem;
      EXPECT_EQ(set.RebuildPackage(kDate), 0) << c.what;
    }
    EXPECT_EQ(problem, RebuildProblem::kPackageDoesNotLoad) << c.what;
    EXPECT_EQ(SnapshotFolder("."), before) << c.what;
  }
}

// The merge alone writes nothing and makes the very bytes the rebuild
// writes, with and without a package to merge with.
TEST(RebuildPackageTest, MergeInMemoryIsWhatTheRebuildWrites) {
  for (bool withPackage : {true, false}) {
    ScratchDir dir;
    if (withPackage) WriteFileBytes("DERadori.kx", StoredPackage(OldPackage(), 3));
    WriteFileBytes("KXFPGA2v9_0_0.rbf", PatternBytes(40, 8));
    WriteFileText("KXFirmv2_0_0.s", SRecordText(PatternBytes(200, 2), 0x4000));
    const auto before = SnapshotFolder(".");
    std::vector<std::uint8_t> merged;
    UpdateDataSet set;
    ASSERT_EQ(set.MergePackage(kDate, merged).problem, RebuildProblem::kNone) << withPackage;
    EXPECT_EQ(SnapshotFolder("."), before) << withPackage;

    UpdateDataSet fromMemory;
    ASSERT_TRUE(fromMemory.LoadPackageFromMemory(merged)) << withPackage;
    EXPECT_EQ(fromMemory.VerifyChecksum(), 1);
    EXPECT_EQ(fromMemory.GetFpga2Version(), "9_0_0");
    EXPECT_EQ(fromMemory.GetFirmApplVersion(), "2_0_0");
    EXPECT_EQ(fromMemory.GetFpga1Version(), withPackage ? "01_00_00" : "");

    ASSERT_EQ(UpdateDataSet().RebuildPackage(kDate), 1);
    EXPECT_EQ(ReadFileBytes("DERadori.kx"), merged) << withPackage;
  }
}

TEST(RebuildPackageTest, ReadOnlyFolderFailsCleanly) {
  if (geteuid() == 0) {
    // root writes into read-only folders; a file in the way of the rename is
    // the failure we can make here: the package name taken by a folder.
    ScratchDir dir;
    ASSERT_EQ(mkdir("DERadori.kx", 0755), 0);
    WriteFileBytes("KXFPGA1v1_0_0.rbf", PatternBytes(9, 1));
    UpdateDataSet set;
    EXPECT_EQ(set.RebuildPackage(kDate), 0);
    EXPECT_EQ(ListWorkingDirectory(), (std::vector<std::string>{"DERadori.kx", "KXFPGA1v1_0_0.rbf"}));
    return;
  }
  ScratchDir dir;
  WriteFileBytes("KXFPGA1v1_0_0.rbf", PatternBytes(9, 1));
  ASSERT_EQ(chmod(".", 0555), 0);
  UpdateDataSet set;
  EXPECT_EQ(set.RebuildPackage(kDate), 0);
  chmod(".", 0755);
}

}  // namespace
}  // namespace kx
