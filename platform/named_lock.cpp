#include "platform/named_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace kx::platform {
namespace {

constexpr int kOpenFlags = O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;

// The first reason not to trust a lock file with these attributes.
LockFileProblem ProblemOf(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return LockFileProblem::kLink;
  if (!S_ISREG(st.st_mode)) return LockFileProblem::kNotRegular;
  if (st.st_nlink != 1) return LockFileProblem::kSeveralLinks;
  if (st.st_uid != ::geteuid() && st.st_uid != 0) return LockFileProblem::kWrongOwner;
  if (st.st_mode & 077) return LockFileProblem::kOpenToOthers;
  return LockFileProblem::kNone;
}

LockAttempt FileRefused(const struct stat& st) {
  LockAttempt attempt;
  attempt.status = LockStatus::kFileRefused;
  attempt.fileProblem = ProblemOf(st);
  attempt.owner = st.st_uid;
  attempt.mode = st.st_mode & 07777;
  return attempt;
}

LockAttempt CannotOpen(int error) {
  LockAttempt attempt;
  attempt.status = LockStatus::kCannotOpen;
  attempt.error = error;
  return attempt;
}

LockAttempt Acquired() {
  LockAttempt attempt;
  attempt.status = LockStatus::kAcquired;
  return attempt;
}

bool Alive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// The process id a holder wrote ("<digits>\n"), when it names a live process.
std::optional<pid_t> LiveHolderIn(int fd) {
  char text[24] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return std::nullopt;
  long pid = 0;
  ssize_t at = 0;
  for (; at < n && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
    pid = pid * 10 + (text[at] - '0');
    if (pid > 0x3fffffff) return std::nullopt;
  }
  if (at == 0 || pid <= 0 || (at < n && text[at] != '\n')) return std::nullopt;
  if (!Alive(static_cast<pid_t>(pid))) return std::nullopt;
  return static_cast<pid_t>(pid);
}

}  // namespace

std::string NamedLock::SafeFileName(const std::string& name) {
  std::string safe;
  for (char c : name) {
    const bool plain =
        std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    safe += plain ? c : '_';
  }
  return safe;
}

NamedLock::NamedLock(std::string folder, std::string fileName, LockFolderRule rule)
    : folder_(std::move(folder)),
      path_(folder_ + "/" + fileName),
      fileName_(std::move(fileName)),
      rule_(rule) {}

NamedLock::~NamedLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the flock
}

LockAttempt NamedLock::TryAcquire() {
  if (fd_ >= 0) return Acquired();
  LockAttempt refused;
  refused.folder = OpenLockFolder(folder_, rule_);
  if (refused.folder.problem != FolderProblem::kNone) {
    refused.status = LockStatus::kFolderRefused;
    return refused;
  }
  const int folderFd = refused.folder.fd;
  const int fd = ::openat(folderFd, fileName_.c_str(), kOpenFlags, 0600);
  const int openError = errno;
  if (fd < 0) {
    // Say what is there when something is: a link, a folder, another
    // user's file (which the system may refuse to open for us).
    struct stat seen {};
    const bool found = ::fstatat(folderFd, fileName_.c_str(), &seen, AT_SYMLINK_NOFOLLOW) == 0;
    ::close(folderFd);
    if (found && ProblemOf(seen) != LockFileProblem::kNone) return FileRefused(seen);
    return CannotOpen(openError);
  }
  ::close(folderFd);

  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return CannotOpen(error);
  }
  if (ProblemOf(st) != LockFileProblem::kNone) {
    ::close(fd);
    return FileRefused(st);
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    LockAttempt attempt = CannotOpen(error);
    if (error == EWOULDBLOCK) {
      attempt.status = LockStatus::kHeld;
      attempt.error = 0;
      attempt.holder = LiveHolderIn(fd);
    }
    ::close(fd);
    return attempt;
  }
  // Ours now: only the holder writes the file.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    const ssize_t ignored = ::pwrite(fd, pid.data(), pid.size(), 0);
    (void)ignored;  // the id is for messages only; the lock holds without it
  }
  fd_ = fd;
  return Acquired();
}

std::optional<pid_t> NamedLock::HolderPid() const {
  const int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<pid_t> holder;
  if (::fstat(fd, &st) == 0 && ProblemOf(st) == LockFileProblem::kNone) holder = LiveHolderIn(fd);
  ::close(fd);
  return holder;
}

std::string DescribeLockAttempt(const LockAttempt& attempt, const NamedLock& lock) {
  const std::string file = "the lock file " + lock.path();
  switch (attempt.status) {
    case LockStatus::kAcquired:
      return {};
    case LockStatus::kHeld:
      return attempt.holder ? file + " is held by process " + std::to_string(*attempt.holder)
                            : file + " is held by another process";
    case LockStatus::kFolderRefused:
      return DescribeFolderProblem(attempt.folder, lock.folder(), lock.rule());
    case LockStatus::kCannotOpen:
      return file + " cannot be made or opened: " + std::strerror(attempt.error);
    case LockStatus::kFileRefused:
      break;
  }
  switch (attempt.fileProblem) {
    case LockFileProblem::kLink:
      return file + " is a symbolic link";
    case LockFileProblem::kNotRegular:
      return file + " is not a regular file";
    case LockFileProblem::kSeveralLinks:
      return file + " has more than one name (a hard link)";
    case LockFileProblem::kWrongOwner:
      return file + " belongs to uid " + std::to_string(attempt.owner) + ", neither to uid " +
             std::to_string(::geteuid()) + " nor to root";
    case LockFileProblem::kOpenToOthers: {
      char mode[8];
      std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(attempt.mode));
      return file + " is open to group or others (mode " + mode + ")";
    }
    case LockFileProblem::kNone:
      break;
  }
  return file + " is refused";
}

}  // namespace kx::platform
