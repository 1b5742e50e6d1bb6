// kxupdate update: the wizard's update flow in a terminal.
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

#include "camera/board_list.h"
#include "camera/next_dlg.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/interrupt_watch.h"
#include "cli/json_writer.h"
#include "cli/log_file.h"
#include "cli/log_lines.h"
#include "cli/terminal_text.h"
#include "cli/terminal_window.h"

namespace kx::cli {
namespace {

// A declined older version: the run stopped before writing it.
constexpr int kExitDeclined = 10;

// The longest --event-timeout: 30 days. The wait adds its limit to the
// steady clock's now() in nanoseconds, whose 64 bits reach some 292 years;
// a bound this far below that cannot overflow whatever the clock's start.
constexpr double kMaxEventTimeoutSeconds = 30.0 * 24 * 60 * 60;

// --event-timeout's value: a decimal number of seconds above 0 and at most
// kMaxEventTimeoutSeconds, as whole milliseconds rounded up; nullopt for
// anything else (no number, trailing text, 0, negative, NaN, infinite, too
// large).
std::optional<std::chrono::milliseconds> ParseEventTimeout(const std::string& text) {
  double seconds = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, seconds);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  if (!(seconds > 0 && seconds <= kMaxEventTimeoutSeconds)) return std::nullopt;  // NaN too
  return std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(seconds * 1000)));
}

const char* OutcomeName(DialogState state) {
  switch (state) {
    case DialogState::kCompleted: return "completed";
    case DialogState::kNotNeeded: return "not-needed";
    case DialogState::kCancelled: return "cancelled";
    case DialogState::kReady: return "ready";
    default: return "failed";
  }
}

const char* ActionName(RunAction action) {
  switch (action) {
    case RunAction::kSkip: return "skip";
    case RunAction::kWrite: return "write";
    case RunAction::kAsk: return "ask";
  }
  return "skip";
}

int ExitStatusOf(const CNextDlg& dialog) {
  switch (dialog.State()) {
    case DialogState::kCompleted:
    case DialogState::kNotNeeded:
    case DialogState::kReady:  // --check
      return kExitOk;
    case DialogState::kCancelled:
      return kExitDeclined;
    default:
      return dialog.ErrorCode() != 0 ? dialog.ErrorCode() : kExitFailure;
  }
}

std::string JoinedIds(const std::vector<std::string>& ids) {
  std::string joined;
  for (const std::string& id : ids) joined += (joined.empty() ? "" : ", ") + id;
  return joined.empty() ? "none" : joined;
}

// Why the dialog opened no board, when its own rules decided it: one line,
// naming the board and the cause.
std::string BoardOpenProblemText(const CNextDlg& dialog) {
  switch (dialog.OpenProblem()) {
    case BoardOpenProblem::kNone:
      return {};
    case BoardOpenProblem::kBoardNotPresent:
      return "no board " + dialog.Options().boardId.value_or("") + " among those present (" +
             JoinedIds(dialog.BoardsPresent()) + "); nothing was sent to the driver";
    case BoardOpenProblem::kBoardNotChosen:
      return "several boards are present and no terminal to choose one: use --board ID (" +
             JoinedIds(SortedBoardChoices(dialog.BoardsPresent())) + ")";
    case BoardOpenProblem::kBoardNotLocked:
      break;
  }
  const platform::LockAttempt& attempt = dialog.BoardLockAttempt();
  if (attempt.status == platform::LockStatus::kHeld) {
    return "board " + dialog.BoardId() + " is being updated by " +
           (attempt.holder ? "process " + std::to_string(*attempt.holder)
                           : std::string("another process"));
  }
  return "board " + dialog.BoardId() + " cannot be locked for the update: " +
         platform::DescribeLockAttempt(attempt, *dialog.BoardLock());
}

}  // namespace

int RunUpdateCommand(const std::vector<std::string>& words, const GlobalOptions& global) {
  Arguments args(words, {"yes", "no", "check", "json"}, {"board", "log-file", "event-timeout"});
  if (!args.ok() || !args.positional().empty() || (args.Has("yes") && args.Has("no"))) {
    PrintError(!args.ok() ? args.error()
               : args.Has("yes") && args.Has("no") ? "--yes and --no exclude each other"
                                                   : "update takes no arguments");
    return kExitUsage;
  }
  NextDlgOptions options;
  options.language = global.LanguageOrDefault();
  options.changeNoFiles = args.Has("check");
  if (auto seconds = args.Value("event-timeout")) {
    options.eventTimeout = ParseEventTimeout(*seconds);
    if (!options.eventTimeout) {
      PrintError("--event-timeout wants a number of seconds above 0 and at most " +
                 std::to_string(static_cast<std::int64_t>(kMaxEventTimeoutSeconds)) +
                 " (30 days), not '" + *seconds + "'");
      return kExitUsage;
    }
  }

  // The log file first: a name that cannot take the log ends the run
  // before the driver is loaded or a board is touched.
  std::unique_ptr<LogFile> logFile;
  if (auto path = args.Value("log-file")) {
    std::string problem;
    logFile = LogFile::Open(*path, problem);
    if (!logFile) {
      PrintError(problem);
      return kExitUsage;
    }
  }

  auto driver = LoadDriver(global.driver);
  if (!driver) return kExitNoDriver;

  TerminalAnswers answers;
  if (args.Has("yes")) answers.downgrade = true;
  if (args.Has("no")) answers.downgrade = false;
  answers.interactive = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
  options.boardId = args.Value("board");
  options.canChooseBoard = answers.interactive;
  answers.logFile = logFile.get();
  const bool json = args.Has("json");
  // With --json the log goes to standard error, so that standard output
  // holds the one final object.
  TerminalWindow window(answers, options.language, json ? stderr : stdout,
                        !json && isatty(STDOUT_FILENO));

  CNextDlg dialog(*driver, window, options);
  dialog.OnInitDialog();

  std::vector<ComponentPlan> plans;
  if (dialog.State() == DialogState::kReady) {
    if (args.Has("check")) {
      plans = dialog.PlanRun();
    } else {
      // While the components are written nothing the user does stops the
      // run: an interrupted write can leave a board that does not start.
      InterruptWatch interrupts;
      window.WatchInterrupts(&interrupts);
      dialog.OnStart();
      window.WatchInterrupts(nullptr);
    }
  }
  window.Finish();
  if (logFile && !logFile->WriteProblem().empty()) {
    PrintError("warning: the log file " + logFile->path() +
               " could not be written to the end: " + logFile->WriteProblem());
  }

  const std::string problem =
      !window.choiceProblem().empty() ? window.choiceProblem() : BoardOpenProblemText(dialog);
  if (!problem.empty()) PrintError(problem);
  // Which of several files a component took, and why the update data
  // stopped the run: on standard error and in the log file.
  auto note = [&window](const std::string& text) {
    PrintError(text);
    window.LogNote("kxupdate: " + text);
  };
  for (const ComponentFileChoice& choice : dialog.ComponentFileChoices()) {
    note(DescribeComponentFileChoice(choice));
  }
  if (dialog.FailureReason()) note(dialog.FailureReason().text);
  if (dialog.SettingsWriteFailed()) {
    PrintError("warning: the retry counts could not be stored: " +
               dialog.SettingsWriteFailureReason());
  }
  if (dialog.EventWaitTimedOut()) {
    PrintError("the driver sent no event within " + *args.Value("event-timeout") + " seconds");
  }

  if (!json && !plans.empty()) {
    std::cout << "\nWhat Start would do (nothing was sent to the board):\n";
    for (const ComponentPlan& plan : plans) {
      std::cout << "  " << TraitsOf(plan.component).label << ": package "
                << (plan.packageVersion.empty() ? "-" : ForTerminal(plan.packageVersion))
                << ", installed "
                << (plan.installedText.empty() ? "-" : ForTerminal(plan.installedText)) << " -> "
                << ActionName(plan.action) << "\n";
    }
  }

  if (json) {
    JsonWriter out;
    out.BeginObject();
    out.Key("outcome").String(args.Has("check") && dialog.State() == DialogState::kReady
                                  ? "ready"
                                  : OutcomeName(dialog.State()));
    out.Key("error_code").Number(std::int64_t{dialog.ErrorCode()});
    out.Key("driver_error").Number(std::int64_t{dialog.FailureDriverError()});
    out.Key("driver_error_name").String(CNextDlg::DriverErrorLabel(dialog.FailureDriverError()));
    out.Key("board").String(dialog.BoardId());
    out.Key("problem").String(problem);
    out.Key("reason").String(dialog.FailureReason().text);
    out.Key("ignored_files").BeginArray();
    for (const std::string& name : IgnoredFiles(dialog.ComponentFileChoices())) out.String(name);
    out.EndArray();
    out.Key("retries").BeginObject();
    for (const ComponentTraits& traits : kComponents) {
      out.Key(traits.label).Number(std::int64_t{dialog.RetryCounts()[static_cast<std::size_t>(traits.component)]});
    }
    out.EndObject();
    out.Key("settings_written").Bool(!dialog.SettingsWriteFailed());
    out.Key("settings_error").String(dialog.SettingsWriteFailureReason());
    if (!plans.empty()) {
      out.Key("plan").BeginArray();
      for (const ComponentPlan& plan : plans) {
        out.BeginObject()
            .Key("label").String(TraitsOf(plan.component).label)
            .Key("package").String(plan.packageVersion)
            .Key("installed").String(plan.installedText)
            .Key("action").String(ActionName(plan.action))
            .EndObject();
      }
      out.EndArray();
    }
    out.Key("log").String(dialog.Log());
    out.Key("log_lines").BeginArray();
    for (const std::string& line : LogLines(dialog.Log())) out.String(line);
    out.EndArray();
    out.EndObject();
    std::cout << out.text() << "\n";
  }
  return ExitStatusOf(dialog);
}

}  // namespace kx::cli
