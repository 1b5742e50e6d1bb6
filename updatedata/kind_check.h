// Why the component files' kind check failed.
#pragma once

#include <cstdint>
#include <string>

namespace kx {

enum class KindProblem : std::uint8_t {
  kNone,
  kWrongKind,   // a file does not hold what its name promises
  kCannotRead,  // a file could not be opened or read, so its kind is unknown
  kNoMemory,
};

struct KindCheck {
  KindProblem problem = KindProblem::kNone;
  std::string file;   // the component file at fault
  std::string cause;  // "S-record text, not FPGA data", "permission denied", ...
  explicit operator bool() const { return problem == KindProblem::kNone; }
};

// The one sentence: "KXFPGA1v1_0_0.rbf: S-record text, not FPGA data",
// "cannot read KXFirmv1_0_0.s: permission denied", ...
std::string ReasonOf(const KindCheck& check);

}  // namespace kx
