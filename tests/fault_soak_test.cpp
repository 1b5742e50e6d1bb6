// A thousand updates of the simulated board, each with a fault drawn by a
// seeded generator: every run must end as its fault calls for, with the log,
// the settings file and the board's record to match, and none may hang.
#include <cstdlib>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "camera/driver_library.h"
#include "camera/next_dlg.h"
#include "platform/private_profile.h"
#include "tests/package_fixture.h"
#include "tests/recording_window.h"
#include "tests/scratch_dir.h"

namespace kx {
namespace {

using testing::PatternBytes;

enum class Fault { kNone, kRefuse, kOutOfOrder, kWrongType, kRetries, kBurst, kNoise, kDecline, kStall };

struct Scenario {
  Fault fault = Fault::kNone;
  std::size_t component = 0;  // which component the fault is on
  int retries = 0;
  std::int32_t wrongType = 16;
  std::int32_t wrongStatus = 0;
};

const char* const kLabels[] = {"FPGA1", "FPGA2", "Firm(Appl)", "Firm(Boot)"};
const char* const kLogLines[] = {"Updates FPGA1.....", "Updates FPGA2.....", "Updates Firm(Appl).....",
                                 "Updates Firm(Boot)....."};

Scenario Draw(std::mt19937& random) {
  Scenario s;
  std::uniform_int_distribution<int> pick(0, 99);
  const int roll = pick(random);
  s.component = static_cast<std::size_t>(pick(random) % 4);
  // Stalls cost their time-out: few of them.
  s.fault = roll < 12   ? Fault::kNone
            : roll < 25 ? Fault::kRefuse
            : roll < 37 ? Fault::kOutOfOrder
            : roll < 50 ? Fault::kWrongType
            : roll < 62 ? Fault::kRetries
            : roll < 74 ? Fault::kBurst
            : roll < 86 ? Fault::kNoise
            : roll < 98 ? Fault::kDecline
                        : Fault::kStall;
  // Firm(Appl) never asks, and both FPGAs compare with one installed
  // version, so a declined FPGA is always declined at FPGA1.
  if (s.fault == Fault::kDecline) s.component = s.component >= 2 ? 3 : 0;
  s.retries = 1 + pick(random) % 3;
  s.wrongType = pick(random) % 2 ? 16 : 3;  // a progress type that is not 17, or an unexpected one
  s.wrongStatus = s.wrongType == 16 ? 144 : 0;
  return s;
}

std::string BoardFile(const Scenario& s) {
  // The installed versions are older than the package's, except where a
  // declined downgrade is the point.
  const bool declineFpga = s.fault == Fault::kDecline && s.component < 2;
  const bool declineBoot = s.fault == Fault::kDecline && s.component == 3;
  std::ostringstream board;
  board << "[Driver]\nDelayMs=0\nStepPercent=25\n[Boards]\nBoard1=KX58-0001\n"
        << "[Board KX58-0001]\nVersion3=" << (declineFpga ? "V09.00.00" : "V01.00.00")
        << "\nVersion5=V01.00.00\nVersion9=" << (declineBoot ? "V09.00.00" : "V01.00.00") << "\n";
  const std::string section = std::string("[Fault ") + kLabels[s.component] + "]\n";
  switch (s.fault) {
    case Fault::kRefuse: board << section << "Refuse=1\n"; break;
    case Fault::kOutOfOrder: board << section << "OutOfOrder=1\n"; break;
    case Fault::kWrongType:
      board << section << "WrongType=" << s.wrongType << "\nWrongTypeAt=2\nWrongTypeStatus=" << s.wrongStatus << "\n";
      break;
    case Fault::kRetries: board << section << "Retries=" << s.retries << "\n"; break;
    case Fault::kBurst: board << section << "Burst=1\n"; break;
    case Fault::kNoise: board << section << "Noise=1\n"; break;
    case Fault::kStall: board << section << "StallAfter=3\n"; break;
    case Fault::kNone:
    case Fault::kDecline: break;
  }
  return board.str();
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(FaultSoakTest, ThousandUpdatesEndAsTheirFaultsCallFor) {
  testing::ScratchDir dir;
  setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
  const std::string boardPath = dir.path() + "/board.ini";
  setenv("KXSIM_BOARD", boardPath.c_str(), 1);
  std::string error;
  auto driver = DriverLibrary::Open(KXSIM_LIBRARY, &error);
  ASSERT_TRUE(driver) << error;

  testing::FixturePackage parts = {{{"02_00_00", PatternBytes(3000, 1)},
                                    {"02_00_00", PatternBytes(2000, 2)},
                                    {"02_00_00", PatternBytes(1000, 3)},
                                    {"02_00_00", PatternBytes(500, 4)}}};
  const auto package = testing::StoredPackage(parts, 58);
  std::mt19937 random(58);
  constexpr int kRuns = 1000;
  for (int run = 0; run < kRuns; ++run) {
    const Scenario s = Draw(random);
    SCOPED_TRACE("run " + std::to_string(run) + ": fault " + std::to_string(static_cast<int>(s.fault)) +
                 " on " + kLabels[s.component]);
    testing::WriteFileBytes("DERadori.kx", package);
    testing::WriteFileText(boardPath, BoardFile(s));
    std::remove("DERadori.ini");

    testing::RecordingWindow window;
    NextDlgOptions options;
    options.language = Language::kEnglish;
    // A stalled board never sends again, so any limit ends its run rightly
    // as failed; every other run waits as long as its events take (the
    // window ends a wait only at its hang guard).
    if (s.fault == Fault::kStall) options.eventTimeout = std::chrono::milliseconds(300);
    DialogState state;
    std::string log;
    std::array<std::int32_t, 4> retries{};
    {
      CNextDlg dialog(*driver, window, options);
      dialog.OnInitDialog();
      ASSERT_EQ(dialog.State(), DialogState::kReady) << dialog.Log();
      dialog.OnStart();
      state = dialog.State();
      log = dialog.Log();
      retries = dialog.RetryCounts();
    }  // the camera is deleted here: no more events, the board file settles

    const std::string written =
        platform::GetPrivateProfileString("Written KX58-0001", "Order", "", boardPath);
    switch (s.fault) {
      case Fault::kNone:
      case Fault::kBurst:
      case Fault::kNoise:
      case Fault::kRetries: {
        ASSERT_EQ(state, DialogState::kCompleted) << log;
        EXPECT_TRUE(EndsWith(log, "Updates Firm(Boot).....Completed\r\n")) << log;
        EXPECT_EQ(written, "FPGA1,FPGA2,Firm(Appl),Firm(Boot)");
        const std::int32_t expected = s.fault == Fault::kRetries ? s.retries : 0;
        EXPECT_EQ(retries[s.component], expected);
        EXPECT_EQ(platform::GetPrivateProfileInt("NumOfRetryPackets", kLabels[s.component], -1,
                                                 "DERadori.ini"),
                  static_cast<std::uint32_t>(expected));
        for (std::size_t i = 0; i < 4; ++i) {
          const std::string digest =
              platform::GetPrivateProfileString("Written KX58-0001", std::string(kLabels[i]) + ".Size", "", boardPath);
          EXPECT_EQ(digest, std::to_string(parts[i].image.size())) << kLabels[i];
        }
        break;
      }
      case Fault::kDecline:
        ASSERT_EQ(state, DialogState::kCancelled) << log;
        EXPECT_TRUE(EndsWith(log, std::string(kLogLines[s.component]) + "Cancel")) << log;
        EXPECT_EQ(window.status, "Update is canceled.");
        break;
      case Fault::kRefuse:
      case Fault::kOutOfOrder:
      case Fault::kWrongType:
      case Fault::kStall: {
        ASSERT_EQ(state, DialogState::kFailed) << log;
        const std::string label = s.fault == Fault::kWrongType && s.wrongType == 16
                                      ? "(kCAM_CAMERA_ROM_WRITE_ERROR)"
                                      : "(kCAM_NO_ERROR)";
        const std::string failure = std::string(kLogLines[s.component]) + "Failuer.\r\n" + label;
        EXPECT_NE(log.find(failure), std::string::npos) << log;
        EXPECT_EQ(window.messages.back().text.find("(Error Code:06)") != std::string::npos, true);
        // The components before the failing one were written, the ones after not.
        std::string before;
        for (std::size_t i = 0; i < s.component; ++i) before += (before.empty() ? "" : ",") + std::string(kLabels[i]);
        EXPECT_EQ(written.compare(0, before.size(), before), 0) << written;
        for (std::size_t i = s.component + 1; i < 4; ++i) {
          EXPECT_EQ(written.find(kLabels[i]), std::string::npos) << written;
        }
        break;
      }
    }
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace kx
