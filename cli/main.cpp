// kxupdate: the KX58 updater's terminal front end.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/usage.h"
#include "res/product_version.h"
#include "res/user_language.h"

namespace kx::cli {
namespace {

// Takes the global options out of `words`; false with a message for bad ones.
bool TakeGlobalOptions(std::vector<std::string>& words, GlobalOptions& global) {
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    auto valueOf = [&](const std::string& name, std::string& value) {
      if (word == name) {
        if (i + 1 >= words.size()) return false;
        value = words[++i];
        return true;
      }
      value = word.substr(name.size() + 1);
      return true;
    };
    if (word == "--simulate") {
      global.driver.simulate = true;
    } else if (word == "--driver" || word.rfind("--driver=", 0) == 0) {
      if (!valueOf("--driver", global.driver.library) || global.driver.library.empty()) {
        PrintError("--driver needs a library");
        return false;
      }
    } else if (word == "--lang" || word.rfind("--lang=", 0) == 0) {
      std::string value;
      auto language = valueOf("--lang", value) ? ParseLanguage(value) : std::nullopt;
      if (!language) {
        PrintError("--lang takes en or ja");
        return false;
      }
      global.language = language;
    } else {
      rest.push_back(word);
    }
  }
  words = std::move(rest);
  return true;
}

}  // namespace

Language GlobalOptions::LanguageOrDefault() const { return language.value_or(UserInterfaceLanguage()); }

}  // namespace kx::cli

int main(int argc, char** argv) {
  using namespace kx::cli;
  std::vector<std::string> words(argv + 1, argv + argc);
  GlobalOptions global;
  if (!TakeGlobalOptions(words, global)) return kExitUsage;
  if (!words.empty() && (words[0] == "--version" || words[0] == "-V")) {
    std::cout << "kxupdate " << kx::kProductVersion << "\n";
    return kExitOk;
  }
  if (words.empty()) {
    std::cerr << ToolUsage();
    return kExitUsage;
  }
  if (words[0] == "--help" || words[0] == "-h") {
    std::cout << ToolUsage();
    return kExitOk;
  }
  if (words[0] == "help") {
    const std::vector<std::string> topic(words.begin() + 1, words.end());
    if (topic.empty()) {
      std::cout << ToolUsage();
      return kExitOk;
    }
    auto usage = CommandUsage(CommandNameOf(topic));
    if (!usage) {
      PrintError("no command '" + topic[0] + "'");
      std::cerr << ToolUsage();
      return kExitUsage;
    }
    std::cout << *usage;
    return kExitOk;
  }
  const std::string name = CommandNameOf(words);
  if (AsksForHelp(words)) {
    if (auto usage = CommandUsage(name)) {
      std::cout << *usage;
      return kExitOk;
    }
  }
  const std::string command = words[0];
  std::vector<std::string> rest(words.begin() + 1, words.end());
  int status = kExitUsage;
  if (command == "package") {
    status = RunPackageCommand(rest, global);
  } else if (command == "srec") {
    status = RunSRecordCommand(rest, global);
  } else if (command == "update") {
    status = RunUpdateCommand(rest, global);
  } else if (command == "boards") {
    status = RunBoardsCommand(rest, global);
  } else if (command == "versions") {
    status = RunVersionsCommand(rest, global);
  } else if (command == "errors") {
    status = RunErrorsCommand(rest, global);
  } else {
    PrintError("unknown command '" + command + "'");
    std::cerr << ToolUsage();
    return kExitUsage;
  }
  // A usage error of a command: it said what was wrong; its usage follows.
  if (status == kExitUsage) {
    if (auto synopsis = CommandSynopsis(name)) std::cerr << *synopsis;
  }
  return status;
}
