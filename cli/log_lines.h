// The update log as lines, for scripts that read the --json object.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kx::cli {

// The lines of `log` without their line ends: a line ends at CR LF or at a
// lone LF; a CR elsewhere stays in its line. A line end at the very end
// starts no further line, and an empty log has no lines.
std::vector<std::string> LogLines(std::string_view log);

}  // namespace kx::cli
