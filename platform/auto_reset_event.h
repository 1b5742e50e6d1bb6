// An auto-reset event: Signal sets it, a wait that sees it set resets it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace kx::platform {

// Thread-safe. However often Signal is called before a wait, one wait is
// released (signals do not count up); a signal with no waiter stays set for
// the next wait.
class AutoResetEvent {
 public:
  void Signal();
  void Reset();
  // Blocks until the event is set, then resets it.
  void Wait();
  // As Wait, for at most `timeout`; true when the event was set.
  bool WaitFor(std::chrono::milliseconds timeout);
  // True, and resets it, when the event is set now; never blocks.
  bool TryWait();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool set_ = false;
};

}  // namespace kx::platform
