// A lock between processes, known by its file: the single-instance rule of
// the wizard and the one-update-per-board rule use it.
#pragma once

#include <sys/types.h>
#include <optional>
#include <string>

#include "platform/lock_folder.h"

namespace kx::platform {

enum class LockStatus {
  kAcquired,       // this object holds the lock
  kHeld,           // a live process holds it (holder names it when the file does)
  kFolderRefused,  // the folder failed its rule (folder says why)
  kFileRefused,    // the lock file is not one this process may trust (fileProblem)
  kCannotOpen,     // the lock file cannot be made or opened, or flock failed (error)
};

// Why a lock file was refused; the first check that failed.
enum class LockFileProblem {
  kNone,
  kLink,          // a symbolic link
  kNotRegular,    // a folder, a FIFO, a device, a socket...
  kSeveralLinks,  // more than one name (a hard link to some other file)
  kWrongOwner,    // owned by neither the running user nor root (owner)
  kOpenToOthers,  // group or others have some access (mode)
};

struct LockAttempt {
  LockStatus status = LockStatus::kCannotOpen;
  std::optional<pid_t> holder;  // kHeld: the process the file names, when it is alive
  OpenedFolder folder;          // kFolderRefused: the folder's problem (fd always closed)
  LockFileProblem fileProblem = LockFileProblem::kNone;
  int error = 0;    // kCannotOpen: errno of the call that failed
  uid_t owner = 0;  // kWrongOwner: the file's owner
  mode_t mode = 0;  // kOpenToOthers: the file's permission bits
};

// Held from a successful TryAcquire until the object is destroyed or the
// process ends (the system frees it even after a crash). Backed by an
// exclusive advisory lock (flock) on `fileName` in `folder`:
//  - the folder must satisfy its LockFolderRule, and the file is made
//    relative to the folder as it was checked;
//  - the file is opened without following links and without blocking, made
//    with mode 0600, and refused unless it is a regular file with one name,
//    owned by the running user or root, with no access for group or others,
//    so that no other user can redirect it or hold it;
//  - it is emptied and given the holder's process id only once the lock is
//    held, and it is left in place on release (removing it would race with
//    a process that has just opened it).
class NamedLock {
 public:
  NamedLock(std::string folder, std::string fileName, LockFolderRule rule);
  ~NamedLock();
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;

  LockAttempt TryAcquire();
  bool held() const { return fd_ >= 0; }

  // The process the lock file names when that process is alive; for a look
  // from outside (a refused TryAcquire reports its holder itself). Right
  // after a holder has locked and before it has written its id, the file may
  // still name an earlier holder.
  std::optional<pid_t> HolderPid() const;

  const std::string& folder() const { return folder_; }
  const std::string& path() const { return path_; }
  LockFolderRule rule() const { return rule_; }

  // `name` with every character other than letters, digits, '.', '-' and
  // '_' replaced by '_', so that any board id or program name makes one
  // file name in the folder.
  static std::string SafeFileName(const std::string& name);

 private:
  std::string folder_;
  std::string path_;
  std::string fileName_;
  LockFolderRule rule_;
  int fd_ = -1;
};

// One line in English on why `attempt` did not acquire `lock`: the one check
// that failed, naming the folder or file; empty for kAcquired.
std::string DescribeLockAttempt(const LockAttempt& attempt, const NamedLock& lock);

}  // namespace kx::platform
