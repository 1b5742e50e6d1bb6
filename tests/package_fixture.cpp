#include "tests/package_fixture.h"

#include <stdexcept>

#include "updatedata/package_format.h"

namespace kx::testing {

std::vector<std::uint8_t> PatternBytes(std::size_t n, std::uint32_t salt) {
  std::vector<std::uint8_t> bytes(n);
  std::uint32_t x = salt * 2654435761u + 1;
  for (auto& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  return bytes;
}

std::vector<std::uint8_t> StoredPackage(const FixturePackage& parts, std::int32_t seed) {
  std::array<package::Entry, 4> entries;
  for (std::size_t i = 0; i < 4; ++i) entries[i] = {parts[i].version, parts[i].image};
  std::vector<std::uint8_t> stored;
  if (!package::EncodePackage(entries, seed, stored)) throw std::runtime_error("encode failed");
  return stored;
}

std::vector<std::uint8_t> PlainPackage(std::vector<std::uint8_t> stored) {
  package::ApplyKeyStream(stored.data(), package::StoredSeed(stored.data()), stored.size());
  return stored;
}

std::vector<std::uint8_t> StorePlain(std::vector<std::uint8_t> plain, std::int32_t seed) {
  package::ApplyKeyStream(plain.data(), seed, plain.size());
  for (int i = 0; i < 4; ++i) plain[240 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(seed) >> (8 * i));
  return plain;
}

}  // namespace kx::testing
