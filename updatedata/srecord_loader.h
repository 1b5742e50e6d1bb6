// Motorola S-record text to a byte image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_problem.h"

namespace kx {

// Why a load failed.
enum class SRecordProblem : std::uint8_t {
  kNone,
  kBadArguments,    // an empty path or a null buffer
  kCannotOpen,      // `file` says why: missing, not a regular file, no permission
  kReadError,       // a read failed before the end (`file` says how)
  kNotARecord,      // a line that does not begin with 'S' or is malformed
  kNoHeader,        // the first line is not an S0 record with a right checksum
  kBadChecksum,     // a data record's checksum is wrong
  kBeyondCapacity,  // a data record ends beyond the buffer
};

// What was wrong with the line at fault, beyond the problem it caused.
enum class SRecordLineFault : std::uint8_t {
  kNone,
  kEmptyLine,      // an empty line
  kNoLetterS,      // the line does not begin with 'S'
  kContinuation,   // the rest of a line longer than 511 characters with its line end
  kCountTooSmall,  // the byte count leaves no room for the address and the checksum
  kCutShort,       // the line ends before the bytes its byte count calls for
  kNotHexDigit,    // a field holds a character that is not a hex digit
  kNotAHeader,     // the first line is a record of another type than 0
  kWrongChecksum,  // the stored checksum is not the computed one
};

// What one load did.
struct SRecordLoad {
  SRecordProblem problem = SRecordProblem::kNone;
  platform::FileStatus file;     // for kCannotOpen and kReadError
  std::int32_t imageLength = 0;  // the image at the buffer's start (after a success)
  std::uint64_t dataBytes = 0;   // data bytes the data records carried, overlaps counted
  // Where and how a line failed the load (kNotARecord, kNoHeader,
  // kBadChecksum, kBeyondCapacity): the file's line, counted from 1 (0 when
  // no line is to blame), and the details that apply.
  std::uint64_t line = 0;
  SRecordLineFault fault = SRecordLineFault::kNone;
  int recordType = 0;               // for kNotAHeader
  std::uint8_t storedChecksum = 0;  // for kWrongChecksum
  std::uint8_t computedChecksum = 0;
  std::uint64_t recordEnd = 0;  // for kBeyondCapacity: address + data bytes
  std::uint32_t capacity = 0;   // the buffer's room, as the caller gave it
  explicit operator bool() const { return problem == SRecordProblem::kNone; }
};

// What a load found or why it failed, for a message: "line 7: a data record
// with a wrong checksum (stored 0x1C, computed 0x1B)", "S-record text without
// a single data byte", "permission denied", ...
std::string DescribeSRecordLoad(const SRecordLoad& load);

// Loads an S-record file into a caller's buffer. Holds no state: make one on
// the stack, call LoadSRecordFile, discard it.
//
// The file is read as a text-mode stream: a CR right before an LF is dropped,
// a Ctrl-Z (0x1A) ends the file, and a line holds at most 511 characters with
// its line end (a longer one is cut into such lines where a 512-byte fgets
// buffer would cut it; the piece after the cut rarely begins with 'S').
//
// The first line must be a header (S0) with a correct checksum. After it,
// S1-S3 are data records; every other type, S0 included, is skipped unread,
// so a termination record does not end the load. Every line must begin with
// 'S'.
//
// The image runs from the lowest start address of any data record to the
// greatest end address (address + data bytes) of any data record, moved to
// the start of the buffer; a later record overwrites an earlier one, and
// bytes no record covered are 0xFF. A file without data records loads with
// length 0.
class SRecordLoader {
 public:
  // True when the file was read to its end without a fault; the image is
  // then at the start of `buffer` and its length in `*imageLength`.
  // False for an empty path, a null buffer or image length, a file that
  // cannot be opened or read, a line that is not a well-formed record, a
  // first line that is not a header (S0) with a correct checksum, a data
  // record (S1-S3) with a wrong checksum, or one that would end beyond
  // `capacity`. Nothing outside buffer[0, capacity) is ever written.
  //
  // The buffer and the length are untouched when the file cannot be opened;
  // once it is, all `capacity` bytes are set to 0xFF first. After a failure
  // both hold partial results that the caller must discard.
  bool LoadSRecordFile(std::string path, std::uint8_t* buffer, std::uint32_t capacity,
                       std::int32_t* imageLength);

  // The same load, saying why it failed and how many data bytes it found: a
  // file that loads without a single data byte (an empty file, a header
  // alone) is S-record text, but holds no firmware.
  SRecordLoad Load(const std::string& path, std::uint8_t* buffer, std::uint32_t capacity);

 private:
  // One record as read from its line.
  struct Record {
    int type = 0;
    std::size_t addressBytes = 0;
    std::size_t byteCount = 0;
    // The byteCount bytes after the byte count: address, data, checksum.
    std::uint8_t fields[255] = {};
    std::uint32_t address = 0;
    std::size_t dataLength = 0;
    std::uint8_t storedChecksum = 0;
    SRecordLineFault fault = SRecordLineFault::kNone;  // why ParseRecord refused the line

    const std::uint8_t* data() const { return fields + addressBytes; }
  };

  // Reads one line (without its line end) into `record`. False, with
  // record->fault saying why, when the line does not begin with 'S', or when
  // a record of type 0 to 3 is malformed: a byte count that leaves no room
  // for the address and the checksum, a line too short for its byte count,
  // or a character that is not a hex digit in any field. Types 4 to 9 only
  // get their type stored.
  static bool ParseRecord(std::string_view line, Record* record);

  // Ones' complement of the low byte of the sum of the byte count, the
  // address bytes and the data bytes of a parsed record.
  static std::uint8_t RecordChecksum(const Record& record);

  // Decodes `n` pairs of hex digits (either case) from `text` into `out`;
  // false when any of the 2n characters is not a hex digit.
  static bool HexToBytes(const char* text, std::uint8_t* out, std::size_t n);
};

}  // namespace kx
