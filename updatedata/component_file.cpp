#include "updatedata/component_file.h"

#include "platform/file_io.h"
#include "updatedata/srecord_loader.h"

namespace kx {

bool ReadComponentFile(const ComponentTraits& traits, const platform::FoundFile& file,
                       LoadedImage& image) {
  if (traits.isFirmware) {
    ByteBuffer buffer = AllocateBytes(kFirmwareBufferSize);
    if (!buffer) return false;
    const SRecordLoad load = SRecordLoader().Load(file.name, buffer.get(), kFirmwareBufferSize);
    if (!load || load.dataBytes == 0 || load.imageLength < 0) {
      // A file that could not be opened has been reported already.
      if (load.problem != SRecordProblem::kCannotOpen &&
          load.problem != SRecordProblem::kReadError) {
        platform::ReportFileRefusal(file.name, DescribeSRecordLoad(load), platform::FileUse::kUse);
      }
      return false;
    }
    image.buffer = std::move(buffer);
    image.size = static_cast<std::uint32_t>(load.imageLength);
    return true;
  }
  if (file.size > 0xFFFFFFFFu) return false;
  ByteBuffer buffer = AllocateBytes(static_cast<std::size_t>(file.size));
  if (!buffer) return false;
  if (!platform::ReadFileExactly(file.name, buffer.get(), static_cast<std::size_t>(file.size))) {
    return false;
  }
  image.buffer = std::move(buffer);
  image.size = static_cast<std::uint32_t>(file.size);
  return true;
}

}  // namespace kx
