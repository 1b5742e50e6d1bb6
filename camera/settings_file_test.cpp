#include <gtest/gtest.h>

#include "camera/next_dlg.h"
#include "tests/fake_driver.h"
#include "tests/recording_window.h"
#include "tests/scratch_dir.h"

namespace kx {
namespace {

using testing::ReadFileText;
using testing::ScratchDir;
using testing::WriteFileText;

struct Dialog {
  testing::FakeDriver driver;
  testing::RecordingWindow window;
  CNextDlg dialog{driver, window};
};

TEST(ReadBehaviorModeTest, Table) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}, {"0", 0}, {"5", 0}, {"-1", 0},
      {"abc", 0}, {"2x", 2}, {"", 0}, {" 3", 3}, {"4294967297", 1},
  };
  for (const auto& [value, mode] : cases) {
    ScratchDir dir;
    WriteFileText("DERadori.ini", std::string("[Behavior]\r\nMode=") + value + "\r\n");
    Dialog d;
    std::int32_t read = -7;
    d.dialog.ReadBehaviorMode(read);
    EXPECT_EQ(read, mode) << "Mode=" << value;
  }
}

TEST(ReadBehaviorModeTest, MissingFileSectionOrKeyGiveZero) {
  for (const char* text : {static_cast<const char*>(nullptr), "[Other]\nMode=3\n", "[behavior]\nmodus=3\n"}) {
    ScratchDir dir;
    if (text) WriteFileText("DERadori.ini", text);
    Dialog d;
    std::int32_t read = -7;
    d.dialog.ReadBehaviorMode(read);
    EXPECT_EQ(read, 0);
  }
  ScratchDir dir;
  WriteFileText("DERadori.ini", "[behavior]\nMODE=3\n");  // names ignore case
  Dialog d;
  std::int32_t read = -7;
  d.dialog.ReadBehaviorMode(read);
  EXPECT_EQ(read, 3);
}

TEST(WriteRetryCountTest, CreatesTheSectionAndKeepsTheRest) {
  ScratchDir dir;
  Dialog d;
  for (const char* key : {"FPGA1", "FPGA2", "Firm(Appl)", "Firm(Boot)"}) {
    EXPECT_EQ(d.dialog.WriteRetryCount(0, key), 1);
  }
  EXPECT_EQ(ReadFileText("DERadori.ini"),
            "[NumOfRetryPackets]\r\nFPGA1=0\r\nFPGA2=0\r\nFirm(Appl)=0\r\nFirm(Boot)=0\r\n");

  WriteFileText("DERadori.ini", "; hand-made\n[Behavior]\nMode=2\n\n[NumOfRetryPackets]\nFPGA2=0\n");
  EXPECT_EQ(d.dialog.WriteRetryCount(2, "FPGA2"), 1);
  EXPECT_EQ(d.dialog.WriteRetryCount(-3, "Firm(Boot)"), 1);
  EXPECT_EQ(ReadFileText("DERadori.ini"),
            "; hand-made\n[Behavior]\nMode=2\n\n[NumOfRetryPackets]\nFPGA2=2\nFirm(Boot)=-3\n");
}

}  // namespace
}  // namespace kx
