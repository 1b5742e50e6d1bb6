// The loader judged by two independent S-record tools, GNU objcopy and
// srec_cat: whatever they write from a binary must load back to that binary,
// and what they make of our own fixture must equal our image. The tools are
// part of the build environment; a missing tool fails these tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tests/scratch_dir.h"
#include "updatedata/srecord_loader.h"

namespace kx {
namespace {

using ::kx::testing::CaptureCommand;
using ::kx::testing::ReadFileBytes;
using ::kx::testing::ReadFileText;
using ::kx::testing::ScratchDir;
using ::kx::testing::WriteFileBytes;
using ::kx::testing::WriteFileText;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kCapacity = 0x100000;

void RequireTool(const char* tool) {
  int status = -1;
  CaptureCommand(std::string("command -v ") + tool + " >/dev/null 2>&1", &status);
  ASSERT_EQ(status, 0) << tool << " is not installed (packages binutils and srecord)";
}

// Runs a command in the working directory; fails the test with its output
// unless it exits with 0.
void RunTool(const std::string& command) {
  int status = -1;
  const std::string output = CaptureCommand(command + " 2>&1", &status);
  ASSERT_EQ(status, 0) << command << "\n" << output;
}

Bytes RandomBytes(std::uint32_t seed, std::size_t size) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random() >> 24);
  return bytes;
}

struct Loaded {
  bool ok = false;
  Bytes image;
};

Loaded LoadFile(const std::string& name) {
  Bytes buffer(kCapacity);
  std::int32_t length = -1;
  Loaded result;
  result.ok = SRecordLoader().LoadSRecordFile(name, buffer.data(), kCapacity, &length);
  if (result.ok && length >= 0) result.image.assign(buffer.begin(), buffer.begin() + length);
  return result;
}

struct Writer {
  const char* name;
  const char* tool;
  const char* command;      // converts in.bin to out.s
  const char* mustContain;  // text the variant has to produce ("" for none)
};

void PrintTo(const Writer& writer, std::ostream* os) { *os << writer.name; }

class SRecordFromToolsTest : public ::testing::TestWithParam<Writer> {};

TEST_P(SRecordFromToolsTest, LoadsBackTheBinary) {
  const Writer& writer = GetParam();
  RequireTool(writer.tool);
  ScratchDir dir;
  struct Input {
    std::uint32_t seed;
    std::size_t size;
  };
  // One byte, a partial last record, past 64 KiB (three-byte addresses), ~100 KiB.
  for (const Input input : {Input{1, 1}, Input{2, 1000}, Input{3, 65536 + 17}, Input{4, 102400}}) {
    SCOPED_TRACE(std::to_string(input.size) + " bytes");
    const Bytes binary = RandomBytes(input.seed, input.size);
    WriteFileBytes("in.bin", binary);
    ASSERT_NO_FATAL_FAILURE(RunTool(writer.command));
    const std::string text = ReadFileText("out.s");
    ASSERT_EQ(text.substr(0, 2), "S0") << "the tool wrote no header first";
    ASSERT_NE(text.find(writer.mustContain), std::string::npos) << writer.mustContain;
    Loaded loaded = LoadFile("out.s");
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.image, binary);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Writers, SRecordFromToolsTest,
    ::testing::Values(
        Writer{"Objcopy", "objcopy", "objcopy -I binary -O srec in.bin out.s", ""},
        Writer{"ObjcopyForceS3", "objcopy", "objcopy -I binary -O srec --srec-forceS3 in.bin out.s",
               "\nS3"},
        Writer{"ObjcopyOneByteRecords", "objcopy",
               "objcopy -I binary -O srec --srec-len=1 in.bin out.s", ""},
        // 248 data bytes make the longest S3 line that fits the 511-character line
        // (objcopy ends its lines with CR LF; srec_cat with LF).
        Writer{"ObjcopyLongestS3Records", "objcopy",
               "objcopy -I binary -O srec --srec-forceS3 --srec-len=248 in.bin out.s", "\nS3"},
        Writer{"ObjcopyMovedUp", "objcopy",
               "objcopy -I binary -O srec --change-addresses 0x1000 in.bin out.s", "1000"},
        Writer{"SrecCat", "srec_cat", "srec_cat in.bin -binary -o out.s -motorola", ""},
        Writer{"SrecCatOffset", "srec_cat",
               "srec_cat in.bin -binary -offset 0x1000 -o out.s -motorola", "1000"}),
    [](const auto& info) { return std::string(info.param.name); });

// Ascending, non-overlapping records with gaps, all three data record types,
// and correct count and end records: a file both tools read the way we do.
constexpr const char* kFixture =
    "S00600004844521B\n"
    "S1138000000102030405060708090A0B0C0D0E0FF4\n"
    "S1138020101112131415161718191A1B1C1D1E1FD4\n"
    "S20C008040202122232425262717\n"
    "S3090000804828292A2B88\n"
    "S309000080FFC0C1C2C371\n"
    "S5030005F7\n"
    "S9030000FC\n";

TEST(SRecordToToolsTest, ToolsMakeOurImageOfOurFixture) {
  RequireTool("objcopy");
  RequireTool("srec_cat");
  ScratchDir dir;
  WriteFileText("fixture.s", kFixture);
  Loaded loaded = LoadFile("fixture.s");
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.image.size(), 0x103u);

  // objcopy starts its binary at the lowest address, srec_cat at address 0.
  ASSERT_NO_FATAL_FAILURE(
      RunTool("objcopy -I srec -O binary --gap-fill 0xFF fixture.s objcopy.bin"));
  EXPECT_EQ(ReadFileBytes("objcopy.bin"), loaded.image) << "objcopy";

  ASSERT_NO_FATAL_FAILURE(
      RunTool("srec_cat '(' fixture.s -motorola -fill 0xFF -over fixture.s -motorola ')' "
              "-offset -0x8000 -o srec_cat.bin -binary"));
  EXPECT_EQ(ReadFileBytes("srec_cat.bin"), loaded.image) << "srec_cat";
}

}  // namespace
}  // namespace kx
