// kxupdate srec FILE -o OUT: an S-record file to its binary image.
#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "platform/file_io.h"
#include "updatedata/byte_buffer.h"
#include "updatedata/component.h"
#include "updatedata/srecord_loader.h"

namespace kx::cli {

// No text of srec comes from the string table: the language is not needed.
int RunSRecordCommand(const std::vector<std::string>& words, const GlobalOptions&) {
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
  if (!buffer) {
    PrintError("out of memory");
    return kExitFailure;
  }
  const SRecordLoad load = SRecordLoader().Load(input, buffer.get(), kFirmwareBufferSize);
  if (!load) {
    const bool unreadable =
        load.problem == SRecordProblem::kCannotOpen || load.problem == SRecordProblem::kReadError;
    PrintError((unreadable ? "cannot read " + input : input) + ": " + DescribeSRecordLoad(load));
    return kExitFailure;
  }
  if (platform::FileStatus written = platform::AtomicReplaceFile(
          *out, {buffer.get(), static_cast<std::size_t>(load.imageLength)});
      !written) {
    PrintError("cannot write " + *out + ": " + platform::DescribeFileStatus(written));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace kx::cli
