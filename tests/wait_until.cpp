#include "tests/wait_until.h"

#include <thread>

namespace kx::testing {

bool WaitUntil(const std::function<bool()>& state, std::chrono::milliseconds guard) {
  const auto giveUp = std::chrono::steady_clock::now() + guard;
  for (;;) {
    if (state()) return true;
    // Looked at once more after the limit, so that a state reached while
    // this thread was not running still counts.
    if (std::chrono::steady_clock::now() >= giveUp) return state();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace kx::testing
