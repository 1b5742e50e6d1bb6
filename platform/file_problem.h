// Why a file could not be used, and the one place where refused files are
// told to the user.
#pragma once

#include <cstdint>
#include <string>

namespace kx::platform {

enum class FileProblem : std::uint8_t {
  kNone,
  kNotFound,    // no such file, or a folder on its path is missing
  kNotRegular,  // a FIFO, device, socket or folder where a file belongs
  kPermission,  // the file's permissions do not allow it
  kTooShort,    // the file ended before the bytes that were asked for
  kReadError,   // opening or reading failed otherwise (`error` says how)
  kWriteError,  // making, writing or renaming the new file failed (`error`)
  kOddUtf16,    // a UTF-16 text file with a byte left over: it cannot be read in
                // full, so it is never replaced
};

// The outcome of one file operation. Converts to bool (true: done), so that
// a caller that needs only the success reads it as it reads a bool.
struct FileStatus {
  FileProblem problem = FileProblem::kNone;
  int error = 0;           // the errno behind kPermission, kReadError, kWriteError
  std::uint32_t type = 0;  // the S_IFMT bits behind kNotRegular, 0 when unknown

  operator bool() const { return problem == FileProblem::kNone; }

  static FileStatus Ok() { return {}; }
  // kNotFound, kPermission or `otherwise`, as `error` (an errno) says.
  static FileStatus FromErrno(int error, FileProblem otherwise);
  static FileStatus NotRegular(std::uint32_t type) { return {FileProblem::kNotRegular, 0, type}; }
};

// "not a regular file but a FIFO", "permission denied", "shorter than
// expected", "read error (Input/output error)", ...
std::string DescribeFileStatus(const FileStatus& status);

// What the program was doing with a file it refused; the message ends in
// what became of the file.
enum class FileUse : std::uint8_t {
  kRead,     // "not read"
  kSearch,   // "passed over": a search result that is not a regular file
  kReplace,  // "not replaced"
  kUse,      // "not used": read, but its content was refused
};

// Tells the user about a file that exists but was refused: "NAME: CAUSE;
// OUTCOME". A status of kNone or kNotFound is not told (a missing settings
// file is normal). Each message is told once per process.
void ReportFileRefusal(const std::string& path, const FileStatus& status, FileUse use);
void ReportFileRefusal(const std::string& path, const std::string& cause, FileUse use);

// Where the messages go: by default standard error, prefixed with the
// program's name like every other complaint of the tools. Tests put in a
// sink of their own; nullptr puts the default back. Any thread may report.
using FileRefusalSink = void (*)(const std::string& message);
void SetFileRefusalSink(FileRefusalSink sink);

}  // namespace kx::platform
