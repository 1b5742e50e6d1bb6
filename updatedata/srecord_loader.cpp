#include "updatedata/srecord_loader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/file_io.h"

namespace kx {
namespace {

// Characters a line may hold, its line end included; the rest of a longer
// line comes as further pieces (a 512-byte line buffer with its terminator).
constexpr std::size_t kLineLimit = 511;

// The file is read in chunks of this size. A file that is not S-record text
// fails on its first line, so no more than one chunk of it is ever read.
constexpr std::size_t kChunkSize = 64 * 1024;

constexpr char kEndOfFileMark = 0x1A;  // Ctrl-Z ends a text-mode stream

// 0x00-0x0F for a hex digit, 0xFF for any other character.
constexpr std::array<std::uint8_t, 256> kHexValue = [] {
  std::array<std::uint8_t, 256> table{};
  table.fill(0xFF);
  for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<std::uint8_t>(i);
  for (int i = 0; i < 6; ++i) {
    table['A' + i] = static_cast<std::uint8_t>(10 + i);
    table['a' + i] = static_cast<std::uint8_t>(10 + i);
  }
  return table;
}();

// The type digit; a character that is not a digit, or none, reads as type 0.
int RecordType(std::string_view line) {
  if (line.size() < 2 || line[1] < '0' || line[1] > '9') return 0;
  return line[1] - '0';
}

// Address width of types 0 to 3.
std::size_t AddressBytesOf(int type) { return type <= 1 ? 2 : static_cast<std::size_t>(type + 1); }

// Cuts a byte stream into the lines that fgets with a 512-byte buffer would
// return from the same file opened in text mode: CR LF becomes LF (a CR
// before anything else stays), and a piece ends after an LF or at 511
// characters, whichever comes first. The caller stops feeding at Ctrl-Z.
// Each piece goes to `sink` with its LF if it has one; a sink returning false
// stops the split and makes Feed/Finish return false.
class TextLineSplitter {
 public:
  template <typename Sink>
  bool Feed(const char* data, std::size_t size, Sink& sink) {
    const char* p = data;
    const char* const end = data + size;
    if (pendingReturn_ && p < end) {
      pendingReturn_ = false;
      if (*p != '\n' && !Put('\r', sink)) return false;
    }
    // Here and at the top of every round, the piece has room for a character.
    while (p < end) {
      const char* window = p + std::min<std::size_t>(kLineLimit - length_, end - p);
      const char* stop = window;
      if (auto* lf = static_cast<const char*>(std::memchr(p, '\n', window - p))) stop = lf;
      if (auto* cr = static_cast<const char*>(std::memchr(p, '\r', stop - p))) stop = cr;
      std::memcpy(line_.data() + length_, p, stop - p);
      length_ += stop - p;
      p = stop;
      if (stop == window) {
        if (length_ == kLineLimit && !Emit(sink)) return false;
        continue;
      }
      if (*p == '\n') {
        ++p;
        if (!Put('\n', sink)) return false;
        continue;
      }
      // A CR: dropped if an LF follows, which the next round then takes.
      ++p;
      if (p == end) {
        pendingReturn_ = true;  // the next chunk decides
      } else if (*p != '\n' && !Put('\r', sink)) {
        return false;
      }
    }
    return true;
  }

  // End of the stream: a CR at the very end stays, and an unfinished last
  // line is a piece of its own.
  template <typename Sink>
  bool Finish(Sink& sink) {
    if (pendingReturn_) {
      pendingReturn_ = false;
      if (!Put('\r', sink)) return false;
    }
    return length_ == 0 || Emit(sink);
  }

 private:
  template <typename Sink>
  bool Put(char c, Sink& sink) {
    line_[length_++] = c;
    return (c != '\n' && length_ < kLineLimit) || Emit(sink);
  }

  template <typename Sink>
  bool Emit(Sink& sink) {
    const std::size_t length = length_;
    length_ = 0;
    return sink(std::string_view(line_.data(), length));
  }

  std::array<char, kLineLimit> line_{};
  std::size_t length_ = 0;
  bool pendingReturn_ = false;
};

}  // namespace

bool SRecordLoader::LoadSRecordFile(std::string path, std::uint8_t* buffer, std::uint32_t capacity,
                                    std::int32_t* imageLength) {
  if (imageLength == nullptr) return false;
  const SRecordLoad load = Load(path, buffer, capacity);
  // Untouched unless the file was opened.
  if (load.problem != SRecordProblem::kBadArguments &&
      load.problem != SRecordProblem::kCannotOpen) {
    *imageLength = load.imageLength;
  }
  return static_cast<bool>(load);
}

SRecordLoad SRecordLoader::Load(const std::string& path, std::uint8_t* buffer,
                                std::uint32_t capacity) {
  SRecordLoad load;
  if (path.empty() || buffer == nullptr) {
    load.problem = SRecordProblem::kBadArguments;
    return load;
  }

  platform::ReadOnlyFile file(path);
  if (!file.IsOpen()) {
    load.problem = SRecordProblem::kCannotOpen;
    load.file = file.Status();
    return load;
  }

  std::memset(buffer, 0xFF, capacity);

  load.capacity = capacity;
  bool headerPhase = true;
  bool haveData = false;
  std::uint64_t lowestStart = 0;
  std::uint64_t greatestEnd = 0;
  Record record;
  std::uint64_t lineNumber = 1;  // the file's line the next piece belongs to
  bool continuation = false;     // the next piece is the rest of a cut line

  auto fail = [&](SRecordProblem problem, SRecordLineFault fault) {
    load.problem = problem;
    load.fault = fault;
    load.line = lineNumber;
    return false;
  };
  auto failChecksum = [&](SRecordProblem problem) {
    load.storedChecksum = record.storedChecksum;
    load.computedChecksum = RecordChecksum(record);
    return fail(problem, SRecordLineFault::kWrongChecksum);
  };

  auto takeRecord = [&](std::string_view piece) -> bool {
    // The line end is not part of the record; an empty line fails here.
    if (piece.empty() || piece[0] != 'S') {
      return fail(SRecordProblem::kNotARecord, continuation ? SRecordLineFault::kContinuation
                                               : piece.empty() || piece[0] == '\n'
                                                   ? SRecordLineFault::kEmptyLine
                                                   : SRecordLineFault::kNoLetterS);
    }
    std::string_view line = piece;
    if (line.back() == '\n') line.remove_suffix(1);

    if (headerPhase) {
      if (!ParseRecord(line, &record)) return fail(SRecordProblem::kNoHeader, record.fault);
      if (record.type != 0) {
        load.recordType = record.type;
        return fail(SRecordProblem::kNoHeader, SRecordLineFault::kNotAHeader);
      }
      if (RecordChecksum(record) != record.storedChecksum) {
        return failChecksum(SRecordProblem::kNoHeader);
      }
      headerPhase = false;
      return true;
    }

    const int type = RecordType(line);
    if (type < 1 || type > 3) return true;  // header, count, termination: not needed
    if (!ParseRecord(line, &record)) return fail(SRecordProblem::kNotARecord, record.fault);
    if (RecordChecksum(record) != record.storedChecksum) {
      return failChecksum(SRecordProblem::kBadChecksum);
    }
    const std::uint64_t start = record.address;
    const std::uint64_t end = start + record.dataLength;
    if (end > capacity) {
      load.recordEnd = end;
      return fail(SRecordProblem::kBeyondCapacity, SRecordLineFault::kNone);
    }
    // A record without data still marks where the image starts or ends, as
    // every data record's address always has.
    if (record.dataLength != 0) std::memcpy(buffer + start, record.data(), record.dataLength);
    load.dataBytes += record.dataLength;
    if (!haveData || start < lowestStart) lowestStart = start;
    if (!haveData || end > greatestEnd) greatestEnd = end;
    haveData = true;
    return true;
  };
  auto takeLine = [&](std::string_view piece) -> bool {
    if (!takeRecord(piece)) return false;
    const bool ended = !piece.empty() && piece.back() == '\n';
    if (ended) ++lineNumber;
    continuation = !ended;
    return true;
  };

  auto chunk = std::make_unique<char[]>(kChunkSize);
  TextLineSplitter splitter;
  for (;;) {
    const ssize_t got = file.ReadSome(chunk.get(), kChunkSize);
    if (got < 0) {
      load.problem = SRecordProblem::kReadError;
      load.file = file.Status();
      return load;
    }
    if (got == 0) break;
    std::size_t size = static_cast<std::size_t>(got);
    const void* mark = std::memchr(chunk.get(), kEndOfFileMark, size);
    if (mark != nullptr) {
      size = static_cast<std::size_t>(static_cast<const char*>(mark) - chunk.get());
    }
    if (!splitter.Feed(chunk.get(), size, takeLine)) return load;
    if (mark != nullptr) break;
  }
  if (!splitter.Finish(takeLine)) return load;

  if (haveData) {
    const std::uint64_t length = greatestEnd - lowestStart;
    // Only a capacity beyond 2 GiB could give a length the caller cannot hold.
    if (length > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
      load.problem = SRecordProblem::kBeyondCapacity;
      return load;
    }
    if (lowestStart != 0) std::memmove(buffer, buffer + lowestStart, length);
    load.imageLength = static_cast<std::int32_t>(length);
  }
  return load;
}

namespace {

std::string Hex(std::uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

std::string DescribeLineFault(const SRecordLoad& load) {
  switch (load.fault) {
    case SRecordLineFault::kNone:
      break;
    case SRecordLineFault::kEmptyLine:
      return "an empty line";
    case SRecordLineFault::kNoLetterS:
      return "does not begin with 'S'";
    case SRecordLineFault::kContinuation:
      return "longer than 511 characters with its line end";
    case SRecordLineFault::kCountTooSmall:
      return "a byte count too small to hold the address and the checksum";
    case SRecordLineFault::kCutShort:
      return "the line ends before the bytes its byte count calls for";
    case SRecordLineFault::kNotHexDigit:
      return "a character that is not a hex digit";
    case SRecordLineFault::kNotAHeader:
      return "an S" + std::to_string(load.recordType) + " record";
    case SRecordLineFault::kWrongChecksum:
      return "a wrong checksum (stored " + Hex(load.storedChecksum, 2) + ", computed " +
             Hex(load.computedChecksum, 2) + ")";
  }
  return "malformed";
}

}  // namespace

std::string DescribeSRecordLoad(const SRecordLoad& load) {
  const std::string where = "line " + std::to_string(load.line) + ": ";
  switch (load.problem) {
    case SRecordProblem::kNone:
      return load.dataBytes == 0 ? "S-record text without a single data byte" : "S-record text";
    case SRecordProblem::kBadArguments:
      return "no file named";
    case SRecordProblem::kCannotOpen:
    case SRecordProblem::kReadError:
      return platform::DescribeFileStatus(load.file);
    case SRecordProblem::kNotARecord:
      return where + "not an S-record: " + DescribeLineFault(load);
    case SRecordProblem::kNoHeader:
      return where + "not the S0 header that must come first: " + DescribeLineFault(load);
    case SRecordProblem::kBadChecksum:
      return where + "a data record with " + DescribeLineFault(load);
    case SRecordProblem::kBeyondCapacity:
      if (load.line == 0) return "an image longer than 2 GiB";
      return where + "a data record ending at " + Hex(load.recordEnd, 5) +
             ", beyond the image's room of " + Hex(load.capacity, 5) + " bytes";
  }
  return "not loadable";
}

bool SRecordLoader::ParseRecord(std::string_view line, Record* record) {
  record->fault = SRecordLineFault::kNone;
  auto refuse = [record](SRecordLineFault fault) {
    record->fault = fault;
    return false;
  };
  if (line.empty() || line[0] != 'S') return refuse(SRecordLineFault::kNoLetterS);
  record->type = RecordType(line);
  if (record->type > 3) return true;

  std::uint8_t count = 0;
  if (line.size() < 4) return refuse(SRecordLineFault::kCutShort);
  if (!HexToBytes(line.data() + 2, &count, 1)) return refuse(SRecordLineFault::kNotHexDigit);
  const std::size_t addressBytes = AddressBytesOf(record->type);
  // Room for the address and the checksum, and every character inside the
  // line: a reader that trusted the count here once read past its buffer.
  if (count < addressBytes + 1) return refuse(SRecordLineFault::kCountTooSmall);
  if (line.size() < 4 + 2 * static_cast<std::size_t>(count)) {
    return refuse(SRecordLineFault::kCutShort);
  }
  if (!HexToBytes(line.data() + 4, record->fields, count)) {
    return refuse(SRecordLineFault::kNotHexDigit);
  }

  record->addressBytes = addressBytes;
  record->byteCount = count;
  record->address = 0;
  for (std::size_t i = 0; i < addressBytes; ++i) {
    record->address = (record->address << 8) | record->fields[i];
  }
  record->dataLength = count - addressBytes - 1;
  record->storedChecksum = record->fields[count - 1];
  return true;
}

std::uint8_t SRecordLoader::RecordChecksum(const Record& record) {
  unsigned sum = static_cast<unsigned>(record.byteCount);
  for (std::size_t i = 0; i + 1 < record.byteCount; ++i) sum += record.fields[i];
  return static_cast<std::uint8_t>(~sum);
}

bool SRecordLoader::HexToBytes(const char* text, std::uint8_t* out, std::size_t n) {
  std::uint8_t invalid = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t high = kHexValue[static_cast<unsigned char>(text[2 * i])];
    const std::uint8_t low = kHexValue[static_cast<unsigned char>(text[2 * i + 1])];
    invalid |= high | low;
    out[i] = static_cast<std::uint8_t>((high << 4) | low);
  }
  return (invalid & 0xF0) == 0;
}

}  // namespace kx
