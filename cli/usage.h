// The usage texts of kxupdate and its commands: one place, so that `help`,
// `--help` and a usage error print the same words.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kx::cli {

// The whole tool's usage: every command in one line each.
const std::string& ToolUsage();

// The usage of `command` ("update", "package", "package build", ...): its
// synopsis, then each option with what it does. None for an unknown command.
std::optional<std::string> CommandUsage(const std::string& command);

// Just the synopsis lines ("usage: kxupdate update [--board ID] ...").
std::optional<std::string> CommandSynopsis(const std::string& command);

// The command whose usage applies to a command line: "package build" for
// {"package", "build", ...}, "update" for {"update", ...}.
std::string CommandNameOf(const std::vector<std::string>& words);

// True when the words, up to a "--", ask for help (--help or -h).
bool AsksForHelp(const std::vector<std::string>& words);

}  // namespace kx::cli
