#include "updatedata/component_file.h"

#include "platform/file_io.h"
#include "updatedata/srecord_loader.h"

namespace kx {

ComponentRead ReadComponentFile(const ComponentTraits& traits, const platform::FoundFile& file,
                                LoadedImage& image) {
  if (traits.isFirmware) {
    ByteBuffer buffer = AllocateBytes(kFirmwareBufferSize);
    if (!buffer) return {ComponentReadProblem::kNoMemory, "not enough memory"};
    const SRecordLoad load = SRecordLoader().Load(file.name, buffer.get(), kFirmwareBufferSize);
    if (load.problem == SRecordProblem::kCannotOpen || load.problem == SRecordProblem::kReadError) {
      return {ComponentReadProblem::kCannotRead, DescribeSRecordLoad(load)};
    }
    if (!load || load.dataBytes == 0 || load.imageLength < 0) {
      return {ComponentReadProblem::kRefused, "not firmware: " + DescribeSRecordLoad(load)};
    }
    image.buffer = std::move(buffer);
    image.size = static_cast<std::uint32_t>(load.imageLength);
    return {};
  }
  if (file.size > 0xFFFFFFFFu) {
    return {ComponentReadProblem::kRefused, "larger than an image can be (4 GiB)"};
  }
  ByteBuffer buffer = AllocateBytes(static_cast<std::size_t>(file.size));
  if (!buffer) return {ComponentReadProblem::kNoMemory, "not enough memory"};
  if (platform::FileStatus read =
          platform::ReadFileExactly(file.name, buffer.get(), static_cast<std::size_t>(file.size));
      !read) {
    return {ComponentReadProblem::kCannotRead, platform::DescribeFileStatus(read)};
  }
  image.buffer = std::move(buffer);
  image.size = static_cast<std::uint32_t>(file.size);
  return {};
}

}  // namespace kx
