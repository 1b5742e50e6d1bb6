#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "camera/next_dlg.h"
#include "platform/file_problem.h"
#include "platform/private_profile.h"
#include "tests/fake_driver.h"
#include "tests/recording_window.h"
#include "tests/scratch_dir.h"

namespace kx {
namespace {

using testing::CaptureCommand;
using testing::ReadFileBytes;
using testing::ReadFileText;
using testing::RunCommand;
using testing::ScratchDir;
using testing::SourceDir;
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

// ---------------------------------------------------------------- Windows editors' forms

// The forms a Windows editor saves the file in, by the Python codec that
// writes and reads each (ini_judge.py puts the byte-order mark first).
constexpr const char* kPlain = "utf-8";
constexpr const char* kUtf8Bom = "utf-8-sig";
constexpr const char* kUtf16Le = "utf-16-le";  // Notepad's "Unicode"
constexpr const char* kUtf16Be = "utf-16-be";

std::string Judge() { return "python3 '" + SourceDir() + "/tests/ini_judge.py'"; }

// `utf8` as a file in `encoding`, made by Python rather than by our code.
std::vector<std::uint8_t> Encoded(const std::string& utf8, const char* encoding) {
  WriteFileText("judge-in.txt", utf8);
  EXPECT_EQ(RunCommand(Judge() + " encode " + encoding + " < judge-in.txt > judge-out.bin"), 0);
  std::vector<std::uint8_t> bytes = ReadFileBytes("judge-out.bin");
  std::remove("judge-in.txt");
  std::remove("judge-out.bin");
  return bytes;
}

// What configparser reads from the settings file in `encoding`, as
// "section<TAB>key<TAB>value" lines; "rejected" when it cannot read it.
std::string JudgeReads(const char* encoding) {
  int status = -1;
  std::string lines =
      CaptureCommand(Judge() + " read '" + kSettingsFileName + "' " + encoding, &status);
  return status == 0 ? lines : "rejected";
}

void RequireJudge() {
  ASSERT_EQ(RunCommand("python3 -c 'import configparser' >/dev/null 2>&1"), 0)
      << "python3 with configparser is needed to judge the INI files";
}

// A file saved with a byte-order mark, or as UTF-16 with one, reads as the
// original platform reads it: configparser, reading it in its encoding,
// agrees on Mode=3, and so does the dialog.
TEST(SettingsFileFormsTest, ModeReadsFromEveryForm) {
  RequireJudge();
  const struct {
    const char* what;
    const char* encoding;
    std::string text;
  } cases[] = {
      {"plain, CR LF", kPlain, "[Behavior]\r\nMode=3\r\n"},
      {"UTF-8 with mark, CR LF", kUtf8Bom, "[Behavior]\r\nMode=3\r\n"},
      {"UTF-8 with mark, LF, Japanese comment", kUtf8Bom,
       "; \xE8\xA8\xAD\xE5\xAE\x9A\n[Behavior]\nMode=3\n"},
      {"UTF-16LE with mark, CR LF", kUtf16Le, "[Behavior]\r\nMode=3\r\n"},
      {"UTF-16LE, a comment and Japanese text in another key", kUtf16Le,
       "; \xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9\r\n[Camera]\r\n"
       "Name=\xE5\x86\xB7\xE5\x8D\xB4 CCD\r\n\r\n[Behavior]\r\nMode=3\r\n"},
      {"UTF-16LE, a character beyond 16 bits before the key", kUtf16Le,
       "[Behavior]\r\nNote=\xF0\x9F\x93\xB7\r\nMode=3\r\n"},
      {"UTF-16LE with mark, LF, no last line end", kUtf16Le, "[Behavior]\nMode=3"},
      {"UTF-16BE with mark, CR LF", kUtf16Be, "[Behavior]\r\nMode=3\r\n"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    testing::WriteFileBytes(kSettingsFileName, Encoded(c.text, c.encoding));
    EXPECT_NE(JudgeReads(c.encoding).find("Behavior\tMode\t3\n"), std::string::npos) << c.what;
    Dialog d;
    std::int32_t read = -7;
    d.dialog.ReadBehaviorMode(read);
    EXPECT_EQ(read, 3) << c.what;
  }
}

// The retry counts go into the file in the form it had: the same mark, the
// same encoding, its own line ends, every byte it does not change kept (the
// whole expected file is made by Python from the expected text); configparser
// reads the new counts, and the mode still reads.
TEST(SettingsFileFormsTest, RetryCountsAreWrittenBackInTheFilesForm) {
  RequireJudge();
  const std::string japanese = "\xE5\x86\xB7\xE5\x8D\xB4 CCD \xF0\x9F\x93\xB7";
  const struct {
    const char* what;
    const char* encoding;
    std::string before;
    std::string after;  // once FPGA1=0 and FPGA2=2 are written
    std::string judged;
  } cases[] = {
      {"plain, CR LF", kPlain, "[Behavior]\r\nMode=3\r\n\r\n[NumOfRetryPackets]\r\nFPGA1=5\r\n",
       "[Behavior]\r\nMode=3\r\n\r\n[NumOfRetryPackets]\r\nFPGA1=0\r\nFPGA2=2\r\n",
       "Behavior\tMode\t3\nNumOfRetryPackets\tFPGA1\t0\nNumOfRetryPackets\tFPGA2\t2\n"},
      {"UTF-8 with mark, LF", kUtf8Bom, "; " + japanese + "\n[Behavior]\nMode = 3\n",
       "; " + japanese + "\n[Behavior]\nMode = 3\n[NumOfRetryPackets]\nFPGA1=0\nFPGA2=2\n",
       "Behavior\tMode\t3\nNumOfRetryPackets\tFPGA1\t0\nNumOfRetryPackets\tFPGA2\t2\n"},
      {"UTF-16LE, CR LF, Japanese comment and value", kUtf16Le,
       "; " + japanese + "\r\n[Camera]\r\nName=" + japanese +
           "\r\n\r\n[NumOfRetryPackets]\r\n  FPGA1 = 5\r\n\r\n[Behavior]\r\nMode=3\r\n",
       "; " + japanese + "\r\n[Camera]\r\nName=" + japanese +
           "\r\n\r\n[NumOfRetryPackets]\r\nFPGA1=0\r\nFPGA2=2\r\n\r\n[Behavior]\r\nMode=3\r\n",
       "Camera\tName\t" + japanese +
           "\nNumOfRetryPackets\tFPGA1\t0\nNumOfRetryPackets\tFPGA2\t2\nBehavior\tMode\t3\n"},
      {"UTF-16LE, LF, no last line end", kUtf16Le, "[Behavior]\nMode=3",
       "[Behavior]\nMode=3\n[NumOfRetryPackets]\nFPGA1=0\nFPGA2=2\n",
       "Behavior\tMode\t3\nNumOfRetryPackets\tFPGA1\t0\nNumOfRetryPackets\tFPGA2\t2\n"},
      {"UTF-16BE, CR LF", kUtf16Be, "[Behavior]\r\nMode=3\r\n[NumOfRetryPackets]\r\nFPGA2=9\r\n",
       "[Behavior]\r\nMode=3\r\n[NumOfRetryPackets]\r\nFPGA2=2\r\nFPGA1=0\r\n",
       "Behavior\tMode\t3\nNumOfRetryPackets\tFPGA2\t2\nNumOfRetryPackets\tFPGA1\t0\n"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::vector<std::uint8_t> expected = Encoded(c.after, c.encoding);
    testing::WriteFileBytes(kSettingsFileName, Encoded(c.before, c.encoding));
    Dialog d;
    EXPECT_EQ(d.dialog.WriteRetryCount(0, "FPGA1"), 1) << c.what;
    EXPECT_EQ(d.dialog.WriteRetryCount(2, "FPGA2"), 1) << c.what;
    EXPECT_EQ(d.dialog.WriteRetryCount(2, "FPGA2"), 1) << c.what;  // already so: nothing changes
    EXPECT_EQ(ReadFileBytes(kSettingsFileName), expected) << c.what;
    EXPECT_EQ(JudgeReads(c.encoding), c.judged) << c.what;
    EXPECT_EQ(platform::GetPrivateProfileInt("NumOfRetryPackets", "FPGA2", -1, kSettingsFileName),
              2u)
        << c.what;
    std::int32_t mode = -7;
    d.dialog.ReadBehaviorMode(mode);
    EXPECT_EQ(mode, 3) << c.what;
  }
}

std::vector<std::string>& RefusalsHeard() {
  static std::vector<std::string> heard;
  return heard;
}

// A UTF-16 file with a byte left over still reads, but is never replaced:
// writing its text back would lose that byte. The dialog names the cause.
TEST(SettingsFileFormsTest, OddLengthUtf16FileIsReadButNotReplaced) {
  RequireJudge();
  ScratchDir dir;
  std::vector<std::uint8_t> odd = Encoded("[Behavior]\r\nMode=3\r\n", kUtf16Le);
  odd.push_back('x');
  testing::WriteFileBytes(kSettingsFileName, odd);
  RefusalsHeard().clear();
  platform::SetFileRefusalSink(
      [](const std::string& message) { RefusalsHeard().push_back(message); });
  Dialog d;
  std::int32_t mode = -7;
  d.dialog.ReadBehaviorMode(mode);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(d.dialog.WriteRetryCount(0, "FPGA1"), 0);
  platform::SetFileRefusalSink(nullptr);
  EXPECT_EQ(ReadFileBytes(kSettingsFileName), odd);
  EXPECT_EQ(d.dialog.SettingsWriteFailureReason(),
            "FPGA1=0 could not be written to DERadori.ini "
            "(UTF-16 text of odd length)");
  EXPECT_EQ(RefusalsHeard(),
            std::vector<std::string>{"DERadori.ini: UTF-16 text of odd length; not replaced"});
}

}  // namespace
}  // namespace kx
