// The one reason each failure of the update data gives: the S-record
// loader's line and fault, the kind check's file, the rebuild's file and
// cause (a full disk among them), the package load and the checksum test;
// and the component files a search passes by.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_search.h"
#include "tests/child_process.h"
#include "tests/package_fixture.h"
#include "tests/scratch_dir.h"
#include "tests/srecord_fixture.h"
#include "updatedata/component_file_choice.h"
#include "updatedata/package_format.h"
#include "updatedata/srecord_loader.h"
#include "updatedata/update_data_set.h"

namespace kx {
namespace {

using testing::FixturePackage;
using testing::ListWorkingDirectory;
using testing::PatternBytes;
using testing::ReadFileBytes;
using testing::ScratchDir;
using testing::SRecordLine;
using testing::SRecordText;
using testing::StoredPackage;
using testing::WriteFileBytes;
using testing::WriteFileText;

constexpr platform::LocalDate kDate{2026, 12, 11};

// Header "HDR" and 16 bytes at 0x8000 (checksum F4), checked by hand.
constexpr const char* kHeader = "S00600004844521B";
constexpr const char* kData = "S1138000000102030405060708090A0B0C0D0E0FF4";

// Runs `work` in a child process as another user than root, so that file
// permissions apply; what it returned, or why there is nothing.
std::string AsAnotherUser(const std::function<std::string()>& work) {
  int fds[2];
  if (pipe(fds) != 0) return "no pipe";
  const int status = testing::RunInChild([&] {
    close(fds[0]);
    if (!testing::GiveUpRoot()) return 255;
    const std::string text = work();
    const bool sent = write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return sent ? 0 : 254;
  });
  close(fds[1]);
  std::string text;
  char chunk[4096];
  for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;) text.append(chunk, n);
  close(fds[0]);
  return status == 0 ? text : "the child ended with " + std::to_string(status);
}

// A file that the user the child becomes may not read.
void MakeUnreadable(const std::string& name) {
  ASSERT_EQ(chmod(".", 0755), 0);
  ASSERT_EQ(chmod(name.c_str(), geteuid() == 0 ? 0600 : 0), 0);
}

// ------------------------------------------------------------- S-record loader

TEST(SRecordReasonTest, NamesTheLineAndWhatWasWrong) {
  std::string badChecksum = kData;
  badChecksum.back() = '5';
  std::string notHex = kData;
  notHex[9] = 'G';
  const std::string longLine =
      std::string(kData) + std::string(520, '0');  // text after the checksum
  struct Case {
    const char* what;
    std::string text;
    SRecordProblem problem;
    std::string reason;
  };
  const Case cases[] = {
      {"no header first", std::string(kData) + "\n", SRecordProblem::kNoHeader,
       "line 1: not the S0 header that must come first: an S1 record"},
      {"header with a wrong checksum", "S00600004844521C\n", SRecordProblem::kNoHeader,
       "line 1: not the S0 header that must come first: a wrong checksum (stored 0x1C, computed "
       "0x1B)"},
      {"header cut short", "S0060000484452\n", SRecordProblem::kNoHeader,
       "line 1: not the S0 header that must come first: the line ends before the bytes its byte "
       "count calls for"},
      {"lower-case s first", "s00600004844521B\n", SRecordProblem::kNotARecord,
       "line 1: not an S-record: does not begin with 'S'"},
      {"empty line after the data", std::string(kHeader) + "\n" + kData + "\n\n",
       SRecordProblem::kNotARecord, "line 3: not an S-record: an empty line"},
      {"empty CR LF line", std::string(kHeader) + "\r\n\r\n", SRecordProblem::kNotARecord,
       "line 2: not an S-record: an empty line"},
      {"data checksum, lines of other types counted",
       std::string(kHeader) + "\nS5030001FB\n" + kData + "\n" + badChecksum + "\n",
       SRecordProblem::kBadChecksum,
       "line 4: a data record with a wrong checksum (stored 0xF5, computed 0xF4)"},
      {"not a hex digit", std::string(kHeader) + "\n" + notHex + "\n", SRecordProblem::kNotARecord,
       "line 2: not an S-record: a character that is not a hex digit"},
      {"byte count too small", std::string(kHeader) + "\nS102000000\n", SRecordProblem::kNotARecord,
       "line 2: not an S-record: a byte count too small to hold the address and the checksum"},
      {"data cut short", std::string(kHeader) + "\n" + std::string(kData).substr(0, 30) + "\n",
       SRecordProblem::kNotARecord,
       "line 2: not an S-record: the line ends before the bytes its byte count calls for"},
      {"a line longer than 511 characters", std::string(kHeader) + "\n" + longLine + "\n",
       SRecordProblem::kNotARecord,
       "line 2: not an S-record: longer than 511 characters with its line end"},
      {"data beyond 1 MiB", std::string(kHeader) + "\n" + SRecordLine(3, 0xFFFFF, {1, 2}) + "\n",
       SRecordProblem::kBeyondCapacity,
       "line 2: a data record ending at 0x100001, beyond the image's room of 0x100000 bytes"},
  };
  std::vector<std::uint8_t> buffer(kFirmwareBufferSize);
  for (const Case& c : cases) {
    ScratchDir dir;
    WriteFileText("in.s", c.text);
    const SRecordLoad load = SRecordLoader().Load("in.s", buffer.data(), kFirmwareBufferSize);
    EXPECT_EQ(load.problem, c.problem) << c.what;
    EXPECT_EQ(DescribeSRecordLoad(load), c.reason) << c.what;
  }
}

TEST(SRecordReasonTest, FilesThatCannotBeReadSayWhy) {
  ScratchDir dir;
  ASSERT_EQ(mkdir("folder.s", 0755), 0);
  WriteFileText("locked.s", SRecordText({1, 2, 3}));
  MakeUnreadable("locked.s");
  const std::pair<const char*, const char*> cases[] = {
      {"missing.s", "no such file"},
      {"folder.s", "not a regular file but a folder"},
      {"locked.s", "permission denied"},
  };
  for (const auto& [path, reason] : cases) {
    EXPECT_EQ(AsAnotherUser([path = std::string(path)] {
                std::vector<std::uint8_t> buffer(64);
                return DescribeSRecordLoad(SRecordLoader().Load(path, buffer.data(), 64));
              }),
              reason)
        << path;
  }
}

// ------------------------------------------------------------- the kind check

TEST(KindCheckReasonTest, NamesTheFileAndItsFault) {
  const std::string firmware = SRecordText({1, 2, 3, 4}, 0x100);
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    KindProblem problem;
    std::string reason;
  };
  const Case cases[] = {
      {"right kinds",
       {{"KXFPGA1v1_0_0.rbf", "raw"}, {"KXFirmv1_0_0.s", firmware}},
       KindProblem::kNone,
       ""},
      {"FPGA file holding S-records",
       {{"KXFPGA2v1_0_0.rbf", firmware}},
       KindProblem::kWrongKind,
       "KXFPGA2v1_0_0.rbf: S-record text, not FPGA data"},
      {"empty FPGA file",
       {{"KXFPGA1v1_0_0.rbf", ""}},
       KindProblem::kWrongKind,
       "KXFPGA1v1_0_0.rbf: empty, not FPGA data"},
      {"firmware of raw bytes",
       {{"KXFirmv1_0_0.s",
         "\x7f"
         "ELF"}},
       KindProblem::kWrongKind,
       "KXFirmv1_0_0.s: not firmware: line 1: not an S-record: does not begin with 'S'"},
      {"boot firmware without a data byte",
       {{"KXBootv1_0_0.s", "S0030000FC\n"}},
       KindProblem::kWrongKind,
       "KXBootv1_0_0.s: not firmware: S-record text without a single data byte"},
      {"the first wrong file in component order",
       {{"KXBootv1_0_0.s", ""}, {"KXFPGA2v1_0_0.rbf", firmware}},
       KindProblem::kWrongKind,
       "KXFPGA2v1_0_0.rbf: S-record text, not FPGA data"},
      {"a broken second file for one component is not looked at",
       {{"KXFPGA1v01_02_00.rbf", "raw"}, {"KXFPGA1v01_03_00.rbf", firmware}},
       KindProblem::kNone,
       ""},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    for (const auto& [name, text] : c.files) WriteFileText(name, text);
    const KindCheck check = UpdateDataSet().CheckKinds();
    EXPECT_EQ(check.problem, c.problem) << c.what;
    EXPECT_EQ(ReasonOf(check), c.reason) << c.what;
    EXPECT_EQ(UpdateDataSet().CheckComponentFileKinds(), c.problem == KindProblem::kNone ? 1 : 0)
        << c.what;
  }
}

// A component file that cannot be read has no kind the check could tell:
// it fails as unreadable, an FPGA file too (no S-record text is found in
// it, yet none of its bytes could be used).
TEST(KindCheckReasonTest, UnreadableFileIsNotCalledTheWrongKind) {
  const std::pair<std::string, std::string> cases[] = {
      {"KXFirmv1_0_0.s", SRecordText({1, 2, 3})},
      {"KXFPGA1v1_0_0.rbf", "raw"},
  };
  for (const auto& [name, text] : cases) {
    ScratchDir dir;
    WriteFileText(name, text);
    MakeUnreadable(name);
    EXPECT_EQ(AsAnotherUser([] {
                UpdateDataSet set;
                const KindCheck check = set.CheckKinds();
                const bool cannotRead = check.problem == KindProblem::kCannotRead;
                return (cannotRead ? "" : "not kCannotRead: ") + ReasonOf(check) + " / " +
                       std::to_string(set.CheckComponentFileKinds());
              }),
              "cannot read " + name + ": permission denied / 0");
  }
}

// ------------------------------------------------------------- the rebuild

FixturePackage OldPackage() {
  return {{{"01_00_00", PatternBytes(100, 11)},
           {"01_00_00", PatternBytes(50, 12)},
           {"1_0_0", PatternBytes(64, 13)},
           {"1_0_0", PatternBytes(32, 14)}}};
}

// A disk that fills up during the package's write: the rebuild says that
// the write failed and why, and the old package stays as it was.
TEST(RebuildReasonTest, FullDiskSaysTheWriteFailedForWantOfSpace) {
  const std::pair<const char*, platform::WriteFunction> cases[] = {
      {"write fails with ENOSPC",
       [](int, const void*, std::size_t) -> ssize_t {
         errno = ENOSPC;
         return -1;
       }},
      {"write stops half-way, then writes nothing",
       [calls = 0](int fd, const void* data, std::size_t size) mutable -> ssize_t {
         return ++calls == 1 ? ::write(fd, data, size / 2) : 0;
       }},
  };
  for (const auto& [what, write] : cases) {
    ScratchDir dir;
    const auto old = StoredPackage(OldPackage(), 3);
    WriteFileBytes("DERadori.kx", old);
    WriteFileBytes("KXFPGA1v9_0_0.rbf", PatternBytes(300, 1));
    UpdateDataSet set;
    const RebuildOutcome outcome = set.Rebuild(kDate, write);
    EXPECT_EQ(outcome.problem, RebuildProblem::kWriteFailed) << what;
    EXPECT_EQ(outcome.file, "DERadori.kx") << what;
    EXPECT_EQ(ReasonOf(outcome), "cannot write DERadori.kx: write error (No space left on device)")
        << what;
    EXPECT_EQ(ReadFileBytes("DERadori.kx"), old) << what;
    EXPECT_EQ(ListWorkingDirectory(),
              (std::vector<std::string>{"DERadori.kx", "KXFPGA1v9_0_0.rbf"}))
        << what;
  }
}

TEST(RebuildReasonTest, NamesTheFileAtFault) {
  auto appended = StoredPackage(OldPackage(), 3);
  appended.push_back(0);
  const std::string longVersion = "9_0_0_" + std::string(26, '0');
  struct Case {
    const char* what;
    std::vector<std::uint8_t> package;  // empty: none
    std::string file;
    std::string contents;
    RebuildProblem problem;
    std::string reason;
  };
  const Case cases[] = {
      {"package that does not load", appended, "KXFPGA2v9_0_0.rbf", "raw",
       RebuildProblem::kPackageDoesNotLoad,
       "DERadori.kx: 503 bytes, but its header states 256 + sizes = 502; no package is rebuilt "
       "without it, or its components would be lost"},
      {"newer firmware the loader refuses",
       {},
       "KXFirmv9_0_0.s",
       "S0030000FC\nnot a record\n",
       RebuildProblem::kComponentRefused,
       "KXFirmv9_0_0.s: not firmware: line 2: not an S-record: does not begin with 'S'"},
      {"newer firmware without a data byte",
       {},
       "KXBootv9_0_0.s",
       "",
       RebuildProblem::kComponentRefused,
       "KXBootv9_0_0.s: not firmware: S-record text without a single data byte"},
      {"version text too long",
       {},
       "KXFPGA1v" + longVersion + ".rbf",
       "raw",
       RebuildProblem::kVersionTooLong,
       "KXFPGA1v" + longVersion + ".rbf: version text longer than 31 characters"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    if (!c.package.empty()) WriteFileBytes("DERadori.kx", c.package);
    WriteFileText(c.file, c.contents);
    const RebuildOutcome outcome = UpdateDataSet().Rebuild(kDate);
    EXPECT_EQ(outcome.problem, c.problem) << c.what;
    EXPECT_EQ(ReasonOf(outcome), c.reason) << c.what;
  }
}

TEST(RebuildReasonTest, UnreadableNewerComponentFile) {
  ScratchDir dir;
  WriteFileBytes("KXFPGA1v9_0_0.rbf", PatternBytes(30, 1));
  MakeUnreadable("KXFPGA1v9_0_0.rbf");
  ASSERT_EQ(chmod(".", 0777), 0);  // the child could write the package
  EXPECT_EQ(AsAnotherUser([] { return ReasonOf(UpdateDataSet().Rebuild(kDate)); }),
            "cannot read KXFPGA1v9_0_0.rbf: permission denied");
  EXPECT_FALSE(testing::FileExists("DERadori.kx"));
}

// On success the outcome names the file written: the package's own name,
// whatever its case.
TEST(RebuildReasonTest, NamesThePackageWritten) {
  for (const char* existing : {"", "DERadori.kx", "deradori.KX"}) {
    ScratchDir dir;
    if (*existing) WriteFileBytes(existing, StoredPackage(OldPackage(), 3));
    WriteFileBytes("KXFPGA1v9_0_0.rbf", PatternBytes(30, 1));
    const RebuildOutcome outcome = UpdateDataSet().Rebuild(kDate);
    EXPECT_TRUE(outcome) << existing;
    EXPECT_EQ(outcome.file, *existing ? existing : "DERadori.kx");
    EXPECT_EQ(ReasonOf(outcome), "");
  }
}

// ------------------------------------------------------------- load and checksum

TEST(PackageReasonTest, LoadAndChecksumNameTheirCause) {
  const auto good = StoredPackage(OldPackage(), 3);  // 256 + 246 bytes
  const std::vector<std::uint8_t> shorter(good.begin(), good.end() - 1);
  auto plain = testing::PlainPackage(good);
  plain[300] ^= 0x01;  // one image byte one off
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;  // empty: no file
    std::string reason;
  };
  const Case cases[] = {
      {"no file", {}, "no package file DERadori.kx"},
      {"shorter than the header", std::vector<std::uint8_t>(good.begin(), good.begin() + 100),
       "DERadori.kx: 100 bytes, shorter than the 256-byte header"},
      {"length test", shorter, "DERadori.kx: 501 bytes, but its header states 256 + sizes = 502"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    if (!c.bytes.empty()) WriteFileBytes("DERadori.kx", c.bytes);
    UpdateDataSet set;
    const PackageLoad load = set.LoadPackageHere();
    EXPECT_FALSE(load) << c.what;
    EXPECT_EQ(ReasonOf(load.path, load), c.reason) << c.what;
    EXPECT_EQ(set.LoadPackage(), 0) << c.what;
  }

  ScratchDir dir;
  WriteFileBytes("DERadori.kx", testing::StorePlain(plain, 3));
  UpdateDataSet set;
  ASSERT_TRUE(set.LoadPackageHere());
  const ChecksumCheck check = set.CheckChecksum();
  const double stored = package::ByteSum(testing::PlainPackage(good).data() + 256, 246);
  const double computed = package::ByteSum(plain.data() + 256, 246);
  ASSERT_NE(stored, computed);
  EXPECT_FALSE(check);
  EXPECT_EQ(check.stored, stored);
  EXPECT_EQ(check.computed, computed);
  char expected[128];
  std::snprintf(expected, sizeof expected,
                "DERadori.kx: checksum test failed: stored %.0f, images sum to %.0f", stored,
                computed);
  EXPECT_EQ(ReasonOf("DERadori.kx", check), expected);
  EXPECT_EQ(set.VerifyChecksum(), 0);
  EXPECT_EQ(ReasonOf("x.kx", UpdateDataSet().CheckChecksum()), "x.kx: no package loaded to test");
}

// ------------------------------------------------------------- several files for one component

TEST(ComponentFileChoiceTest, SaysWhichFileIsUsedAndWhichAreIgnored) {
  struct Case {
    const char* what;
    std::vector<std::string> files;
    std::vector<std::string> lines;
    std::vector<std::string> ignored;
  };
  const Case cases[] = {
      {"one file each", {"KXFPGA1v1_0_0.rbf", "KXFPGA2v1_0_0.rbf", "KXFirmv1_0_0.s"}, {}, {}},
      {"two FPGA1 files: the first by name, though older",
       {"KXFPGA1v01_03_00.rbf", "KXFPGA1v01_02_00.rbf"},
       {"FPGA1: KXFPGA1v01_02_00.rbf used; KXFPGA1v01_03_00.rbf ignored"},
       {"KXFPGA1v01_03_00.rbf"}},
      {"three firmware files, and a name in lower case after the capitals",
       {"KXFirmv2_0_0.s", "kxfirmv0_1_0.s", "KXFirmv1_0_0.s"},
       {"Firm(Appl): KXFirmv1_0_0.s used; KXFirmv2_0_0.s, kxfirmv0_1_0.s ignored"},
       {"KXFirmv2_0_0.s", "kxfirmv0_1_0.s"}},
      {"several components, in component order",
       {"KXBootv1_0_0.s", "KXBootv1_1_0.s", "KXFPGA2v1.rbf", "KXFPGA2v2.rbf", "KXFirmv1.s"},
       {"FPGA2: KXFPGA2v1.rbf used; KXFPGA2v2.rbf ignored",
        "Firm(Boot): KXBootv1_0_0.s used; KXBootv1_1_0.s ignored"},
       {"KXFPGA2v2.rbf", "KXBootv1_1_0.s"}},
      {"a file of the loose pattern only is nobody's", {"KXFPGA1v1.rbf", "KXFPGA3.rbf"}, {}, {}},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    for (const std::string& name : c.files) WriteFileText(name, "x");
    const std::vector<ComponentFileChoice> choices = FindComponentFileChoices();
    std::vector<std::string> lines;
    for (const ComponentFileChoice& choice : choices) {
      lines.push_back(DescribeComponentFileChoice(choice));
      // The one used is the one every search of the update takes.
      EXPECT_EQ(platform::FindFirstMatch(TraitsOf(choice.component).filePattern)->name,
                choice.used);
    }
    EXPECT_EQ(lines, c.lines) << c.what;
    EXPECT_EQ(IgnoredFiles(choices), c.ignored) << c.what;
  }
}

TEST(ComponentFileChoiceTest, LooksInTheFolderItIsGiven) {
  ScratchDir dir;
  ASSERT_EQ(mkdir("pkg", 0755), 0);
  WriteFileText("pkg/KXFPGA1v1.rbf", "x");
  WriteFileText("pkg/KXFPGA1v2.rbf", "x");
  WriteFileText("KXFirmv1.s", "x");
  WriteFileText("KXFirmv2.s", "x");
  const auto choices = FindComponentFileChoices("pkg");
  ASSERT_EQ(choices.size(), 1u);
  EXPECT_EQ(DescribeComponentFileChoice(choices[0]),
            "FPGA1: KXFPGA1v1.rbf used; KXFPGA1v2.rbf ignored");
}

}  // namespace
}  // namespace kx
