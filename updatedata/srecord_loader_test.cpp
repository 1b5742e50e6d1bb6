#include "updatedata/srecord_loader.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tests/child_process.h"
#include "tests/scratch_dir.h"

namespace kx {
namespace {

using ::kx::testing::ScratchDir;
using ::kx::testing::WriteFileText;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kCapacity = 0x100000;

// Checked by hand: header "HDR", 00..0F at 0x8000, 10..1F at 0x8020, end.
constexpr const char* kHeader = "S00600004844521B";
constexpr const char* kLow16 = "S1138000000102030405060708090A0B0C0D0E0FF4";
constexpr const char* kHigh16 = "S1138020101112131415161718191A1B1C1D1E1FD4";
constexpr const char* kEnd = "S9030000FC";

std::string Hex(std::uint32_t value, int digits) {
  char text[9];
  std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
  return text;
}

int AddressBytes(int type) {
  switch (type) {
    case 2:
    case 8:
      return 3;
    case 3:
    case 7:
      return 4;
    default:
      return 2;
  }
}

// A record line without line end, with a correct checksum.
std::string Rec(int type, std::uint32_t address, const Bytes& data) {
  const int width = AddressBytes(type);
  Bytes bytes{static_cast<std::uint8_t>(width + data.size() + 1)};
  for (int i = width - 1; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(address >> 8 * i));
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  std::string line = "S" + std::to_string(type);
  for (std::uint8_t b : bytes) {
    sum += b;
    line += Hex(b, 2);
  }
  return line + Hex(~sum & 0xFF, 2);
}

Bytes Seq(std::uint8_t first, std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

std::string Lines(const std::vector<std::string>& lines, const std::string& eol = "\n") {
  std::string text;
  for (const auto& line : lines) text += line + eol;
  return text;
}

// An image of `length` bytes of 0xFF with the given runs written in order.
Bytes Image(std::size_t length, const std::vector<std::pair<std::size_t, Bytes>>& runs) {
  Bytes image(length, 0xFF);
  for (const auto& [offset, bytes] : runs) {
    for (std::size_t i = 0; i < bytes.size(); ++i) image.at(offset + i) = bytes[i];
  }
  return image;
}

struct Loaded {
  bool ok = false;
  Bytes image;  // buffer[0, length) when ok
};

class SRecordLoaderTest : public ::testing::Test {
 protected:
  Loaded Load(const std::string& text, std::uint32_t capacity = kCapacity) {
    WriteFileText("in.s", text);
    Bytes buffer(capacity);
    std::int32_t length = -1;
    Loaded result;
    result.ok = SRecordLoader().LoadSRecordFile("in.s", buffer.data(), capacity, &length);
    if (result.ok) {
      EXPECT_GE(length, 0);
      EXPECT_LE(static_cast<std::uint32_t>(length), capacity);
      result.image.assign(buffer.begin(), buffer.begin() + length);
    }
    return result;
  }

  ScratchDir dir_;
};

TEST_F(SRecordLoaderTest, RefusesBadArgumentsWithoutTouchingOutputs) {
  WriteFileText("good.s", Lines({kHeader, kLow16, kEnd}));
  std::filesystem::create_directory("folder.s");
  struct Case {
    const char* what;
    std::string path;
    bool nullBuffer;
    bool nullLength;
  };
  const Case cases[] = {
      {"empty path", "", false, false},       {"null buffer", "good.s", true, false},
      {"null length", "good.s", false, true}, {"missing file", "missing.s", false, false},
      {"folder", "folder.s", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes buffer(64, 0x5A);
    std::int32_t length = -7;
    EXPECT_FALSE(SRecordLoader().LoadSRecordFile(c.path, c.nullBuffer ? nullptr : buffer.data(), 64,
                                                 c.nullLength ? nullptr : &length));
    EXPECT_EQ(buffer, Bytes(64, 0x5A));
    EXPECT_EQ(length, -7);
  }
}

TEST_F(SRecordLoaderTest, FillsTheWholeCapacityAndNothingBeyond) {
  WriteFileText("in.s", Lines({kHeader, Rec(1, 0, {0x11})}));
  Bytes buffer(80, 0x00);
  std::int32_t length = -1;
  ASSERT_TRUE(SRecordLoader().LoadSRecordFile("in.s", buffer.data(), 64, &length));
  EXPECT_EQ(length, 1);
  EXPECT_EQ(buffer[0], 0x11);
  for (std::size_t i = 1; i < 64; ++i) ASSERT_EQ(buffer[i], 0xFF) << i;
  for (std::size_t i = 64; i < 80; ++i) ASSERT_EQ(buffer[i], 0x00) << i;
}

TEST_F(SRecordLoaderTest, FilesWithoutDataLoadEmpty) {
  const std::string cases[] = {"", "\x1A", "\x1AS1 not read\n", Lines({kHeader}),
                               Lines({kHeader, Rec(1, 0x100, {}), kEnd})};
  for (const auto& text : cases) {
    SCOPED_TRACE(text);
    Loaded loaded = Load(text);
    EXPECT_TRUE(loaded.ok);
    EXPECT_TRUE(loaded.image.empty());
  }
}

// Load() tells why a load failed and how many data bytes it found: the
// kind check counts a file without a single data byte as no firmware.
TEST_F(SRecordLoaderTest, LoadSaysWhyAndCountsDataBytes) {
  std::string badData = kLow16;
  badData.back() = '5';
  struct Case {
    const char* what;
    std::string text;
    SRecordProblem problem;
    std::uint64_t dataBytes;
  };
  const Case cases[] = {
      {"two records", Lines({kHeader, kLow16, kHigh16, kEnd}), SRecordProblem::kNone, 32},
      {"a record written twice counts twice", Lines({kHeader, kLow16, kLow16}),
       SRecordProblem::kNone, 32},
      {"empty", "", SRecordProblem::kNone, 0},
      {"Ctrl-Z first", "\x1A" + Lines({kHeader, kLow16}), SRecordProblem::kNone, 0},
      {"header alone", Lines({kHeader}), SRecordProblem::kNone, 0},
      {"header and end record", Lines({kHeader, kEnd}), SRecordProblem::kNone, 0},
      {"data records without data", Lines({kHeader, Rec(1, 0x10, {}), Rec(1, 0x20, {})}),
       SRecordProblem::kNone, 0},
      {"CR alone", "\r", SRecordProblem::kNotARecord, 0},
      {"no header", Lines({kLow16}), SRecordProblem::kNoHeader, 0},
      {"empty line", Lines({kHeader, kLow16, ""}), SRecordProblem::kNotARecord, 16},
      {"wrong data checksum", Lines({kHeader, badData}), SRecordProblem::kBadChecksum, 0},
      {"beyond the capacity", Lines({kHeader, Rec(3, kCapacity - 1, {1, 2})}),
       SRecordProblem::kBeyondCapacity, 0},
  };
  for (const Case& c : cases) {
    WriteFileText("in.s", c.text);
    Bytes buffer(kCapacity);
    const SRecordLoad load = SRecordLoader().Load("in.s", buffer.data(), kCapacity);
    EXPECT_EQ(load.problem, c.problem) << c.what;
    EXPECT_EQ(load.dataBytes, c.dataBytes) << c.what;
    EXPECT_EQ(static_cast<bool>(load), c.problem == SRecordProblem::kNone) << c.what;
  }
}

// A FIFO named like a firmware file is refused at once: opened for reading
// as a file it would wait for a writer for ever (the child's alarm guards).
TEST_F(SRecordLoaderTest, RefusesAFifoWithoutWaiting) {
  ASSERT_EQ(mkfifo("fifo.s", 0644), 0);
  const int problem = ::kx::testing::RunInChild([] {
    Bytes buffer(64, 0x5A);
    const SRecordLoad load = SRecordLoader().Load("fifo.s", buffer.data(), 64);
    if (buffer != Bytes(64, 0x5A) || load.problem != SRecordProblem::kCannotOpen) return 254;
    return static_cast<int>(load.file.problem);
  });
  EXPECT_EQ(problem, static_cast<int>(platform::FileProblem::kNotRegular));
}

// Where the image starts and ends, and what fills it.
struct ExtentCase {
  const char* name;
  std::vector<std::string> records;  // between header and end record
  Bytes expected;
};

void PrintTo(const ExtentCase& c, std::ostream* os) { *os << c.name; }

class SRecordExtentTest : public SRecordLoaderTest,
                          public ::testing::WithParamInterface<ExtentCase> {};

TEST_P(SRecordExtentTest, LoadsTheExpectedImage) {
  std::vector<std::string> lines{kHeader};
  lines.insert(lines.end(), GetParam().records.begin(), GetParam().records.end());
  lines.push_back(kEnd);
  Loaded loaded = Load(Lines(lines));
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.image, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SRecordExtentTest,
    ::testing::Values(
        ExtentCase{"GapBetweenRecordsIsFF",
                   {kLow16, kHigh16},
                   Image(0x30, {{0x00, Seq(0x00, 16)}, {0x20, Seq(0x10, 16)}})},
        ExtentCase{"RecordOrderDoesNotMatter",
                   {kHigh16, kLow16},
                   Image(0x30, {{0x00, Seq(0x00, 16)}, {0x20, Seq(0x10, 16)}})},
        ExtentCase{"ShorterLaterRecordOverwritesButDoesNotShorten",
                   {Rec(1, 0, Seq(0xA0, 32)), Rec(1, 0x10, Bytes(4, 0x55))},
                   Image(0x20, {{0, Seq(0xA0, 32)}, {0x10, Bytes(4, 0x55)}})},
        ExtentCase{"SingleRecordAtZeroKeepsItsBytes", {Rec(1, 0, Seq(1, 5))}, Seq(1, 5)},
        ExtentCase{"EmptyDataRecordsMarkTheExtent",
                   {Rec(1, 0, {}), Rec(1, 0x8000, Seq(7, 4)), Rec(1, 0x9000, {})},
                   Image(0x9000, {{0x8000, Seq(7, 4)}})},
        ExtentCase{"EmptyDataRecordAloneGivesAnEmptyImage", {Rec(1, 0x40, {})}, Bytes{}},
        ExtentCase{"WideAddresses",
                   {Rec(3, 0x01234A, Seq(0xB0, 2)), Rec(2, 0x012345, Seq(0xC0, 3))},
                   Image(7, {{0, Seq(0xC0, 3)}, {5, Seq(0xB0, 2)}})},
        ExtentCase{"LowerCaseHexDigits", {"S1078000deadbeef40"}, Bytes{0xDE, 0xAD, 0xBE, 0xEF}},
        ExtentCase{"TextAfterTheChecksumIsIgnored",
                   {Rec(1, 0x10, Seq(3, 2)) + " ;comment S1zz"},
                   Seq(3, 2)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SRecordLoaderTest, SkipsAllButDataRecordsAfterTheHeaderUnread) {
  Loaded loaded = Load(Lines({
      kHeader, Rec(1, 0, Seq(0x40, 4)),
      "S5030001FF",  // wrong checksum
      "S0030000FF",  // second header, wrong checksum
      "SX zz",       // type that is not a digit reads as 0
      "S", "S4", "S6 anything",
      "S70500000000FF",  // wrong checksums in the termination records
      "S804000000FF", "S9030000FF",
      Rec(1, 4, Seq(0x50, 4)),  // after the termination record: still loaded
  }));
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.image, Image(8, {{0, Seq(0x40, 4)}, {4, Seq(0x50, 4)}}));
}

TEST_F(SRecordLoaderTest, FirstLineMustBeAHeaderWithCorrectChecksum) {
  const std::pair<std::string, bool> cases[] = {
      {kHeader, true},
      {"S00600004844521b", true},
      {"SX0600004844521B", true},  // a type that is not a digit reads as 0
      {"S0030000FC", true},
      {"S00600004844521C", false},
      {"S0060000484452", false},   // checksum missing
      {"S00600004844521", false},  // half a checksum
      {"S00200FD0000", false},     // no room for address and checksum
      {"s00600004844521B", false},
      {" S00600004844521B", false},
      {"", false},
      {"S", false},
      {kLow16, false},
      {Rec(2, 0, {1}), false},
      {Rec(3, 0, {1}), false},
      {"S5030000FC", false},
      {"S70500000000FA", false},
      {"S804000000FB", false},
      {kEnd, false},
  };
  for (const auto& [first, ok] : cases) {
    SCOPED_TRACE(first);
    EXPECT_EQ(Load(Lines({first, Rec(1, 0, {1, 2}), kEnd})).ok, ok);
  }
}

// The good record that most of the bad lines below are made from.
const std::string& GoodRecord() {
  static const std::string good = Rec(1, 0x20, Seq(1, 4));  // S1070020 01020304 cs
  return good;
}

// Bad lines, each placed between good records. Every one fails the load, and
// none may be read past its end: the sanitizer build checks the memory, and
// the good record placed right before each bad line makes a reader that looks
// past a cut line find that record's characters there and accept it.
std::vector<std::string> MalformedLines() {
  const std::string& good = GoodRecord();
  std::vector<std::string> lines = {
      "",
      "\r",  // with an LF after it, an empty line
      " " + good,
      "s" + good.substr(1),
      "S1",
      "S2",
      "S3",
      "S11",
      good.substr(0, good.size() - 1),                                     // half a checksum
      good.substr(0, good.size() - 2),                                     // no checksum
      good.substr(0, 12),                                                  // data cut short
      good.substr(0, good.size() - 1) + "\x1A",                            // Ctrl-Z cuts the line
      good.substr(0, good.size() - 1) + (good.back() == '0' ? "1" : "0"),  // wrong checksum
      good.substr(0, 10) + "\r" + good.substr(10),  // a lone CR stays in the line
      std::string(good).replace(2, 2, "08"),        // count one too large
  };
  // Non-hex characters in the byte count, the address, the data and the checksum.
  for (std::size_t pos : {2u, 3u, 5u, 7u, 9u, 15u, 16u, 17u}) {
    for (char bad : {'G', 'g', ' ', '\0', '-'}) {
      std::string line = good;
      line[pos] = bad;
      lines.push_back(line);
    }
  }
  // Byte counts with no room for address and checksum, their checksum set so
  // that a reader trusting the count would accept them, and padding after.
  for (int type = 1; type <= 3; ++type) {
    for (int count = 0; count <= AddressBytes(type); ++count) {
      std::string line = "S" + std::to_string(type) + Hex(count, 2);
      for (int i = 1; i < count; ++i) line += "00";
      if (count > 0) line += Hex(~count & 0xFF, 2);
      lines.push_back(line + "0000000000000000");
    }
  }
  return lines;
}

TEST_F(SRecordLoaderTest, MalformedDataLinesFailTheLoad) {
  const std::string before = Lines({kHeader, Rec(1, 0, Seq(0, 4)), GoodRecord()});
  const std::string after = Lines({Rec(1, 4, Seq(4, 4)), kEnd});
  ASSERT_TRUE(Load(before + after, 0x100).ok);
  for (const auto& line : MalformedLines()) {
    SCOPED_TRACE(::testing::PrintToString(line));
    EXPECT_FALSE(Load(before + line + "\n" + after, 0x100).ok);
    EXPECT_FALSE(Load(before + line + "\r\n" + after, 0x100).ok);
    if (!line.empty()) {
      EXPECT_FALSE(Load(before + line, 0x100).ok);  // as the last line, without line end
    }
  }
}

TEST_F(SRecordLoaderTest, DataMustEndWithinTheCapacity) {
  constexpr std::uint32_t kSmall = 0x40;
  struct Case {
    std::string record;
    bool ok;
    std::int32_t length;
  };
  const Case cases[] = {
      {Rec(1, 0x3C, Seq(1, 4)), true, 0x40},  // ends at the capacity
      {Rec(1, 0x40, {}), true, 0x40},         // no data, at the capacity: marks the end
      {Rec(1, 0x3D, Seq(1, 4)), false, 0},    // one byte beyond
      {Rec(1, 0x41, {}), false, 0},
      {Rec(3, 0xFFFFFFFE, Seq(1, 4)), false, 0},  // wraps to 2 in 32 bits
      {Rec(3, 0xFFFFFFFF, {}), false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    WriteFileText("in.s", Lines({kHeader, Rec(1, 0, {0xAA}), c.record, kEnd}));
    Bytes buffer(kSmall + 16, 0x00);
    std::int32_t length = -1;
    EXPECT_EQ(SRecordLoader().LoadSRecordFile("in.s", buffer.data(), kSmall, &length), c.ok);
    if (c.ok) {
      EXPECT_EQ(length, c.length);
    }
    for (std::size_t i = kSmall; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0x00) << i;
  }
}

TEST_F(SRecordLoaderTest, ReadsLinesAsATextModeStream) {
  const Bytes both = Image(0x30, {{0x00, Seq(0x00, 16)}, {0x20, Seq(0x10, 16)}});
  const std::string records = Lines({kHeader, kLow16, kHigh16, kEnd});
  struct Case {
    std::string text;
    bool ok;
    Bytes image;
  };
  const Case cases[] = {
      {Lines({kHeader, kLow16, kHigh16, kEnd}, "\r\n"), true, both},
      {Lines({kHeader, kLow16, kHigh16}) + kEnd, true, both},  // no final line end
      {records + "\x1A" + "S1 junk\n\n", true, both},
      {records + "\x1A" + Rec(1, 0x40, {1}) + "\n", true, both},
      {Lines({kHeader, kLow16, kHigh16, kEnd}, "\r\r\n"), true, both},  // CR after the checksum
      // A CR alone ends no line: the file is one header line with text after it.
      {Lines({kHeader, kLow16, kHigh16, kEnd}, "\r"), true, {}},
      {Lines({kHeader, kLow16, kHigh16, kEnd}, "\n\r\n"), false, {}},
      {records + "\n", false, {}},    // empty last line
      {records + "\r\n", false, {}},  // the same in CR LF
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    Loaded loaded = Load(c.text);
    EXPECT_EQ(loaded.ok, c.ok);
    if (c.ok) {
      EXPECT_EQ(loaded.image, c.image);
    }
  }
}

TEST_F(SRecordLoaderTest, LinesHoldAtMost511CharactersWithTheirLineEnd) {
  const std::string full = Rec(1, 0, Seq(0, 250));  // 510 characters
  ASSERT_EQ(full.size(), 510u);
  const std::string next = Rec(1, 0x100, Seq(0xE0, 3));
  const Bytes image = Image(0x103, {{0, Seq(0, 250)}, {0x100, Seq(0xE0, 3)}});
  const std::pair<std::string, bool> cases[] = {
      {full + "\n" + next + "\n", true},
      {full + "\r\n" + next + "\r\n", true},  // the dropped CR does not count
      {full + " \n" + next + "\n", false},    // the LF comes as an empty second piece
      {full + " \r\n" + next + "\n", false},
      {next + "\n" + full + " ", true},  // 511 characters at the end of the file
      // The second 511-character piece of a line is read like a line of its own.
      {full + " " + next + "\n", true},
      {full + next + "\n", false},  // second piece starts inside the record
  };
  for (const auto& [body, ok] : cases) {
    SCOPED_TRACE(::testing::PrintToString(body.substr(500)));
    Loaded loaded = Load(Lines({kHeader}) + body);
    EXPECT_EQ(loaded.ok, ok);
    if (ok) {
      EXPECT_EQ(loaded.image, image);
    }
  }
}

// The loader reads the file in 64 KiB chunks: a chunk end may cut a line
// anywhere, also between CR and LF, or right at the end of a full-length piece.
// Two skipped lines of spaces move a run of full-length record lines so that
// the first chunk ends right before byte `cut` of one of them.
TEST_F(SRecordLoaderTest, ChunkEndsDoNotChangeTheLines) {
  constexpr std::size_t kChunk = 64 * 1024;
  std::vector<std::string> records;
  std::vector<std::pair<std::size_t, Bytes>> runs;
  for (std::uint32_t i = 0; i < 140; ++i) {  // 140 lines of 511 or 512 bytes: over 64 KiB
    Bytes data = Seq(static_cast<std::uint8_t>(i * 7), 250);
    records.push_back(Rec(1, i * 250, data));
    runs.push_back({i * 250, data});
  }
  const Bytes expected = Image(140 * 250, runs);
  for (const std::string eol : {"\n", "\r\n"}) {
    const std::string body = Lines(records, eol);
    const std::size_t lineSize = records[0].size() + eol.size();
    for (std::size_t cut : {0, 1, 2, 255, 509, 510, 511}) {
      if (cut >= lineSize) continue;
      // The prefix is 18 + 3 * eol bytes plus the shift.
      const std::size_t fixed = std::strlen(kHeader) + 2 + 3 * eol.size();
      const std::size_t shift = (kChunk - fixed - cut) % lineSize;
      const std::string prefix = kHeader + eol + "S" + std::string(shift / 2, ' ') + eol + "S" +
                                 std::string(shift - shift / 2, ' ') + eol;
      ASSERT_EQ((kChunk - prefix.size()) % lineSize, cut);
      Loaded loaded = Load(prefix + body, 0x10000);
      ASSERT_TRUE(loaded.ok) << "cut " << cut << " eol size " << eol.size();
      ASSERT_EQ(loaded.image, expected) << "cut " << cut << " eol size " << eol.size();
    }
  }
}

TEST_F(SRecordLoaderTest, RejectsABinaryFile) {
  // An FPGA image: several MiB of bytes that are not S-record text.
  std::string binary(4 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 131 + 7);
  binary[0] = static_cast<char>(0xFF);
  EXPECT_FALSE(Load(binary).ok);
  binary[0] = 'S';
  EXPECT_FALSE(Load(binary).ok);
}

}  // namespace
}  // namespace kx
