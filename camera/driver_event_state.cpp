#include "camera/driver_event_state.h"

namespace kx {

std::atomic<std::int32_t> g_nEventType{0};
std::atomic<std::int32_t> g_nEventProgress{0};
std::atomic<std::int32_t> g_nEventCode{0};

bool IsWakingEvent(std::int32_t type) {
  switch (type) {
    case 1: case 3: case 4: case 5: case 14: case 15: case 16: case 17:
      return true;
    default:
      return false;
  }
}

bool CarriesProgress(std::int32_t type) { return type == 16 || type == 17; }

void DriverEventQueue::Push(const DriverEvent& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(event);
}

std::optional<DriverEvent> DriverEventQueue::TryPop() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (events_.empty()) return std::nullopt;
  DriverEvent event = events_.front();
  events_.pop_front();
  return event;
}

void DriverEventQueue::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.clear();
}

}  // namespace kx
