// The events the simulated board sends for one component, worked out from
// the pacing and the component's faults when the component is handed over.
// The script is a rule, not a list: each event is worked out when it is due,
// so a scripted count as large as the board file allows (2147483647 retried
// packets, say) costs no memory, only the time to send the events.
#pragma once

#include <cstdint>

#include "simboard/board_file.h"

namespace kx::sim {

struct ScriptedEvent {
  std::int32_t type = 0;
  std::int32_t value = 0;
  std::int32_t status = 0;
  bool paced = true;  // the pacing delay comes before it (noise follows at once)
  bool operator==(const ScriptedEvent&) const = default;
};

// Without faults: 14, 15, then type 17 with the value rising by the step
// (1 to 100 percent; outside that range it is clamped) up to exactly 100, all
// with status 0. Faults change that as follows:
//  - outOfOrder swaps 14 and 15;
//  - retries (below 0: none) adds that many type 17 events with retryStatus,
//    spread evenly over the steps (the first steps get one more when they do
//    not divide), each just before its step and carrying the value sent last
//    (0 before the first step), so a retried packet never reads as 100;
//  - wrongType replaces the wrongTypeAt-th step (the last one when the number
//    is past the end, the first when below 1) by an event of that type with
//    the same value and wrongTypeStatus;
//  - noise puts (0, 2, 12) events with noiseValue and noiseStatus just before
//    every other event;
//  - stallAfter N (N >= 0) keeps only the first N events that are not noise
//    (with their noise) and marks the script as stalling, when that cuts it;
//  - burst sets the delay to 0 (a negative DelayMs is 0 as well).
// Refusal is not part of a script: a refused component has none.
class EventScript {
 public:
  EventScript() = default;
  EventScript(const Pacing& pacing, const ComponentFaults& faults);

  // How many events the script sends, noise included.
  std::int64_t size() const { return faults_.noise ? 4 * kept_ : kept_; }
  // The event at `index`, 0 <= index < size(), in the order they are sent.
  ScriptedEvent At(std::int64_t index) const;

  // True when the script was cut short by a stall: the worker then sends
  // nothing more, for this component or any later one, until the camera is
  // deleted, and the write is never recorded.
  bool stalls() const { return stalls_; }
  std::int32_t delayMs() const { return delayMs_; }  // between paced events; 0 for a burst

 private:
  ScriptedEvent Real(std::int64_t index) const;  // the events that are not noise
  std::int32_t StepValue(std::int64_t step) const;

  ComponentFaults faults_;
  std::int32_t step_ = 10;
  std::int64_t steps_ = 0;    // progress steps: the last one is 100
  std::int64_t retries_ = 0;  // retried packets in all
  std::int64_t wrongAt_ = 0;  // the step that wrongType replaces
  std::int64_t kept_ = 0;     // events that are not noise, after a stall's cut
  bool stalls_ = false;
  std::int32_t delayMs_ = 0;
};

}  // namespace kx::sim
