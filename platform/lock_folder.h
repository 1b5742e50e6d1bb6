// Folders that hold lock files, and the checks that keep other users from
// redirecting or replacing the locks in them.
#pragma once

#include <sys/types.h>
#include <string>

namespace kx::platform {

// What a lock folder must be before a lock file is made in it.
enum class LockFolderRule {
  // System-wide: a folder (not a link) owned by root that neither group nor
  // others may write to. Only root makes it when it is missing (mode 0755,
  // and its parent too when that is missing); other users get kMissing.
  kSystem,
  // One user's: a folder (not a link) owned by the running user that
  // neither group nor others may write to; made with mode 0700 when missing.
  kPrivate,
  // A folder the user chose (where their own files are), taken as found:
  // it must exist; only the lock file in it is checked.
  kAsFound,
};

// Why a lock folder was refused; the first check that failed.
enum class FolderProblem {
  kNone,
  kMissing,       // does not exist, and may not be made by this user
  kCannotMake,    // making it failed (error)
  kLink,          // a symbolic link
  kNotFolder,     // something other than a folder
  kWrongOwner,    // owned by someone else (owner)
  kOpenToOthers,  // group or others may write to it (mode)
  kCannotOpen,    // opening or examining it failed (error)
};

struct OpenedFolder {
  int fd = -1;  // the folder, open for *at() calls (O_CLOEXEC); the caller closes it
  FolderProblem problem = FolderProblem::kNone;
  int error = 0;    // errno of the call that failed, where one did
  uid_t owner = 0;  // kWrongOwner: the owner found
  mode_t mode = 0;  // kOpenToOthers: the permission bits found
};

// Opens `path` as a lock folder under `rule`, making it where the rule
// allows. The checks are made on the opened folder itself, so what was
// checked is what the lock file goes into.
OpenedFolder OpenLockFolder(const std::string& path, LockFolderRule rule);

// The running user's folder for per-user locks (kPrivate): $XDG_RUNTIME_DIR
// when it is set to a folder of theirs with mode 0700, else /tmp/kx58-<uid>.
std::string UserLockFolder();

// One line in English: what is wrong with `path`; empty for kNone.
std::string DescribeFolderProblem(const OpenedFolder& folder, const std::string& path,
                                  LockFolderRule rule);

}  // namespace kx::platform
