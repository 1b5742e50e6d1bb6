#include "cli/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kx::cli {
namespace {

const char* KindOf(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFLNK: return "it is a symbolic link (name the file itself)";
    case S_IFDIR: return "it is a folder";
    case S_IFIFO: return "it is a FIFO, not a regular file";
    case S_IFSOCK: return "it is a socket, not a regular file";
    case S_IFCHR:
    case S_IFBLK: return "it is a device, not a regular file";
    default: return "it is not a regular file";
  }
}

std::string CauseOf(int error) {
  switch (error) {
    case ENOENT: return "its folder does not exist";
    case ENOTDIR: return "a name on its path is not a folder";
    case EACCES:
    case EPERM: return "permission denied";
    case ELOOP: return KindOf(S_IFLNK);
    case EISDIR: return KindOf(S_IFDIR);
    case ENXIO: return "it is not a regular file";  // a FIFO nobody reads, a socket
    default: return std::strerror(error);
  }
}

}  // namespace

std::unique_ptr<LogFile> LogFile::Open(const std::string& path, std::string& problem) {
  const std::string prefix = "cannot append to the log file " + path + ": ";
  if (path.empty()) {
    problem = "--log-file needs a file name";
    return nullptr;
  }
  // The name is looked at before it is opened: opening a device can act on
  // it (a tape rewinds), so only a regular file or no file at all is opened.
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    problem = prefix + KindOf(info.st_mode);
    return nullptr;
  }
  // O_NONBLOCK: something put at the name meanwhile (a FIFO) must not hold
  // the open up; O_NOFOLLOW: nor may a link take the lines elsewhere.
  const int fd = open(path.c_str(),
                      O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                      0666);
  if (fd < 0) {
    problem = prefix + CauseOf(errno);
    return nullptr;
  }
  struct stat opened {};
  const bool looked = fstat(fd, &opened) == 0;
  if (!looked || !S_ISREG(opened.st_mode)) {
    problem = prefix + (looked ? KindOf(opened.st_mode) : CauseOf(errno));
    close(fd);
    return nullptr;
  }
  fcntl(fd, F_SETFL, O_APPEND);  // a regular file's writes do not block anyway: plain from here
  return std::unique_ptr<LogFile>(new LogFile(path, fd));
}

LogFile::~LogFile() { close(fd_); }

void LogFile::Append(const std::string& text) {
  if (!writeProblem_.empty()) return;
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      writeProblem_ = n < 0 ? std::strerror(errno) : "nothing could be written";
      return;
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace kx::cli
