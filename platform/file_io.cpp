#include "platform/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kx::platform {
namespace {

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, std::span<const std::uint8_t> data, const WriteFunction& write, int& error) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write ? write(fd, data.data() + done, data.size() - done)
                      : ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = (n < 0 && errno != 0) ? errno : ENOSPC;  // a write of 0 bytes: a full disk
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // durability only: the rename has already taken effect
  ::close(fd);
}

// The suffix mkstemp puts after "<name>.tmp-".
constexpr std::size_t kTemporarySuffixLength = 6;

bool IsTemporaryNameOf(const std::string& entry, const std::string& prefix) {
  if (entry.size() != prefix.size() + kTemporarySuffixLength ||
      entry.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  for (std::size_t i = prefix.size(); i < entry.size(); ++i) {
    const char c = entry[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Makes "<path>.tmp-XXXXXX" and takes its lock. A sweep in another process
// may take the new, not yet locked file for a stale one and remove it; then
// the lock is refused or the name no longer leads to the file, and another
// name is tried. -1 (errno set) when no file can be made.
int CreateLockedTemporary(const std::string& path, std::string& tempPath) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    tempPath = path + ".tmp-XXXXXX";
    int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat opened {};
    struct stat named {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
        ::lstat(tempPath.c_str(), &named) == 0 && SameFile(opened, named)) {
      return fd;
    }
    ::close(fd);  // the sweep that took it removes it
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(const std::string& path) : path_(path) {
  // A name that is not a regular file is not even opened: opening a device
  // can act on it, and a FIFO would block without O_NONBLOCK.
  struct stat named {};
  if (::stat(path.c_str(), &named) != 0) {
    status_ = FileStatus::FromErrno(errno, FileProblem::kReadError);
  } else if (!S_ISREG(named.st_mode)) {
    status_ = FileStatus::NotRegular(named.st_mode & S_IFMT);
  } else {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat opened {};
    if (fd < 0) {
      status_ = FileStatus::FromErrno(errno, FileProblem::kReadError);
    } else if (::fstat(fd, &opened) != 0) {
      status_ = FileStatus::FromErrno(errno, FileProblem::kReadError);
      ::close(fd);
    } else if (!S_ISREG(opened.st_mode)) {  // replaced since the look
      status_ = FileStatus::NotRegular(opened.st_mode & S_IFMT);
      ::close(fd);
    } else {
      // Regular files ignore O_NONBLOCK; clear it all the same.
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      fd_ = fd;
      size_ = static_cast<std::uint64_t>(opened.st_size);
    }
  }
  ReportFileRefusal(path_, status_, FileUse::kRead);
}

ReadOnlyFile::~ReadOnlyFile() {
  if (fd_ >= 0) ::close(fd_);
}

ssize_t ReadOnlyFile::ReadSome(void* buffer, std::size_t size) {
  if (fd_ < 0) return -1;
  for (;;) {
    ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    status_ = FileStatus::FromErrno(errno, FileProblem::kReadError);
    ReportFileRefusal(path_, status_, FileUse::kRead);
    return -1;
  }
}

FileStatus ReadOnlyFile::ReadExactly(std::uint8_t* buffer, std::size_t size) {
  if (fd_ < 0) return status_;
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ReadSome(buffer + done, size - done);
    if (n < 0) return status_;
    if (n == 0) {
      FileStatus shortRead{FileProblem::kTooShort, 0, 0};
      ReportFileRefusal(path_, shortRead, FileUse::kRead);
      return shortRead;
    }
    done += static_cast<std::size_t>(n);
  }
  return FileStatus::Ok();
}

FileStatus ReadFileExactly(const std::string& path, std::uint8_t* buffer, std::size_t size) {
  ReadOnlyFile file(path);
  if (!file.IsOpen()) return file.Status();
  return file.ReadExactly(buffer, size);
}

FileStatus ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& contents) {
  ReadOnlyFile file(path);
  if (!file.IsOpen()) return file.Status();
  std::vector<std::uint8_t> data;
  if (file.Size() > 0) data.reserve(static_cast<std::size_t>(file.Size()));
  std::uint8_t chunk[65536];
  for (;;) {
    ssize_t n = file.ReadSome(chunk, sizeof chunk);
    if (n < 0) return file.Status();
    if (n == 0) break;
    data.insert(data.end(), chunk, chunk + n);
  }
  contents = std::move(data);
  return FileStatus::Ok();
}

std::size_t RemoveStaleTemporaryFiles(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::string prefix = NameOf(path) + ".tmp-";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  const uid_t me = ::geteuid();
  std::size_t removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsTemporaryNameOf(name, prefix)) continue;
    const std::string candidate = folder + "/" + name;
    struct stat named {};
    if (::lstat(candidate.c_str(), &named) != 0 || !S_ISREG(named.st_mode) || named.st_uid != me) {
      continue;
    }
    int fd = ::open(candidate.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened {};
    // Its lock free: the writer is gone. Still the same file: remove it.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
        SameFile(opened, named) && ::unlink(candidate.c_str()) == 0) {
      ++removed;
    }
    ::close(fd);
  }
  ::closedir(dir);
  return removed;
}

FileStatus AtomicReplaceFile(const std::string& path, std::span<const std::uint8_t> data,
                             const WriteFunction& write, Durability durability) {
  const bool flush = durability == Durability::kFlushed;
  std::string folder = FolderOf(path);

  mode_t mode = 0644;
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) {
    if (!S_ISREG(old.st_mode)) {
      FileStatus refused = FileStatus::NotRegular(old.st_mode & S_IFMT);
      ReportFileRefusal(path, refused, FileUse::kReplace);
      return refused;
    }
    mode = old.st_mode & 07777;
  }

  RemoveStaleTemporaryFiles(path);
  std::string tempPath;
  int fd = CreateLockedTemporary(path, tempPath);
  if (fd < 0) return FileStatus::FromErrno(errno, FileProblem::kWriteError);
  // The lock lives on this second descriptor until the rename is done, so
  // that the first can be closed, and its error seen, before the rename.
  int lockFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);

  int error = lockFd < 0 ? errno : 0;
  if (error == 0 && WriteAll(fd, data, write, error)) {
    if (::fchmod(fd, mode) != 0) {
      error = errno;
    } else if (flush && ::fsync(fd) != 0) {
      error = errno;
    }
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(tempPath.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(tempPath.c_str());
  if (lockFd >= 0) ::close(lockFd);
  if (error != 0) return FileStatus::FromErrno(error, FileProblem::kWriteError);
  if (flush) SyncFolder(folder);
  return FileStatus::Ok();
}

}  // namespace kx::platform
