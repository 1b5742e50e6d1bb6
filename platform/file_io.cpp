#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace kx::platform {
namespace {

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, std::span<const std::uint8_t> data, const WriteFunction& write) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write ? write(fd, data.data() + done, data.size() - done)
                      : ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
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

}  // namespace

bool ReadFileExactly(const std::string& path, std::uint8_t* buffer, std::size_t size) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t done = 0;
  bool ok = true;
  while (done < size) {
    ssize_t n = ::read(fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return ok;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& contents) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<std::uint8_t> data;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_size > 0) data.reserve(static_cast<std::size_t>(info.st_size));
  std::uint8_t chunk[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    data.insert(data.end(), chunk, chunk + n);
  }
  ::close(fd);
  if (ok) contents = std::move(data);
  return ok;
}

bool AtomicReplaceFile(const std::string& path, std::span<const std::uint8_t> data,
                       const WriteFunction& write, Durability durability) {
  const bool flush = durability == Durability::kFlushed;
  std::string folder = FolderOf(path);
  std::string tempPath = path + ".tmp-XXXXXX";
  int fd = ::mkstemp(tempPath.data());
  if (fd < 0) return false;

  mode_t mode = 0644;
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) mode = old.st_mode & 07777;

  bool ok = WriteAll(fd, data, write) && ::fchmod(fd, mode) == 0 && (!flush || ::fsync(fd) == 0);
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tempPath.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tempPath.c_str());
    return false;
  }
  if (flush) SyncFolder(folder);
  return true;
}

}  // namespace kx::platform
