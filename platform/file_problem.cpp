#include "platform/file_problem.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/executable_name.h"

namespace kx::platform {
namespace {

const char* TypeName(std::uint32_t type) {
  switch (type & S_IFMT) {
    case S_IFIFO:
      return "a FIFO";
    case S_IFCHR:
      return "a character device";
    case S_IFBLK:
      return "a block device";
    case S_IFSOCK:
      return "a socket";
    case S_IFDIR:
      return "a folder";
    case S_IFLNK:
      return "a symbolic link";
    default:
      return nullptr;
  }
}

const char* Outcome(FileUse use) {
  switch (use) {
    case FileUse::kRead:
      return "not read";
    case FileUse::kSearch:
      return "passed over";
    case FileUse::kReplace:
      return "not replaced";
    case FileUse::kUse:
      return "not used";
  }
  return "not used";
}

void ToStandardError(const std::string& message) {
  static const std::string program = [] {
    std::string name = ExecutableBaseName();
    return name.empty() ? std::string("kxupdate") : name;
  }();
  std::fprintf(stderr, "%s: %s\n", program.c_str(), message.c_str());
}

std::atomic<FileRefusalSink> g_sink{nullptr};

// Messages told so far; a file refused on every one of many calls (a FIFO
// named like the settings file) is told once. Bounded, since any program
// refuses only a handful of files.
std::mutex g_toldLock;
std::set<std::string>& Told() {
  static std::set<std::string> told;
  return told;
}
constexpr std::size_t kMaxTold = 256;

}  // namespace

FileStatus FileStatus::FromErrno(int error, FileProblem otherwise) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return {FileProblem::kNotFound, error, 0};
    case EACCES:
    case EPERM:
      return {FileProblem::kPermission, error, 0};
    case ENXIO:  // a socket, or a device without its hardware
    case ENODEV:
      return {FileProblem::kNotRegular, error, 0};
    default:
      return {otherwise, error, 0};
  }
}

std::string DescribeFileStatus(const FileStatus& status) {
  switch (status.problem) {
    case FileProblem::kNone:
      return "no problem";
    case FileProblem::kNotFound:
      return "no such file";
    case FileProblem::kNotRegular: {
      const char* type = TypeName(status.type);
      return type ? std::string("not a regular file but ") + type : "not a regular file";
    }
    case FileProblem::kPermission:
      return "permission denied";
    case FileProblem::kTooShort:
      return "shorter than expected (it changed while it was read)";
    case FileProblem::kReadError:
      return std::string("read error (") + std::strerror(status.error) + ")";
    case FileProblem::kWriteError:
      return std::string("write error (") + std::strerror(status.error) + ")";
    case FileProblem::kOddUtf16:
      return "UTF-16 text of odd length";
  }
  return "unknown problem";
}

void ReportFileRefusal(const std::string& path, const FileStatus& status, FileUse use) {
  if (status.problem == FileProblem::kNone || status.problem == FileProblem::kNotFound) return;
  ReportFileRefusal(path, DescribeFileStatus(status), use);
}

void ReportFileRefusal(const std::string& path, const std::string& cause, FileUse use) {
  const std::string message = path + ": " + cause + "; " + Outcome(use);
  {
    std::lock_guard lock(g_toldLock);
    if (Told().count(message) != 0) return;
    if (Told().size() < kMaxTold) Told().insert(message);
  }
  FileRefusalSink sink = g_sink.load();
  (sink ? sink : ToStandardError)(message);
}

void SetFileRefusalSink(FileRefusalSink sink) {
  g_sink.store(sink);
  std::lock_guard lock(g_toldLock);
  Told().clear();  // a new listener hears every refusal afresh
}

}  // namespace kx::platform
