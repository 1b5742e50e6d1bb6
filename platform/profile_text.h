// The small text rules of profile (INI) files that every reader of them
// shares: what is trimmed, how names compare, how quotes come off a value.
#pragma once

#include <cstddef>
#include <string_view>

namespace kx::platform {

// What reading trims from both ends of a line, of a name and of a value.
inline constexpr std::string_view kProfileTrimmed = " \t\r\n\x1A";

inline std::string_view TrimProfileLeft(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kProfileTrimmed);
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

inline std::string_view TrimProfileRight(std::string_view text) {
  const std::size_t last = text.find_last_not_of(kProfileTrimmed);
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

inline std::string_view TrimProfile(std::string_view text) {
  return TrimProfileRight(TrimProfileLeft(text));
}

// Names compare without regard to the case of ASCII letters.
inline char ProfileLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// One matching pair of quotes ('...' or "...") around a value comes off.
inline std::string_view UnquoteProfileValue(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace kx::platform
