// Builds package files for tests: the plain form, then the stored form.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kx::testing {

struct FixtureComponent {
  std::string version;
  std::vector<std::uint8_t> image;
};
using FixturePackage = std::array<FixtureComponent, 4>;

// Bytes 0..n-1 of a repeatable pattern that differs per `salt`.
std::vector<std::uint8_t> PatternBytes(std::size_t n, std::uint32_t salt);

// The stored bytes of a well-formed package.
std::vector<std::uint8_t> StoredPackage(const FixturePackage& parts, std::int32_t seed);

// Unscrambles a stored package (the seed is read from it).
std::vector<std::uint8_t> PlainPackage(std::vector<std::uint8_t> stored);

// Re-scrambles a plain package with `seed` and stores the seed.
std::vector<std::uint8_t> StorePlain(std::vector<std::uint8_t> plain, std::int32_t seed);

}  // namespace kx::testing
