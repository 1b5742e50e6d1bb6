#include "errors/driver_error_table.h"

#include <cstddef>
#include <cstring>

namespace kx {
namespace {

bool IsUtf8ContinuationByte(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0u) == 0x80u;
}

// Copies `text` into `buffer` as the fill rule of DriverErrorTable says.
// `size` must be at least 1.
void FillBuffer(const char* text, char* buffer, std::int32_t size) {
  const std::size_t capacity = static_cast<std::size_t>(size);
  std::size_t length = ::strnlen(text, capacity);
  if (length == capacity) {
    // Too long: keep size - 1 bytes, less the leading bytes of a character
    // that would be split at the cut.
    length = capacity - 1;
    while (length > 0 && IsUtf8ContinuationByte(text[length])) {
      --length;
    }
  }
  std::memcpy(buffer, text, length);
  std::memset(buffer + length, 0, capacity - length);
}

}  // namespace

int DriverErrorTable::DriverErrorName(std::int32_t code, char* buffer, std::int32_t size) const {
  const DriverErrorRow* row = FindDriverError(code);
  if (row == nullptr || buffer == nullptr || size < 1) {
    return 0;
  }
  FillBuffer(row->name, buffer, size);
  return 1;
}

int DriverErrorTable::DriverErrorText(std::int32_t code, char* buffer, std::int32_t size,
                                      std::int32_t language) const {
  if (language != kJapanese && language != kEnglish) {
    return 0;
  }
  const DriverErrorRow* row = FindDriverError(code);
  if (row == nullptr || buffer == nullptr || size < 1) {
    return 0;
  }
  FillBuffer(language == kJapanese ? row->japanese : row->english, buffer, size);
  return 1;
}

}  // namespace kx
