// Writes S-record text for test fixtures and samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kx::testing {

// An S0 header, then data records of `perRecord` bytes for `image` placed at
// `base` (S1 below 64 KiB, S2 below 16 MiB, else S3), then the matching end
// record; lines end in `lineEnd`.
std::string SRecordText(const std::vector<std::uint8_t>& image, std::uint32_t base = 0,
                        std::size_t perRecord = 16, const std::string& lineEnd = "\n");

// One record line (without line end) of `type` with a correct checksum.
std::string SRecordLine(int type, std::uint32_t address, const std::vector<std::uint8_t>& data);

}  // namespace kx::testing
