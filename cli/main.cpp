// kxupdate: the KX58 updater's terminal front end.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace kx::cli {
namespace {

const char* const kUsage =
    "usage: kxupdate COMMAND [ARGS]\n"
    "commands:\n"
    "  package inspect [FILE] [--json]          load and verify a package\n"
    "  package build [DIR] [--date YYYY-MM-DD]  rebuild DERadori.kx from component files\n"
    "  package extract [FILE] --out DIR         write each component's image to a file\n"
    "  srec FILE -o OUT                         S-record file to binary image\n";

}  // namespace
}  // namespace kx::cli

int main(int argc, char** argv) {
  using namespace kx::cli;
  std::vector<std::string> words(argv + 1, argv + argc);
  if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
    std::cout << kUsage;
    return words.empty() ? kExitUsage : kExitOk;
  }
  const std::string command = words[0];
  std::vector<std::string> rest(words.begin() + 1, words.end());
  if (command == "package") return RunPackageCommand(rest);
  if (command == "srec") return RunSRecordCommand(rest);
  PrintError("unknown command '" + command + "'");
  std::cerr << kUsage;
  return kExitUsage;
}
