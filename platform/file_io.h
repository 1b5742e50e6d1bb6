// Whole-file read and atomic whole-file replace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kx::platform {

// Reads exactly `size` bytes from the start of the file at `path` into
// `buffer`. False when the file cannot be opened or fewer bytes arrive.
bool ReadFileExactly(const std::string& path, std::uint8_t* buffer, std::size_t size);

// Reads the whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& contents);

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
// the bytes go to a temporary file in the same folder, which is flushed to
// disk and then renamed over `path`; the folder is flushed too. An existing
// file's permission bits carry over. On any failure the old file is left as
// it was and the temporary file is removed. `write` defaults to ::write.
bool AtomicReplaceFile(const std::string& path, std::span<const std::uint8_t> data,
                       const WriteFunction& write = {},
                       Durability durability = Durability::kFlushed);

}  // namespace kx::platform
