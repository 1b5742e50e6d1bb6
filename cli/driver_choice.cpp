#include "cli/driver_choice.h"

#include <unistd.h>

#include <filesystem>

#include "cli/commands.h"

namespace kx::cli {

std::string SimulatedBoardLibrary() {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    for (const fs::path& candidate : {self.parent_path() / "libkxsim.so",
                                      self.parent_path() / "../simboard/libkxsim.so",
                                      self.parent_path() / "../lib/libkxsim.so"}) {
      if (fs::exists(candidate, error)) return fs::weakly_canonical(candidate, error).string();
    }
  }
  return KXSIM_BUILD_PATH;
}

std::unique_ptr<DriverLibrary> LoadDriver(const DriverChoice& choice) {
  std::string library = choice.library;
  if (library.empty()) library = choice.simulate ? SimulatedBoardLibrary() : DriverLibraryFromEnvironment();
  std::string error;
  auto driver = DriverLibrary::Open(library, &error);
  if (!driver) PrintError(error);
  return driver;
}

}  // namespace kx::cli
