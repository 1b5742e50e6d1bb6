// The subcommands of kxupdate. Each takes the words after its own name and
// returns the process exit status.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/driver_choice.h"
#include "res/string_table.h"

namespace kx::cli {

// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 64;

// A driver library that could not be loaded.
inline constexpr int kExitNoDriver = 2;

// Options that every subcommand takes, wherever they stand on the line.
struct GlobalOptions {
  DriverChoice driver;
  std::optional<Language> language;  // --lang en|ja
  Language LanguageOrDefault() const;
};

int RunPackageCommand(const std::vector<std::string>& words, const GlobalOptions& global);
int RunSRecordCommand(const std::vector<std::string>& words, const GlobalOptions& global);
int RunBoardsCommand(const std::vector<std::string>& words, const GlobalOptions& global);
int RunVersionsCommand(const std::vector<std::string>& words, const GlobalOptions& global);
int RunErrorsCommand(const std::vector<std::string>& words, const GlobalOptions& global);
int RunUpdateCommand(const std::vector<std::string>& words, const GlobalOptions& global);

// Prints "kxupdate: <message>" on standard error, with control characters
// and broken UTF-8 escaped as "\xNN" (see ForTerminal).
void PrintError(const std::string& message);

}  // namespace kx::cli
