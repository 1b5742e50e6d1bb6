// The update run's writes of the settings file: many retried packets leave
// an intact file with the right counts; a write that fails is told once, on
// a line of its own, and the run goes on.
#include <sys/stat.h>

#include <cctype>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include "camera/next_dlg.h"
#include "tests/fake_driver.h"
#include "tests/package_fixture.h"
#include "tests/recording_window.h"
#include "tests/scratch_dir.h"

namespace kx {
namespace {

using testing::CaptureCommand;
using testing::FakeDriver;
using testing::FixturePackage;
using testing::ListWorkingDirectory;
using testing::PatternBytes;
using testing::ReadFileText;
using testing::RecordingWindow;
using testing::SourceDir;
using testing::StoredPackage;
using testing::WriteFileBytes;
using testing::WriteFileText;

using Events = std::vector<DriverEvent>;

const std::string kInitLog =
    "Initializing.....Completed\r\nChecking the file.....Completed\r\nOpens the "
    "file.....Completed\r\n";
const std::string kWarning = "The retry counts could not be stored in DERadori.ini.";

// 14, 15, then `retried` progress events with a non-zero status and the
// last one, 100, without.
Events WithRetries(int retried) {
  Events events = {{14, 0, 0}, {15, 0, 0}};
  for (int i = 0; i < retried; ++i) events.push_back({17, i % 100, 102});
  events.push_back({17, 100, 0});
  return events;
}

// The settings file can no longer be written: a folder takes its name.
void BreakSettingsFile() {
  std::filesystem::remove("DERadori.ini");
  std::filesystem::create_directory("DERadori.ini");
}

class SettingsWritesTest : public ::testing::Test {
 public:
  void SetUp() override {
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    driver.slots = {"KX58-0001"};
    // Every component of the package is newer than the installed one.
    driver.versions = {{3, "V01.00.00"}, {5, "V01.01.00"}, {9, "V01.00.00"}};
    FixturePackage parts = {{{"01_02_00", PatternBytes(40, 1)},
                             {"01_02_00", PatternBytes(30, 2)},
                             {"01_02_00", PatternBytes(20, 3)},
                             {"01_01_00", PatternBytes(10, 4)}}};
    WriteFileBytes("DERadori.kx", StoredPackage(parts, 3));
  }
  void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }

  // Initialises the dialog and, when it is ready, starts the run. Before
  // the component whose index (in the order written) is `breakBefore`
  // reaches the driver, the settings file is made unwritable.
  std::unique_ptr<CNextDlg> Run(std::optional<std::size_t> breakBefore = std::nullopt) {
    driver.deliver = [this, breakBefore](const Events& events) {
      if (breakBefore && driver.written.size() == *breakBefore + 1) BreakSettingsFile();
      for (const DriverEvent& event : events) driver.Send(event);
    };
    NextDlgOptions options;
    options.language = Language::kEnglish;
    options.eventTimeout = std::chrono::milliseconds(10000);  // a broken run cannot hang
    options.lockBoard = false;
    auto dialog = std::make_unique<CNextDlg>(driver, window, options);
    dialog->OnInitDialog();
    if (dialog->State() == DialogState::kReady) dialog->OnStart();
    return dialog;
  }

  testing::ScratchDir dir;
  FakeDriver driver;
  RecordingWindow window;
};

TEST_F(SettingsWritesTest, ManyRetriesLeaveTheCountsInAnIntactFile) {
  WriteFileText("DERadori.ini", "; by hand\n[Behavior]\nMode=2\n\n[NumOfRetryPackets]\nFPGA2=9\n");
  driver.answers = {{false, WithRetries(300)},
                    {false, WithRetries(0)},
                    {false, WithRetries(1)},
                    {false, WithRetries(200)}};
  auto dialog = Run();
  ASSERT_EQ(dialog->State(), DialogState::kCompleted);
  EXPECT_FALSE(dialog->SettingsWriteFailed());
  EXPECT_EQ(dialog->SettingsWriteFailureReason(), "");
  EXPECT_EQ(dialog->RetryCounts(), (std::array<std::int32_t, 4>{300, 0, 1, 200}));
  EXPECT_EQ(dialog->Log().find(kWarning), std::string::npos);

  // Python's configparser reads the whole file as we meant it.
  int status = -1;
  const std::string entries =
      CaptureCommand("python3 " + SourceDir() + "/tests/ini_judge.py read DERadori.ini", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(entries,
            "Behavior\tMode\t2\n"
            "NumOfRetryPackets\tFPGA2\t0\n"
            "NumOfRetryPackets\tFPGA1\t300\n"
            "NumOfRetryPackets\tFirm(Appl)\t1\n"
            "NumOfRetryPackets\tFirm(Boot)\t200\n");
  // No temporary file of the many replacements is left behind.
  EXPECT_EQ(ListWorkingDirectory(), (std::vector<std::string>{"DERadori.ini", "DERadori.kx"}));
}

// A flushed write of a count the file already holds flushes the file where
// it stands (a read-only folder would refuse a replacement); a new count
// replaces the file, unflushed or flushed.
TEST_F(SettingsWritesTest, FlushedWriteOfAnUnchangedCountKeepsTheFile) {
  NextDlgOptions options;
  options.lockBoard = false;
  CNextDlg dialog(driver, window, options);
  auto inode = [] {
    struct stat info {};
    EXPECT_EQ(::stat("DERadori.ini", &info), 0);
    return info.st_ino;
  };
  ASSERT_EQ(dialog.WriteRetryCount(5, "FPGA1", platform::Durability::kAtomicOnly), 1);
  const auto first = inode();
  EXPECT_EQ(dialog.WriteRetryCount(5, "FPGA1"), 1);
  EXPECT_EQ(inode(), first);
  EXPECT_EQ(dialog.WriteRetryCount(6, "FPGA1", platform::Durability::kAtomicOnly), 1);
  const auto second = inode();
  EXPECT_NE(second, first);
  EXPECT_EQ(dialog.WriteRetryCount(7, "FPGA1"), 1);
  EXPECT_NE(inode(), second);
  EXPECT_EQ(ReadFileText("DERadori.ini"), "[NumOfRetryPackets]\r\nFPGA1=7\r\n");
  EXPECT_FALSE(dialog.SettingsWriteFailed());
}

struct FailedWriteCase {
  const char* what;
  std::function<void(SettingsWritesTest&)> arrange;  // before the dialog opens
  std::optional<std::size_t> breakBefore;  // the settings file breaks before this component
  std::vector<FakeDriver::UpdateAnswer> answers;
  std::deque<MessageAnswer> questions;  // answers to message 405
  DialogState state;
  std::string logAfterInit;  // the whole log after the initialisation's lines
  std::string reason;
  std::array<std::int32_t, 4> retries;
  std::size_t sent;  // components handed to the driver
};

class FailedWriteTest : public SettingsWritesTest,
                        public ::testing::WithParamInterface<FailedWriteCase> {};

TEST_P(FailedWriteTest, IsToldOnceOnItsOwnLineAndTheRunGoesOn) {
  const FailedWriteCase& c = GetParam();
  if (c.arrange) c.arrange(*this);
  driver.answers = c.answers;
  window.answers = c.questions;
  auto dialog = Run(c.breakBefore);
  EXPECT_EQ(dialog->State(), c.state);
  EXPECT_EQ(dialog->Log(), kInitLog + c.logAfterInit);
  EXPECT_EQ(window.log, dialog->Log());
  EXPECT_TRUE(dialog->SettingsWriteFailed());
  EXPECT_EQ(dialog->SettingsWriteFailureReason(), c.reason);
  EXPECT_EQ(dialog->RetryCounts(), c.retries);
  EXPECT_EQ(driver.written.size(), c.sent);
}

void Unwritable(SettingsWritesTest&) { BreakSettingsFile(); }

const std::string kBroken = " could not be written to DERadori.ini (not a regular file but a folder)";

INSTANTIATE_TEST_SUITE_P(
    Endings, FailedWriteTest,
    ::testing::Values(
        FailedWriteCase{"unwritable from the start: told after the first component",
                        Unwritable,
                        std::nullopt,
                        {{false, WithRetries(2)}, {false, WithRetries(0)}, {false, WithRetries(3)}},
                        {},
                        DialogState::kCompleted,
                        "Updates FPGA1.....Completed\r\n" + kWarning + "\r\n" +
                            "Updates FPGA2.....Completed\r\nUpdates Firm(Appl).....Completed\r\n"
                            "Updates Firm(Boot).....Completed\r\n",
                        "FPGA1=0" + kBroken,
                        {2, 0, 3, 0},
                        4},
        FailedWriteCase{
            "breaks during FPGA2's retries: told after FPGA2, the later counts still counted",
            nullptr,
            1,
            {{false, WithRetries(1)},
             {false, WithRetries(4)},
             {false, WithRetries(0)},
             {false, WithRetries(5)}},
            {},
            DialogState::kCompleted,
            "Updates FPGA1.....Completed\r\nUpdates FPGA2.....Completed\r\n" + kWarning + "\r\n" +
                "Updates Firm(Appl).....Completed\r\nUpdates Firm(Boot).....Completed\r\n",
            "FPGA2=1" + kBroken,
            {1, 4, 0, 5},
            4},
        FailedWriteCase{"breaks in a component without retries: its final write fails",
                        nullptr,
                        2,
                        {{false, WithRetries(0)}, {false, WithRetries(0)}, {false, WithRetries(0)}},
                        {},
                        DialogState::kCompleted,
                        "Updates FPGA1.....Completed\r\nUpdates FPGA2.....Completed\r\n"
                        "Updates Firm(Appl).....Completed\r\n" +
                            kWarning + "\r\n" + "Updates Firm(Boot).....Completed\r\n",
                        "Firm(Appl)=0" + kBroken,
                        {0, 0, 0, 0},
                        4},
        FailedWriteCase{"breaks in a component that then fails: told after the failure's label",
                        nullptr,
                        1,
                        {{false, WithRetries(0)},
                         {false, Events{{14, 0, 0}, {15, 0, 0}, {17, 30, 102}, {16, 40, 144}}}},
                        {},
                        DialogState::kFailed,
                        "Updates FPGA1.....Completed\r\nUpdates FPGA2.....Failuer.\r\n"
                        "(kCAM_CAMERA_ROM_WRITE_ERROR)\r\n" +
                            kWarning,
                        "FPGA2=1" + kBroken,
                        {0, 1, 0, 0},
                        2},
        FailedWriteCase{"unwritable, then an older FPGA1 declined: told after Cancel",
                        [](SettingsWritesTest& t) {
                          t.driver.versions[3] = "V01.02.00";  // FPGA1 as installed: asked
                          BreakSettingsFile();
                        },
                        std::nullopt,
                        {},
                        {MessageAnswer::kNo},
                        DialogState::kCancelled,
                        "Updates FPGA1.....Cancel\r\n" + kWarning,
                        "FPGA1=0" + kBroken,
                        {0, 0, 0, 0},
                        0}),
    [](const ::testing::TestParamInfo<FailedWriteCase>& info) {
      std::string name;
      for (char ch : std::string(info.param.what)) {
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      }
      return name;
    });

}  // namespace
}  // namespace kx
