// Which driver library the terminal tool loads.
#pragma once

#include <memory>
#include <string>

#include "camera/driver_library.h"

namespace kx::cli {

// --driver LIB, else --simulate (our simulated board), else KXUPDATE_DRIVER,
// else libTessera.so.
struct DriverChoice {
  std::string library;
  bool simulate = false;
};

// The simulated board's library: beside kxupdate, else in the build tree.
std::string SimulatedBoardLibrary();

// Loads the chosen library; null with a message printed when it cannot.
std::unique_ptr<DriverLibrary> LoadDriver(const DriverChoice& choice);

}  // namespace kx::cli
