// kxupdate package / srec, run as a person or a script runs them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/kxupdate_runner.h"
#include "tests/package_fixture.h"
#include "tests/scratch_dir.h"
#include "tests/srecord_fixture.h"

namespace kx {
namespace {

using nlohmann::json;
using testing::Field;
using testing::Fields;
using testing::FixturePackage;
using testing::KxupdateRun;
using testing::KxupdateRunner;
using testing::PatternBytes;
using testing::ReadFileBytes;
using testing::ScratchDir;
using testing::SRecordText;
using testing::StoredPackage;
using testing::WriteFileBytes;
using testing::WriteFileText;

// kxupdate ARGS in the working directory.
KxupdateRun Kxupdate(std::string_view args) { return KxupdateRunner(KXUPDATE_PATH)(args); }

FixturePackage Sample() {
  return {{{"1_2_0", PatternBytes(400, 1)}, {}, {"1_2_3", PatternBytes(100, 2)}, {"1_0_0", PatternBytes(9, 3)}}};
}

TEST(PackageInspectTest, GoodPackageAsJson) {
  ScratchDir dir;
  WriteFileBytes("DERadori.kx", StoredPackage(Sample(), -42));
  const KxupdateRun run = Kxupdate("package inspect --json");
  EXPECT_EQ(run.status, 0) << run.err;
  const json inspected = run.Json();
  EXPECT_EQ(Fields(inspected, {"loaded", "checksum_ok", "seed", "length"}),
            json::parse("[true, true, -42, 765]"));
  EXPECT_EQ(Fields(Field(inspected, "components"), {"label", "kind", "version", "size"}),
            json::parse(R"json([["FPGA1", 1, "1_2_0", 400], ["FPGA2", 2, "", 0],
                            ["Firm(Appl)", 0, "1_2_3", 100], ["Firm(Boot)", 3, "1_0_0", 9]])json"));
}

TEST(PackageInspectTest, FailuresNameTheCheck) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;  // empty: no file at all
    const char* message;
  };
  auto good = StoredPackage(Sample(), 1);
  auto badSum = testing::PlainPackage(good);
  badSum[300] ^= 1;
  auto shorter = good;
  shorter.pop_back();
  const Case cases[] = {
      {"missing", {}, "no package file"},
      {"short", std::vector<std::uint8_t>(good.begin(), good.begin() + 200), "shorter than the 256-byte header"},
      {"length", shorter, "length test failed"},
      {"checksum", testing::StorePlain(badSum, 1), "checksum test failed"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    if (!c.bytes.empty()) WriteFileBytes("DERadori.kx", c.bytes);
    const KxupdateRun run = Kxupdate("package inspect");
    EXPECT_NE(run.status, 0) << c.what;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
  }
}

TEST(PackageVerifyTest, OkOrFailure) {
  ScratchDir dir;
  auto good = StoredPackage(Sample(), 1);
  WriteFileBytes("good.kx", good);
  auto plain = testing::PlainPackage(good);
  plain[256] ^= 1;
  WriteFileBytes("bad.kx", testing::StorePlain(plain, 1));
  KxupdateRun run = Kxupdate("package verify good.kx");
  EXPECT_EQ(run.out, "good.kx: OK\n");
  EXPECT_EQ(run.status, 0);
  run = Kxupdate("package verify bad.kx");
  EXPECT_NE(run.err.find("checksum test failed"), std::string::npos) << run.err;
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Kxupdate("package verify missing.kx").status, 1);
}

TEST(PackageBuildTest, ReproducibleWithDateOrSourceDateEpoch) {
  ScratchDir dir;
  WriteFileBytes("KXFPGA1v1_0_0.rbf", PatternBytes(100, 1));
  WriteFileText("KXFirmv1_0_1.s", SRecordText(PatternBytes(64, 2)));
  ASSERT_EQ(Kxupdate("package build --date 2026-12-11").status, 0);
  auto byDate = ReadFileBytes("DERadori.kx");
  EXPECT_EQ(Field(Kxupdate("package inspect --json").Json(), "seed"), 20261211);
  // 1796947200 is 2026-12-11 00:00:00 UTC.
  Kxupdate("package build");
  std::remove("DERadori.kx");
  const KxupdateRun run =
      KxupdateRunner(KXUPDATE_PATH).Set("SOURCE_DATE_EPOCH", "1796947200")("package build");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes("DERadori.kx"), byDate);
}

TEST(PackageBuildTest, FailuresPrintTheUpdatersMessages) {
  struct Case {
    const char* what;
    const char* name;
    std::string contents;
    const char* message;
  };
  const Case cases[] = {
      {"wrong kind", "KXFPGA1v1_0_0.rbf", SRecordText({1, 2, 3}), "(Error Code:08)"},
      {"boot file that is not S-records", "KXBootv2_0_0.s", "S0030000FC\nS1FF\n", "(Error Code:08)"},
      {"no files", "unrelated.txt", "x", "no component files"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    WriteFileText(c.name, c.contents);
    const KxupdateRun run = Kxupdate("package build --date 2026-01-01");
    EXPECT_NE(run.status, 0) << c.what;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
  }
}

TEST(PackageBuildTest, RebuildFailureShows403AndKeepsOldPackage) {
  ScratchDir dir;
  auto old = StoredPackage(Sample(), 5);
  WriteFileBytes("DERadori.kx", old);
  // Passes the kind check; only the rebuild refuses a version too long for
  // the header.
  WriteFileBytes("KXFPGA1v9_0_0_" + std::string(30, '0') + ".rbf", PatternBytes(10, 1));
  const KxupdateRun run = Kxupdate("package build --date 2026-01-01");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("(Error Code:03)"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFileBytes("DERadori.kx"), old);
}

TEST(PackageBuildTest, RejectsBadDate) {
  ScratchDir dir;
  EXPECT_EQ(Kxupdate("package build --date 2026-02-30").status, 64);
}

TEST(PackageExtractTest, WritesEachImage) {
  ScratchDir dir;
  auto parts = Sample();
  WriteFileBytes("DERadori.kx", StoredPackage(parts, 9));
  ASSERT_EQ(Kxupdate("package extract --out parts").status, 0);
  EXPECT_EQ(ReadFileBytes("parts/FPGA1.bin"), parts[0].image);
  EXPECT_FALSE(testing::FileExists("parts/FPGA2.bin"));
  EXPECT_EQ(ReadFileBytes("parts/Firm-Appl.bin"), parts[2].image);
  EXPECT_EQ(ReadFileBytes("parts/Firm-Boot.bin"), parts[3].image);
}

TEST(SRecordCommandTest, WritesImageOrSaysWhy) {
  ScratchDir dir;
  auto image = PatternBytes(1000, 4);
  WriteFileText("in.s", SRecordText(image, 0x2000));
  ASSERT_EQ(Kxupdate("srec in.s -o out.bin").status, 0);
  EXPECT_EQ(ReadFileBytes("out.bin"), image);

  WriteFileText("bad.s", "S00600004844521B\nS1130000ZZ\n");
  const KxupdateRun run = Kxupdate("srec bad.s -o bad.bin");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("bad.s: line 2: not an S-record"), std::string::npos) << run.err;
  EXPECT_FALSE(testing::FileExists("bad.bin"));
  EXPECT_EQ(Kxupdate("srec in.s").status, 64);
}

}  // namespace
}  // namespace kx
