// The update run's four steps: which component, its log line, the driver's
// version kind for it, and whether writing an older or equal version is asked.
#pragma once

#include <array>
#include <cstdint>

#include "updatedata/component.h"

namespace kx {

struct RunStep {
  Component component;
  int logString;             // "Updates FPGA1.....", ...
  std::int32_t versionKind;  // CAM_GetVersionEx kind of the installed version
  bool asksBeforeOlder;      // FPGA and boot firmware ask; the application firmware
                             // was already decided when the dialog opened
};

inline constexpr std::array<RunStep, kComponentCount> kRunSteps = {{
    {Component::kFpga1, 505, 3, true},
    {Component::kFpga2, 506, 3, true},  // both FPGAs compare with kind 3
    {Component::kFirmAppl, 507, 5, false},
    {Component::kFirmBoot, 510, 9, true},
}};

// What the run does with one component.
enum class RunAction { kSkip, kWrite, kAsk };

}  // namespace kx
