#include "platform/executable_name.h"

#include <unistd.h>

#include <climits>

namespace kx::platform {

std::string BaseNameOf(const std::string& path) {
  std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::string ExecutableBaseName() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  return BaseNameOf(std::string(path, static_cast<std::size_t>(n)));
}

}  // namespace kx::platform
