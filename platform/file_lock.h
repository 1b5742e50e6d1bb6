// An exclusive lock on one file between processes, and between threads of
// one process, for the read-modify-write of a file that is replaced by
// renaming (so the lock cannot sit on the file itself): an advisory lock
// (flock) on a lock file beside it, `<file>.lock`.
#pragma once

#include <string>

namespace kx::platform {

// Why a lock was not had.
enum class FileLockStatus {
  kLocked,
  kCannotOpen,    // the lock file cannot be opened or made (no such folder, no permission)
  kSymbolicLink,  // a symbolic link stands at the lock file's name
  kNotRegular,    // a directory, FIFO, device or a file with more than one name stands there
  kForeignOwner,  // the lock file belongs to a user other than this process's or root
  kCannotLock,    // the system refused the lock itself
};

// Held from a successful Acquire until Release, destruction or the end of
// the process (the system frees it even after a crash). Each holder opens the
// lock file itself, so two objects exclude each other whether they live in
// one process or in two. The lock file is made when missing (mode 0600), is
// never written and stays behind: removing it would let a waiter lock a file
// that no longer has the name.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Blocks until this object holds the lock of the file at `path`. A lock
  // already held is let go first.
  FileLockStatus Acquire(const std::string& path);
  void Release();
  bool held() const { return fd_ >= 0; }

  // The lock file of the file at `path`.
  static std::string LockPathFor(const std::string& path) { return path + ".lock"; }

 private:
  int fd_ = -1;
};

}  // namespace kx::platform
