#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "camera/next_dlg.h"
#include "tests/fake_driver.h"
#include "tests/recording_window.h"

namespace kx {
namespace {

using testing::FakeDriver;
using testing::RecordingWindow;

// Event i as the driver thread below sends it: type, value and status all
// follow from i, so a reader can tell whether three values belong together.
DriverEvent Numbered(std::int32_t i) { return {16 + i % 2, i, i * 7 + 3}; }

bool IsOneEvent(const DriverEvent& seen) {
  const DriverEvent sent = Numbered(seen.value);
  return seen.type == sent.type && seen.status == sent.status;
}

// A front end asked to quit: every wait ends at once without a signal.
class QuittingWindow : public RecordingWindow {
 public:
  WaitOutcome WaitForSignal(platform::AutoResetEvent&,
                            std::optional<std::chrono::milliseconds>) override {
    return WaitOutcome::kQuit;
  }
};

TEST(DriverEventStateTest, StoreKeepsValueAndStatusOfTheLastProgressEvent) {
  g_driverEventState.Store({17, 40, 5});
  g_driverEventState.Store({2, 99, 99});  // carries no progress: only the type changes
  const DriverEvent seen = g_driverEventState.Load();
  EXPECT_EQ(seen.type, 2);
  EXPECT_EQ(seen.value, 40);
  EXPECT_EQ(seen.status, 5);
  g_nEventType = 18;
  g_nEventProgress = 0;
  EXPECT_EQ(g_nEventType, 18);
  EXPECT_EQ(g_nEventProgress, 0);
  EXPECT_EQ(g_nEventCode, 5);
}

// After a quit during a wait the run takes the stored values as the event.
// With the driver storing events on its own thread meanwhile, every event
// the run takes must be one that was sent, not parts of two. Run under
// ThreadSanitizer by scripts/test.
TEST(DriverEventStateTest, QuitDuringAWaitTakesOneEventsValues) {
  FakeDriver driver;
  driver.slots = {"KX58-1"};
  QuittingWindow window;
  NextDlgOptions options;
  options.lockBoard = false;
  CNextDlg dialog(driver, window, options);
  ASSERT_EQ(dialog.OpenCamera(), 1);
  g_driverEventState.Store(Numbered(0));

  std::atomic<bool> done{false};
  std::thread driverThread([&] {
    // No context: the events are stored but not queued, as after the run
    // has stopped listening; only the stored values reach the reader.
    for (std::int32_t i = 1; !done.load(); i = i % 1000000 + 1) {
      const DriverEvent event = Numbered(i);
      driver.callback(0, event.type, event.value, 0, event.status, nullptr);
    }
  });
  int mixed = 0;
  for (int read = 0; read < 200000; ++read) {
    ASSERT_EQ(dialog.WaitForDriverEvent(), 1);
    if (!IsOneEvent(dialog.CurrentEvent()) ||
        dialog.LastEventCode() != dialog.CurrentEvent().status) {
      ++mixed;
    }
  }
  done = true;
  driverThread.join();
  EXPECT_EQ(mixed, 0);
}

}  // namespace
}  // namespace kx
