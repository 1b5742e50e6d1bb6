// The events the simulated board sends for one component, worked out when
// the component is handed over, from the pacing and the component's faults.
#pragma once

#include <cstdint>
#include <vector>

#include "simboard/board_file.h"

namespace kx::sim {

struct ScriptedEvent {
  std::int32_t type = 0;
  std::int32_t value = 0;
  std::int32_t status = 0;
  bool paced = true;  // the pacing delay comes before it (noise follows at once)
};

struct EventScript {
  std::vector<ScriptedEvent> events;  // in the order they are sent
  // True when the script was cut short by a stall: the worker then sends
  // nothing more, for this component or any later one, until the camera is
  // deleted, and the write is never recorded.
  bool stalls = false;
  std::int32_t delayMs = 0;  // between paced events; 0 for a burst
};

// Without faults: 14, 15, then type 17 with the value rising by the step
// (1 to 100 percent; outside that range it is clamped) up to exactly 100, all
// with status 0. Faults change that as follows:
//  - outOfOrder swaps 14 and 15;
//  - retries adds that many type 17 events with retryStatus, spread evenly
//    over the steps, each just before its step and carrying the value sent
//    last (0 before the first step), so a retried packet never reads as 100;
//  - wrongType replaces the wrongTypeAt-th step (the last one when the number
//    is past the end, the first when below 1) by an event of that type with
//    the same value and wrongTypeStatus;
//  - noise puts (0, 2, 12) events with noiseValue and noiseStatus just before
//    every other event;
//  - stallAfter N (N >= 0) keeps only the first N events that are not noise
//    (with their noise) and marks the script as stalling, when that cuts it;
//  - burst sets the delay to 0.
// Refusal is not part of a script: a refused component has none.
EventScript BuildEventScript(const Pacing& pacing, const ComponentFaults& faults);

}  // namespace kx::sim
