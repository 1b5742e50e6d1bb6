// Owned byte buffers that may fail to allocate without throwing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace kx {

using ByteBuffer = std::unique_ptr<std::uint8_t[]>;

// A buffer of `size` bytes with indeterminate contents, or null when memory
// cannot be had. The core reports that as failure instead of throwing.
inline ByteBuffer AllocateBytes(std::size_t size) noexcept {
  try {
    return std::make_unique_for_overwrite<std::uint8_t[]>(size == 0 ? 1 : size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace kx
