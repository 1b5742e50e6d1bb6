// Test helper: a test waits for a state (a file's text, a process's end, a
// flag), never for a time; the limit only ends a wait that hangs.
#pragma once

#include <chrono>
#include <functional>

namespace kx::testing {

// How long a wait for a state may take before the test counts it as hung:
// long enough that a loaded machine, or one under a sanitizer, never hits it.
inline constexpr std::chrono::seconds kHangGuard{60};

// Looks at `state` every few milliseconds until it holds: true. False when
// it still does not hold after `guard`.
bool WaitUntil(const std::function<bool()>& state, std::chrono::milliseconds guard = kHangGuard);

}  // namespace kx::testing
