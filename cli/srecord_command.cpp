// kxupdate srec FILE -o OUT: an S-record file to its binary image.
#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "platform/file_io.h"
#include "updatedata/byte_buffer.h"
#include "updatedata/component.h"
#include "updatedata/srecord_loader.h"

namespace kx::cli {

int RunSRecordCommand(const std::vector<std::string>& words) {
  Arguments args(words, {}, {"out"});
  auto out = args.Value("out");
  if (!args.ok() || !out || args.positional().size() != 1) {
    PrintError(!args.ok()   ? args.error()
               : !out       ? std::string("srec needs -o OUT, the image file to write")
                            : std::string("srec takes one S-record FILE"));
    return kExitUsage;
  }
  const std::string& input = args.positional()[0];
  ByteBuffer buffer = AllocateBytes(kFirmwareBufferSize);
  std::int32_t length = 0;
  if (!buffer) {
    PrintError("out of memory");
    return kExitFailure;
  }
  if (!SRecordLoader().LoadSRecordFile(input, buffer.get(), kFirmwareBufferSize, &length)) {
    PrintError(input +
               ": not a loadable S-record file (missing or unreadable, no S0 header first, a "
               "malformed line or record, a wrong checksum, or data beyond 1 MiB)");
    return kExitFailure;
  }
  if (!platform::AtomicReplaceFile(*out, {buffer.get(), static_cast<std::size_t>(length)})) {
    PrintError("cannot write " + *out);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace kx::cli
