// The camera connection against the simulated board, loaded through the same
// run-time loader as the vendor's library: enumeration, opening, and the
// events as the driver's own thread delivers them to the dialog.
//
// Each test works in a scratch folder that holds the board file (KXSIM_BOARD)
// and the per-board lock files (XDG_RUNTIME_DIR), so tests that run side by
// side in several processes never meet. Runs under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "camera/board_list.h"
#include "camera/driver_library.h"
#include "camera/next_dlg.h"
#include "platform/private_profile.h"
#include "tests/package_fixture.h"
#include "tests/recording_window.h"
#include "tests/scratch_dir.h"
#include "tests/wait_until.h"
#include "tests/text_checks.h"

namespace kx {

bool operator==(const DriverEvent& a, const DriverEvent& b) {
  return a.type == b.type && a.value == b.value && a.status == b.status;
}
std::ostream& operator<<(std::ostream& out, const DriverEvent& event) {
  return out << "(" << event.type << "," << event.value << "," << event.status << ")";
}

namespace {

using namespace std::chrono_literals;
using testing::PatternBytes;
using testing::Fnv1a64Hex;
using testing::RecordingWindow;
using testing::ScratchDir;
using testing::WriteFileText;

// A hang guard: a working board answers in microseconds, so only a broken
// one ever waits this out, however loaded the machine is.
constexpr auto kPatience = std::chrono::duration_cast<std::chrono::milliseconds>(testing::kHangGuard);

// The text a key of the board file holds, "<none>" when it is not there.
std::string BoardValue(const std::string& section, const std::string& key) {
  return platform::GetPrivateProfileString(section, key, "<none>", "board.ini");
}


TEST(DriverLibraryOpenTest, ErrorsNameTheLibraryOrTheMissingFunction) {
  ScratchDir dir;
  WriteFileText("not-a-library.so", "plain text\n");
  const std::string text = dir.path() + "/not-a-library.so";
  struct Case {
    std::string path;
    std::string message;
  };
  const Case cases[] = {
      {"/nonexistent/libkxnothing.so",
       "cannot load the driver library /nonexistent/libkxnothing.so"},
      {text, "cannot load the driver library " + text},
      // A real library, but not a driver: the first CAM_ function is named.
      {"libm.so.6", "the driver library libm.so.6 has no function CAM_EnumCameraEx"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(DriverLibrary::Open(c.path, &error), nullptr) << c.path;
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.path << ": " << error;
  }
  std::string error;
  EXPECT_NE(DriverLibrary::Open(KXSIM_LIBRARY, &error), nullptr) << error;
}

// A scratch folder with the board file in it and the simulated board loaded.
class SimulatedBoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KXSIM_BOARD", (dir_.path() + "/board.ini").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
    std::string error;
    driver_ = DriverLibrary::Open(KXSIM_LIBRARY, &error);
    ASSERT_NE(driver_, nullptr) << error;
  }

  static NextDlgOptions Options(std::chrono::milliseconds eventTimeout = kPatience) {
    NextDlgOptions options;
    options.eventTimeout = eventTimeout;
    return options;
  }

  ScratchDir dir_;
  std::unique_ptr<DriverLibrary> driver_;  // after dir_: unloaded before the folder goes
};

using EnumerateBoardsE2eTest = SimulatedBoardTest;

TEST_F(EnumerateBoardsE2eTest, Table) {
  struct Case {
    const char* what;
    std::string board;
    int result;
    std::vector<std::string> boards;  // when the result is 1
  };
  std::string twelve = "[Boards]\n";
  std::vector<std::string> firstTen;
  for (int n = 1; n <= 12; ++n) {
    char id[16];
    std::snprintf(id, sizeof id, "KX58-%04d", n);
    twelve += "Board" + std::to_string(n) + "=" + id + "\n";
    if (n <= 10) firstTen.push_back(id);
  }
  const std::string longId = "KX58-" + std::string(40, 'L');
  const Case cases[] = {
      {"several, other models and lower-case ids left out, driver order kept",
       "[Boards]\nBoard1=KX58-0002\nBoard2=ZX10-0001\nBoard3=KX58-0001\nBoard4=kx58-0003\n",
       1,
       {"KX58-0002", "KX58-0001"}},
      {"other models only", "[Boards]\nBoard1=ZX10-0001\nBoard2=kx58-0003\n", 1, {}},
      {"no board", "[Driver]\nDelayMs=0\n", 0, {}},
      {"enumeration fails", "[Driver]\nEnumFails=1\n[Boards]\nBoard1=KX58-0001\n", 0, {}},
      {"more boards than slots: the first ten", twelve, 1, firstTen},
      {"an id longer than a slot comes cut to 32 characters",
       "[Boards]\nBoard1=" + longId + "\n",
       1,
       {longId.substr(0, 32)}},
  };
  for (const Case& c : cases) {
    WriteFileText("board.ini", c.board);
    std::vector<std::string> boards = {"untouched"};
    EXPECT_EQ(EnumerateBoards(*driver_, boards), c.result) << c.what;
    EXPECT_EQ(boards, c.result == 1 ? c.boards : std::vector<std::string>{"untouched"}) << c.what;
  }
}

using OpenCameraE2eTest = SimulatedBoardTest;

TEST_F(OpenCameraE2eTest, Table) {
  struct Case {
    const char* what;
    std::string boards;  // the [Boards] section and whatever else the board file needs
    std::optional<std::string> choice;
    int result;
    bool camera;                       // a handle came back
    std::string created;               // [Record] CreatedBoard
    std::int32_t lastError;            // the driver's last error for the dialog's handle
    std::vector<std::string> offered;  // the board list shown, if any
  };
  const Case cases[] = {
      {"no board", "", {}, 0, false, "<none>", 0, {}},
      {"one board among other models: no choice shown",
       "[Boards]\nBoard1=ZX10-0001\nBoard2=KX58-0001\nBoard3=kx58-0002\n",
       {},
       1,
       true,
       "KX58-0001",
       0,
       {}},
      {"several: offered sorted, the choice is opened",
       "[Boards]\nBoard1=KX58-0003\nBoard2=KX58-0001\nBoard3=ZX10-0001\nBoard4=KX58-0002\n",
       "KX58-0002",
       1,
       true,
       "KX58-0002",
       0,
       {"KX58-0001", "KX58-0002", "KX58-0003"}},
      {"choice cancelled: no camera",
       "[Boards]\nBoard1=KX58-0002\nBoard2=KX58-0001\n",
       std::nullopt,
       0,
       false,
       "<none>",
       0,
       {"KX58-0001", "KX58-0002"}},
      {"create reports an error",
       "[Boards]\nBoard1=KX58-0001\n[Board KX58-0001]\nCreateError=1001\n",
       {},
       0,
       true,
       "KX58-0001",
       1001,
       {}},
      {"none of the model: the empty id goes to the board",
       "[Boards]\nBoard1=ZX10-0001\n",
       {},
       0,
       false,
       "",
       12,
       {}},
  };
  for (const Case& c : cases) {
    WriteFileText("board.ini", "[Driver]\nDelayMs=0\n" + c.boards);
    {
      RecordingWindow window;
      window.boardChoice = c.choice;
      CNextDlg dialog(*driver_, window, Options());
      EXPECT_EQ(dialog.OpenCamera(), c.result) << c.what;
      EXPECT_EQ(dialog.CameraHandle() != 0, c.camera) << c.what;
      EXPECT_EQ(BoardValue("Record", "CreatedBoard"), c.created) << c.what;
      std::int32_t code = -1;
      EXPECT_EQ(driver_->CAM_GetLastErrorEx(dialog.CameraHandle(), 1, &code), 1) << c.what;
      EXPECT_EQ(code, c.lastError) << c.what;
      if (c.offered.empty()) {
        EXPECT_TRUE(window.boardLists.empty()) << c.what;
      } else {
        EXPECT_EQ(window.boardLists, std::vector<std::vector<std::string>>{c.offered}) << c.what;
      }
      // Only an open camera has the dialog's callback and the driver's
      // time-out set (creating a camera records that it has no callback yet).
      const bool createCalled = c.created != "<none>";
      EXPECT_EQ(BoardValue("Record", "CallbackRegistered"), c.result == 1  ? "1"
                                                            : createCalled ? "0"
                                                                           : "<none>")
          << c.what;
      EXPECT_EQ(BoardValue("Record", "TimeoutMode") + "," + BoardValue("Record", "Timeout"),
                c.result == 1 ? "1,0" : "<none>,<none>")
          << c.what;
    }
    std::remove("board.ini");  // the next case starts without a [Record]
  }
}

// One board, no faults unless a test adds them; the dialog opened on it.
class EventFlowTest : public SimulatedBoardTest {
 protected:
  void Open(const std::string& board, std::chrono::milliseconds eventTimeout = kPatience) {
    WriteFileText("board.ini", board + "[Boards]\nBoard1=KX58-0001\n");
    dialog_ = std::make_unique<CNextDlg>(*driver_, window_, Options(eventTimeout));
    ASSERT_EQ(dialog_->OpenCamera(), 1);
  }

  // Hands an FPGA1 image to the driver, as the update run does.
  void Send(const std::vector<std::uint8_t>& image) {
    CamComponentImage descriptor{
        {'Z', 'E', 'B', 'A'}, 1, static_cast<std::uint32_t>(image.size()), image.data()};
    ASSERT_EQ(driver_->CAM_EST_UpdateEx(dialog_->CameraHandle(), 0, &descriptor), 1);
  }

  // Up to `count` events, fewer when a wait ends without one.
  std::vector<DriverEvent> Take(std::size_t count) {
    std::vector<DriverEvent> events;
    while (events.size() < count && dialog_->WaitForDriverEvent() == 1) {
      events.push_back(dialog_->CurrentEvent());
    }
    return events;
  }

  RecordingWindow window_;
  std::unique_ptr<CNextDlg> dialog_;  // a member of the derived class: goes before the library
};

TEST_F(EventFlowTest, PacedEventsArriveInOrderAndTheWriteIsRecordedBeforeThe100) {
  Open("[Driver]\nDelayMs=1\nStepPercent=10\n");
  const auto image = PatternBytes(1500, 7);
  Send(image);
  std::vector<DriverEvent> expected = {{14, 0, 0}, {15, 0, 0}};
  for (int value = 10; value <= 100; value += 10) expected.push_back({17, value, 0});
  EXPECT_EQ(Take(expected.size()), expected);
  EXPECT_EQ(BoardValue("Written KX58-0001", "Order"), "FPGA1");
  EXPECT_EQ(BoardValue("Written KX58-0001", "FPGA1.Size"), "1500");
  EXPECT_EQ(BoardValue("Written KX58-0001", "FPGA1.Digest"), Fnv1a64Hex(image));
}

// Ten thousand events back to back from the board's thread while the
// dialog takes them: none lost, none reordered, none made up.
TEST_F(EventFlowTest, BurstOfTenThousandArrivesWholeAndInOrder) {
  constexpr int kRetriesPerStep = 99;  // 100 steps: 100 + 9900 progress events
  Open(
      "[Driver]\nDelayMs=0\nStepPercent=1\n[Fault FPGA1]\nBurst=1\nRetries=9900\n"
      "RetryStatus=102\n");
  Send(PatternBytes(64, 1));
  std::vector<DriverEvent> expected = {{14, 0, 0}, {15, 0, 0}};
  for (int value = 1; value <= 100; ++value) {
    for (int r = 0; r < kRetriesPerStep; ++r) expected.push_back({17, value - 1, 102});
    expected.push_back({17, value, 0});
  }
  ASSERT_EQ(expected.size(), 10002u);
  const std::vector<DriverEvent> events = Take(expected.size());
  ASSERT_EQ(events.size(), expected.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    ASSERT_EQ(events[i], expected[i]) << "event " << i;
  }
  EXPECT_EQ(dialog_->LastEventCode(), 0);
}

TEST_F(EventFlowTest, StalledBoardEndsTheWaitWithATimeout) {
  Open("[Driver]\nDelayMs=0\nStepPercent=50\n[Fault FPGA1]\nStallAfter=3\n", 500ms);
  Send(PatternBytes(64, 2));
  EXPECT_EQ(Take(3), (std::vector<DriverEvent>{{14, 0, 0}, {15, 0, 0}, {17, 50, 0}}));
  EXPECT_FALSE(dialog_->EventWaitTimedOut());
  EXPECT_EQ(dialog_->WaitForDriverEvent(), 0);
  EXPECT_TRUE(dialog_->EventWaitTimedOut());
  EXPECT_EQ(BoardValue("Written KX58-0001", "Order"), "<none>");
  // The dialog's end deletes the stalled camera; the library goes after it.
}

// The dialog goes while the board is still sending: its camera is deleted
// first, so no event reaches a dialog that is gone (the sanitizer builds
// would catch one).
TEST_F(EventFlowTest, DialogEndedMidWriteStopsTheEvents) {
  Open("[Driver]\nDelayMs=5\nStepPercent=1\n");
  Send(PatternBytes(64, 3));
  EXPECT_EQ(Take(2), (std::vector<DriverEvent>{{14, 0, 0}, {15, 0, 0}}));
  dialog_.reset();
  EXPECT_EQ(BoardValue("Written KX58-0001", "Order"), "<none>");
}

}  // namespace
}  // namespace kx
