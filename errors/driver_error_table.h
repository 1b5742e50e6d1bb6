// Lookup of a driver error code's name or message text into a caller's buffer.
#pragma once

#include <cstdint>

#include "errors/driver_error_rows.h"

namespace kx {

// Stateless: create one where a lookup is needed and drop it afterwards.
// The operations are virtual so a test can stand in for the table.
class DriverErrorTable {
 public:
  static constexpr std::int32_t kJapanese = 0;
  static constexpr std::int32_t kEnglish = 1;

  virtual ~DriverErrorTable() = default;

  // Writes the symbolic name of `code` into `buffer` (see "Filling" below)
  // and returns 1. Returns 0 and leaves the buffer untouched when `code` has
  // no row, or when `size` is below 1 or `buffer` is null.
  virtual int DriverErrorName(std::int32_t code, char* buffer, std::int32_t size) const;

  // Writes the message text of `code` in `language` (kJapanese or kEnglish)
  // into `buffer` and returns 1. Returns 0 and leaves the buffer untouched
  // when the language is neither, when `code` has no row, or when `size` is
  // below 1 or `buffer` is null. The language is judged before the code.
  virtual int DriverErrorText(std::int32_t code, char* buffer, std::int32_t size,
                              std::int32_t language) const;

  // Filling: all `size` bytes of the buffer are written. The string comes
  // first, followed by zero bytes up to the end; the last byte is always
  // zero. A string of `size` bytes or more is cut to fit in `size` - 1 bytes,
  // at the end of the last whole UTF-8 character that fits, so a cut text
  // stays valid UTF-8.
};

}  // namespace kx
