// kxupdate errors [CODE]: the driver error table.
#include <cctype>
#include <cstdlib>
#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "errors/driver_error_rows.h"

namespace kx::cli {
namespace {

const char* TextOf(const DriverErrorRow& row, Language language) {
  return language == Language::kJapanese ? row.japanese : row.english;
}

}  // namespace

int RunErrorsCommand(const std::vector<std::string>& words, const GlobalOptions& global) {
  Arguments args(words, {"json"}, {});
  if (!args.ok() || args.positional().size() > 1) {
    PrintError(args.ok() ? "errors takes at most one code" : args.error());
    return kExitUsage;
  }
  const Language language = global.LanguageOrDefault();
  std::vector<const DriverErrorRow*> rows;
  if (args.positional().size() == 1) {
    const std::string& text = args.positional()[0];
    char* end = nullptr;
    long code = std::strtol(text.c_str(), &end, 10);
    // strtol would pass over leading blanks; a code is its digits alone.
    const bool blankFirst = !text.empty() && std::isspace(static_cast<unsigned char>(text[0]));
    if (text.empty() || blankFirst || *end != '\0' || code < INT32_MIN || code > INT32_MAX) {
      PrintError("'" + text + "' is not an error code");
      return kExitUsage;
    }
    const DriverErrorRow* row = FindDriverError(static_cast<std::int32_t>(code));
    if (row == nullptr) {
      PrintError("no driver error has the code " + text);
      return kExitFailure;
    }
    rows.push_back(row);
  } else {
    for (const DriverErrorRow& row : AllDriverErrors()) rows.push_back(&row);
  }

  if (args.Has("json")) {
    JsonWriter json;
    json.BeginArray();
    for (const DriverErrorRow* row : rows) {
      json.BeginObject()
          .Key("code").Number(std::int64_t{row->code})
          .Key("name").String(row->name)
          .Key("text").String(TextOf(*row, language))
          .EndObject();
    }
    json.EndArray();
    std::cout << (rows.size() == 1 && !args.positional().empty()
                      ? json.text().substr(1, json.text().size() - 2)
                      : json.text())
              << "\n";
  } else {
    for (const DriverErrorRow* row : rows) {
      std::cout << row->code << "\t" << row->name << "\t" << TextOf(*row, language) << "\n";
    }
  }
  return kExitOk;
}

}  // namespace kx::cli
