// The update dialog's failures at the update data: the log and the message
// stay the string table's, the error code is the one the flow gives, and
// FailureReason() names the step, the file and the one cause.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "camera/next_dlg.h"
#include "tests/child_process.h"
#include "tests/fake_driver.h"
#include "tests/package_fixture.h"
#include "tests/recording_window.h"
#include "tests/scratch_dir.h"
#include "tests/srecord_fixture.h"
#include "updatedata/package_format.h"

namespace kx {
namespace {

using testing::FakeDriver;
using testing::FixturePackage;
using testing::PatternBytes;
using testing::RecordingWindow;
using testing::SRecordText;
using testing::StoredPackage;
using testing::WriteFileBytes;
using testing::WriteFileText;

const std::string kCheckFailed = "Initializing.....Completed\r\nChecking the file.....Failuer.";
const std::string kOpenFailed =
    "Initializing.....Completed\r\nChecking the file.....Completed\r\nOpens the file.....Failuer.";
const std::string kMessage403 = "Update file does not open.\n Exits update.\n(Error Code:03)";
const std::string kMessage404 = "Update file is wrong. Exits update.\n(Error Code:04)";
const std::string kMessage408 =
    "The file name of load module file is not corresponding to the kind of file.\nPlease confirm "
    "the file name and the kind of file.\n(Error Code:08)";

FixturePackage Package() {
  return {{{"01_02_00", PatternBytes(40, 1)},
           {"01_02_00", PatternBytes(30, 2)},
           {"01_02_00", PatternBytes(20, 3)},
           {"01_01_00", PatternBytes(10, 4)}}};
}

// What the dialog ended with, as plain values (a child process sends them).
struct Ending {
  int errorCode = -1;
  std::string log;
  std::vector<std::string> messages;
  DataFailureStep step = DataFailureStep::kNone;
  std::string file;
  std::string reason;
  std::vector<std::string> choices;
};

Ending RunDialog(const NextDlgOptions& extra = {}) {
  FakeDriver driver;
  driver.slots = {"KX58-0001"};
  driver.versions = {{3, "V01.01.00"}, {5, "V01.01.00"}, {9, "V01.00.00"}};
  RecordingWindow window;
  NextDlgOptions options = extra;
  options.language = Language::kEnglish;
  options.lockBoard = false;  // not what these tests are about
  CNextDlg dialog(driver, window, options);
  dialog.OnInitDialog();
  Ending ending;
  ending.errorCode = dialog.ErrorCode();
  ending.log = dialog.Log();
  for (const auto& message : window.messages) ending.messages.push_back(message.text);
  ending.step = dialog.FailureReason().step;
  ending.file = dialog.FailureReason().file;
  ending.reason = dialog.FailureReason().text;
  for (const ComponentFileChoice& choice : dialog.ComponentFileChoices()) {
    ending.choices.push_back(DescribeComponentFileChoice(choice));
  }
  return ending;
}

struct Case {
  const char* what;
  std::function<void()> arrange;
  int errorCode;
  std::string log;
  std::string message;
  DataFailureStep step;
  std::string file;
  std::string reason;  // the whole text; "" for none
};

void Expect(const Case& c, const Ending& ending) {
  EXPECT_EQ(ending.errorCode, c.errorCode) << c.what;
  EXPECT_EQ(ending.log, c.log) << c.what;
  EXPECT_EQ(ending.messages, std::vector<std::string>{c.message}) << c.what;
  EXPECT_EQ(ending.step, c.step) << c.what;
  EXPECT_EQ(ending.file, c.file) << c.what;
  EXPECT_EQ(ending.reason, c.reason) << c.what;
}

TEST(UpdateDialogReasonTest, EachDataFailureNamesItsCause) {
  auto appended = StoredPackage(Package(), 3);  // 256 + 100 bytes
  appended.push_back(0);
  const std::string longVersion = "2_0_0_" + std::string(30, '0');
  const Case cases[] = {
      {"FPGA file holding S-records", [] { WriteFileText("KXFPGA1v2_0_0.rbf", SRecordText({1})); },
       8, kCheckFailed, kMessage408, DataFailureStep::kKindCheck, "KXFPGA1v2_0_0.rbf",
       "KXFPGA1v2_0_0.rbf: S-record text, not FPGA data"},
      {"firmware file of raw bytes", [] { WriteFileText("KXFirmv2_0_0.s", "raw"); }, 8,
       kCheckFailed, kMessage408, DataFailureStep::kKindCheck, "KXFirmv2_0_0.s",
       "KXFirmv2_0_0.s: not firmware: line 1: not an S-record: does not begin with 'S'"},
      {"version text too long for the package",
       [&] { WriteFileBytes("KXFPGA1v" + longVersion + ".rbf", {1}); }, 3, kCheckFailed,
       kMessage403, DataFailureStep::kRebuild, "KXFPGA1v" + longVersion + ".rbf",
       "KXFPGA1v" + longVersion + ".rbf: version text longer than 31 characters"},
      {"package beside component files does not load",
       [&] {
         WriteFileBytes("DERadori.kx", appended);
         WriteFileBytes("KXFPGA2v9_0_0.rbf", {1});
       },
       3, kCheckFailed, kMessage403, DataFailureStep::kRebuild, "DERadori.kx",
       "DERadori.kx: 357 bytes, but its header states 256 + sizes = 356; no package is rebuilt "
       "without it, or its components would be lost"},
      {"the rebuild cannot write: the package's name is a folder's",
       [] {
         std::filesystem::create_directory("DERadori.kx");
         WriteFileBytes("KXFPGA2v9_0_0.rbf", {1});
       },
       3, kCheckFailed, kMessage403, DataFailureStep::kRebuild, "DERadori.kx",
       "cannot write DERadori.kx: not a regular file but a folder"},
      {"package alone fails its length test", [&] { WriteFileBytes("DERadori.kx", appended); }, 3,
       kOpenFailed, kMessage403, DataFailureStep::kLoad, "DERadori.kx",
       "DERadori.kx: 357 bytes, but its header states 256 + sizes = 356"},
  };
  for (const Case& c : cases) {
    testing::ScratchDir dir;
    c.arrange();
    Expect(c, RunDialog());
  }
}

TEST(UpdateDialogReasonTest, NoUpdateFilesNamesTheFolder) {
  testing::ScratchDir dir;
  const std::string folder = std::filesystem::current_path().string();
  Expect({"no update files",
          {},
          3,
          kCheckFailed,
          kMessage403,
          DataFailureStep::kFindFiles,
          "",
          "no update files in " + folder +
              ": neither DERadori.kx nor KXFPGA*.rbf, KXFirm*.s or KXBoot*.s"},
         RunDialog());
}

TEST(UpdateDialogReasonTest, ChecksumGivesBothSums) {
  testing::ScratchDir dir;
  const auto good = StoredPackage(Package(), 3);
  auto plain = testing::PlainPackage(good);
  plain[260] ^= 0x01;
  WriteFileBytes("DERadori.kx", testing::StorePlain(plain, 3));
  const double stored = package::ByteSum(testing::PlainPackage(good).data() + 256, 100);
  const double computed = package::ByteSum(plain.data() + 256, 100);
  char reason[160];
  std::snprintf(reason, sizeof reason,
                "DERadori.kx: checksum test failed: stored %.0f, images sum to %.0f", stored,
                computed);
  Expect({"checksum",
          {},
          4,
          kOpenFailed,
          kMessage404,
          DataFailureStep::kChecksum,
          "DERadori.kx",
          reason},
         RunDialog());
}

// With --check nothing is written: the merge in memory fails the same way.
TEST(UpdateDialogReasonTest, MergeInMemorySaysWhyToo) {
  testing::ScratchDir dir;
  WriteFileText("KXFirmv9_0_0.s", SRecordText(PatternBytes(20, 1)));
  WriteFileBytes("KXFPGA1v9_" + std::string(40, '0') + ".rbf", {1});
  NextDlgOptions options;
  options.changeNoFiles = true;
  const Ending ending = RunDialog(options);
  EXPECT_EQ(ending.errorCode, 3);
  EXPECT_EQ(ending.step, DataFailureStep::kRebuild);
  EXPECT_EQ(ending.reason,
            "KXFPGA1v9_" + std::string(40, '0') + ".rbf: version text longer than 31 characters");
}

// Runs the dialog as another user than root, so that permissions apply;
// the ending comes back through a pipe, one field a line.
Ending RunAsAnotherUser() {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const int status = testing::RunInChild([&] {
    close(fds[0]);
    if (!testing::GiveUpRoot()) return 255;
    const Ending ending = RunDialog();
    const std::string text = std::to_string(ending.errorCode) + "\n" +
                             std::to_string(static_cast<int>(ending.step)) + "\n" + ending.file +
                             "\n" + ending.reason + "\n" +
                             (ending.messages.empty() ? "" : ending.messages[0]);
    return write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 254;
  });
  close(fds[1]);
  std::string text;
  char chunk[4096];
  for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;) text.append(chunk, n);
  close(fds[0]);
  Ending ending;
  if (status != 0) {
    ending.reason = "the child ended with " + std::to_string(status);
    return ending;
  }
  std::size_t from = 0;
  auto next = [&](bool last = false) {
    const std::size_t end = last ? std::string::npos : text.find('\n', from);
    std::string field = text.substr(from, end - from);
    from = end == std::string::npos ? text.size() : end + 1;
    return field;
  };
  ending.errorCode = std::stoi(next());
  ending.step = static_cast<DataFailureStep>(std::stoi(next()));
  ending.file = next();
  ending.reason = next();
  ending.messages = {next(true)};
  return ending;
}

// A component file that cannot be read is the update file that does not
// open (03), not one whose name lies about its kind (08): FPGA and firmware
// alike, found by the kind check before anything else reads it.
TEST(UpdateDialogReasonTest, UnreadableComponentFileIsError03WithItsCause) {
  for (const char* name : {"KXFirmv9_0_0.s", "KXFPGA1v9_0_0.rbf"}) {
    testing::ScratchDir dir;
    WriteFileText(name, SRecordText(PatternBytes(20, 1)));
    WriteFileBytes("DERadori.kx", StoredPackage(Package(), 3));
    ASSERT_EQ(chmod(".", 0777), 0);  // the settings file
    ASSERT_EQ(chmod(name, geteuid() == 0 ? 0600 : 0), 0);
    const Ending ending = RunAsAnotherUser();
    EXPECT_EQ(ending.errorCode, 3) << name << ": " << ending.reason;
    EXPECT_EQ(ending.step, DataFailureStep::kKindCheck) << name;
    EXPECT_EQ(ending.file, name);
    EXPECT_EQ(ending.reason, std::string("cannot read ") + name + ": permission denied");
    EXPECT_EQ(ending.messages, std::vector<std::string>{kMessage403}) << name;
  }
}

// Two files for one component: the first by name is used and said so, the
// broken second one is not looked at, and the update goes on.
TEST(UpdateDialogReasonTest, SecondFileForAComponentIsIgnoredAndListed) {
  testing::ScratchDir dir;
  WriteFileBytes("KXFPGA1v01_02_00.rbf", PatternBytes(40, 5));
  WriteFileText("KXFPGA1v01_03_00.rbf", SRecordText({1}));  // the wrong kind
  WriteFileText("KXFirmv01_03_00.s", SRecordText(PatternBytes(20, 6)));
  const Ending ending = RunDialog();
  EXPECT_EQ(ending.errorCode, 0) << ending.reason;
  EXPECT_EQ(ending.step, DataFailureStep::kNone);
  EXPECT_EQ(ending.reason, "");
  EXPECT_EQ(ending.choices, std::vector<std::string>{
                                "FPGA1: KXFPGA1v01_02_00.rbf used; KXFPGA1v01_03_00.rbf ignored"});
}

}  // namespace
}  // namespace kx
