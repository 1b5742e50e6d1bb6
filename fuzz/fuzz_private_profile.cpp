// The profile reader and writer on fuzzed text and names.
//
// Input: five length bytes, then that many bytes each of the section, the
// key, the value, the probe section and the probe key; the rest is the file
// text. Properties:
// - a key that is not found reads as "";
// - a write that is accepted reads back as the value written, as the reader
//   presents any value (trimmed, one pair of quotes removed);
// - a write leaves every other key as it read before (the probe key);
// - writing the same value again changes nothing;
// - a refused write leaves its output untouched;
// - an empty value reads as an integer as the default;
// - the file text taken as a file's bytes: a file that decodes whole encodes
//   back to the same bytes, and text that encodes into UTF-16 decodes back
//   to itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/private_profile.h"
#include "platform/profile_encoding.h"

namespace {

using kx::platform::DecodeProfileText;
using kx::platform::EncodeProfileText;
using kx::platform::ParseProfileInt;
using kx::platform::ProfileEncoding;
using kx::platform::ProfileText;
using kx::platform::ReadProfileValue;
using kx::platform::WriteProfileValue;

constexpr std::string_view kTrimmed = " \t\r\n\x1A";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kTrimmed);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kTrimmed) - first + 1);
}

// A value as reading presents it: trimmed, then one matching pair of quotes off.
std::string_view AsRead(std::string_view value) {
  value = Trim(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// Whether two caller names name the same section or key.
bool SameName(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Takes the next field of `length` bytes (fewer when the input runs out).
std::string_view Take(std::string_view& rest, std::size_t length) {
  std::string_view field = rest.substr(0, length);
  rest.remove_prefix(field.size());
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data) + 5, size - 5);
  const std::string_view section = Take(rest, data[0] % 24);
  const std::string_view key = Take(rest, data[1] % 24);
  const std::string_view value = Take(rest, data[2] % 40);
  const std::string_view probeSection = Take(rest, data[3] % 24);
  const std::string_view probeKey = Take(rest, data[4] % 24);
  const std::string_view text = rest;

  const std::span<const std::uint8_t> fileBytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                                text.size());
  const ProfileText decoded = DecodeProfileText(fileBytes);
  if (decoded.whole) {
    std::vector<std::uint8_t> encoded;
    KX_FUZZ_REQUIRE(EncodeProfileText(decoded.text, decoded.encoding, encoded));
    KX_FUZZ_REQUIRE(std::equal(encoded.begin(), encoded.end(), fileBytes.begin(), fileBytes.end()));
  }
  for (ProfileEncoding utf16 : {ProfileEncoding::kUtf16LeBom, ProfileEncoding::kUtf16BeBom}) {
    std::vector<std::uint8_t> encoded;
    if (!EncodeProfileText(text, utf16, encoded)) continue;
    const ProfileText back = DecodeProfileText(encoded);
    KX_FUZZ_REQUIRE(back.whole && back.encoding == utf16 && back.text == text);
  }

  bool found = true;
  const std::string read = ReadProfileValue(text, section, key, &found);
  if (!found) KX_FUZZ_REQUIRE(read.empty());
  KX_FUZZ_REQUIRE(ParseProfileInt("", static_cast<std::int32_t>(read.size())) == read.size());
  (void)ParseProfileInt(read, -1);

  bool probeFound = false;
  const std::string probeBefore = ReadProfileValue(text, probeSection, probeKey, &probeFound);

  std::string edited = "untouched";
  if (!WriteProfileValue(text, section, key, value, edited)) {
    KX_FUZZ_REQUIRE(edited == "untouched");
    return 0;
  }
  bool foundAfter = false;
  const std::string readBack = ReadProfileValue(edited, section, key, &foundAfter);
  KX_FUZZ_REQUIRE(foundAfter);
  KX_FUZZ_REQUIRE(readBack == AsRead(value));
  std::string again;
  KX_FUZZ_REQUIRE(WriteProfileValue(edited, section, key, value, again));
  KX_FUZZ_REQUIRE(again == edited);

  if (!(SameName(probeSection, section) && SameName(probeKey, key))) {
    bool probeFoundAfter = false;
    const std::string probeAfter =
        ReadProfileValue(edited, probeSection, probeKey, &probeFoundAfter);
    KX_FUZZ_REQUIRE(probeFoundAfter == probeFound);
    KX_FUZZ_REQUIRE(probeAfter == probeBefore);
  }
  return 0;
}
