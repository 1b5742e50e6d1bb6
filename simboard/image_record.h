// What the simulated board learns from an image written to it: a digest of
// its bytes, and the version text it carries.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kx::sim {

// FNV-1a, 64 bits, of `bytes` as 16 lower-case hexadecimal digits.
std::string Fnv1a64Hex(std::span<const std::uint8_t> bytes);

// The version text the image carries: the bytes that follow the first
// "KXVERSION=" in it, up to a zero byte. The text must be 1 to 31 printable
// ASCII characters without blanks or quotes (it goes into the board file as
// a value, where blanks and quotes around it would not read back), and the
// zero byte must lie inside the image. Anything else is no marker: nullopt.
std::optional<std::string> FindVersionMarker(std::span<const std::uint8_t> bytes);

}  // namespace kx::sim
