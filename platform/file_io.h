// Reading regular files, and replacing a file atomically.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/file_problem.h"

namespace kx::platform {

// A file opened for reading only after it proved to be a regular file. The
// name is looked at first and the file is opened without blocking, so that
// a FIFO (which would wait for a writer), a device or a socket is refused
// without being opened or waited for; the open file is checked again, for a
// file that was replaced between the look and the open. Every refusal other
// than a missing file is reported (ReportFileRefusal). Closed with the object.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // Ok once open; otherwise why not.
  const FileStatus& Status() const { return status_; }
  bool IsOpen() const { return fd_ >= 0; }
  // The file's length when it was opened.
  std::uint64_t Size() const { return size_; }

  // Reads exactly `size` bytes from the current position; kTooShort when
  // the file ends first, kReadError when a read fails.
  FileStatus ReadExactly(std::uint8_t* buffer, std::size_t size);

  // One read(2) of at most `size` bytes, again after EINTR: the bytes read,
  // 0 at the end of the file, -1 on an error (Status() then says which).
  ssize_t ReadSome(void* buffer, std::size_t size);

 private:
  std::string path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  FileStatus status_;
};

// Reads exactly `size` bytes from the start of the file at `path` into
// `buffer`: refused as ReadOnlyFile refuses, kTooShort when fewer arrive.
FileStatus ReadFileExactly(const std::string& path, std::uint8_t* buffer, std::size_t size);

// Reads the whole of the regular file at `path`. `contents` is changed only
// on success.
FileStatus ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& contents);

// The write(2) that AtomicReplaceFile uses; tests put one in that fails part-way.
using WriteFunction = std::function<ssize_t(int fd, const void* data, std::size_t size)>;

// How far AtomicReplaceFile goes to keep the new file across a power loss.
enum class Durability {
  kFlushed,     // the file and its folder are flushed to disk before returning
  kAtomicOnly,  // renamed into place unflushed: for files nothing depends on
                // keeping (a simulation's state), where flushing costs most
};

// Replaces the file at `path` with `data` so that the name points at either
// the complete old file or the complete new one, never at anything between:
// the bytes go to a temporary file "<path>.tmp-XXXXXX" in the same folder,
// which is flushed to disk and then renamed over `path`; the folder is
// flushed too. An existing file's permission bits carry over. On any failure
// the old file is left as it was and the temporary file is removed.
// `write` defaults to ::write.
//
// Refused (kNotRegular, reported) when `path` names something that is not a
// regular file (a FIFO, a device, a folder, or a link to one): the rename
// would silently put a file in its place.
//
// The writer holds an flock on its temporary file until the rename, and
// the lock goes with the process. So a temporary file left by a writer that
// was killed is told from one being written by its free lock: before it
// writes, every call removes the temporary files of `path`'s own pattern
// that are regular, owned by this user and not locked.
FileStatus AtomicReplaceFile(const std::string& path, std::span<const std::uint8_t> data,
                             const WriteFunction& write = {},
                             Durability durability = Durability::kFlushed);

// The sweep that AtomicReplaceFile makes first: removes the stale temporary
// files of `path` (see above); the number removed.
std::size_t RemoveStaleTemporaryFiles(const std::string& path);

}  // namespace kx::platform
