// What kxupdate says when it fails, run as a person or a script runs it:
// one cause on standard error (and in --json and --log-file for update),
// the files of a component that were passed by, the path a build wrote and
// what to do when no driver loads. The dialog's own texts stay as they are.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/package_fixture.h"
#include "tests/scratch_dir.h"
#include "tests/srecord_fixture.h"

namespace kx {
namespace {

using testing::CaptureCommand;
using testing::FixturePackage;
using testing::PatternBytes;
using testing::ReadFileText;
using testing::ScratchDir;
using testing::SRecordLine;
using testing::SRecordText;
using testing::StoredPackage;
using testing::WriteFileBytes;
using testing::WriteFileText;

const std::string kMessage403 = "Update file does not open.\n Exits update.\n(Error Code:03)";

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// kxupdate ARGS in the working directory, English texts; `prefix` goes
// before the program (another user, a mount namespace).
Outcome Kxupdate(const std::string& args, const std::string& prefix = "") {
  const std::string errFile = std::filesystem::absolute("stderr.txt").string();
  Outcome run;
  run.out = CaptureCommand("LANGUAGE=en LC_ALL=C " + prefix + " " + KXUPDATE_PATH + " " + args +
                               " </dev/null 2>'" + errFile + "'",
                           &run.status);
  run.err = ReadFileText(errFile);
  std::filesystem::remove(errFile);
  return run;
}

// One answer of Python's json module about an object kxupdate printed.
std::string Json(const std::string& json, const std::string& expression) {
  WriteFileText("out.json", json);
  WriteFileText("ask.py", "import json\nd = json.load(open('out.json'))\nprint((" + expression +
                              ")" + ", end='')\n");
  int status = -1;
  std::string answer = CaptureCommand("python3 ask.py", &status);
  EXPECT_EQ(status, 0) << json;
  std::filesystem::remove("out.json");
  std::filesystem::remove("ask.py");
  return answer;
}

// The lines of `text` that begin with "kxupdate: ".
std::vector<std::string> ToolLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t from = 0; from < text.size();) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(from, end - from);
    if (line.rfind("kxupdate: ", 0) == 0) lines.push_back(line);
    from = end + 1;
  }
  return lines;
}

// The prefix that runs kxupdate as the user nobody, so that file
// permissions apply; empty when the tests do not run as root (files are
// then made unreadable with mode 0) or setpriv is missing.
std::string AsNobody() {
  if (geteuid() != 0) return "";
  if (testing::RunCommand("setpriv --version >/dev/null 2>&1") != 0) return "";
  return "setpriv --reuid=65534 --regid=65534 --clear-groups";
}

void MakeUnreadable(const std::string& name) {
  ASSERT_EQ(chmod(name.c_str(), geteuid() == 0 ? 0600 : 0), 0);
}

FixturePackage Sample() {
  return {{{"1_2_0", PatternBytes(400, 1)},
           {},
           {"1_2_3", PatternBytes(100, 2)},
           {"1_0_0", PatternBytes(9, 3)}}};
}

// ---------------------------------------------------------------- srec

TEST(SRecordMessageTest, NamesTheOneCause) {
  const std::string header = "S00600004844521B\n";
  const std::string good = SRecordLine(1, 0x10, {1, 2, 3});
  std::string badSum = good;
  badSum.back() = good.back() == '0' ? '1' : '0';
  const std::string stored = badSum.substr(badSum.size() - 2);
  const std::string computed = good.substr(good.size() - 2);
  struct Case {
    const char* what;
    std::string text;  // empty: no file
    std::string line;  // the one line on standard error
  };
  const Case cases[] = {
      {"missing", "", "kxupdate: cannot read in.s: no such file"},
      {"no header", SRecordLine(1, 0, {1}) + "\n",
       "kxupdate: in.s: line 1: not the S0 header that must come first: an S1 record"},
      {"a wrong data checksum", header + SRecordLine(1, 0, {1}) + "\n" + badSum + "\n",
       "kxupdate: in.s: line 3: a data record with a wrong checksum (stored 0x" + stored +
           ", computed 0x" + computed + ")"},
      {"an empty line", header + "\n", "kxupdate: in.s: line 2: not an S-record: an empty line"},
      {"data beyond 1 MiB", header + SRecordLine(3, 0x100000, {1}) + "\n",
       "kxupdate: in.s: line 2: a data record ending at 0x100001, beyond the image's room of "
       "0x100000 bytes"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    if (!c.text.empty()) WriteFileText("in.s", c.text);
    const Outcome run = Kxupdate("srec in.s -o out.bin");
    EXPECT_EQ(run.status, 1) << c.what;
    EXPECT_EQ(run.err, c.line + "\n") << c.what;
    EXPECT_FALSE(testing::FileExists("out.bin")) << c.what;
  }
}

TEST(SRecordMessageTest, UnreadableInputAndUnwritableOutput) {
  ScratchDir dir;
  ASSERT_EQ(chmod(".", 0777), 0);
  WriteFileText("in.s", SRecordText(PatternBytes(20, 1)));
  MakeUnreadable("in.s");
  Outcome run = Kxupdate("srec in.s -o out.bin", AsNobody());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ToolLines(run.err).back(), "kxupdate: cannot read in.s: permission denied") << run.err;

  ASSERT_EQ(chmod("in.s", 0644), 0);
  ASSERT_EQ(mkdir("out.bin", 0755), 0);
  run = Kxupdate("srec in.s -o out.bin");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ToolLines(run.err).back(),
            "kxupdate: cannot write out.bin: not a regular file but a folder")
      << run.err;
}

// ---------------------------------------------------------------- package verify

TEST(PackageVerifyMessageTest, NamesTheOneReason) {
  const auto good = StoredPackage(Sample(), 1);  // 256 + 509 bytes
  auto plain = testing::PlainPackage(good);
  plain[300] ^= 0x02;
  auto longer = good;
  longer.push_back(0);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;  // empty: no file
    std::string line;
  };
  const Case cases[] = {
      {"missing", {}, "kxupdate: no package file p.kx"},
      {"length test", longer, "kxupdate: p.kx: 766 bytes, but its header states 256 + sizes = 765"},
      {"shorter than the header", std::vector<std::uint8_t>(good.begin(), good.begin() + 10),
       "kxupdate: p.kx: 10 bytes, shorter than the 256-byte header"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    if (!c.bytes.empty()) WriteFileBytes("p.kx", c.bytes);
    const Outcome run = Kxupdate("package verify p.kx");
    EXPECT_EQ(run.status, 1) << c.what;
    EXPECT_EQ(run.err, c.line + "\n") << c.what;
  }

  // The checksum: both sums, as inspect reports them.
  ScratchDir dir;
  WriteFileBytes("p.kx", testing::StorePlain(plain, 1));
  const std::string inspect = Kxupdate("package inspect p.kx --json").out;
  const std::string sums =
      Json(inspect,
           "'stored %.0f, images sum to %.0f' % (d['stored_checksum'], d['computed_checksum'])");
  const Outcome run = Kxupdate("package verify p.kx");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kxupdate: p.kx: checksum test failed: " + sums + "\n");

  ASSERT_EQ(chmod(".", 0755), 0);
  WriteFileBytes("locked.kx", good);
  MakeUnreadable("locked.kx");
  const Outcome locked = Kxupdate("package verify locked.kx", AsNobody());
  EXPECT_EQ(locked.status, 1);
  EXPECT_EQ(ToolLines(locked.err).back(), "kxupdate: cannot read locked.kx: permission denied")
      << locked.err;
}

// ---------------------------------------------------------------- package build and inspect

TEST(PackageBuildMessageTest, NamesThePathItWrote) {
  ScratchDir dir;
  ASSERT_EQ(mkdir("parts", 0755), 0);
  WriteFileBytes("parts/KXFPGA1v1_0_0.rbf", PatternBytes(100, 1));
  const std::string parts = std::filesystem::canonical("parts").string();
  for (const std::string& where : {std::string("parts"), parts, std::string("./parts/")}) {
    const Outcome run = Kxupdate("package build " + where + " --date 2026-12-11");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "wrote " + parts + "/DERadori.kx") << where;
  }
  // A package of another case keeps its name, and the line says which.
  std::filesystem::rename("parts/DERadori.kx", "parts/deradori.KX");
  const Outcome run = Kxupdate("package build parts --date 2026-12-11");
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "wrote " + parts + "/deradori.KX");
}

TEST(PackageBuildMessageTest, SaysWhichFilesAreUsedAndWhichIgnored) {
  ScratchDir dir;
  WriteFileBytes("KXFPGA1v01_02_00.rbf", PatternBytes(100, 1));
  WriteFileText("KXFPGA1v01_03_00.rbf", SRecordText({1, 2}));  // the wrong kind: never read
  WriteFileText("KXFirmv1_0_0.s", SRecordText(PatternBytes(64, 2)));
  WriteFileText("KXFirmv1_1_0.s", "not even S-records");
  const std::string fpga = "FPGA1: KXFPGA1v01_02_00.rbf used; KXFPGA1v01_03_00.rbf ignored";
  const std::string firm = "Firm(Appl): KXFirmv1_0_0.s used; KXFirmv1_1_0.s ignored";

  const Outcome build = Kxupdate("package build --date 2026-12-11");
  ASSERT_EQ(build.status, 0) << build.err;
  EXPECT_NE(build.out.find("choice:   " + fpga + "\n"), std::string::npos) << build.out;
  EXPECT_NE(build.out.find("choice:   " + firm + "\n"), std::string::npos) << build.out;

  const Outcome inspect = Kxupdate("package inspect");
  EXPECT_EQ(inspect.status, 0);
  EXPECT_NE(inspect.out.find("choice:   " + fpga + "\n"), std::string::npos) << inspect.out;
  const Outcome json = Kxupdate("package inspect --json");
  EXPECT_EQ(Json(json.out, "d['ignored_files']"), "['KXFPGA1v01_03_00.rbf', 'KXFirmv1_1_0.s']");

  // A package elsewhere is told about the files beside it.
  ASSERT_EQ(mkdir("other", 0755), 0);
  std::filesystem::copy_file("DERadori.kx", "other/DERadori.kx");
  EXPECT_EQ(Json(Kxupdate("package inspect other/DERadori.kx --json").out, "d['ignored_files']"),
            "[]");
}

TEST(PackageBuildMessageTest, UnreadableComponentFileIsNotTheWrongKind) {
  ScratchDir dir;
  ASSERT_EQ(chmod(".", 0777), 0);
  WriteFileText("KXFirmv1_0_0.s", SRecordText(PatternBytes(64, 2)));
  MakeUnreadable("KXFirmv1_0_0.s");
  const Outcome run = Kxupdate("package build --date 2026-12-11", AsNobody());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(kMessage403), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("(Error Code:08)"), std::string::npos) << run.err;
  EXPECT_EQ(ToolLines(run.err).back(), "kxupdate: cannot read KXFirmv1_0_0.s: permission denied")
      << run.err;
}

// ---------------------------------------------------------------- the driver

TEST(DriverLoadMessageTest, SaysWhatElseToLoad) {
  ScratchDir dir;
  struct Case {
    const char* what;
    std::string prefix;
    std::string args;
    std::string hint;  // the last line; empty: no hint
  };
  const Case cases[] = {
      {"the default library", "KXUPDATE_DRIVER=/no/such/libTessera.so", "boards",
       "kxupdate: (use --simulate for the simulated board, or --driver LIB)"},
      {"--driver", "", "--driver /no/such/lib.so boards",
       "kxupdate: (use --simulate for the simulated board)"},
  };
  for (const Case& c : cases) {
    const Outcome run = Kxupdate(c.args, c.prefix);
    EXPECT_EQ(run.status, 2) << c.what;
    const auto lines = ToolLines(run.err);
    ASSERT_EQ(lines.size(), 2u) << c.what << ": " << run.err;
    EXPECT_NE(lines[0].find("/no/such/"), std::string::npos) << c.what << ": " << lines[0];
    EXPECT_EQ(lines[1], c.hint) << c.what;
  }
}

// ---------------------------------------------------------------- update

// A folder the simulated board and an update run in: board.ini and the
// update data side by side, open to the user nobody.
class UpdateMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(chmod(".", 0777), 0);
    WriteFileText("board.ini", "[Driver]\nDelayMs=0\nStepPercent=50\n[Boards]\nBoard1=KX58-0001\n");
    if (geteuid() == 0) {
      ASSERT_EQ(chown("board.ini", 65534, 65534), 0);
    }
    WriteFileBytes("DERadori.kx", StoredPackage(Sample(), 20261211));
  }

  Outcome Update(const std::string& args, const std::string& prefix = "") {
    const std::string board = std::filesystem::absolute("board.ini").string();
    return Kxupdate("--simulate update " + args, "KXSIM_BOARD='" + board + "' " + prefix);
  }

  // The log file's lines without their time stamps.
  static std::vector<std::string> LogFileLines(const std::string& name) {
    std::vector<std::string> lines;
    const std::string text = ReadFileText(name);
    for (std::size_t from = 0; from < text.size();) {
      std::size_t end = text.find('\n', from);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(from, end - from);
      lines.push_back(line.size() > 24 ? line.substr(24) : line);  // "YYYY-MM-DD hh:mm:ss.mmm "
      from = end + 1;
    }
    return lines;
  }

  ScratchDir dir_;
};

// An unreadable firmware file: error 03 with the dialog's message, and the
// cause on standard error, in --json's reason and in the log file.
TEST_F(UpdateMessageTest, UnreadableFirmwareFileIsError03AndSaysWhy) {
  const std::string prefix = AsNobody();
  WriteFileText("KXFirmv9_0_0.s", SRecordText(PatternBytes(64, 2)));
  MakeUnreadable("KXFirmv9_0_0.s");
  const std::string reason = "cannot read KXFirmv9_0_0.s: permission denied";

  const Outcome json = Update("--json --log-file run.log", prefix);
  EXPECT_EQ(json.status, 3) << json.err;
  EXPECT_EQ(Json(json.out, "d['outcome'], d['error_code'], d['reason'], d['ignored_files']"),
            "('failed', 3, '" + reason + "', [])");
  EXPECT_NE(json.err.find(kMessage403), std::string::npos) << json.err;
  EXPECT_EQ(ToolLines(json.err).back(), "kxupdate: " + reason) << json.err;
  const auto logged = LogFileLines("run.log");
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.back(), "kxupdate: " + reason);
  // The dialog's own log stays the string table's.
  EXPECT_EQ(Json(json.out, "d['log']"),
            "Initializing.....Completed\r\nChecking the file.....Failuer.");
}

// Several files for one component: the first by name is used, the second
// (broken) one is passed by, and every channel says so; the update goes on.
TEST_F(UpdateMessageTest, SecondComponentFileIsIgnoredAndListed) {
  WriteFileBytes("KXFPGA2v01_02_00.rbf", PatternBytes(50, 4));
  WriteFileText("KXFPGA2v01_03_00.rbf", SRecordText({1, 2}));  // the wrong kind: never read
  const std::string line =
      "kxupdate: FPGA2: KXFPGA2v01_02_00.rbf used; KXFPGA2v01_03_00.rbf ignored";

  const Outcome json = Update("--check --json --log-file run.log");
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(Json(json.out, "d['outcome'], d['reason'], d['ignored_files']"),
            "('ready', '', ['KXFPGA2v01_03_00.rbf'])");
  EXPECT_EQ(ToolLines(json.err), std::vector<std::string>{line}) << json.err;
  const auto logged = LogFileLines("run.log");
  EXPECT_NE(std::find(logged.begin(), logged.end(), line), logged.end()) << ReadFileText("run.log");
}

// A disk that is full when the rebuilt package is written: error 03, and
// the reason says that the write failed for want of space. The folder is a
// small tmpfs in a mount namespace of the run's own, filled up first.
TEST_F(UpdateMessageTest, FullDiskSaysTheWriteFailed) {
  if (testing::RunCommand("unshare -m sh -c 'mkdir -p probe && mount -t tmpfs -o size=64k tmpfs "
                          "probe' >/dev/null 2>&1") != 0) {
    std::filesystem::remove("probe");
    GTEST_SKIP() << "no mount namespace with a tmpfs here (needs unshare and mount as root)";
  }
  std::filesystem::remove("probe");
  ASSERT_EQ(mkdir("full", 0755), 0);
  ASSERT_EQ(mkdir("data", 0755), 0);
  WriteFileBytes("data/DERadori.kx", StoredPackage(Sample(), 20261211));
  WriteFileText("data/KXFirmv9_0_0.s", SRecordText(PatternBytes(4000, 2)));
  const std::string full = std::filesystem::absolute("full").string();
  const std::string board = std::filesystem::absolute("board.ini").string();
  const std::string script = "mount -t tmpfs -o size=256k tmpfs '" + full + "' && cp data/* '" +
                             full + "' && cd '" + full +
                             "' && { dd if=/dev/zero of=filler bs=4k >/dev/null 2>&1; true; } && " +
                             "KXSIM_BOARD='" + board + "' LANGUAGE=en LC_ALL=C " + KXUPDATE_PATH +
                             " --simulate update --json </dev/null 2>'" +
                             std::filesystem::absolute("err.txt").string() + "'";
  WriteFileText("full.sh", script + "\n");
  int status = -1;
  const std::string out = CaptureCommand("unshare -m sh full.sh", &status);
  const std::string err = ReadFileText("err.txt");
  EXPECT_EQ(status, 3) << err;
  EXPECT_EQ(Json(out, "d['error_code'], d['reason']"),
            "(3, 'cannot write DERadori.kx: write error (No space left on device)')")
      << err;
  EXPECT_NE(err.find(kMessage403), std::string::npos) << err;
}

}  // namespace
}  // namespace kx
