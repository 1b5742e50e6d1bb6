#include "simboard/event_script.h"

#include <algorithm>

#include "camera/cam_driver.h"

namespace kx::sim {
namespace {

// Event types that do not wake the updater: they come as noise.
constexpr std::int32_t kNoiseTypes[] = {0, 2, 12};

}  // namespace

EventScript::EventScript(const Pacing& pacing, const ComponentFaults& faults)
    : faults_(faults), step_(std::clamp(pacing.stepPercent, 1, 100)) {
  steps_ = (99 / step_) + 1;  // step, 2 x step, ... below 100, then 100
  retries_ = std::max<std::int32_t>(faults.retries, 0);
  wrongAt_ = std::clamp<std::int64_t>(faults.wrongTypeAt, 1, steps_) - 1;
  const std::int64_t real = 2 + steps_ + retries_;
  kept_ = real;
  if (faults.stallAfter >= 0 && faults.stallAfter < real) {
    kept_ = faults.stallAfter;
    stalls_ = true;
  }
  delayMs_ = faults.burst ? 0 : std::max<std::int32_t>(pacing.delayMs, 0);
}

std::int32_t EventScript::StepValue(std::int64_t step) const {
  return step + 1 < steps_ ? static_cast<std::int32_t>((step + 1) * step_) : 100;
}

ScriptedEvent EventScript::At(std::int64_t index) const {
  if (!faults_.noise) return Real(index);
  const std::int64_t position = index % 4;
  if (position < 3) {
    return {kNoiseTypes[position], faults_.noiseValue, faults_.noiseStatus, position == 0};
  }
  ScriptedEvent event = Real(index / 4);
  event.paced = false;  // its noise took the delay
  return event;
}

ScriptedEvent EventScript::Real(std::int64_t index) const {
  if (index < 2) {
    const bool accepted = (index == 0) != faults_.outOfOrder;
    return {accepted ? CAM_EVENT_UPDATE_ACCEPTED : CAM_EVENT_UPDATE_STARTED, 0, 0, true};
  }
  // After 14 and 15 every step comes as a run: its retried packets, then the
  // step itself. The first `longer` runs hold one retry more than the others.
  const std::int64_t perStep = retries_ / steps_;
  const std::int64_t longer = retries_ % steps_;
  std::int64_t at = index - 2;
  std::int64_t step = 0;
  std::int64_t retriesHere = perStep + 1;
  if (at < longer * (perStep + 2)) {
    step = at / (perStep + 2);
    at %= perStep + 2;
  } else {
    at -= longer * (perStep + 2);
    step = longer + at / (perStep + 1);
    at %= perStep + 1;
    retriesHere = perStep;
  }
  if (at < retriesHere) {
    return {CAM_EVENT_PROGRESS, step == 0 ? 0 : StepValue(step - 1), faults_.retryStatus, true};
  }
  const std::int32_t value = StepValue(step);
  if (faults_.wrongType != 0 && step == wrongAt_) {
    return {faults_.wrongType, value, faults_.wrongTypeStatus, true};
  }
  return {CAM_EVENT_PROGRESS, value, 0, true};
}

}  // namespace kx::sim
