#include "platform/lock_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kx::platform {
namespace {

OpenedFolder Refused(FolderProblem problem, int error = 0) {
  OpenedFolder folder;
  folder.problem = problem;
  folder.error = error;
  return folder;
}

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir for a missing lock folder; kSystem also makes a missing parent
// (/run/lock on a system without one).
int MakeFolder(const std::string& path, LockFolderRule rule) {
  const mode_t mode = rule == LockFolderRule::kSystem ? 0755 : 0700;
  if (::mkdir(path.c_str(), mode) == 0 || errno == EEXIST) return 0;
  if (errno != ENOENT || rule != LockFolderRule::kSystem) return -1;
  if (::mkdir(ParentOf(path).c_str(), 0755) != 0 && errno != EEXIST) return -1;
  if (::mkdir(path.c_str(), mode) == 0 || errno == EEXIST) return 0;
  return -1;
}

}  // namespace

OpenedFolder OpenLockFolder(const std::string& path, LockFolderRule rule) {
  const bool checked = rule != LockFolderRule::kAsFound;
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (checked ? O_NOFOLLOW : 0);
  int fd = ::open(path.c_str(), flags);
  if (fd < 0 && errno == ENOENT && checked) {
    if (rule == LockFolderRule::kSystem && ::geteuid() != 0)
      return Refused(FolderProblem::kMissing);
    if (MakeFolder(path, rule) != 0) return Refused(FolderProblem::kCannotMake, errno);
    fd = ::open(path.c_str(), flags);
  }
  if (fd < 0) {
    const int error = errno;
    struct stat seen {};
    if (checked && ::lstat(path.c_str(), &seen) == 0) {
      if (S_ISLNK(seen.st_mode)) return Refused(FolderProblem::kLink);
      if (!S_ISDIR(seen.st_mode)) return Refused(FolderProblem::kNotFolder);
    }
    return Refused(FolderProblem::kCannotOpen, error);
  }

  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return Refused(FolderProblem::kCannotOpen, error);
  }
  OpenedFolder folder;
  if (!S_ISDIR(st.st_mode)) {
    folder.problem = FolderProblem::kNotFolder;
  } else if (checked) {
    const uid_t owner = rule == LockFolderRule::kSystem ? 0 : ::geteuid();
    if (st.st_uid != owner) {
      folder.problem = FolderProblem::kWrongOwner;
      folder.owner = st.st_uid;
    } else if (st.st_mode & (S_IWGRP | S_IWOTH)) {
      folder.problem = FolderProblem::kOpenToOthers;
      folder.mode = st.st_mode & 07777;
    }
  }
  if (folder.problem != FolderProblem::kNone) {
    ::close(fd);
    return folder;
  }
  folder.fd = fd;
  return folder;
}

std::string UserLockFolder() {
  const uid_t me = ::geteuid();
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
    struct stat st {};
    if (::lstat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == me &&
        (st.st_mode & 07777) == 0700) {
      return runtime;
    }
  }
  return "/tmp/kx58-" + std::to_string(me);
}

std::string DescribeFolderProblem(const OpenedFolder& folder, const std::string& path,
                                  LockFolderRule rule) {
  const std::string name = "the lock folder " + path;
  switch (folder.problem) {
    case FolderProblem::kNone:
      return {};
    case FolderProblem::kMissing:
      return name + " does not exist, and only root may make it";
    case FolderProblem::kCannotMake:
      return name + " cannot be made: " + std::strerror(folder.error);
    case FolderProblem::kLink:
      return name + " is a symbolic link";
    case FolderProblem::kNotFolder:
      return name + " is not a folder";
    case FolderProblem::kWrongOwner:
      return name + " belongs to uid " + std::to_string(folder.owner) + ", not to " +
             (rule == LockFolderRule::kSystem ? std::string("root")
                                              : "uid " + std::to_string(::geteuid()));
    case FolderProblem::kOpenToOthers: {
      char mode[8];
      std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(folder.mode));
      return name + " may be written by group or others (mode " + mode + ")";
    }
    case FolderProblem::kCannotOpen:
      return name + " cannot be opened: " + std::strerror(folder.error);
  }
  return {};
}

}  // namespace kx::platform
