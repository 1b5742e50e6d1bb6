#include "tests/ini_judge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <utility>

#include "tests/scratch_dir.h"

namespace kx::testing {

JudgedIni::JudgedIni(const std::string& path) : JudgedIni(std::move(ReadAll({path}).front())) {}

std::vector<JudgedIni> JudgedIni::ReadAll(const std::vector<std::string>& paths) {
  std::vector<JudgedIni> files;
  for (std::size_t i = 0; i < paths.size(); ++i) files.push_back(JudgedIni());
  std::string command = "python3 '" + SourceDir() + "/tests/ini_judge.py' read-many";
  for (const std::string& path : paths) command += " '" + path + "'";
  int status = -1;
  const std::string out = CaptureCommand(command, &status);
  if (status != 0) {
    ADD_FAILURE() << "configparser does not read all of the files (status " << status
                  << "): " << command;
    return files;
  }
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    for (std::size_t from = 0;;) {
      const std::size_t tab = line.find('\t', from);
      // The value is the rest of the line, whatever it holds.
      if (tab == std::string::npos || fields.size() == 3) {
        fields.push_back(line.substr(from));
        break;
      }
      fields.push_back(line.substr(from, tab - from));
      from = tab + 1;
    }
    const auto file = std::find(paths.begin(), paths.end(), fields[0]);
    if (fields.size() != 4 || file == paths.end()) {
      ADD_FAILURE() << "the judge's line is not file, section, key and value: " << line;
      continue;
    }
    files[file - paths.begin()].entries_.push_back({fields[1], fields[2], fields[3]});
  }
  return files;
}

std::vector<std::string> JudgedIni::Sections() const {
  std::vector<std::string> sections;
  for (const Entry& entry : entries_) {
    if (std::find(sections.begin(), sections.end(), entry.section) == sections.end()) {
      sections.push_back(entry.section);
    }
  }
  return sections;
}

std::optional<std::string> JudgedIni::Get(const std::string& section,
                                          const std::string& key) const {
  for (const Entry& entry : entries_) {
    if (entry.section == section && entry.key == key) return entry.value;
  }
  return std::nullopt;
}

std::string JudgedIni::GetOr(const std::string& section, const std::string& key,
                             const std::string& fallback) const {
  return Get(section, key).value_or(fallback);
}

}  // namespace kx::testing
