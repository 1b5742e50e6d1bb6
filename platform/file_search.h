// Wildcard search for a file in the process's working directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kx::platform {

struct FoundFile {
  std::string name;    // bare name, as it stands in the directory
  std::uint64_t size;  // length in bytes at the time of the search
};

// True when `name` matches `pattern`, where '*' stands for any run of
// characters (the empty run included) and '?' for exactly one. Letters match
// without regard to case, as the update files' original platform does.
bool WildcardMatch(const std::string& pattern, const std::string& name);

// The first regular file of the working directory whose name matches
// `pattern`. "First" is the lowest name in byte order, so the answer does not
// depend on the order in which the file system lists the directory.
// Directories and other non-regular entries never match; one that would is
// reported (ReportFileRefusal), since the user meant it as an update file.
std::optional<FoundFile> FindFirstMatch(const std::string& pattern);

// Every regular file of `folder` (the working directory by default) whose
// name matches `pattern`, in byte order of their names: the first is the one
// FindFirstMatch takes, the others are those it passes by. Non-regular
// entries are passed over and reported as FindFirstMatch does.
std::vector<FoundFile> FindAllMatches(const std::string& pattern, const std::string& folder = ".");

}  // namespace kx::platform
