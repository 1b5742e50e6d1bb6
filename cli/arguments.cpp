#include "cli/arguments.h"

namespace kx::cli {

Arguments::Arguments(std::vector<std::string> words, const std::set<std::string>& flags,
                     const std::set<std::string>& valued) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string word = words[i];
    if (word == "-o") word = "--out";
    if (word.size() < 2 || word.compare(0, 2, "--") != 0 || word == "--") {
      if (word == "--") {
        positional_.insert(positional_.end(), words.begin() + i + 1, words.end());
        return;
      }
      positional_.push_back(word);
      continue;
    }
    std::string name = word.substr(2), value;
    bool hasValue = false;
    if (auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    if (valued.count(name)) {
      if (!hasValue) {
        if (i + 1 >= words.size()) {
          error_ = "option --" + name + " needs a value";
          return;
        }
        value = words[++i];
      }
    } else if (flags.count(name)) {
      if (hasValue) {
        error_ = "option --" + name + " takes no value";
        return;
      }
    } else {
      error_ = "unknown option --" + name;
      return;
    }
    options_.emplace_back(name, value);
  }
}

bool Arguments::Has(const std::string& name) const {
  for (const auto& [n, v] : options_) {
    if (n == name) return true;
  }
  return false;
}

std::optional<std::string> Arguments::Value(const std::string& name) const {
  std::optional<std::string> last;
  for (const auto& [n, v] : options_) {
    if (n == name) last = v;
  }
  return last;
}

}  // namespace kx::cli
