#include "platform/auto_reset_event.h"

namespace kx::platform {

void AutoResetEvent::Signal() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = true;
  }
  changed_.notify_one();
}

void AutoResetEvent::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  set_ = false;
}

void AutoResetEvent::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return set_; });
  set_ = false;
}

bool AutoResetEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, timeout, [this] { return set_; })) return false;
  set_ = false;
  return true;
}

bool AutoResetEvent::TryWait() {
  std::lock_guard<std::mutex> lock(mutex_);
  bool was = set_;
  set_ = false;
  return was;
}

}  // namespace kx::platform
