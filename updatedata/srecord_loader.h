// Motorola S-record text to a byte image.
#pragma once

#include <cstdint>
#include <string>

namespace kx {

// Loads an S-record file into a caller's buffer. Holds no state: make one on
// the stack, call LoadSRecordFile, discard it.
//
// The image runs from the lowest address of any data record to the highest
// byte any data record wrote, moved to the start of the buffer; bytes no
// record covered are 0xFF. A file without data records loads with length 0.
class SRecordLoader {
 public:
  // True when the file was read to its end without a fault; the image is
  // then at the start of `buffer` and its length in `*imageLength`.
  // False for an empty path, a null buffer or image length, a file that
  // cannot be opened or read, a line that is not a well-formed record, a
  // first line that is not a header (S0) with a correct checksum, a data
  // record (S1-S3) with a wrong checksum, or one that would end beyond
  // `capacity`. Nothing outside buffer[0, capacity) is ever written.
  bool LoadSRecordFile(std::string path, std::uint8_t* buffer, std::uint32_t capacity,
                       std::int32_t* imageLength);
};

}  // namespace kx
