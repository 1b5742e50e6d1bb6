#include <thread>

#include <gtest/gtest.h>

#include "camera/board_list.h"
#include "camera/next_dlg.h"
#include "tests/fake_driver.h"
#include "tests/recording_window.h"
#include "tests/scratch_dir.h"
#include "tests/wait_until.h"

namespace kx {
namespace {

using testing::FakeDriver;
using testing::RecordingWindow;

// These tests run side by side in several processes on one fake board id:
// the per-board lock (tested with the dialog) stays out of their way.
NextDlgOptions Unlocked(std::optional<std::chrono::milliseconds> timeout = std::nullopt) {
  NextDlgOptions options;
  options.eventTimeout = timeout;
  options.lockBoard = false;
  return options;
}

TEST(EnumerateBoardsTest, Table) {
  struct Case {
    const char* what;
    bool fails;
    std::vector<std::string> slots;
    int result;
    std::vector<std::string> boards;
  };
  const Case cases[] = {
      {"enumeration fails", true, {"KX58-1"}, 0, {}},
      {"no board at all", false, {}, 0, {}},
      {"one board", false, {"KX58-0001"}, 1, {"KX58-0001"}},
      {"other models only", false, {"ZX10-1", "kx58-2"}, 1, {}},
      {"mixed, driver order kept", false, {"KX58-B", "ZX10-1", "KX58-A", "kx58-C", "KX58"}, 1,
       {"KX58-B", "KX58-A", "KX58"}},
      {"ten boards", false,
       {"KX58-0", "KX58-1", "KX58-2", "KX58-3", "KX58-4", "KX58-5", "KX58-6", "KX58-7", "KX58-8", "KX58-9"},
       1,
       {"KX58-0", "KX58-1", "KX58-2", "KX58-3", "KX58-4", "KX58-5", "KX58-6", "KX58-7", "KX58-8", "KX58-9"}},
      {"a 32-character id", false, {"KX58" + std::string(28, 'x')}, 1, {"KX58" + std::string(28, 'x')}},
  };
  for (const Case& c : cases) {
    FakeDriver driver;
    driver.enumerateFails = c.fails;
    driver.slots = c.slots;
    std::vector<std::string> boards = {"untouched"};
    EXPECT_EQ(EnumerateBoards(driver, boards), c.result) << c.what;
    if (c.result == 1) {
      EXPECT_EQ(boards, c.boards) << c.what;
    } else {
      EXPECT_EQ(boards, std::vector<std::string>{"untouched"}) << c.what;
    }
  }
}

struct OpenCase {
  const char* what;
  std::vector<std::string> slots;
  bool enumerateFails = false;
  std::optional<std::string> choice;
  std::int32_t errorAfterCreate = 0;
  bool lastErrorFails = false;
  int result;
  std::optional<std::string> createdWith;  // nullopt: no camera created
  std::vector<std::string> offered;        // the board list shown, if any
};

TEST(OpenCameraTest, Table) {
  const OpenCase cases[] = {
      {"no board", {}, false, {}, 0, false, 0, std::nullopt, {}},
      {"enumeration fails", {"KX58-1"}, true, {}, 0, false, 0, std::nullopt, {}},
      {"one board, no choice shown", {"ZX10-9", "KX58-0001"}, false, {}, 0, false, 1, "KX58-0001", {}},
      {"two boards, sorted, the choice opens", {"KX58-B", "ZX10-1", "KX58-A"}, false, "KX58-B", 0,
       false, 1, "KX58-B", {"KX58-A", "KX58-B"}},
      {"choice cancelled", {"KX58-B", "KX58-A"}, false, std::nullopt, 0, false, 0, std::nullopt,
       {"KX58-A", "KX58-B"}},
      {"none of the model: the empty id goes to the driver", {"ZX10-1"}, false, {}, 1001, false, 0, "", {}},
      {"none of the model, driver accepts", {"ZX10-1"}, false, {}, 0, false, 1, "", {}},
      {"create reports an error", {"KX58-1"}, false, {}, 1001, false, 0, "KX58-1", {}},
      {"the error query fails", {"KX58-1"}, false, {}, 0, true, 0, "KX58-1", {}},
  };
  for (const OpenCase& c : cases) {
    FakeDriver driver;
    driver.slots = c.slots;
    driver.enumerateFails = c.enumerateFails;
    driver.errorAfterCreate = c.errorAfterCreate;
    driver.lastErrorFails = c.lastErrorFails;
    RecordingWindow window;
    window.boardChoice = c.choice;
    {
      CNextDlg dialog(driver, window, Unlocked());
      EXPECT_EQ(dialog.OpenCamera(), c.result) << c.what;
      if (c.createdWith) {
        EXPECT_EQ(driver.createdWith, *c.createdWith) << c.what;
        EXPECT_NE(dialog.CameraHandle(), 0) << c.what;
      } else {
        EXPECT_EQ(dialog.CameraHandle(), 0) << c.what;
      }
      EXPECT_EQ(driver.callback != nullptr, c.result == 1) << c.what;
      if (c.offered.empty()) {
        EXPECT_TRUE(window.boardLists.empty()) << c.what;
      } else {
        ASSERT_EQ(window.boardLists.size(), 1u) << c.what;
        EXPECT_EQ(window.boardLists[0], c.offered) << c.what;
      }
    }
    // Any camera created is deleted with the dialog, failed open or not.
    EXPECT_EQ(driver.deleted, c.createdWith.has_value()) << c.what;
  }
}

TEST(OpenCameraTest, CallOrderOfASuccessfulOpen) {
  FakeDriver driver;
  driver.slots = {"KX58-1"};
  RecordingWindow window;
  CNextDlg dialog(driver, window, Unlocked());
  ASSERT_EQ(dialog.OpenCamera(), 1);
  EXPECT_EQ(driver.calls, (std::vector<std::string>{"CAM_EnumCameraEx", "CAM_CreateCameraEx",
                                                    "CAM_GetLastErrorEx", "CAM_RegisterCallbackEx",
                                                    "CAM_SetTimeoutEx"}));
  EXPECT_EQ(driver.context, &dialog);
}

// The dialog waits for events with a limit that only ends a hung test: a
// wait that gets its event never depends on how soon it comes.
class DriverEventTest : public ::testing::Test {
 protected:
  explicit DriverEventTest(std::chrono::milliseconds limit = testing::kHangGuard)
      : dialog{driver, window, Unlocked(limit)} {}
  void SetUp() override {
    driver.slots = {"KX58-1"};
    ASSERT_EQ(dialog.OpenCamera(), 1);
    g_nEventType = 0;
    g_nEventProgress = 0;
    g_nEventCode = 0;
  }
  FakeDriver driver;
  RecordingWindow window;
  CNextDlg dialog;
};

// The driver sends nothing more once the test has sent its events (they are
// delivered on the test's thread), so the wait after them must time out, and
// any limit is right for that: a short one keeps the test quick.
class SilentDriverEventTest : public DriverEventTest {
 protected:
  SilentDriverEventTest() : DriverEventTest(std::chrono::milliseconds(50)) {}
};

TEST_F(DriverEventTest, Type16WakesAndRecordsLike17) {
  driver.Send({16, 42, 7});
  EXPECT_EQ(g_nEventType, 16);
  EXPECT_EQ(g_nEventProgress, 42);
  EXPECT_EQ(g_nEventCode, 7);
  ASSERT_EQ(dialog.WaitForDriverEvent(), 1);
  EXPECT_EQ(dialog.CurrentEvent().type, 16);
  EXPECT_EQ(dialog.CurrentEvent().value, 42);
  EXPECT_EQ(dialog.LastEventCode(), 7);
}

TEST_F(SilentDriverEventTest, NonWakingEventsOnlyReplaceTheType) {
  driver.Send({17, 30, 5});
  for (std::int32_t type : {0, 2, 6, 12, 13, 18, -1, 1000}) {
    driver.Send({type, 99, 99});
    EXPECT_EQ(g_nEventType, type);
    EXPECT_EQ(g_nEventProgress, 30) << type;
    EXPECT_EQ(g_nEventCode, 5) << type;
  }
  // Only the waking event was queued; the run takes it, not the later types.
  ASSERT_EQ(dialog.WaitForDriverEvent(), 1);
  EXPECT_EQ(dialog.CurrentEvent().type, 17);
  EXPECT_EQ(dialog.WaitForDriverEvent(), 0);
  EXPECT_TRUE(dialog.EventWaitTimedOut());
}

TEST_F(DriverEventTest, WakingTypesAreQueuedInOrder) {
  const std::int32_t waking[] = {1, 3, 4, 5, 14, 15, 16, 17};
  for (std::int32_t type : waking) driver.Send({type, type * 2, 0});
  for (std::int32_t type : waking) {
    ASSERT_EQ(dialog.WaitForDriverEvent(), 1);
    EXPECT_EQ(dialog.CurrentEvent().type, type);
  }
}

TEST_F(DriverEventTest, BackToBack14And15AreBothSeen) {
  driver.Send({14, 0, 0});
  driver.Send({15, 0, 0});
  ASSERT_EQ(dialog.WaitForDriverEvent(), 1);
  EXPECT_EQ(dialog.CurrentEvent().type, 14);
  ASSERT_EQ(dialog.WaitForDriverEvent(), 1);
  EXPECT_EQ(dialog.CurrentEvent().type, 15);
}

// A burst from another thread while the dialog waits: none lost, none
// reordered, however the two threads are scheduled (a lost event shows as a
// wait that ends at the hang guard). Run under ThreadSanitizer by
// scripts/test.
TEST_F(DriverEventTest, BurstFromAnotherThreadArrivesWholeAndInOrder) {
  constexpr int kEvents = 10000;
  std::thread driverThread([this] {
    for (int i = 0; i < kEvents; ++i) driver.Send({17, i, i % 3});
  });
  int expected = 0;
  while (expected < kEvents && dialog.WaitForDriverEvent() == 1) {
    ASSERT_EQ(dialog.CurrentEvent().value, expected);
    ASSERT_EQ(dialog.CurrentEvent().status, expected % 3);
    ++expected;
  }
  driverThread.join();
  EXPECT_EQ(expected, kEvents);
}

TEST_F(SilentDriverEventTest, SilentDriverTimesOut) {
  EXPECT_EQ(dialog.WaitForDriverEvent(), 0);
  EXPECT_TRUE(dialog.EventWaitTimedOut());
}

TEST(DriverErrorLabelTest, NamesOrError) {
  EXPECT_EQ(CNextDlg::DriverErrorLabel(0), "kCAM_NO_ERROR");
  EXPECT_EQ(CNextDlg::DriverErrorLabel(2), "kCAM_API_INVALID_PARAM");
  EXPECT_EQ(CNextDlg::DriverErrorLabel(145), "kCAM_CAMERA_FW_ERROR");
  EXPECT_EQ(CNextDlg::DriverErrorLabel(149), "error");
  EXPECT_EQ(CNextDlg::DriverErrorLabel(-1), "error");
}

}  // namespace
}  // namespace kx
