#include "cli/driver_choice.h"

#include <filesystem>

#include "cli/commands.h"

namespace kx::cli {

namespace fs = std::filesystem;

std::vector<std::string> SimulatedBoardPlaces(const std::string& executableFolder) {
  const fs::path folder(executableFolder);
  std::vector<std::string> places;
  for (const fs::path& place :
       {folder / kSimulatedBoardLibrary, folder / "../lib/kxupdate" / kSimulatedBoardLibrary,
        folder / "../simboard" / kSimulatedBoardLibrary}) {
    places.push_back(place.lexically_normal().string());
  }
  return places;
}

std::optional<std::string> SimulatedBoardLibrary(std::string* error) {
  std::error_code failed;
  const fs::path self = fs::read_symlink("/proc/self/exe", failed);
  if (failed) {
    if (error) *error = "cannot find the simulated board: /proc/self/exe: " + failed.message();
    return std::nullopt;
  }
  const std::vector<std::string> places = SimulatedBoardPlaces(self.parent_path().string());
  std::string tried;
  for (const std::string& place : places) {
    std::error_code ignored;
    if (fs::is_regular_file(place, ignored)) return place;
    tried += (tried.empty() ? "" : ", ") + place;
  }
  if (error) *error = "cannot find the simulated board's library; looked for " + tried;
  return std::nullopt;
}

std::unique_ptr<DriverLibrary> LoadDriver(const DriverChoice& choice) {
  std::string library = choice.library;
  std::string error;
  if (library.empty() && choice.simulate) {
    auto found = SimulatedBoardLibrary(&error);
    if (!found) {
      PrintError(error);
      return nullptr;
    }
    library = *found;
  }
  if (library.empty()) library = DriverLibraryFromEnvironment();
  auto driver = DriverLibrary::Open(library, &error);
  if (!driver) {
    PrintError(error);
    // What else there is to load; --simulate has named the places it tried.
    if (!choice.simulate) {
      PrintError(choice.library.empty()
                     ? "(use --simulate for the simulated board, or --driver LIB)"
                     : "(use --simulate for the simulated board)");
    }
  }
  return driver;
}

}  // namespace kx::cli
