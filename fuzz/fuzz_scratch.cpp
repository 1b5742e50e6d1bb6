#include "fuzz/fuzz_scratch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kx::fuzz {
namespace {

std::string MakeFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kx-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("kx fuzz: mkdtemp");
    std::abort();
  }
  return pattern;
}

void RemoveFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(ScratchFolder(), ignored);
}

}  // namespace

const std::string& ScratchFolder() {
  static const std::string folder = MakeFolder();
  // Registered once the path is made, so it runs before the path is destroyed.
  static const bool removedAtExit = std::atexit(RemoveFolder) == 0;
  (void)removedAtExit;
  return folder;
}

std::string ScratchPath(const std::string& name) { return ScratchFolder() + "/" + name; }

void WriteWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::perror(path.c_str());
    std::abort();
  }
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::perror(path.c_str());
      std::abort();
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

}  // namespace kx::fuzz
