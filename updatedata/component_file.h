// Reading one component file into the image a package carries for it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file_search.h"
#include "updatedata/byte_buffer.h"
#include "updatedata/component.h"

namespace kx {

struct LoadedImage {
  ByteBuffer buffer;       // owns the bytes
  std::uint32_t size = 0;  // image bytes at the start of buffer
};

// Why a component file gave no image.
enum class ComponentReadProblem : std::uint8_t {
  kNone,
  kCannotRead,  // not opened, or not read in full
  kRefused,     // read, but no image: not S-record text, no data byte, too large
  kNoMemory,
};

struct ComponentRead {
  ComponentReadProblem problem = ComponentReadProblem::kNone;
  std::string cause;  // "permission denied", "line 3: a data record with ..."
  explicit operator bool() const { return problem == ComponentReadProblem::kNone; }
};

// FPGA files are taken byte for byte, as many bytes as the search reported;
// firmware files are loaded with the S-record loader into a buffer of
// kFirmwareBufferSize. Fails when the file cannot be read in full, is larger
// than an image can be, fails to load or (firmware) holds no data byte, or
// memory runs out. Reports nothing beyond what the file's opening reports:
// the caller tells the cause.
ComponentRead ReadComponentFile(const ComponentTraits& traits, const platform::FoundFile& file,
                                LoadedImage& image);

}  // namespace kx
