#include "cli/usage.h"

#include <array>

namespace kx::cli {
namespace {

struct Usage {
  const char* command;
  const char* synopsis;
  const char* options;  // one option a line, "  --name VALUE  what it does"
};

constexpr const char* kGlobalOptions =
    "options of every command:\n"
    "  --driver LIB       the driver library to load (else KXUPDATE_DRIVER, else libTessera.so)\n"
    "  --simulate         use the simulated board (board file $KXSIM_BOARD or ./kxsim-board.ini)\n"
    "  --lang en|ja       the language of the texts (else LANGUAGE, LC_ALL, LC_MESSAGES, LANG)\n"
    "  -h, --help         this help\n";

constexpr std::array<Usage, 10> kUsages{{
    {"update",
     "usage: kxupdate update [--board ID] [--yes|--no] [--check] [--json]\n"
     "                       [--log-file FILE] [--event-timeout SECONDS]\n",
     "Updates a board from the update data in the working directory.\n"
     "  --board ID               the board to update (else the only one, or a choice on a terminal)\n"
     "  --yes                    write an FPGA or boot image that is not newer than the installed one\n"
     "  --no                     never write such an image (the default without a terminal)\n"
     "  --check                  stop at the update decision: say what Start would do; change no file\n"
     "  --json                   one JSON object on standard output; the log goes to standard error\n"
     "  --log-file FILE          append the run's log to FILE, each line time-stamped\n"
     "  --event-timeout SECONDS  end the run as failed when the driver is silent that long\n"},
    {"boards", "usage: kxupdate boards [--json]\n",
     "Lists the boards of the KX58 model, as the driver reports them.\n"
     "  --json   a JSON object instead of one id a line\n"},
    {"versions", "usage: kxupdate versions [--board ID] [--json]\n",
     "Shows a board's installed versions and the driver's last error.\n"
     "  --board ID   the board (needed when several are present)\n"
     "  --json       a JSON object\n"},
    {"errors", "usage: kxupdate errors [CODE] [--json]\n",
     "Shows the driver error table, or the row of one CODE.\n"
     "  --json   a JSON array\n"},
    {"package",
     "usage: kxupdate package inspect [FILE] [--json]\n"
     "       kxupdate package verify [FILE]\n"
     "       kxupdate package build [DIR] [--date YYYY-MM-DD]\n"
     "       kxupdate package extract [FILE] --out DIR\n",
     "Works on an update package (FILE: DERadori.kx in the working directory by default).\n"
     "  inspect   load and verify a package, and describe it\n"
     "  verify    load and verify a package: OK or why not\n"
     "  build     rebuild DERadori.kx from the component files in DIR (default: .)\n"
     "  extract   write each component's image to its own file in DIR\n"
     "See 'kxupdate help package SUBCOMMAND' for each one's options.\n"},
    {"package inspect", "usage: kxupdate package inspect [FILE] [--json]\n",
     "Loads and verifies a package and describes its header and components.\n"
     "  --json   a JSON object\n"},
    {"package verify", "usage: kxupdate package verify [FILE]\n",
     "Loads and verifies a package: prints OK, or the one reason it fails.\n"},
    {"package build", "usage: kxupdate package build [DIR] [--date YYYY-MM-DD]\n",
     "Merges the component files in DIR with its DERadori.kx and writes the package anew.\n"
     "  --date YYYY-MM-DD   the date whose seed scrambles the package (default: today)\n"},
    {"package extract", "usage: kxupdate package extract [FILE] --out DIR\n",
     "Writes each component's image of a package to its own file.\n"
     "  -o, --out DIR   the folder to write into\n"},
    {"srec", "usage: kxupdate srec FILE -o OUT\n",
     "Turns an S-record file into its binary image (up to 1 MiB).\n"
     "  -o, --out OUT   the image file to write\n"},
}};

const Usage* Find(const std::string& command) {
  for (const Usage& usage : kUsages) {
    if (command == usage.command) return &usage;
  }
  return nullptr;
}

}  // namespace

const std::string& ToolUsage() {
  static const std::string text = std::string(
      "usage: kxupdate [--driver LIB | --simulate] [--lang en|ja] COMMAND [ARGS]\n"
      "       kxupdate --version\n"
      "       kxupdate help [COMMAND]\n"
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
      "  srec FILE -o OUT                         S-record file to binary image\n") +
      kGlobalOptions;
  return text;
}

std::optional<std::string> CommandUsage(const std::string& command) {
  const Usage* usage = Find(command);
  if (usage == nullptr) return std::nullopt;
  return std::string(usage->synopsis) + "\n" + usage->options + "\n" + kGlobalOptions;
}

std::optional<std::string> CommandSynopsis(const std::string& command) {
  const Usage* usage = Find(command);
  if (usage == nullptr) return std::nullopt;
  return std::string(usage->synopsis);
}

std::string CommandNameOf(const std::vector<std::string>& words) {
  if (words.empty()) return {};
  if (words[0] == "package" && words.size() > 1 && Find("package " + words[1])) {
    return "package " + words[1];
  }
  return words[0];
}

bool AsksForHelp(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (word == "--") return false;
    if (word == "--help" || word == "-h") return true;
  }
  return false;
}

}  // namespace kx::cli
