#include "simboard/event_script.h"

#include <algorithm>
#include <cstddef>

#include "camera/cam_driver.h"

namespace kx::sim {
namespace {

// Event types that do not wake the updater: they come as noise.
constexpr std::int32_t kNoiseTypes[] = {0, 2, 12};

std::vector<std::int32_t> ProgressValues(std::int32_t stepPercent) {
  std::int32_t step = std::clamp(stepPercent, 1, 100);
  std::vector<std::int32_t> values;
  for (std::int32_t value = step; value < 100; value += step) values.push_back(value);
  values.push_back(100);
  return values;
}

}  // namespace

EventScript BuildEventScript(const Pacing& pacing, const ComponentFaults& faults) {
  std::vector<ScriptedEvent> real;
  ScriptedEvent accepted{CAM_EVENT_UPDATE_ACCEPTED, 0, 0, true};
  ScriptedEvent started{CAM_EVENT_UPDATE_STARTED, 0, 0, true};
  if (faults.outOfOrder) std::swap(accepted, started);
  real.push_back(accepted);
  real.push_back(started);

  std::vector<std::int32_t> values = ProgressValues(pacing.stepPercent);
  const auto steps = static_cast<std::int64_t>(values.size());
  const std::int64_t retries = std::max<std::int32_t>(faults.retries, 0);
  const std::int64_t wrongAt =
      std::clamp<std::int64_t>(faults.wrongTypeAt, 1, steps) - 1;  // index of the step
  std::int32_t previous = 0;
  for (std::int64_t i = 0; i < steps; ++i) {
    std::int64_t retriesHere = retries / steps + (i < retries % steps ? 1 : 0);
    for (std::int64_t r = 0; r < retriesHere; ++r) {
      real.push_back({CAM_EVENT_PROGRESS, previous, faults.retryStatus, true});
    }
    const std::int32_t value = values[static_cast<std::size_t>(i)];
    if (faults.wrongType != 0 && i == wrongAt) {
      real.push_back({faults.wrongType, value, faults.wrongTypeStatus, true});
    } else {
      real.push_back({CAM_EVENT_PROGRESS, value, 0, true});
    }
    previous = value;
  }

  EventScript script;
  script.delayMs = faults.burst ? 0 : std::max<std::int32_t>(pacing.delayMs, 0);
  std::size_t kept = real.size();
  if (faults.stallAfter >= 0 && static_cast<std::size_t>(faults.stallAfter) < real.size()) {
    kept = static_cast<std::size_t>(faults.stallAfter);
    script.stalls = true;
  }
  for (std::size_t i = 0; i < kept; ++i) {
    if (faults.noise) {
      bool first = true;
      for (std::int32_t type : kNoiseTypes) {
        script.events.push_back({type, faults.noiseValue, faults.noiseStatus, first});
        first = false;
      }
      real[i].paced = false;
    }
    script.events.push_back(real[i]);
  }
  return script;
}

}  // namespace kx::sim
