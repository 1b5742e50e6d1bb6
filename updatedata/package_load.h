// Why a package did not load, and why a rebuild did not happen.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file_problem.h"

namespace kx {

enum class PackageProblem : std::uint8_t {
  kNone,
  kCannotRead,         // `file` says why: missing, not a regular file, no permission, read error
  kShorterThanHeader,  // fewer than the header's 256 bytes
  kLengthMismatch,     // the length is not 256 plus the four sizes its header states
  kNoMemory,
};

struct PackageLoad {
  PackageProblem problem = PackageProblem::kNone;
  platform::FileStatus file;     // for kCannotRead
  std::uint64_t fileSize = 0;    // the length of what was loaded, once known
  std::uint64_t statedSize = 0;  // 256 plus the four sizes, once the header was read
  std::string path;              // the file tried (empty for a package in memory)
  explicit operator bool() const { return problem == PackageProblem::kNone; }
};

// "357 bytes, but its header states 256 + sizes = 356", "permission denied", ...
std::string DescribePackageLoad(const PackageLoad& load);

// The one sentence that names the package at `path` and why it did not
// load: "cannot read DERadori.kx: permission denied", "DERadori.kx: 357
// bytes, but its header states 256 + sizes = 356", ...
std::string ReasonOf(const std::string& path, const PackageLoad& load);

// The checksum test of a loaded package, with both sums.
struct ChecksumCheck {
  bool loaded = false;   // false: no package was loaded, nothing to test
  bool matches = false;  // the images' byte sum equals the stored checksum
  double stored = 0;
  double computed = 0;
  explicit operator bool() const { return matches; }
};

// "DERadori.kx: checksum test failed: stored 1301686, images sum to 1301687".
std::string ReasonOf(const std::string& path, const ChecksumCheck& check);

enum class RebuildProblem : std::uint8_t {
  kNone,
  kPackageDoesNotLoad,   // the package is there but does not load: merging without it would drop it
  kVersionTooLong,       // a winning file's version text does not fit the header's field
  kComponentUnreadable,  // a winning component file could not be opened or read
  kComponentRefused,     // a winning firmware file does not load, or holds no data byte
  kNoMemory,
  kWriteFailed,  // the new package could not be written; the old one is unchanged
};

// What a rebuild did: on success the package file it wrote; on failure the
// file at fault (a component file, the package) and what was wrong with it.
struct RebuildOutcome {
  RebuildProblem problem = RebuildProblem::kNone;
  std::string file;   // the file written, or the file at fault (empty: none)
  std::string cause;  // for a failure: "permission denied", "write error (No space left on device)"
  explicit operator bool() const { return problem == RebuildProblem::kNone; }
};

// The one sentence for a failed rebuild: "cannot write DERadori.kx: write
// error (No space left on device)", "cannot read KXFPGA1v1_2_0.rbf:
// permission denied", ...
std::string ReasonOf(const RebuildOutcome& outcome);

}  // namespace kx
