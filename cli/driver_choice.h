// Which driver library the terminal tool loads.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/driver_library.h"

namespace kx::cli {

// --driver LIB, else --simulate (our simulated board), else KXUPDATE_DRIVER,
// else libTessera.so.
struct DriverChoice {
  std::string library;
  bool simulate = false;
};

// Where the simulated board's library is looked for, relative to the folder
// `executableFolder` that holds kxupdate, in order: beside it, the install
// layout's ../lib/kxupdate/, the build tree's ../simboard/.
std::vector<std::string> SimulatedBoardPlaces(const std::string& executableFolder);

// The first of SimulatedBoardPlaces(the running executable's folder) that
// exists; none with `error` naming the places tried.
std::optional<std::string> SimulatedBoardLibrary(std::string* error);

// Loads the chosen library; null with a message printed when it cannot.
std::unique_ptr<DriverLibrary> LoadDriver(const DriverChoice& choice);

}  // namespace kx::cli
