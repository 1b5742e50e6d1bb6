// A lock between processes, known by name: the single-instance rule of the
// wizard and the one-update-per-board rule use it.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace kx::platform {

// Held from a successful TryAcquire until the object is destroyed or the
// process ends (the system frees it even after a crash). Backed by an
// advisory lock (flock) on a file named after the lock in the runtime folder
// ($XDG_RUNTIME_DIR, else /tmp); the holder writes its process id there so
// that a refused process can say who holds it.
class NamedLock {
 public:
  explicit NamedLock(std::string name);
  ~NamedLock();
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;

  // True when this object now holds the lock. False when another holder has
  // it (HolderPid then names it when known) or the lock file cannot be made.
  bool TryAcquire();
  bool held() const { return fd_ >= 0; }

  // The process id written by the current holder, if any can be read.
  std::optional<pid_t> HolderPid() const;

  // The lock file's path for `name`; characters other than letters, digits,
  // '.', '-' and '_' are replaced so that any board id makes a file name.
  static std::string PathFor(const std::string& name);

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace kx::platform
