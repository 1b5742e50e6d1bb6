#include "updatedata/package_format.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kx::package {
namespace {

constexpr std::uint32_t kMultiplier = 214013;
constexpr std::uint32_t kIncrement = 2531011;

// The key stream is a serial recurrence; to go faster than one multiply
// latency per byte it runs in kLanes interleaved streams, each stepping
// kLanes states at once with the jumped constants A = a^kLanes and
// C = c * (a^(kLanes-1) + ... + a + 1).
constexpr std::size_t kLanes = 16;

struct Jump {
  std::uint32_t multiplier;
  std::uint32_t increment;
};

constexpr Jump JumpOf(std::size_t steps) {
  std::uint32_t a = 1, c = 0;
  for (std::size_t i = 0; i < steps; ++i) {
    a = a * kMultiplier;
    c = c * kMultiplier + kIncrement;
  }
  return {a, c};
}

constexpr Jump kLaneJump = JumpOf(kLanes);

std::uint32_t Next(std::uint32_t x) { return x * kMultiplier + kIncrement; }

void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
         std::uint32_t{at[3]} << 24;
}

void PutDouble(std::uint8_t* at, double value) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

double GetDouble(const std::uint8_t* at) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = bits << 8 | at[i];
  return std::bit_cast<double>(bits);
}

}  // namespace

// Both hot loops are written for the vectoriser; the clones let a machine
// with AVX2 use it, chosen once at load time. Not under ThreadSanitizer: the
// clone's resolver runs while the program is relocated, before the
// sanitizer's runtime is up, and its instrumented code crashes there.
#if defined(__x86_64__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define KX_HOT_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define KX_HOT_LOOP
#endif

KX_HOT_LOOP void ApplyKeyStream(std::uint8_t* buffer, std::int32_t seed, std::size_t length) {
  std::uint32_t lanes[kLanes];
  std::uint32_t x = static_cast<std::uint32_t>(seed);
  for (std::size_t j = 0; j < kLanes; ++j) lanes[j] = x = Next(x);

  std::size_t i = 0;
  for (; i + kLanes <= length; i += kLanes) {
    for (std::size_t j = 0; j < kLanes; ++j) {
      buffer[i + j] ^= static_cast<std::uint8_t>(lanes[j] >> 16);
      lanes[j] = lanes[j] * kLaneJump.multiplier + kLaneJump.increment;
    }
  }
  for (std::size_t j = 0; i < length; ++i, ++j) {
    buffer[i] ^= static_cast<std::uint8_t>(lanes[j] >> 16);
  }
}

KX_HOT_LOOP double ByteSum(const std::uint8_t* data, std::size_t length) {
  // Whole-number sum in blocks small enough that 32-bit lanes cannot overflow.
  std::uint64_t total = 0;
  constexpr std::size_t kBlock = 1 << 20;
  for (std::size_t start = 0; start < length; start += kBlock) {
    std::size_t end = std::min(length, start + kBlock);
    std::uint32_t partial = 0;
    for (std::size_t i = start; i < end; ++i) partial += data[i];
    total += partial;
  }
  return static_cast<double>(total);
}

std::int32_t SeedFromDate(const platform::LocalDate& date) {
  char digits[64];
  std::snprintf(digits, sizeof digits, "%d%d%d", date.year, date.month, date.day);
  // Read as atoi would, but saturating instead of overflowing.
  long long value = std::strtoll(digits, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

std::int32_t StoredSeed(const std::uint8_t* stored) {
  return static_cast<std::int32_t>(GetU32(stored + kSeedOffset));
}

std::uint64_t Header::ExpectedFileSize() const {
  std::uint64_t total = kHeaderSize;
  for (std::uint32_t size : sizes) total += size;
  return total;
}

Header DecodeHeader(const std::uint8_t* plain) {
  Header header{};
  for (std::size_t c = 0; c < kComponentCount; ++c) {
    const char* field = reinterpret_cast<const char*>(plain + c * kVersionFieldSize);
    // A field without a zero byte is taken whole; nothing beyond it is read.
    header.versions[c].assign(field, strnlen(field, kVersionFieldSize));
    header.sizes[c] = GetU32(plain + kSizesOffset + 4 * c);
  }
  header.checksum = GetDouble(plain + kChecksumOffset);
  return header;
}

bool EncodePackage(const std::array<Entry, kComponentCount>& entries, std::int32_t seed,
                   std::vector<std::uint8_t>& out) {
  std::uint64_t length = kHeaderSize;
  for (const Entry& entry : entries) {
    if (entry.image.size() > 0xFFFFFFFFu) return false;
    if (!entry.image.empty() && entry.version.size() > kMaxVersionLength) return false;
    length += entry.image.size();
  }
  std::vector<std::uint8_t> file;
  try {
    file.assign(static_cast<std::size_t>(length), 0xFF);
  } catch (const std::bad_alloc&) {
    return false;
  }

  std::size_t offset = kHeaderSize;
  for (std::size_t c = 0; c < kComponentCount; ++c) {
    const Entry& entry = entries[c];
    std::uint8_t* field = file.data() + c * kVersionFieldSize;
    std::memset(field, 0, kVersionFieldSize);
    if (!entry.image.empty()) std::memcpy(field, entry.version.data(), entry.version.size());
    PutU32(file.data() + kSizesOffset + 4 * c, static_cast<std::uint32_t>(entry.image.size()));
    if (!entry.image.empty()) std::memcpy(file.data() + offset, entry.image.data(), entry.image.size());
    offset += entry.image.size();
  }
  PutDouble(file.data() + kChecksumOffset, ByteSum(file.data() + kHeaderSize, file.size() - kHeaderSize));
  // Scramble everything first, then store the seed over its scrambled bytes:
  // a reader takes the seed before it unscrambles.
  ApplyKeyStream(file.data(), seed, file.size());
  PutU32(file.data() + kSeedOffset, static_cast<std::uint32_t>(seed));
  out = std::move(file);
  return true;
}

}  // namespace kx::package
