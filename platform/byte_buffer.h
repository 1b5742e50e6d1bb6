// Owned byte buffers that may fail to allocate without throwing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kx::platform {

struct FreeBytes {
  void operator()(std::uint8_t* bytes) const noexcept;
};

using ByteBuffer = std::unique_ptr<std::uint8_t[], FreeBytes>;

// A buffer of `size` bytes with indeterminate contents, or null when memory
// cannot be had: the core reports that as a failure instead of throwing.
// Buffers of package size are asked to be backed by huge pages, which cuts
// the cost of first touching them (page faults) by far: it dominated loading.
ByteBuffer AllocateBytes(std::size_t size) noexcept;

}  // namespace kx::platform
