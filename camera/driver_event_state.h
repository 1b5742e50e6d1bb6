// The driver's events as the update run sees them.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace kx {

struct DriverEvent {
  std::int32_t type = 0;
  std::int32_t value = 0;
  std::int32_t status = 0;
};

// The most recent event's type, value and status, as the event callback
// stores them: process-wide, written on the driver's thread, read on the
// update dialog's. One lock guards the three, so that values taken together
// (Load) are always one event's, never a mix of two.
class DriverEventState {
 public:
  // One of the three values alone, read or written under the state's lock.
  class Value {
   public:
    constexpr Value(DriverEventState& state, std::int32_t DriverEvent::*field)
        : state_(state), field_(field) {}
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;

    operator std::int32_t() const;
    Value& operator=(std::int32_t value);

   private:
    DriverEventState& state_;
    std::int32_t DriverEvent::*field_;
  };

  constexpr DriverEventState() = default;
  DriverEventState(const DriverEventState&) = delete;
  DriverEventState& operator=(const DriverEventState&) = delete;

  // What the callback does with an event: the type always; the value and
  // the status only for the types that carry them (16 and 17).
  void Store(const DriverEvent& event);
  // The three values at one moment.
  DriverEvent Load() const;

 private:
  mutable std::mutex mutex_;
  DriverEvent values_;
};

extern constinit DriverEventState g_driverEventState;
// The three values of g_driverEventState by their own names: the type of the
// most recent event, its progress value and its status code.
extern constinit DriverEventState::Value g_nEventType;
extern constinit DriverEventState::Value g_nEventProgress;
extern constinit DriverEventState::Value g_nEventCode;

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
