// Text as an S-record file, loaded into the firmware buffer (1 MiB) and into
// a tiny buffer whose size the input's first byte picks (16 to 4096 bytes).
//
// Each buffer is allocated at exactly its capacity, so AddressSanitizer sees
// any write past it. Beyond that: an image fits its buffer, and a file that
// loads into the tiny buffer loads into the large one as the same image (only
// the capacity tells the two loads apart).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_scratch.h"
#include "updatedata/component.h"
#include "updatedata/srecord_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint32_t tinyCapacity = 16u * (1u + data[0]);  // 16 .. 4096
  static const std::string path = kx::fuzz::ScratchPath("KXFirmv1_0_0.s");
  kx::fuzz::WriteWholeFile(path, data + 1, size - 1);

  static const auto large = std::make_unique<std::uint8_t[]>(kx::kFirmwareBufferSize);
  std::int32_t largeLength = -1;
  const bool largeLoaded =
      kx::SRecordLoader().LoadSRecordFile(path, large.get(), kx::kFirmwareBufferSize, &largeLength);
  if (largeLoaded) {
    KX_FUZZ_REQUIRE(largeLength >= 0);
    KX_FUZZ_REQUIRE(static_cast<std::uint32_t>(largeLength) <= kx::kFirmwareBufferSize);
  }

  const auto tiny = std::make_unique<std::uint8_t[]>(tinyCapacity);
  std::int32_t tinyLength = -1;
  if (kx::SRecordLoader().LoadSRecordFile(path, tiny.get(), tinyCapacity, &tinyLength)) {
    KX_FUZZ_REQUIRE(tinyLength >= 0);
    KX_FUZZ_REQUIRE(static_cast<std::uint32_t>(tinyLength) <= tinyCapacity);
    KX_FUZZ_REQUIRE(largeLoaded);
    KX_FUZZ_REQUIRE(tinyLength == largeLength);
    KX_FUZZ_REQUIRE(std::memcmp(tiny.get(), large.get(), static_cast<std::size_t>(tinyLength)) ==
                    0);
  }
  return 0;
}
