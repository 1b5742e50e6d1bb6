// kxupdate update: the wizard's update flow in a terminal.
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <iostream>

#include "camera/next_dlg.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/terminal_window.h"

namespace kx::cli {
namespace {

// A declined older version: the run stopped before writing it.
constexpr int kExitDeclined = 10;

const char* const kUpdateUsage =
    "usage: kxupdate update [--board ID] [--yes|--no] [--check] [--json]\n"
    "                       [--log-file FILE] [--event-timeout SECONDS]\n";

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

// While the components are written nothing the user does stops the run:
// an interrupted write can leave a board that does not start.
class InterruptsHeldOff {
 public:
  InterruptsHeldOff() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &previousInt_);
    sigaction(SIGTERM, &ignore, &previousTerm_);
  }
  ~InterruptsHeldOff() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
  }

 private:
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

}  // namespace

int RunUpdateCommand(const std::vector<std::string>& words, const GlobalOptions& global) {
  Arguments args(words, {"yes", "no", "check", "json"}, {"board", "log-file", "event-timeout"});
  if (!args.ok() || !args.positional().empty() || (args.Has("yes") && args.Has("no"))) {
    PrintError(!args.ok() ? args.error()
               : args.Has("yes") && args.Has("no") ? "--yes and --no exclude each other"
                                                   : "update takes no arguments");
    std::cerr << kUpdateUsage;
    return kExitUsage;
  }
  NextDlgOptions options;
  options.language = global.LanguageOrDefault();
  options.changeNoFiles = args.Has("check");
  if (auto seconds = args.Value("event-timeout")) {
    char* end = nullptr;
    double value = std::strtod(seconds->c_str(), &end);
    if (seconds->empty() || *end != '\0' || !(value > 0) || !std::isfinite(value)) {
      PrintError("--event-timeout wants a positive number of seconds, not '" + *seconds + "'");
      return kExitUsage;
    }
    options.eventTimeout = std::chrono::milliseconds(static_cast<long long>(std::ceil(value * 1000)));
  }

  auto driver = LoadDriver(global.driver);
  if (!driver) return kExitNoDriver;

  TerminalAnswers answers;
  if (args.Has("yes")) answers.downgrade = true;
  if (args.Has("no")) answers.downgrade = false;
  answers.board = args.Value("board");
  answers.interactive = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
  answers.logFile = args.Value("log-file").value_or("");
  const bool json = args.Has("json");
  // With --json the log goes to standard error, so that standard output
  // holds the one final object.
  TerminalWindow window(answers, json ? stderr : stdout, !json && isatty(STDOUT_FILENO));

  CNextDlg dialog(*driver, window, options);
  dialog.OnInitDialog();

  std::vector<ComponentPlan> plans;
  if (dialog.State() == DialogState::kReady) {
    if (args.Has("check")) {
      plans = dialog.PlanRun();
    } else {
      InterruptsHeldOff heldOff;
      dialog.OnStart();
    }
  }
  window.Finish();

  if (!window.choiceProblem().empty()) PrintError(window.choiceProblem());
  if (dialog.BoardLockRefused()) {
    PrintError("board " + dialog.BoardId() + " is being updated by " +
               (dialog.BoardLockHolder() ? "process " + std::to_string(*dialog.BoardLockHolder())
                                         : std::string("another process")));
  }
  if (dialog.EventWaitTimedOut()) {
    PrintError("the driver sent no event within " + *args.Value("event-timeout") + " seconds");
  }

  if (!json && !plans.empty()) {
    std::cout << "\nWhat Start would do (nothing was sent to the board):\n";
    for (const ComponentPlan& plan : plans) {
      std::cout << "  " << TraitsOf(plan.component).label << ": package "
                << (plan.packageVersion.empty() ? "-" : plan.packageVersion) << ", installed "
                << (plan.installedText.empty() ? "-" : plan.installedText) << " -> "
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
    out.Key("retries").BeginObject();
    for (const ComponentTraits& traits : kComponents) {
      out.Key(traits.label).Number(std::int64_t{dialog.RetryCounts()[static_cast<std::size_t>(traits.component)]});
    }
    out.EndObject();
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
    out.EndObject();
    std::cout << out.text() << "\n";
  }
  return ExitStatusOf(dialog);
}

}  // namespace kx::cli
