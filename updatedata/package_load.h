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
  explicit operator bool() const { return problem == PackageProblem::kNone; }
};

// "357 bytes, but its header states 256 + sizes = 356", "permission denied", ...
std::string DescribePackageLoad(const PackageLoad& load);

enum class RebuildProblem : std::uint8_t {
  kNone,
  kPackageDoesNotLoad,   // the package is there but does not load: merging without it would drop it
  kVersionTooLong,       // a winning file's version text does not fit the header's field
  kComponentUnreadable,  // a winning component file could not be read or loaded
  kNoMemory,
  kWriteFailed,  // the new package could not be written; the old one is unchanged
};

// "the package DERadori.kx does not load", ...
const char* DescribeRebuildProblem(RebuildProblem problem);

}  // namespace kx
