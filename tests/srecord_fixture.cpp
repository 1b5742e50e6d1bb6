#include "tests/srecord_fixture.h"

#include <cstdio>

namespace kx::testing {

std::string SRecordLine(int type, std::uint32_t address, const std::vector<std::uint8_t>& data) {
  int addressBytes = (type == 2 || type == 8) ? 3 : (type == 3 || type == 7) ? 4 : 2;
  std::vector<std::uint8_t> bytes;
  bytes.push_back(static_cast<std::uint8_t>(addressBytes + data.size() + 1));
  for (int i = addressBytes - 1; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (auto b : bytes) sum += b;
  bytes.push_back(static_cast<std::uint8_t>(~sum));
  std::string line = "S" + std::to_string(type);
  char hex[3];
  for (auto b : bytes) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    line += hex;
  }
  return line;
}

std::string SRecordText(const std::vector<std::uint8_t>& image, std::uint32_t base,
                        std::size_t perRecord, const std::string& lineEnd) {
  std::uint64_t end = std::uint64_t{base} + image.size();
  int type = end <= 0x10000 ? 1 : end <= 0x1000000 ? 2 : 3;
  std::string text = SRecordLine(0, 0, {'k', 'x', '5', '8'}) + lineEnd;
  for (std::size_t offset = 0; offset < image.size(); offset += perRecord) {
    std::size_t n = std::min(perRecord, image.size() - offset);
    std::vector<std::uint8_t> chunk(image.begin() + offset, image.begin() + offset + n);
    text += SRecordLine(type, base + static_cast<std::uint32_t>(offset), chunk) + lineEnd;
  }
  text += SRecordLine(10 - type, 0, {}) + lineEnd;
  return text;
}

}  // namespace kx::testing
