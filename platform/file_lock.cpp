#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kx::platform {

FileLock::~FileLock() { Release(); }

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void FileLock::Release() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));  // closing lets go of the flock
}

FileLockStatus FileLock::Acquire(const std::string& path) {
  Release();
  const std::string lockPath = LockPathFor(path);
  // O_NONBLOCK: a FIFO put at the name must not hold the open up.
  int fd = ::open(lockPath.c_str(),
                  O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
  if (fd < 0) {
    if (errno == ELOOP) return FileLockStatus::kSymbolicLink;
    return errno == EISDIR ? FileLockStatus::kNotRegular : FileLockStatus::kCannotOpen;
  }
  struct stat info {};
  FileLockStatus status = FileLockStatus::kLocked;
  if (::fstat(fd, &info) != 0) {
    status = FileLockStatus::kCannotOpen;
  } else if (!S_ISREG(info.st_mode) || info.st_nlink != 1) {
    status = FileLockStatus::kNotRegular;
  } else if (info.st_uid != ::geteuid() && info.st_uid != 0) {
    status = FileLockStatus::kForeignOwner;
  } else {
    int locked;
    do {
      locked = ::flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) status = FileLockStatus::kCannotLock;
  }
  if (status != FileLockStatus::kLocked) {
    ::close(fd);
    return status;
  }
  fd_ = fd;
  return status;
}

}  // namespace kx::platform
