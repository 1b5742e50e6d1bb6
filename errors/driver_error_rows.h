// The camera driver's error codes with their symbolic names and message texts.
#pragma once

#include <cstdint>
#include <span>

namespace kx {

// One error code of the camera driver. All three strings are UTF-8 and live
// for the whole run; the name is plain ASCII, spelled as the driver spells it.
struct DriverErrorRow {
  std::int32_t code;
  const char* name;
  const char* japanese;
  const char* english;
};

// The row of `code`, or nullptr when the driver has no such code. Only the
// codes 0 to 148, 1000 to 1028 and 10000 to 10003 have rows.
const DriverErrorRow* FindDriverError(std::int32_t code);

// Every row, in ascending code order (for listings such as `kxupdate errors`).
std::span<const DriverErrorRow> AllDriverErrors();

}  // namespace kx
