// Checks that several tests make of texts and bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kx::testing {

// Strict UTF-8: no stray continuation bytes, no truncated, overlong or
// surrogate sequences, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// FNV-1a 64-bit of `bytes` as 16 lower-case hex digits: the digest the
// simulated board records of what was written to it.
std::string Fnv1a64Hex(const std::vector<std::uint8_t>& bytes);

}  // namespace kx::testing
