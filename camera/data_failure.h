// Why the update dialog stopped at the update data (errors 03, 04, 08), in
// more words than its message box has: the step, the file and the cause.
#pragma once

#include <cstdint>
#include <string>

namespace kx {

enum class DataFailureStep : std::uint8_t {
  kNone,
  kFindFiles,  // no update files at all
  kKindCheck,  // a component file of the wrong kind, or one that cannot be read
  kRebuild,    // the package could not be rebuilt (or merged, with --check)
  kLoad,       // the package does not load
  kChecksum,   // the package's checksum test failed
};

struct DataFailure {
  DataFailureStep step = DataFailureStep::kNone;
  std::string file;  // the file concerned, empty when none
  std::string text;  // one sentence that names the file and the cause
  explicit operator bool() const { return step != DataFailureStep::kNone; }
};

}  // namespace kx
