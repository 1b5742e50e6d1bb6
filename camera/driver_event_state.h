// The driver's events as the update run sees them.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace kx {

// The most recent event's type, value and status, as the event callback
// stores them; process-wide, written by the driver's thread, read by the
// update dialog. Atomics, so that the two threads never race.
extern std::atomic<std::int32_t> g_nEventType;
extern std::atomic<std::int32_t> g_nEventProgress;
extern std::atomic<std::int32_t> g_nEventCode;

struct DriverEvent {
  std::int32_t type = 0;
  std::int32_t value = 0;
  std::int32_t status = 0;
};

// True for the event types that wake the update dialog: 1, 3, 4, 5, 14, 15, 16, 17.
bool IsWakingEvent(std::int32_t type);

// True for the types that carry a value and a status: 16 and 17.
bool CarriesProgress(std::int32_t type);

// Waking events in the order the driver sent them. The driver's thread
// pushes, the dialog's thread pops; a burst of events is kept whole, so the
// run takes them one by one instead of seeing only the last.
class DriverEventQueue {
 public:
  void Push(const DriverEvent& event);
  std::optional<DriverEvent> TryPop();
  void Clear();

 private:
  std::mutex mutex_;
  std::deque<DriverEvent> events_;
};

}  // namespace kx
