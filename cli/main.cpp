// kxupdate: the KX58 updater's terminal front end.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "res/product_version.h"
#include "res/user_language.h"

namespace kx::cli {
namespace {

const char* const kUsage =
    "usage: kxupdate [--driver LIB | --simulate] [--lang en|ja] COMMAND [ARGS]\n"
    "       kxupdate --version\n"
    "commands:\n"
    "  update [--board ID] [--yes|--no] [--check] [--json] [--log-file FILE]\n"
    "         [--event-timeout SECONDS]         update the board from this folder's update data\n"
    "  boards [--json]                          the boards of the KX58 model\n"
    "  versions [--board ID] [--json]           a board's installed versions\n"
    "  errors [CODE] [--json]                   the driver error table\n"
    "  package inspect [FILE] [--json]          load and verify a package, and describe it\n"
    "  package verify [FILE]                    load and verify a package: OK or why not\n"
    "  package build [DIR] [--date YYYY-MM-DD]  rebuild DERadori.kx from component files\n"
    "  package extract [FILE] --out DIR         write each component's image to a file\n"
    "  srec FILE -o OUT                         S-record file to binary image\n"
    "The driver: --driver LIB, else --simulate (the simulated board), else\n"
    "KXUPDATE_DRIVER, else libTessera.so.\n";

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
  if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
    std::cout << kUsage;
    return words.empty() ? kExitUsage : kExitOk;
  }
  const std::string command = words[0];
  std::vector<std::string> rest(words.begin() + 1, words.end());
  if (command == "package") return RunPackageCommand(rest);
  if (command == "srec") return RunSRecordCommand(rest);
  if (command == "update") return RunUpdateCommand(rest, global);
  if (command == "boards") return RunBoardsCommand(rest, global);
  if (command == "versions") return RunVersionsCommand(rest, global);
  if (command == "errors") return RunErrorsCommand(rest, global);
  PrintError("unknown command '" + command + "'");
  std::cerr << kUsage;
  return kExitUsage;
}
