#include "simboard/profile_index.h"

#include <cstddef>

#include "platform/profile_text.h"

namespace kx::sim {
namespace {

using platform::TrimProfile;

void AppendLower(std::string& to, std::string_view text) {
  for (char c : text) to.push_back(platform::ProfileLower(c));
}

}  // namespace

ProfileIndex::ProfileIndex(std::string_view text) {
  std::string prefix;   // the section being read as the start of its entries' names
  bool counts = false;  // false before the first section and in a repeated one
  std::string name;
  // About one entry to a line of 20 to 30 bytes: room made at once rather
  // than by growing the table again and again.
  values_.reserve(text.size() / 24);
  std::size_t begin = 0;
  while (begin < text.size()) {
    // CR LF, LF and a lone CR each end a line.
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) end = text.size();
    std::size_t next = end + 1;
    if (end < text.size() && text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    const std::string_view line = TrimProfile(text.substr(begin, end - begin));
    begin = next;

    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close == std::string_view::npos) continue;  // neither a section nor a key
      prefix.clear();
      AppendLower(prefix, TrimProfile(line.substr(1, close - 1)));
      // A later section of a name already seen counts for nothing.
      counts = sections_.insert(prefix).second;
      prefix.push_back('\n');
      continue;
    }
    if (!counts) continue;
    const std::size_t equals = line.find('=');
    const std::string_view key =
        equals == std::string_view::npos ? line : platform::TrimProfileRight(line.substr(0, equals));
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : platform::TrimProfileLeft(line.substr(equals + 1));
    name = prefix;
    AppendLower(name, key);
    values_.try_emplace(name, platform::UnquoteProfileValue(value));
  }
}

const std::string* ProfileIndex::Find(std::string_view section, std::string_view key) const {
  section = TrimProfile(section);
  key = TrimProfile(key);
  if (section.empty() || key.empty()) return nullptr;
  std::string name;
  AppendLower(name, section);
  name.push_back('\n');
  AppendLower(name, key);
  auto value = values_.find(name);
  return value == values_.end() ? nullptr : &value->second;
}

}  // namespace kx::sim
