// The update dialog's initialisation and run against an in-process driver.
#include <algorithm>
#include <cctype>
#include <functional>

#include <gtest/gtest.h>

#include "camera/next_dlg.h"
#include "tests/fake_driver.h"
#include "tests/package_fixture.h"
#include "tests/recording_window.h"
#include "tests/scratch_dir.h"
#include "tests/srecord_fixture.h"

namespace kx {
namespace {

using testing::CleanUpdateEvents;
using testing::FakeDriver;
using testing::FixturePackage;
using testing::PatternBytes;
using testing::ReadFileText;
using testing::RecordingWindow;
using testing::StoredPackage;
using testing::WriteFileBytes;
using testing::WriteFileText;

const std::string kZeroCounts =
    "[NumOfRetryPackets]\r\nFPGA1=0\r\nFPGA2=0\r\nFirm(Appl)=0\r\nFirm(Boot)=0\r\n";
const std::string kInitLog =
    "Initializing.....Completed\r\nChecking the file.....Completed\r\nOpens the file.....Completed\r\n";

FixturePackage NewerPackage() {
  return {{{"01_02_00", PatternBytes(40, 1)},
           {"01_02_00", PatternBytes(30, 2)},
           {"01_02_00", PatternBytes(20, 3)},
           {"01_01_00", PatternBytes(10, 4)}}};
}

// A scratch working directory with a board, a driver and a window.
class UpdateDialogTest : public ::testing::Test {
 public:
  void SetUp() override {
    driver.slots = {"KX58-0001"};
    driver.versions = {{3, "V01.01.00"}, {5, "V01.01.00"}, {9, "V01.00.00"}};
  }

  void WritePackage(const FixturePackage& parts) { WriteFileBytes("DERadori.kx", StoredPackage(parts, 3)); }

  std::unique_ptr<CNextDlg> Open() {
    NextDlgOptions options;
    options.language = Language::kEnglish;
    options.eventTimeout = std::chrono::milliseconds(200);
    options.boardLock = BoardLockRule::InFolder(dir.path());
    auto dialog = std::make_unique<CNextDlg>(driver, window, options);
    EXPECT_TRUE(dialog->OnInitDialog());
    return dialog;
  }

  testing::ScratchDir dir;
  FakeDriver driver;
  RecordingWindow window;
};

// --- initialisation ---

struct InitCase {
  const char* what;
  std::function<void(UpdateDialogTest&)> arrange;
  DialogState state;
  int errorCode;
  std::string log;
  std::string message;  // the beginning of the one message shown, empty: none
  MessageIcon icon = MessageIcon::kError;
};

class InitTest : public UpdateDialogTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(InitTest, EndsAsTheCaseCallsFor) {
  const InitCase& c = GetParam();
  c.arrange(*this);
  auto dialog = Open();
  EXPECT_EQ(dialog->State(), c.state);
  EXPECT_EQ(dialog->ErrorCode(), c.errorCode);
  EXPECT_EQ(dialog->Log(), c.log);
  EXPECT_EQ(window.log, c.log);
  if (c.message.empty()) {
    EXPECT_TRUE(window.messages.empty());
  } else {
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text.substr(0, c.message.size()), c.message);
    EXPECT_EQ(window.messages[0].icon, c.icon);
  }
  EXPECT_EQ(window.startEnabled, c.state == DialogState::kReady);
  EXPECT_TRUE(window.cancelEnabled);
  EXPECT_EQ(window.status, c.state == DialogState::kReady ? "Please click [Start] to make update start." : "");
  EXPECT_EQ(window.startText, "Start");
  EXPECT_EQ(window.cancelText, "Cancel");
  // Whatever happened, the counts were reset first.
  EXPECT_EQ(ReadFileText("DERadori.ini"), kZeroCounts);
  if (c.state == DialogState::kNotNeeded) {
    EXPECT_EQ(window.result, DialogResult::kOk);
  } else {
    EXPECT_FALSE(window.result);
  }
}

const std::string kFail = "Initializing.....Completed\r\nChecking the file.....Failuer.";
const std::string kOpenFail =
    "Initializing.....Completed\r\nChecking the file.....Completed\r\nOpens the file.....Failuer.";

INSTANTIATE_TEST_SUITE_P(
    Endings, InitTest,
    ::testing::Values(
        InitCase{"no board",
                 [](UpdateDialogTest& t) {
                   t.driver.slots = {};
                   t.driver.errorWithoutCamera = 2;
                   WriteFileBytes("KXFPGA1v9_0_0.rbf", {1});  // never looked at
                 },
                 DialogState::kStopped, 1, "Initializing.....Failuer.\r\n(kCAM_API_INVALID_PARAM)",
                 "PCI-board does not insert"},
        InitCase{"board choice cancelled",
                 [](UpdateDialogTest& t) { t.driver.slots = {"KX58-2", "KX58-1"}; },
                 DialogState::kStopped, 1, "Initializing.....Failuer.\r\n(kCAM_NO_ERROR)",
                 "PCI-board does not insert"},
        InitCase{"create error",
                 [](UpdateDialogTest& t) { t.driver.errorAfterCreate = 1001; },
                 DialogState::kStopped, 1,
                 "Initializing.....Failuer.\r\n(kCAM_API_CANNOT_CREATE_CAMERA)",
                 "PCI-board does not insert"},
        InitCase{"no update files", [](UpdateDialogTest&) {}, DialogState::kStopped, 3, kFail,
                 "Update file does not open."},
        InitCase{"FPGA file holding S-records",
                 [](UpdateDialogTest&) { WriteFileText("KXFPGA1v2_0_0.rbf", testing::SRecordText({1})); },
                 DialogState::kStopped, 8, kFail, "The file name of load module file"},
        InitCase{"rebuild fails",
                 [](UpdateDialogTest&) {
                   WriteFileBytes("KXFPGA1v2_0_0_" + std::string(30, '0') + ".rbf", {1});
                 },
                 DialogState::kStopped, 3, kFail, "Update file does not open."},
        InitCase{"package fails its length test",
                 [](UpdateDialogTest&) {
                   auto bytes = StoredPackage(NewerPackage(), 3);
                   bytes.pop_back();
                   WriteFileBytes("DERadori.kx", bytes);
                 },
                 DialogState::kStopped, 3, kOpenFail, "Update file does not open."},
        InitCase{"bad checksum",
                 [](UpdateDialogTest&) {
                   auto plain = testing::PlainPackage(StoredPackage(NewerPackage(), 3));
                   plain[260] ^= 0x40;
                   WriteFileBytes("DERadori.kx", testing::StorePlain(plain, 3));
                 },
                 DialogState::kStopped, 4, kOpenFail, "Update file is wrong."},
        InitCase{"application firmware newer: ready",
                 [](UpdateDialogTest& t) { t.WritePackage(NewerPackage()); }, DialogState::kReady, 0,
                 kInitLog, ""},
        InitCase{"same version: not needed",
                 [](UpdateDialogTest& t) {
                   t.WritePackage(NewerPackage());
                   t.driver.versions[5] = "V01.02.00";
                 },
                 DialogState::kNotNeeded, 0, kInitLog, "It is not necessary to update it.",
                 MessageIcon::kWarning},
        InitCase{"same version but the firmware area is damaged (145)",
                 [](UpdateDialogTest& t) {
                   t.WritePackage(NewerPackage());
                   t.driver.versions[5] = "V01.02.00";
                   t.driver.errorAfterVersionRead = 145;
                 },
                 DialogState::kReady, 0, kInitLog, ""},
        InitCase{"installed text not zero-padded sorts after: not needed",
                 [](UpdateDialogTest& t) {
                   t.WritePackage(NewerPackage());
                   t.driver.versions[5] = "V1.2.3";
                 },
                 DialogState::kNotNeeded, 0, kInitLog, "It is not necessary", MessageIcon::kWarning},
        InitCase{"component files rebuilt, then loaded",
                 [](UpdateDialogTest&) {
                   WriteFileText("KXFirmv1_3_0.s", testing::SRecordText(PatternBytes(50, 9)));
                 },
                 DialogState::kReady, 0, kInitLog, ""}),
    [](const ::testing::TestParamInfo<InitCase>& info) {
      std::string name;
      for (char ch : std::string(info.param.what)) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return name;
    });

TEST_F(UpdateDialogTest, NoBoardLooksAtNoUpdateFile) {
  driver.slots = {};
  WriteFileBytes("KXFPGA1v9_0_0.rbf", {1, 2, 3});
  auto dialog = Open();
  EXPECT_FALSE(testing::FileExists("DERadori.kx"));  // no rebuild happened
}

TEST_F(UpdateDialogTest, SeveralBoardsOfferedSortedAndTheChoiceOpened) {
  driver.slots = {"KX58-B", "ZX10-1", "KX58-A"};
  window.boardChoice = "KX58-B";
  WritePackage(NewerPackage());
  auto dialog = Open();
  ASSERT_EQ(window.boardLists.size(), 1u);
  EXPECT_EQ(window.boardLists[0], (std::vector<std::string>{"KX58-A", "KX58-B"}));
  EXPECT_EQ(driver.createdWith, "KX58-B");
  EXPECT_EQ(dialog->State(), DialogState::kReady);
}

TEST_F(UpdateDialogTest, SecondDialogOnTheSameBoardIsRefused) {
  WritePackage(NewerPackage());
  auto first = Open();
  ASSERT_EQ(first->State(), DialogState::kReady);
  FakeDriver secondDriver;
  secondDriver.slots = {"KX58-0001"};
  RecordingWindow secondWindow;
  NextDlgOptions options;
  options.language = Language::kEnglish;
  options.boardLock = BoardLockRule::InFolder(dir.path());
  CNextDlg second(secondDriver, secondWindow, options);
  second.OnInitDialog();
  EXPECT_EQ(second.State(), DialogState::kStopped);
  EXPECT_EQ(second.ErrorCode(), 1);
  EXPECT_TRUE(secondDriver.createdWith.empty());  // the board was not touched
  ASSERT_EQ(secondWindow.messages.size(), 1u);
  EXPECT_NE(secondWindow.messages[0].text.find("process " + std::to_string(getpid())), std::string::npos)
      << secondWindow.messages[0].text;
}

TEST(CompareWithInstalledTest, Table) {
  struct Case {
    const char* name;
    const char* installed;
    int result;
  };
  const Case cases[] = {
      {"1_2_3", "V01.02.03", 0},   {"01_02_03", "V01.02.03", 0}, {"1_2_4", "V01.02.03", 1},
      {"1_2_3", "V1.2.3", -1},     {"100_1_1", "V99.01.01", -1}, {"0_x_1", "V00.00.01", 0},
      {"", "V00.00.00", 0},        {"1_2_3", "", 1},              {"1_2_3", "V01.02.03 ", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CNextDlg::CompareWithInstalled(c.name, c.installed), c.result) << c.name << " vs " << c.installed;
  }
}

// --- the run ---

TEST_F(UpdateDialogTest, CompletedRunWritesEveryComponentInOrder) {
  auto parts = NewerPackage();
  WritePackage(parts);
  driver.versions[3] = "V01.00.00";
  driver.versions[9] = "V01.00.00";
  auto dialog = Open();
  ASSERT_EQ(dialog->State(), DialogState::kReady);
  dialog->OnStart();
  EXPECT_EQ(dialog->State(), DialogState::kCompleted);
  EXPECT_EQ(driver.writtenKinds, (std::vector<std::int32_t>{1, 2, 0, 3}));
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(driver.written[i], parts[i].image) << i;
  EXPECT_EQ(dialog->Log(), kInitLog +
                               "Updates FPGA1.....Completed\r\nUpdates FPGA2.....Completed\r\n"
                               "Updates Firm(Appl).....Completed\r\nUpdates Firm(Boot).....Completed\r\n");
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].icon, MessageIcon::kInformation);
  EXPECT_EQ(window.messages[0].text.substr(0, 22), "KX58 update completed.");
  EXPECT_EQ(window.status, "");
  EXPECT_EQ(window.result, DialogResult::kOk);
  EXPECT_FALSE(window.startEnabled);
  // Progress was shown after the log, then replaced by the completion line.
  EXPECT_NE(std::find(window.logViews.begin(), window.logViews.end(),
                      kInitLog + "Updates FPGA1.....50[%]"),
            window.logViews.end());
}

struct RunCase {
  const char* what;
  std::vector<FakeDriver::UpdateAnswer> answers;  // per component written
  DialogState state;
  std::string logTail;
  std::vector<std::int32_t> writtenKinds;
};

class RunTest : public UpdateDialogTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(RunTest, EndsAsTheDriverMakesIt) {
  const RunCase& c = GetParam();
  WritePackage(NewerPackage());
  driver.versions[3] = "V01.00.00";
  driver.versions[9] = "V01.00.00";
  driver.answers = c.answers;
  auto dialog = Open();
  ASSERT_EQ(dialog->State(), DialogState::kReady);
  dialog->OnStart();
  EXPECT_EQ(dialog->State(), c.state);
  const std::string& log = dialog->Log();
  ASSERT_GE(log.size(), c.logTail.size());
  EXPECT_EQ(log.substr(log.size() - c.logTail.size()), c.logTail) << log;
  EXPECT_EQ(driver.writtenKinds, c.writtenKinds);
  if (c.state == DialogState::kFailed) {
    EXPECT_EQ(dialog->ErrorCode(), 6);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text.substr(0, 14), "Failed update.");
    EXPECT_EQ(window.messages[0].icon, MessageIcon::kError);
    EXPECT_EQ(window.status, "Update is canceled.");
    EXPECT_TRUE(window.cancelEnabled);
    EXPECT_FALSE(window.startEnabled);
    EXPECT_FALSE(window.result);
  }
}

using Events = std::vector<DriverEvent>;

INSTANTIATE_TEST_SUITE_P(
    Endings, RunTest,
    ::testing::Values(
        RunCase{"refused before any event", {{true, {}}}, DialogState::kFailed,
                "Updates FPGA1.....Failuer.\r\n(kCAM_NO_ERROR)", {}},
        RunCase{"15 before 14", {{false, Events{{15, 0, 0}, {14, 0, 0}, {17, 100, 0}}}},
                DialogState::kFailed, "Updates FPGA1.....Failuer.\r\n(kCAM_NO_ERROR)", {1}},
        RunCase{"16 instead of 17 names its status",
                {{false, Events{{14, 0, 0}, {15, 0, 0}, {16, 40, 144}}}}, DialogState::kFailed,
                "Updates FPGA1.....Failuer.\r\n(kCAM_CAMERA_ROM_WRITE_ERROR)", {1}},
        RunCase{"an unknown waking type", {{false, Events{{14, 0, 0}, {15, 0, 0}, {3, 0, 0}}}},
                DialogState::kFailed, "Updates FPGA1.....Failuer.\r\n(kCAM_NO_ERROR)", {1}},
        RunCase{"stall in the second component: the label is the last status taken",
                {{false, Events{{14, 0, 0}, {15, 0, 0}, {17, 100, 102}}},
                 {false, Events{{14, 0, 0}, {15, 0, 0}}}},
                DialogState::kFailed,
                "Updates FPGA2.....Failuer.\r\n(kCAM_COM_TIMEOUT)\r\n"
                "No event from the driver for 0.2 seconds.",
                {1, 2}},
        RunCase{"non-waking events interleaved do not disturb the run",
                {{false, Events{{0, 1, 1}, {14, 0, 0}, {2, 1, 1}, {15, 0, 0}, {12, 1, 1}, {17, 100, 0}}}},
                DialogState::kCompleted, "Updates Firm(Boot).....Completed\r\n", {1, 2, 0, 3}},
        RunCase{"first progress event at 100",
                {{false, Events{{14, 0, 0}, {15, 0, 0}, {17, 100, 0}}}}, DialogState::kCompleted,
                "Updates Firm(Boot).....Completed\r\n", {1, 2, 0, 3}},
        RunCase{"progress past 100 is not the end: only exactly 100 is",
                {{false, Events{{14, 0, 0}, {15, 0, 0}, {17, 101, 0}, {17, 5, 0}, {17, 100, 0}}}},
                DialogState::kCompleted, "Updates Firm(Boot).....Completed\r\n", {1, 2, 0, 3}}),
    [](const ::testing::TestParamInfo<RunCase>& info) {
      std::string name;
      for (char ch : std::string(info.param.what)) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return name;
    });

// Retry counts reach the settings file as each event arrives.
class SettingsWatchingWindow : public RecordingWindow {
 public:
  std::vector<std::string> seen;
  void ShowProgress(const std::string& text, std::int32_t percent) override {
    RecordingWindow::ShowProgress(text, percent);
    seen.push_back(ReadFileText("DERadori.ini"));
  }
};

TEST_F(UpdateDialogTest, RetriedPacketsAreWrittenAsTheyHappen) {
  FixturePackage parts = {{{}, {}, {"01_02_00", PatternBytes(20, 3)}, {"01_01_00", PatternBytes(10, 4)}}};
  WritePackage(parts);
  driver.answers = {{false, CleanUpdateEvents()},
                    {false, Events{{14, 0, 0}, {15, 0, 0}, {17, 25, 102}, {17, 50, 102}, {17, 75, 0},
                                   {17, 100, 131}}}};
  SettingsWatchingWindow watcher;
  NextDlgOptions options;
  options.language = Language::kEnglish;
  options.boardLock = BoardLockRule::InFolder(dir.path());
  CNextDlg dialog(driver, watcher, options);
  dialog.OnInitDialog();
  ASSERT_EQ(dialog.State(), DialogState::kReady);
  dialog.OnStart();
  ASSERT_EQ(dialog.State(), DialogState::kCompleted);
  ASSERT_EQ(watcher.seen.size(), 6u);
  auto boot = [](const std::string& ini) { return ini.substr(ini.find("Firm(Boot)=")); };
  EXPECT_EQ(boot(watcher.seen[2]), "Firm(Boot)=1\r\n");
  EXPECT_EQ(boot(watcher.seen[3]), "Firm(Boot)=2\r\n");
  EXPECT_EQ(boot(watcher.seen[4]), "Firm(Boot)=2\r\n");
  EXPECT_EQ(boot(watcher.seen[5]), "Firm(Boot)=3\r\n");
  EXPECT_EQ(dialog.RetryCounts(), (std::array<std::int32_t, 4>{0, 0, 0, 3}));
  EXPECT_EQ(ReadFileText("DERadori.ini"),
            "[NumOfRetryPackets]\r\nFPGA1=0\r\nFPGA2=0\r\nFirm(Appl)=0\r\nFirm(Boot)=3\r\n");
  // Only the application firmware and the boot firmware were logged.
  EXPECT_EQ(dialog.Log(), kInitLog + "Updates Firm(Appl).....Completed\r\nUpdates Firm(Boot).....Completed\r\n");
}

TEST_F(UpdateDialogTest, DecliningAnOlderFpga2AfterFpga1Cancels) {
  auto parts = NewerPackage();
  parts[1].version = "01_00_00";  // older than the installed V01.01.00
  WritePackage(parts);
  driver.versions[3] = "V01.01.00";
  parts[0].version = "01_02_00";
  auto dialog = Open();
  ASSERT_EQ(dialog->State(), DialogState::kReady);
  window.answers = {MessageAnswer::kNo};
  dialog->OnStart();
  EXPECT_EQ(dialog->State(), DialogState::kCancelled);
  EXPECT_EQ(driver.writtenKinds, std::vector<std::int32_t>{1});
  const std::string tail = "Updates FPGA2.....Cancel";
  EXPECT_EQ(dialog->Log().substr(dialog->Log().size() - tail.size()), tail);
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].buttons, MessageButtons::kYesNo);
  EXPECT_EQ(window.messages[0].icon, MessageIcon::kQuestion);
  EXPECT_EQ(window.status, "Update is canceled.");
  EXPECT_TRUE(window.cancelEnabled);
  EXPECT_FALSE(window.result);
}

TEST_F(UpdateDialogTest, EqualVersionsAskButTheApplicationFirmwareNever) {
  WritePackage(NewerPackage());
  driver.versions[3] = "V01.02.00";  // FPGA: equal, asks
  driver.versions[9] = "V01.01.00";  // boot: equal, asks
  auto dialog = Open();
  window.answers = {MessageAnswer::kYes, MessageAnswer::kYes, MessageAnswer::kYes};
  auto plan = dialog->PlanRun();
  ASSERT_EQ(plan.size(), 4u);
  EXPECT_EQ(plan[0].action, RunAction::kAsk);
  EXPECT_EQ(plan[1].action, RunAction::kAsk);
  EXPECT_EQ(plan[2].action, RunAction::kWrite);
  EXPECT_EQ(plan[3].action, RunAction::kAsk);
  EXPECT_TRUE(driver.written.empty());  // planning sends nothing
  dialog->OnStart();
  EXPECT_EQ(dialog->State(), DialogState::kCompleted);
  EXPECT_EQ(window.messages.size(), 4u);  // three questions, one completion
}

TEST_F(UpdateDialogTest, EmptyPackageWithDamagedAreaCompletesAtOnce) {
  WritePackage({});
  driver.errorAfterVersionRead = 145;
  auto dialog = Open();
  ASSERT_EQ(dialog->State(), DialogState::kReady);
  dialog->OnStart();
  EXPECT_EQ(dialog->State(), DialogState::kCompleted);
  EXPECT_EQ(dialog->Log(), kInitLog);
  EXPECT_TRUE(driver.written.empty());
  EXPECT_EQ(window.result, DialogResult::kOk);
}

TEST_F(UpdateDialogTest, BehaviourModeReachesTheDriver) {
  WritePackage(NewerPackage());
  auto dialog = Open();
  WriteFileText("DERadori.ini", "[Behavior]\r\nMode=3\r\n");
  dialog->OnStart();
  EXPECT_EQ(driver.behaviorMode, 3);
}

TEST_F(UpdateDialogTest, StartOutsideReadyDoesNothing) {
  auto dialog = Open();  // no files: stopped
  dialog->OnStart();
  EXPECT_EQ(dialog->State(), DialogState::kStopped);
  EXPECT_TRUE(driver.written.empty());
}

}  // namespace
}  // namespace kx
