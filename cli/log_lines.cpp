#include "cli/log_lines.h"

namespace kx::cli {

std::vector<std::string> LogLines(std::string_view log) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < log.size()) {
    const std::size_t end = log.find('\n', from);
    if (end == std::string_view::npos) {
      lines.emplace_back(log.substr(from));
      break;
    }
    const std::size_t length = end - from - (end > from && log[end - 1] == '\r' ? 1 : 0);
    lines.emplace_back(log.substr(from, length));
    from = end + 1;
  }
  return lines;
}

}  // namespace kx::cli
