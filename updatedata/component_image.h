// The descriptor of one component's image, as the driver receives it.
#pragma once

#include <cstdint>

namespace kx {

// Mirrors the driver ABI's record field for field: tag, kind and size keep
// their order and width; data is pointer-wide on this platform. The image a
// descriptor points at belongs to whoever made the descriptor (the data set).
struct ComponentImage {
  char tag[4];            // 'Z', 'E', 'B', 'A'
  std::int32_t kind;      // 1, 2, 0, 3 in component order
  std::uint32_t size;     // bytes of image; 0: no image for this component
  const std::uint8_t* data;  // first byte of the image, or null
};

}  // namespace kx
