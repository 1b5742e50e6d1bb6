// Reading one component file into the image a package carries for it.
#pragma once

#include <cstdint>

#include "platform/file_search.h"
#include "updatedata/byte_buffer.h"
#include "updatedata/component.h"

namespace kx {

struct LoadedImage {
  ByteBuffer buffer;       // owns the bytes
  std::uint32_t size = 0;  // image bytes at the start of buffer
};

// FPGA files are taken byte for byte, as many bytes as the search reported;
// firmware files are loaded with the S-record loader into a buffer of
// kFirmwareBufferSize. False when the file cannot be read in full, is larger
// than an image can be, fails to load or (firmware) holds no data byte, or
// memory runs out; a refused file is reported (platform::ReportFileRefusal).
bool ReadComponentFile(const ComponentTraits& traits, const platform::FoundFile& file,
                       LoadedImage& image);

}  // namespace kx
