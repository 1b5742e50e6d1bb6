#include <iostream>

#include "cli/commands.h"

namespace kx::cli {

void PrintError(const std::string& message) { std::cerr << "kxupdate: " << message << "\n"; }

}  // namespace kx::cli
