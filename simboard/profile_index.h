// Every value of a private-profile (INI) text, found in one pass over it, so
// that a board file of many boards is read in time in proportion to its size
// however many keys are looked up. Reads as platform::ReadProfileValue does
// (platform/private_profile.h gives the rules): names trimmed and compared
// without regard to ASCII case, only the first section of a name and the
// first key of a name in it count, one pair of quotes around a value removed.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace kx::sim {

class ProfileIndex {
 public:
  ProfileIndex() = default;
  explicit ProfileIndex(std::string_view text);

  // The value of `key` in `section`, quotes removed; null when the key is
  // not there at all (a key with an empty value gives "").
  const std::string* Find(std::string_view section, std::string_view key) const;

 private:
  // Keyed by the lower-case section name, a line feed (which no name holds)
  // and the lower-case key name: one table for the whole file.
  std::unordered_set<std::string> sections_;  // lower-case names seen
  std::unordered_map<std::string, std::string> values_;
};

}  // namespace kx::sim
