#include "updatedata/version_text.h"

#include <cctype>
#include <cstdio>

namespace kx {
namespace {

std::int32_t ReadLeadingNumber(const std::string& part) {
  std::size_t i = 0;
  while (i < part.size() && std::isspace(static_cast<unsigned char>(part[i]))) ++i;
  bool negative = false;
  if (i < part.size() && (part[i] == '+' || part[i] == '-')) negative = part[i++] == '-';
  std::int64_t value = 0;
  for (; i < part.size() && part[i] >= '0' && part[i] <= '9'; ++i) {
    value = value * 10 + (part[i] - '0');
    if (value > std::int64_t{INT32_MAX} + 1) value = std::int64_t{INT32_MAX} + 1;  // stay bounded
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::string VersionTextOfFileName(const ComponentTraits& traits, const std::string& fileName) {
  const std::size_t framing = traits.prefixLength + traits.suffixLength;
  if (fileName.size() <= framing) return {};
  return fileName.substr(traits.prefixLength, fileName.size() - framing);
}

std::array<std::int32_t, 3> ParseVersionNumbers(const std::string& text) {
  std::array<std::int32_t, 3> numbers{0, 0, 0};
  std::size_t pos = 0;
  for (std::size_t part = 0; part < 3; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '_') break;
      ++pos;
    }
    std::size_t end = text.find('_', pos);
    if (end == std::string::npos) end = text.size();
    if (end == pos) break;  // an empty part ends the scan
    numbers[part] = ReadLeadingNumber(text.substr(pos, end - pos));
    pos = end;
  }
  return numbers;
}

int CompareVersionNames(std::string first, std::string second) {
  if (!first.empty() && second.empty()) return 1;
  if (first.empty() && !second.empty()) return 2;
  if (first.empty() && second.empty()) return 0;
  auto a = ParseVersionNumbers(first);
  auto b = ParseVersionNumbers(second);
  for (std::size_t i = 0; i < 3; ++i) {
    if (a[i] > b[i]) return 1;
    if (a[i] < b[i]) return 2;
  }
  return 0;
}

std::string FormatVersion(const std::string& text) {
  auto n = ParseVersionNumbers(text);
  char formatted[48];
  std::snprintf(formatted, sizeof formatted, "V%.2d.%.2d.%.2d", n[0], n[1], n[2]);
  return formatted;
}

}  // namespace kx
