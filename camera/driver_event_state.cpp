#include "camera/driver_event_state.h"

namespace kx {

constinit DriverEventState g_driverEventState;
constinit DriverEventState::Value g_nEventType{g_driverEventState, &DriverEvent::type};
constinit DriverEventState::Value g_nEventProgress{g_driverEventState, &DriverEvent::value};
constinit DriverEventState::Value g_nEventCode{g_driverEventState, &DriverEvent::status};

DriverEventState::Value::operator std::int32_t() const {
  std::lock_guard<std::mutex> lock(state_.mutex_);
  return state_.values_.*field_;
}

DriverEventState::Value& DriverEventState::Value::operator=(std::int32_t value) {
  std::lock_guard<std::mutex> lock(state_.mutex_);
  state_.values_.*field_ = value;
  return *this;
}

void DriverEventState::Store(const DriverEvent& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  values_.type = event.type;
  if (CarriesProgress(event.type)) {
    values_.value = event.value;
    values_.status = event.status;
  }
}

DriverEvent DriverEventState::Load() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return values_;
}

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
