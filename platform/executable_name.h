// The running program's own name.
#pragma once

#include <string>

namespace kx::platform {

// The executable's file name without folder and extension, as the system
// reports the running program ("/opt/kx/DERadori" -> "DERadori"); empty when
// it cannot be found out.
std::string ExecutableBaseName();

// The same for any path.
std::string BaseNameOf(const std::string& path);

}  // namespace kx::platform
