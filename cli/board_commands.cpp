// kxupdate boards | versions: what the driver says about the boards.
#include <algorithm>
#include <iostream>

#include "camera/board_list.h"
#include "camera/next_dlg.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/terminal_text.h"

namespace kx::cli {

int RunBoardsCommand(const std::vector<std::string>& words, const GlobalOptions& global) {
  Arguments args(words, {"json"}, {});
  if (!args.ok() || !args.positional().empty()) {
    PrintError(args.ok() ? "boards takes no arguments" : args.error());
    return kExitUsage;
  }
  auto driver = LoadDriver(global.driver);
  if (!driver) return kExitNoDriver;
  std::vector<std::string> boards;
  const bool enumerated = EnumerateBoards(*driver, boards) == 1;
  if (args.Has("json")) {
    JsonWriter json;
    json.BeginObject().Key("enumerated").Bool(enumerated).Key("boards").BeginArray();
    for (const auto& id : boards) json.String(id);
    json.EndArray().EndObject();
    std::cout << json.text() << "\n";
  } else {
    for (const auto& id : boards) std::cout << ForTerminal(id) << "\n";
  }
  if (!enumerated) {
    PrintError("the driver found no board (or its enumeration failed)");
    return kExitFailure;
  }
  if (boards.empty()) {
    PrintError(std::string("no board of the ") + kSupportedModel + " model");
    return kExitFailure;
  }
  return kExitOk;
}

int RunVersionsCommand(const std::vector<std::string>& words, const GlobalOptions& global) {
  Arguments args(words, {"json"}, {"board"});
  if (!args.ok() || !args.positional().empty()) {
    PrintError(args.ok() ? "versions takes no arguments but --board ID" : args.error());
    return kExitUsage;
  }
  auto driver = LoadDriver(global.driver);
  if (!driver) return kExitNoDriver;
  std::vector<std::string> boards;
  if (EnumerateBoards(*driver, boards) == 0 || boards.empty()) {
    PrintError(std::string("no board of the ") + kSupportedModel + " model");
    return kExitFailure;
  }
  std::string board;
  if (auto wanted = args.Value("board")) {
    if (std::find(boards.begin(), boards.end(), *wanted) == boards.end()) {
      PrintError("no board " + *wanted + " (present: " + [&] {
        std::string list;
        for (const auto& id : boards) list += (list.empty() ? "" : ", ") + id;
        return list;
      }() + ")");
      return kExitFailure;
    }
    board = *wanted;
  } else if (boards.size() == 1) {
    board = boards.front();
  } else {
    PrintError("several boards are present: choose one with --board ID");
    return kExitUsage;
  }

  CAM_HANDLE camera = driver->CAM_CreateCameraEx(board.c_str(), 1);
  std::int32_t code = 0;
  if (driver->CAM_GetLastErrorEx(camera, 1, &code) == 0 || code != 0) {
    PrintError("the driver could not open " + board + " (" + CNextDlg::DriverErrorLabel(code) + ")");
    if (camera != 0) driver->CAM_DeleteCameraEx(camera, 1);
    return kExitFailure;
  }
  struct Reading {
    const char* what;
    std::int32_t kind;
    std::string text;
  };
  Reading readings[] = {{"FPGA", CAM_VERSION_FPGA, ""},
                        {"Firm(Appl)", CAM_VERSION_FIRM_APPL, ""},
                        {"Firm(Boot)", CAM_VERSION_FIRM_BOOT, ""}};
  for (Reading& reading : readings) {
    char text[CAM_VERSION_BUFFER_SIZE] = {};
    driver->CAM_GetVersionEx(camera, 1, reading.kind, text);
    text[CAM_VERSION_BUFFER_SIZE - 1] = '\0';
    reading.text = text;
  }
  code = 0;
  driver->CAM_GetLastErrorEx(camera, 1, &code);
  driver->CAM_DeleteCameraEx(camera, 1);

  const std::string label = CNextDlg::DriverErrorLabel(code);
  if (args.Has("json")) {
    JsonWriter json;
    json.BeginObject().Key("board").String(board).Key("versions").BeginObject();
    for (const Reading& reading : readings) json.Key(std::to_string(reading.kind)).String(reading.text);
    json.EndObject().Key("last_error").Number(std::int64_t{code}).Key("last_error_name").String(label);
    json.EndObject();
    std::cout << json.text() << "\n";
  } else {
    std::cout << "board:      " << ForTerminal(board) << "\n";
    for (const Reading& reading : readings) {
      std::cout << "kind " << reading.kind << " " << reading.what << ":" << std::string(11 - std::string(reading.what).size(), ' ')
                << ForTerminal(reading.text) << "\n";
    }
    std::cout << "last error: " << label << " (" << code << ")\n";
  }
  return kExitOk;
}

}  // namespace kx::cli
