#include "platform/byte_buffer.h"

#include <sys/mman.h>

#include <cstdlib>

namespace kx::platform {
namespace {

constexpr std::size_t kHugePage = 2u << 20;

}  // namespace

void FreeBytes::operator()(std::uint8_t* bytes) const noexcept { std::free(bytes); }

ByteBuffer AllocateBytes(std::size_t size) noexcept {
  if (size == 0) size = 1;
  void* memory = nullptr;
  if (size >= kHugePage) {
    // Aligned, so that whole huge pages cover all but the tail; the tail
    // stays on small pages, so no more memory is touched than asked for.
    if (posix_memalign(&memory, kHugePage, size) != 0) return nullptr;
    madvise(memory, size / kHugePage * kHugePage, MADV_HUGEPAGE);  // a hint only
  } else {
    memory = std::malloc(size);
    if (memory == nullptr) return nullptr;
  }
  return ByteBuffer(static_cast<std::uint8_t*>(memory));
}

}  // namespace kx::platform
