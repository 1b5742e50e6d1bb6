// Test fixture: INI files as an outside judge reads them, Python's
// configparser through tests/ini_judge.py.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kx::testing {

class JudgedIni {
 public:
  // Runs the judge on `path`; a file it cannot read or rejects fails the
  // test and reads as empty.
  explicit JudgedIni(const std::string& path);

  // Several files with one run of the judge (starting the interpreter is
  // the slow part), in the order of `paths`.
  static std::vector<JudgedIni> ReadAll(const std::vector<std::string>& paths);

  // The names of the sections that hold a key, in file order.
  std::vector<std::string> Sections() const;
  // A key's value; names compare as they stand (letter case counts).
  std::optional<std::string> Get(const std::string& section, const std::string& key) const;
  std::string GetOr(const std::string& section, const std::string& key,
                    const std::string& fallback) const;

 private:
  JudgedIni() = default;

  struct Entry {
    std::string section;
    std::string key;
    std::string value;
  };
  std::vector<Entry> entries_;
};

}  // namespace kx::testing
