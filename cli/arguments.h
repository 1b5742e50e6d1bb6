// The terminal tool's command line: positional words and --options.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kx::cli {

// Splits a command line into positional words and options. An option is
// "--name", "--name=value" or "--name value" for the names listed as taking
// a value; "-o" is read as "--out". Unknown options are an error.
class Arguments {
 public:
  Arguments(std::vector<std::string> words, const std::set<std::string>& flags,
            const std::set<std::string>& valued);

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::vector<std::string>& positional() const { return positional_; }
  bool Has(const std::string& name) const;
  std::optional<std::string> Value(const std::string& name) const;

 private:
  std::vector<std::string> positional_;
  std::vector<std::pair<std::string, std::string>> options_;
  std::string error_;
};

}  // namespace kx::cli
