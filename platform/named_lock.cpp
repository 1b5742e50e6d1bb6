#include "platform/named_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>

namespace kx::platform {

std::string NamedLock::PathFor(const std::string& name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = (runtime && *runtime) ? runtime : "/tmp";
  std::string safe;
  for (char c : name) {
    bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    safe += plain ? c : '_';
  }
  return folder + "/kx58-" + safe + ".lock";
}

NamedLock::NamedLock(std::string name) : path_(PathFor(name)) {}

NamedLock::~NamedLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the flock
}

bool NamedLock::TryAcquire() {
  if (fd_ >= 0) return true;
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    ssize_t ignored = ::pwrite(fd, pid.data(), pid.size(), 0);
    (void)ignored;  // the pid is for messages only; the lock holds without it
  }
  fd_ = fd;
  return true;
}

std::optional<pid_t> NamedLock::HolderPid() const {
  int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char text[32] = {};
  ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  ::close(fd);
  if (n <= 0) return std::nullopt;
  long pid = std::strtol(text, nullptr, 10);
  if (pid <= 0) return std::nullopt;
  return static_cast<pid_t>(pid);
}

}  // namespace kx::platform
