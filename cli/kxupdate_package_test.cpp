// kxupdate package / srec, run as a person or a script runs them.
#include <gtest/gtest.h>

#include "tests/package_fixture.h"
#include "tests/scratch_dir.h"
#include "tests/srecord_fixture.h"

namespace kx {
namespace {

using testing::CaptureCommand;
using testing::FixturePackage;
using testing::PatternBytes;
using testing::ReadFileBytes;
using testing::ScratchDir;
using testing::SRecordText;
using testing::StoredPackage;
using testing::WriteFileBytes;
using testing::WriteFileText;

std::string Kxupdate(const std::string& args, int* status, bool withStderr = false) {
  return CaptureCommand(std::string("LANGUAGE= LC_ALL=C ") + KXUPDATE_PATH + " " + args +
                            (withStderr ? " 2>&1" : " 2>/dev/null"),
                        status);
}

// Python's json module reads what --json printed and answers one expression.
std::string JsonField(const std::string& json, const std::string& expression) {
  WriteFileText("out.json", json);
  WriteFileText("field.py",
                "import json\n"
                "d = json.load(open('out.json'))\n"
                "v = (" + expression + ")\n"
                "print(' '.join(map(str, v)) if isinstance(v, tuple) else v)\n");
  int status = 0;
  std::string value = CaptureCommand("python3 field.py", &status);
  EXPECT_EQ(status, 0) << json;
  if (!value.empty() && value.back() == '\n') value.pop_back();
  return value;
}

FixturePackage Sample() {
  return {{{"1_2_0", PatternBytes(400, 1)}, {}, {"1_2_3", PatternBytes(100, 2)}, {"1_0_0", PatternBytes(9, 3)}}};
}

TEST(PackageInspectTest, GoodPackageAsJson) {
  ScratchDir dir;
  WriteFileBytes("DERadori.kx", StoredPackage(Sample(), -42));
  int status = -1;
  std::string out = Kxupdate("package inspect --json", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(JsonField(out, "d['loaded'], d['checksum_ok'], d['seed'], d['length']"),
            "True True -42 765");
  EXPECT_EQ(JsonField(out, "[(c['label'], c['kind'], c['version'], c['size']) for c in d['components']]"),
            "[('FPGA1', 1, '1_2_0', 400), ('FPGA2', 2, '', 0), ('Firm(Appl)', 0, '1_2_3', 100), "
            "('Firm(Boot)', 3, '1_0_0', 9)]");
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
    int status = 0;
    std::string out = Kxupdate("package inspect", &status, true);
    EXPECT_NE(status, 0) << c.what;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.what << ": " << out;
  }
}

TEST(PackageVerifyTest, OkOrFailure) {
  ScratchDir dir;
  auto good = StoredPackage(Sample(), 1);
  WriteFileBytes("good.kx", good);
  auto plain = testing::PlainPackage(good);
  plain[256] ^= 1;
  WriteFileBytes("bad.kx", testing::StorePlain(plain, 1));
  int status = -1;
  EXPECT_EQ(Kxupdate("package verify good.kx", &status), "good.kx: OK\n");
  EXPECT_EQ(status, 0);
  EXPECT_NE(Kxupdate("package verify bad.kx", &status, true).find("checksum test failed"), std::string::npos);
  EXPECT_EQ(status, 1);
  Kxupdate("package verify missing.kx", &status);
  EXPECT_EQ(status, 1);
}

TEST(PackageBuildTest, ReproducibleWithDateOrSourceDateEpoch) {
  ScratchDir dir;
  WriteFileBytes("KXFPGA1v1_0_0.rbf", PatternBytes(100, 1));
  WriteFileText("KXFirmv1_0_1.s", SRecordText(PatternBytes(64, 2)));
  int status = -1;
  Kxupdate("package build --date 2026-12-11", &status);
  ASSERT_EQ(status, 0);
  auto byDate = ReadFileBytes("DERadori.kx");
  EXPECT_EQ(JsonField(Kxupdate("package inspect --json", &status), "d['seed']"), "20261211");
  // 1796947200 is 2026-12-11 00:00:00 UTC.
  Kxupdate("package build", &status);
  std::remove("DERadori.kx");
  CaptureCommand(std::string("SOURCE_DATE_EPOCH=1796947200 ") + KXUPDATE_PATH + " package build",
                 &status);
  ASSERT_EQ(status, 0);
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
    int status = 0;
    std::string out = Kxupdate("package build --date 2026-01-01", &status, true);
    EXPECT_NE(status, 0) << c.what;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.what << ": " << out;
  }
}

TEST(PackageBuildTest, RebuildFailureShows403AndKeepsOldPackage) {
  ScratchDir dir;
  auto old = StoredPackage(Sample(), 5);
  WriteFileBytes("DERadori.kx", old);
  // Passes the kind check; only the rebuild refuses a version too long for
  // the header.
  WriteFileBytes("KXFPGA1v9_0_0_" + std::string(30, '0') + ".rbf", PatternBytes(10, 1));
  int status = 0;
  std::string out = Kxupdate("package build --date 2026-01-01", &status, true);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("(Error Code:03)"), std::string::npos) << out;
  EXPECT_EQ(ReadFileBytes("DERadori.kx"), old);
}

TEST(PackageBuildTest, RejectsBadDate) {
  ScratchDir dir;
  int status = 0;
  Kxupdate("package build --date 2026-02-30", &status);
  EXPECT_EQ(status, 64);
}

TEST(PackageExtractTest, WritesEachImage) {
  ScratchDir dir;
  auto parts = Sample();
  WriteFileBytes("DERadori.kx", StoredPackage(parts, 9));
  int status = -1;
  Kxupdate("package extract --out parts", &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(ReadFileBytes("parts/FPGA1.bin"), parts[0].image);
  EXPECT_FALSE(testing::FileExists("parts/FPGA2.bin"));
  EXPECT_EQ(ReadFileBytes("parts/Firm-Appl.bin"), parts[2].image);
  EXPECT_EQ(ReadFileBytes("parts/Firm-Boot.bin"), parts[3].image);
}

TEST(SRecordCommandTest, WritesImageOrSaysWhy) {
  ScratchDir dir;
  auto image = PatternBytes(1000, 4);
  WriteFileText("in.s", SRecordText(image, 0x2000));
  int status = -1;
  Kxupdate("srec in.s -o out.bin", &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(ReadFileBytes("out.bin"), image);

  WriteFileText("bad.s", "S00600004844521B\nS1130000ZZ\n");
  std::string out = Kxupdate("srec bad.s -o bad.bin", &status, true);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("not a loadable S-record file"), std::string::npos) << out;
  EXPECT_FALSE(testing::FileExists("bad.bin"));
  Kxupdate("srec in.s", &status);
  EXPECT_EQ(status, 64);
}

}  // namespace
}  // namespace kx
