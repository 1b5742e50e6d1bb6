#include "simboard/image_record.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace kx::sim {
namespace {

constexpr std::uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ull;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ull;
constexpr std::string_view kMarker = "KXVERSION=";
constexpr std::size_t kMaxVersionLength = 31;

bool IsVersionCharacter(std::uint8_t c) { return c > ' ' && c < 0x7F && c != '"' && c != '\''; }

}  // namespace

std::string Fnv1a64Hex(std::span<const std::uint8_t> bytes) {
  std::uint64_t hash = kFnvOffsetBasis;
  for (std::uint8_t byte : bytes) {
    hash ^= byte;
    hash *= kFnvPrime;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i) {
    text[static_cast<std::size_t>(i)] = kDigits[hash & 0xF];
    hash >>= 4;
  }
  return text;
}

std::optional<std::string> FindVersionMarker(std::span<const std::uint8_t> bytes) {
  auto found =
      std::search(bytes.begin(), bytes.end(), kMarker.begin(), kMarker.end(),
                  [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
  if (found == bytes.end()) return std::nullopt;
  auto text = found + static_cast<std::ptrdiff_t>(kMarker.size());
  std::string version;
  for (auto at = text; at != bytes.end(); ++at) {
    if (*at == 0) {
      if (version.empty()) return std::nullopt;
      return version;
    }
    if (!IsVersionCharacter(*at) || version.size() == kMaxVersionLength) return std::nullopt;
    version.push_back(static_cast<char>(*at));
  }
  return std::nullopt;  // no zero byte before the image ends
}

}  // namespace kx::sim
