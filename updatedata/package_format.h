// The package file DERadori.kx: layout, key stream, checksum and encoding.
// docs/package-format.md describes the format as a grammar.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/local_date.h"
#include "updatedata/component.h"

namespace kx::package {

inline constexpr std::size_t kHeaderSize = 256;
inline constexpr std::size_t kVersionFieldSize = 32;  // per component, from offset 0
inline constexpr std::size_t kMaxVersionLength = kVersionFieldSize - 1;
inline constexpr std::size_t kSizesOffset = 128;      // four little-endian uint32
inline constexpr std::size_t kChecksumOffset = 144;   // little-endian IEEE 754 double
inline constexpr std::size_t kSeedOffset = 240;       // little-endian int32, stored unscrambled
// The longest file that can be a package: the header and four images of the
// largest size a 32-bit size field can state.
inline constexpr std::uint64_t kMaxPackageSize = kHeaderSize + 4ull * 0xFFFFFFFFull;

// XORs `length` bytes at `buffer` with the key stream that `seed` starts:
// x <- x * 214013 + 2531011 (mod 2^32) for each offset, key byte (x >> 16) & 0xFF.
// The stream restarts from the seed on every call.
void ApplyKeyStream(std::uint8_t* buffer, std::int32_t seed, std::size_t length);

// The exact sum of `length` bytes, each counted 0 to 255, as a double. Every
// partial sum of a package is a whole number below 2^53, so adding in whole
// numbers gives the same result as adding in order in double precision.
double ByteSum(const std::uint8_t* data, std::size_t length);

// The seed a package written on `date` carries: the digits of year, month and
// day in that order without leading zeros ("%d%d%d"), read as a number.
std::int32_t SeedFromDate(const platform::LocalDate& date);

// The seed a stored (still scrambled) package carries at kSeedOffset.
std::int32_t StoredSeed(const std::uint8_t* stored);

// What the plain header says, read from an unscrambled package.
struct Header {
  std::array<std::string, kComponentCount> versions;
  std::array<std::uint32_t, kComponentCount> sizes;
  double checksum;
  // 256 + the four sizes, added in 64 bits so that no sizes can wrap around.
  std::uint64_t ExpectedFileSize() const;
};
Header DecodeHeader(const std::uint8_t* plain);  // reads kHeaderSize bytes

// One component of a package to encode; size 0 leaves it out.
struct Entry {
  std::string version;
  std::span<const std::uint8_t> image;
};

// The stored (scrambled) form of a package holding `entries` in component
// order with `seed`. False, with `out` untouched, when a version text of a
// component that is present is longer than kMaxVersionLength, an image is
// larger than a size field holds, or memory runs out.
bool EncodePackage(const std::array<Entry, kComponentCount>& entries, std::int32_t seed,
                   std::vector<std::uint8_t>& out);

}  // namespace kx::package
