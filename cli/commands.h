// The subcommands of kxupdate. Each takes the words after its own name and
// returns the process exit status.
#pragma once

#include <string>
#include <vector>

namespace kx::cli {

// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 64;

int RunPackageCommand(const std::vector<std::string>& words);
int RunSRecordCommand(const std::vector<std::string>& words);

// Prints "kxupdate: <message>" on standard error.
void PrintError(const std::string& message);

}  // namespace kx::cli
