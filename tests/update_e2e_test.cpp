// kxupdate --simulate update from start to end, as a script runs it: each
// case works in a scratch folder with its update files, the simulated
// board's file (KXSIM_BOARD) and the per-board lock files (XDG_RUNTIME_DIR),
// and reads the final --json object, and the board file and the settings
// file as Python's configparser reads them.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <functional>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/ini_judge.h"
#include "tests/kxupdate_runner.h"
#include "tests/package_fixture.h"
#include "tests/scratch_dir.h"
#include "tests/srecord_fixture.h"
#include "tests/text_checks.h"
#include "tests/wait_until.h"

namespace kx {
namespace {

using nlohmann::json;
using testing::CaptureCommand;
using testing::Field;
using testing::Fields;
using testing::FileExists;
using testing::FixturePackage;
using testing::Fnv1a64Hex;
using testing::JudgedIni;
using testing::KxupdateRun;
using testing::KxupdateRunner;
using testing::PatternBytes;
using testing::ReadFileBytes;
using testing::ReadFileText;
using testing::ScratchDir;
using testing::SourceDir;
using testing::SRecordText;
using testing::StoredPackage;
using testing::WriteFileBytes;
using testing::WriteFileText;

using Bytes = std::vector<std::uint8_t>;
// The images the package holds after the run's rebuild, in component order
// (FPGA1, FPGA2, Firm(Appl), Firm(Boot)); empty: the package lacks it.
using Images = std::array<Bytes, 4>;

const char* const kLabels[] = {"FPGA1", "FPGA2", "Firm(Appl)", "Firm(Boot)"};

// kxupdate --simulate with this folder's board and lock files.
KxupdateRunner Simulated(const std::string& dir) {
  KxupdateRunner runner(KXUPDATE_PATH);
  runner.Set("KXSIM_BOARD", dir + "/board.ini").Set("XDG_RUNTIME_DIR", dir);
  return runner;
}

// kxupdate --simulate ARGS in the working directory, without a terminal.
KxupdateRun Kxupdate(const std::string& args) {
  return Simulated(std::filesystem::current_path().string())("--simulate " + args);
}

// A component's count of retried packets as the JSON object's "retries"
// gives them, in component order.
json RetriesOf(const json& result) {
  return Fields(Field(result, "retries"),
                std::vector<std::string>(std::begin(kLabels), std::end(kLabels)));
}

// A component image that carries its version the way the board reads it
// ("KXVERSION=V01.02.00" and a zero byte), so that a completed write changes
// what the board reports afterwards.
Bytes Image(std::size_t size, std::uint32_t salt, const std::string& version) {
  Bytes image = PatternBytes(size, salt);
  unsigned a = 0, b = 0, c = 0;
  std::sscanf(version.c_str(), "%u_%u_%u", &a, &b, &c);
  char marker[40];
  int n = std::snprintf(marker, sizeof marker, "KXVERSION=V%.2u.%.2u.%.2u", a, b, c);
  std::copy(marker, marker + n + 1, image.begin() + 64);
  return image;
}

// Writes DERadori.kx with the components whose version is given (nullptr:
// absent); the images it holds.
Images Package(const char* fpga1, const char* fpga2, const char* appl, const char* boot) {
  const char* versions[] = {fpga1, fpga2, appl, boot};
  const std::size_t sizes[] = {4000, 3000, 2000, 1000};
  FixturePackage parts;
  Images images;
  for (std::size_t c = 0; c < 4; ++c) {
    if (versions[c] == nullptr) continue;
    images[c] = Image(sizes[c], static_cast<std::uint32_t>(c + 1), versions[c]);
    parts[c] = {versions[c], images[c]};
  }
  WriteFileBytes("DERadori.kx", StoredPackage(parts, 20261211));
  return images;
}

// The sample component files; their images judged by GNU objcopy.
Images Samples() {
  Images images;
  for (const auto& entry : std::filesystem::directory_iterator(SourceDir() + "/samples")) {
    const std::string name = entry.path().filename();
    if (name.rfind("KX", 0) != 0) continue;
    std::filesystem::copy_file(entry.path(), name);
    if (name.rfind("KXFPGA1v", 0) == 0) images[0] = ReadFileBytes(name);
    if (name.rfind("KXFPGA2v", 0) == 0) images[1] = ReadFileBytes(name);
    const std::size_t c = name.rfind("KXFirmv", 0) == 0 ? 2 : name.rfind("KXBootv", 0) == 0 ? 3 : 4;
    if (c < 4) {
      int status = -1;
      CaptureCommand("objcopy -I srec -O binary " + name + " objcopy.bin", &status);
      EXPECT_EQ(status, 0) << name;
      images[c] = ReadFileBytes("objcopy.bin");
      std::remove("objcopy.bin");
    }
  }
  return images;
}

// The package's FPGA1 and Firm(Boot) stay, a newer application firmware file
// replaces the package's, an older FPGA1 file is passed over.
Images Merged() {
  Images images = Package("1_2_0", nullptr, "1_1_0", "1_1_0");
  WriteFileBytes("KXFPGA1v01_00_00.rbf", Image(500, 9, "1_0_0"));
  images[2] = Image(700, 10, "1_3_0");
  WriteFileText("KXFirmv01_03_00.s", SRecordText(images[2]));
  return images;
}

struct Scenario {
  const char* name;
  std::string board;      // the board file
  Images (*setup)();      // writes the update files
  std::string args = "";  // after "update --json"
  int exitStatus;
  std::string outcome;
  int errorCode = 0;
  std::string boardId = "KX58-0001";  // the board the run names ("" none)
  std::vector<std::string> written;   // [Written <boardId>] Order; none: no write at all
  std::string logEnd;                 // the log's last characters
  std::string stderrHas = "";
  std::array<int, 4> retries = {};  // --json and the settings file, in component order
  // One more look at the JSON object: the values of these keys of the
  // object, or of each object in its array `jsonArray`, as this JSON text.
  std::string jsonArray = "";
  std::vector<std::string> jsonKeys = {};
  std::string jsonValue = "";
};

std::ostream& operator<<(std::ostream& out, const Scenario& s) { return out << s.name; }

// One board, no pacing; every completed write is copied into written/.
const std::string kDriver = "[Driver]\nDelayMs=0\nStepPercent=25\nDumpDir=written\n";
const std::string kOneBoard = kDriver + "[Boards]\nBoard1=KX58-0001\n";
const std::string kSeveralBoards =
    kDriver + "[Boards]\nBoard1=KX58-0002\nBoard2=ZX10-0001\nBoard3=KX58-0001\n";

Images AllNewer() { return Package("1_2_0", "1_2_0", "1_2_0", "1_1_0"); }
Images SomeNewer() { return Package(nullptr, "1_2_0", "1_2_0", nullptr); }
// The application firmware as installed: nothing to do unless the board
// reports its area damaged (the other components are newer).
Images SameAppl() { return Package("1_2_0", nullptr, "1_1_0", "1_1_0"); }
Images OlderFpga1() { return Package("1_0_0", nullptr, "1_2_0", "1_1_0"); }
Images SameBoot() { return Package("1_2_0", "1_2_0", "1_2_0", "1_0_0"); }
Images NoFiles() {
  WriteFileText("readme.txt", "no update files here\n");
  return {};
}
Images VersionTooLong() {
  WriteFileText("KXFirmv01_03_00_" + std::string(30, 'x') + ".s", SRecordText(PatternBytes(64, 1)));
  return {};
}
Images BadChecksum() {
  auto plain = testing::PlainPackage(StoredPackage(
      {{{"1_2_0", PatternBytes(400, 1)}, {}, {"1_2_0", PatternBytes(100, 2)}, {}}}, 5));
  plain[300] ^= 1;
  WriteFileBytes("DERadori.kx", testing::StorePlain(plain, 5));
  return {};
}
Images WrongKind() {
  WriteFileText("KXFPGA1v01_02_00.rbf", SRecordText(PatternBytes(64, 1)));
  return {};
}

const std::vector<std::string> kAllFour = {"FPGA1", "FPGA2", "Firm(Appl)", "Firm(Boot)"};
const std::string kInitialised =
    "Initializing.....Completed\r\n"
    "Checking the file.....Completed\r\n"
    "Opens the file.....Completed\r\n";

const Scenario kScenarios[] = {
    // --- completed ---
    {.name = "CompletedFromAPackage",
     .board = kOneBoard,
     .setup = AllNewer,
     .exitStatus = 0,
     .outcome = "completed",
     .written = kAllFour,
     .logEnd = "Updates Firm(Boot).....Completed\r\n",
     .stderrHas = "KX58 update completed."},
    {.name = "CompletedSkipsWhatThePackageLacks",
     .board = kOneBoard,
     .setup = SomeNewer,
     .exitStatus = 0,
     .outcome = "completed",
     .written = {"FPGA2", "Firm(Appl)"},
     .logEnd =
         kInitialised + "Updates FPGA2.....Completed\r\nUpdates Firm(Appl).....Completed\r\n"},
    {.name = "CompletedFromTheSampleFiles",
     .board = kOneBoard,
     .setup = Samples,
     .exitStatus = 0,
     .outcome = "completed",
     .written = kAllFour,
     .logEnd = "Updates Firm(Boot).....Completed\r\n"},
    {.name = "CompletedFromFilesMergedWithThePackage",
     .board = kOneBoard,
     .setup = Merged,
     .exitStatus = 0,
     .outcome = "completed",
     .written = {"FPGA1", "Firm(Appl)", "Firm(Boot)"},
     .logEnd = "Updates Firm(Boot).....Completed\r\n"},
    {.name = "RetriedPacketsAreCounted",
     .board = kOneBoard + "[Fault FPGA2]\nRetries=2\n[Fault Firm(Boot)]\nRetries=3\n",
     .setup = AllNewer,
     .exitStatus = 0,
     .outcome = "completed",
     .written = kAllFour,
     .logEnd = "Updates Firm(Boot).....Completed\r\n",
     .retries = {0, 2, 0, 3}},
    {.name = "NonWakingEventsBetweenStillComplete",
     .board = kOneBoard + "[Fault FPGA1]\nNoise=1\n[Fault Firm(Boot)]\nNoise=1\n",
     .setup = AllNewer,
     .exitStatus = 0,
     .outcome = "completed",
     .written = kAllFour,
     .logEnd = "Updates Firm(Boot).....Completed\r\n"},
    {.name = "DamagedApplicationAreaForcesTheUpdate",
     .board = kOneBoard + "[Board KX58-0001]\nVersionError=145\n",
     .setup = SameAppl,
     .exitStatus = 0,
     .outcome = "completed",
     .written = {"FPGA1", "Firm(Appl)", "Firm(Boot)"},
     .logEnd = "Updates Firm(Boot).....Completed\r\n"},
    {.name = "SeveralBoardsTheOneNamedIsUpdated",
     .board = kSeveralBoards,
     .setup = AllNewer,
     .args = "--board KX58-0001",
     .exitStatus = 0,
     .outcome = "completed",
     .written = kAllFour,
     .logEnd = "Updates Firm(Boot).....Completed\r\n"},
    {.name = "OlderVersionWrittenWithYes",
     .board = kOneBoard,
     .setup = OlderFpga1,
     .args = "--yes",
     .exitStatus = 0,
     .outcome = "completed",
     .written = {"FPGA1", "Firm(Appl)", "Firm(Boot)"},
     .logEnd = "Updates Firm(Boot).....Completed\r\n",
     .stderrHas = "(answered by --yes)"},
    // --- nothing to do, or only looked at ---
    {.name = "NotNeeded",
     .board = kOneBoard,
     .setup = SameAppl,
     .exitStatus = 0,
     .outcome = "not-needed",
     .written = {},
     .logEnd = kInitialised,
     .stderrHas = "It is not necessary to update it. Update is exited. "},
    {.name = "CheckPrintsThePlanAndSendsNothing",
     .board = kOneBoard,
     .setup = OlderFpga1,
     .args = "--check",
     .exitStatus = 0,
     .outcome = "ready",
     .written = {},
     .logEnd = kInitialised,
     .jsonArray = "plan",
     .jsonKeys = {"label", "package", "installed", "action"},
     .jsonValue = R"json([["FPGA1", "1_0_0", "V01.01.00", "ask"], ["FPGA2", "", "", "skip"],
                      ["Firm(Appl)", "1_2_0", "V01.01.00", "write"],
                      ["Firm(Boot)", "1_1_0", "V01.00.00", "write"]])json"},
    // --- stopped before the run ---
    {.name = "NoBoard",
     .board = kDriver,
     .setup = AllNewer,
     .exitStatus = 1,
     .outcome = "failed",
     .errorCode = 1,
     .boardId = "",
     .written = {},
     .logEnd = "Initializing.....Failuer.\r\n(kCAM_NO_ERROR)",
     .stderrHas = "(Error Code:01)"},
    {.name = "NoBoardOfTheModel",
     .board = kDriver + "[Boards]\nBoard1=ZX10-0001\n",
     .setup = AllNewer,
     .exitStatus = 1,
     .outcome = "failed",
     .errorCode = 1,
     .boardId = "",
     .written = {},
     .logEnd = "Initializing.....Failuer.\r\n(kCAM_INVALID_CAMERA_ID)"},
    {.name = "CameraCreationFails",
     .board = kOneBoard + "[Board KX58-0001]\nCreateError=1001\n",
     .setup = AllNewer,
     .exitStatus = 1,
     .outcome = "failed",
     .errorCode = 1,
     .written = {},
     .logEnd = "Initializing.....Failuer.\r\n(kCAM_API_CANNOT_CREATE_CAMERA)"},
    {.name = "SeveralBoardsWithoutChoice",
     .board = kSeveralBoards,
     .setup = AllNewer,
     .exitStatus = 1,
     .outcome = "failed",
     .errorCode = 1,
     .boardId = "",
     .written = {},
     .logEnd = "Initializing.....Failuer.\r\n(kCAM_NO_ERROR)",
     .stderrHas = "several boards are present and no terminal to choose one: use --board ID"},
    {.name = "NoUpdateFiles",
     .board = kOneBoard,
     .setup = NoFiles,
     .exitStatus = 3,
     .outcome = "failed",
     .errorCode = 3,
     .written = {},
     .logEnd = "Checking the file.....Failuer.",
     .stderrHas = "(Error Code:03)"},
    {.name = "RebuildFails",
     .board = kOneBoard,
     .setup = VersionTooLong,
     .exitStatus = 3,
     .outcome = "failed",
     .errorCode = 3,
     .written = {},
     .logEnd = "Checking the file.....Failuer.",
     .stderrHas = "(Error Code:03)"},
    {.name = "BadChecksum",
     .board = kOneBoard,
     .setup = BadChecksum,
     .exitStatus = 4,
     .outcome = "failed",
     .errorCode = 4,
     .written = {},
     .logEnd = "Opens the file.....Failuer.",
     .stderrHas = "(Error Code:04)"},
    {.name = "WrongFileKind",
     .board = kOneBoard,
     .setup = WrongKind,
     .exitStatus = 8,
     .outcome = "failed",
     .errorCode = 8,
     .written = {},
     .logEnd = "Checking the file.....Failuer.",
     .stderrHas = "(Error Code:08)"},
    // --- the run fails: what was written before stays written ---
    {.name = "RefusedComponent",
     .board = kOneBoard + "[Fault Firm(Appl)]\nRefuse=1\n",
     .setup = AllNewer,
     .exitStatus = 6,
     .outcome = "failed",
     .errorCode = 6,
     .written = {"FPGA1", "FPGA2"},
     .logEnd = "Updates Firm(Appl).....Failuer.\r\n(kCAM_NO_ERROR)",
     .stderrHas = "(Error Code:06)"},
    // The board falls silent after 15 and 14, so it never finishes the
    // write, however long the run takes to end after the 15.
    {.name = "WrongEventOrder",
     .board = kOneBoard + "[Fault FPGA1]\nOutOfOrder=1\nStallAfter=2\n",
     .setup = AllNewer,
     .exitStatus = 6,
     .outcome = "failed",
     .errorCode = 6,
     .written = {},
     .logEnd = "Updates FPGA1.....Failuer.\r\n(kCAM_NO_ERROR)"},
    // The last event has the wrong type: the board has recorded the write
    // before it sends it.
    {.name = "WrongEventType",
     .board = kOneBoard + "[Fault FPGA2]\nWrongType=16\nWrongTypeAt=99\nWrongTypeStatus=144\n",
     .setup = AllNewer,
     .exitStatus = 6,
     .outcome = "failed",
     .errorCode = 6,
     .written = {"FPGA1", "FPGA2"},
     .logEnd = "Updates FPGA2.....Failuer.\r\n(kCAM_CAMERA_ROM_WRITE_ERROR)",
     .jsonKeys = {"driver_error", "driver_error_name"},
     .jsonValue = R"json([144, "kCAM_CAMERA_ROM_WRITE_ERROR"])json"},
    // The third event is a retried packet; then the board falls silent.
    {.name = "StalledBoard",
     .board = kOneBoard + "[Fault FPGA1]\nRetries=4\nStallAfter=3\n",
     .setup = AllNewer,
     .args = "--event-timeout 1",
     .exitStatus = 6,
     .outcome = "failed",
     .errorCode = 6,
     .written = {},
     .logEnd = "Updates FPGA1.....Failuer.\r\n(kCAM_COM_TIMEOUT)\r\n"
               "No event from the driver for 1 seconds.",
     .stderrHas = "the driver sent no event within 1 seconds",
     .retries = {1, 0, 0, 0}},
    // --- an older or equal version declined ---
    {.name = "OlderVersionDeclinedWithNo",
     .board = kOneBoard,
     .setup = OlderFpga1,
     .args = "--no",
     .exitStatus = 10,
     .outcome = "cancelled",
     .written = {},
     .logEnd = kInitialised + "Updates FPGA1.....Cancel",
     .stderrHas = "(answered by --no)"},
    {.name = "OlderVersionDeclinedWithoutATerminal",
     .board = kOneBoard,
     .setup = OlderFpga1,
     .exitStatus = 10,
     .outcome = "cancelled",
     .written = {},
     .logEnd = kInitialised + "Updates FPGA1.....Cancel",
     .stderrHas = "no terminal to ask"},
    {.name = "EqualBootVersionDeclinedKeepsTheOthers",
     .board = kOneBoard,
     .setup = SameBoot,
     .args = "--no",
     .exitStatus = 10,
     .outcome = "cancelled",
     .written = {"FPGA1", "FPGA2", "Firm(Appl)"},
     .logEnd = "Updates Firm(Appl).....Completed\r\nUpdates Firm(Boot).....Cancel"},
};

class UpdateScenarioTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(UpdateScenarioTest, EndsAsTheBoardAndTheFilesMakeIt) {
  const Scenario& s = GetParam();
  ScratchDir dir;
  WriteFileText("board.ini", s.board);
  const Images images = s.setup();

  const KxupdateRun run = Kxupdate("update --json " + s.args);
  EXPECT_EQ(run.status, s.exitStatus) << run.err;
  EXPECT_NE(run.err.find(s.stderrHas), std::string::npos) << run.err;
  const json result = run.Json();

  EXPECT_EQ(Fields(result, {"outcome", "error_code", "board"}),
            json({s.outcome, s.errorCode, s.boardId}))
      << run.out;
  const json log = Field(result, "log");
  ASSERT_TRUE(log.is_string()) << run.out;
  const std::string& logText = log.get_ref<const std::string&>();
  EXPECT_TRUE(logText.size() >= s.logEnd.size() &&
              logText.compare(logText.size() - s.logEnd.size(), s.logEnd.size(), s.logEnd) == 0)
      << "log: " << logText;

  // The board file and the settings file, in one run of the judge.
  const bool check = s.args.find("--check") != std::string::npos;
  const std::vector<JudgedIni> files =
      JudgedIni::ReadAll(check ? std::vector<std::string>{"board.ini"}
                               : std::vector<std::string>{"board.ini", "DERadori.ini"});

  // Retried packets, as the JSON object and the settings file tell them,
  // and the settings file's last line. --check writes no file, the
  // settings file neither.
  EXPECT_EQ(RetriesOf(result), json(s.retries));
  if (check) {
    EXPECT_FALSE(FileExists("DERadori.ini"));
  } else {
    const JudgedIni& settings = files[1];
    for (std::size_t c = 0; c < 4; ++c) {
      EXPECT_EQ(settings.GetOr("NumOfRetryPackets", kLabels[c], "none"),
                std::to_string(s.retries[c]))
          << kLabels[c];
    }
    std::istringstream words(ReadFileText("DERadori.ini"));
    std::string last;
    for (std::string word; words >> word;) last = word;
    EXPECT_EQ(last, "Firm(Boot)=" + std::to_string(s.retries[3]));
  }

  // What reached the board.
  const JudgedIni& board = files[0];
  const std::string written = "Written " + s.boardId;
  std::vector<std::string> writtenSections;
  for (const std::string& section : board.Sections()) {
    if (section.rfind("Written ", 0) == 0) writtenSections.push_back(section);
  }
  EXPECT_EQ(writtenSections,
            s.written.empty() ? std::vector<std::string>() : std::vector<std::string>{written});
  std::string order;
  for (const std::string& label : s.written) order += (order.empty() ? "" : ",") + label;
  EXPECT_EQ(board.GetOr(written, "Order", ""), order);
  // Start hands the behaviour mode to the board; nothing before it does.
  const bool started = s.outcome == "completed" || s.outcome == "cancelled" || s.exitStatus == 6;
  EXPECT_EQ(board.Get("Record", "BehaviorMode").has_value(), started);
  if (!s.jsonKeys.empty()) {
    EXPECT_EQ(Fields(s.jsonArray.empty() ? result : Field(result, s.jsonArray), s.jsonKeys),
              json::parse(s.jsonValue));
  }

  // Each written image whole: its size and digest in the board's record,
  // and the copy the board dumped, byte for byte.
  EXPECT_EQ(FileExists("written"), !s.written.empty());
  for (std::size_t c = 0; c < 4; ++c) {
    const std::string label = kLabels[c];
    const bool expected = std::find(s.written.begin(), s.written.end(), label) != s.written.end();
    std::string part = label;
    std::erase(part, '(');
    std::erase(part, ')');
    const std::string dump = "written/" + s.boardId + "-" + part + ".bin";
    ASSERT_EQ(FileExists(dump), expected) << dump;
    const std::string size = board.GetOr(written, label + ".Size", "");
    const std::string digest = board.GetOr(written, label + ".Digest", "");
    if (!expected) {
      EXPECT_EQ(size + digest, "") << label;
      continue;
    }
    ASSERT_FALSE(images[c].empty()) << label;
    EXPECT_EQ(size, std::to_string(images[c].size())) << label;
    EXPECT_EQ(digest, Fnv1a64Hex(images[c])) << label;
    EXPECT_EQ(ReadFileBytes(dump), images[c]) << dump;
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, UpdateScenarioTest, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

// The board installs what was written once the run ends, so the next run
// finds it up to date and writes nothing more.
TEST(UpdateSequenceTest, SecondRunAfterACompletedOneIsNotNeeded) {
  ScratchDir dir;
  WriteFileText("board.ini", kOneBoard);
  Samples();
  ASSERT_EQ(Kxupdate("update --json").status, 0);
  const KxupdateRun second = Kxupdate("update --json");
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(Field(second.Json(), "outcome"), "not-needed");
  const JudgedIni board("board.ini");
  EXPECT_EQ(board.GetOr("Written KX58-0001", "Order", ""), "FPGA1,FPGA2,Firm(Appl),Firm(Boot)");
  EXPECT_EQ((std::vector<std::string>{board.GetOr("Board KX58-0001", "Version3", ""),
                                      board.GetOr("Board KX58-0001", "Version5", ""),
                                      board.GetOr("Board KX58-0001", "Version9", "")}),
            (std::vector<std::string>{"V01.02.00", "V01.02.00", "V01.01.00"}));
}

TEST(UpdateSequenceTest, LogFileGetsTimeStampedLinesAppended) {
  ScratchDir dir;
  WriteFileText("board.ini", kOneBoard);
  ASSERT_EQ(Kxupdate("update --log-file update.log").status, 3);  // no update files yet
  const std::string first = ReadFileText("update.log");
  Samples();
  ASSERT_EQ(Kxupdate("update --log-file update.log").status, 0);
  const std::string both = ReadFileText("update.log");
  ASSERT_EQ(both.rfind(first, 0), 0u) << "the first run's lines stay first";

  const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
  std::vector<std::string> lines;
  std::istringstream in(both);
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, stamped)) << line;
    lines.push_back(match[1]);
  }
  auto at = [&](const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) - lines.begin();
  };
  // A message's every line is stamped, not only its first.
  EXPECT_LT(at("Checking the file.....Failuer."), at("Updates FPGA1.....Completed"));
  EXPECT_LT(at("(Error Code:03)"), at("Updates FPGA1.....Completed"));
  EXPECT_LT(at("Updates FPGA1.....Completed"), at("Updates Firm(Boot).....Completed"));
  EXPECT_LT(at("Updates Firm(Boot).....Completed"), static_cast<long>(lines.size()));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Initializing.....Completed"), 2);
}

// A pseudo-terminal that a child uses as its standard input and output:
// raw, so that what the child writes arrives as it stands and what the test
// types reaches it as typed. Closing the test's side ends the child's input.
class Pty {
 public:
  Pty() {
    leader_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (leader_ < 0 || grantpt(leader_) != 0 || unlockpt(leader_) != 0) return;
    const char* name = ptsname(leader_);
    if (name == nullptr) return;
    follower_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios mode{};
    if (follower_ < 0 || tcgetattr(follower_, &mode) != 0) return;
    cfmakeraw(&mode);
    ok_ = tcsetattr(follower_, TCSANOW, &mode) == 0;
  }
  ~Pty() {
    if (follower_ >= 0) close(follower_);
    if (leader_ >= 0) close(leader_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool ok() const { return ok_; }
  int follower() const { return follower_; }
  bool Type(const std::string& text) {
    return write(leader_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  // Adds what the child has written so far to `out`, without waiting.
  void Drain(std::string& out) {
    pollfd ready{leader_, POLLIN, 0};
    char buffer[4096];
    while (poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN) != 0) {
      const ssize_t n = read(leader_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<std::size_t>(n));
    }
  }

 private:
  int leader_ = -1;
  int follower_ = -1;  // kept open here too, so that the child's last output stays readable
  bool ok_ = false;
};

// kxupdate --simulate ARGS started in the working directory with the
// terminal as its standard input and output and `errFile` as its standard
// error; its process id (-1 when it could not start).
pid_t StartOnTerminal(const Pty& terminal, const std::string& args, const std::string& errFile) {
  const std::string dir = std::filesystem::current_path().string();
  const std::string command = "exec env LANGUAGE=en KXSIM_BOARD='" + dir +
                              "/board.ini' XDG_RUNTIME_DIR='" + dir + "' " + KXUPDATE_PATH +
                              " --simulate " + args + " 2>" + errFile;
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, terminal.follower(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, terminal.follower(), STDOUT_FILENO);
  pid_t pid = -1;
  if (posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// A second update of a board that one is updating is refused at once and
// names the process that holds the board; the first run goes on unharmed.
TEST(UpdateSequenceTest, SecondUpdateOfABoardBeingUpdatedIsRefused) {
  ScratchDir dir;
  WriteFileText("board.ini", kOneBoard);
  // FPGA1 older than the board's: the first run, on a terminal, asks before
  // it writes anything and holds the board until it is answered.
  const Images images = OlderFpga1();

  Pty terminal;
  ASSERT_TRUE(terminal.ok());
  const pid_t first = StartOnTerminal(terminal, "update --json", "first.err");
  ASSERT_GT(first, 0);
  bool reaped = false;
  int status = -1;
  std::string firstOut;
  const auto firstEnded = [&] {
    terminal.Drain(firstOut);
    reaped = reaped || waitpid(first, &status, WNOHANG) == first;
    return reaped;
  };
  // However this test ends, the first run is not left behind: it gets its
  // answer, and should it still not end, it is killed.
  struct Reaper {
    std::function<void()> reap;
    ~Reaper() { reap(); }
  } reaper{[&] {
    if (reaped) return;
    terminal.Type("n\n");
    if (!testing::WaitUntil(firstEnded)) {
      kill(first, SIGKILL);
      waitpid(first, nullptr, 0);
    }
  }};

  const auto asked = [] {
    return FileExists("first.err") && ReadFileText("first.err").find("[y/N] ") != std::string::npos;
  };
  ASSERT_TRUE(testing::WaitUntil(asked)) << "the first run never asked";
  const KxupdateRun second = Kxupdate("update --json");
  ASSERT_TRUE(terminal.Type("y\n"));
  const bool ended = testing::WaitUntil(firstEnded);

  EXPECT_EQ(second.status, 1) << second.err;
  EXPECT_EQ(Fields(second.Json(), {"outcome", "error_code", "board"}),
            json({"failed", 1, "KX58-0001"}));
  EXPECT_NE(second.err.find("board KX58-0001 is being updated by process " + std::to_string(first)),
            std::string::npos)
      << second.err;
  EXPECT_NE(second.err.find("(process " + std::to_string(first) + ")"), std::string::npos)
      << second.err;

  ASSERT_TRUE(ended) << "the first run did not end after its answer";
  terminal.Drain(firstOut);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFileText("first.err");
  EXPECT_EQ(Field(testing::ParseJson(firstOut, "(the first run's output)"), "outcome"),
            "completed");
  const JudgedIni board("board.ini");
  EXPECT_EQ(board.GetOr("Written KX58-0001", "Order", ""), "FPGA1,Firm(Appl),Firm(Boot)");
  EXPECT_EQ(board.GetOr("Written KX58-0001", "FPGA1.Size", ""), std::to_string(images[0].size()));
}

}  // namespace
}  // namespace kx
