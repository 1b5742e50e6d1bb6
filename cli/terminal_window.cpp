#include "cli/terminal_window.h"

#include <sys/time.h>

#include <algorithm>
#include <charconv>
#include <ctime>

#include "camera/run_steps.h"
#include "camera/text_fields.h"
#include "cli/interrupt_watch.h"
#include "cli/log_file.h"
#include "cli/terminal_input.h"
#include "cli/terminal_text.h"

namespace kx::cli {
namespace {

// While interrupts are watched, a wait for the driver wakes this often to
// take them: the notice comes within this time of the key.
constexpr std::chrono::milliseconds kInterruptSlice{100};

std::string Timestamp() {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm parts{};
  localtime_r(&now.tv_sec, &parts);
  char text[64];
  std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  std::snprintf(text + n, sizeof text - n, ".%03ld", static_cast<long>(now.tv_usec / 1000));
  return text;
}

std::string WithLf(std::string text) {
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
    text.erase(at, 1);
  }
  return text;
}

// The string-table heading of a message with `icon`; a message without an
// icon shows the warning icon.
int HeadingId(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kQuestion: return 440;
    case MessageIcon::kError: return 442;
    case MessageIcon::kInformation: return 443;
    case MessageIcon::kWarning:
    case MessageIcon::kNone: break;
  }
  return 441;
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

TerminalWindow::TerminalWindow(TerminalAnswers answers, Language language, std::FILE* out,
                               bool drawBar, std::FILE* notices)
    : answers_(std::move(answers)),
      language_(language),
      out_(out),
      drawBar_(drawBar),
      notices_(notices) {}

void TerminalWindow::ClearBar() {
  if (!barVisible_) return;
  // The bar's line becomes the open line again, shown whole.
  std::fprintf(out_, "\r\033[K%s", openLine_.c_str());
  barVisible_ = false;
  lineBroken_ = false;
}

void TerminalWindow::LogLine(const std::string& line) {
  if (answers_.logFile == nullptr) return;
  // A message of several lines gets the stamp on each: every line of the
  // file starts with its time.
  const std::string stamp = Timestamp();
  std::string lines;
  for (std::size_t from = 0;;) {
    const std::size_t end = line.find('\n', from);
    lines += stamp + " " + line.substr(from, end - from) + "\n";
    if (end == std::string::npos) break;
    from = end + 1;
  }
  answers_.logFile->Append(lines);
}

void TerminalWindow::Write(const std::string& text) {
  // On a terminal the open line is printed as it grows; elsewhere only
  // whole lines are, so that progress lines never split a log line.
  for (char c : WithLf(text)) {
    if (drawBar_ && lineBroken_) {
      // Other output cut the line: show it again from its start.
      std::fputs(openLine_.c_str(), out_);
      lineBroken_ = false;
    }
    if (c == '\n') {
      if (!drawBar_) std::fputs(openLine_.c_str(), out_);
      std::fputc('\n', out_);
      LogLine(openLine_);
      openLine_.clear();
      brokenAt_ = 0;
    } else {
      openLine_ += c;
      if (drawBar_) std::fputc(c, out_);
    }
  }
  std::fflush(out_);
}

void TerminalWindow::BreakLine() {
  ClearBar();
  if (drawBar_) {
    if (!openLine_.empty() && !lineBroken_) {
      std::fputc('\n', out_);
      lineBroken_ = true;
    }
  } else if (openLine_.size() > brokenAt_) {
    std::fprintf(out_, "%s\n", openLine_.c_str());
    brokenAt_ = openLine_.size();
  }
  std::fflush(out_);
}

void TerminalWindow::SetLogText(const std::string& text) {
  ClearBar();
  if (text.compare(0, shown_.size(), shown_) == 0) {
    Write(text.substr(shown_.size()));
  } else {
    // The log never shrinks; should it, show it whole from a fresh line.
    if (!openLine_.empty()) Write("\n");
    Write(text);
  }
  shown_ = text;
}

void TerminalWindow::ShowProgress(const std::string& logWithProgress, std::int32_t percent) {
  NoticeInterrupts();
  const std::string progress = logWithProgress.substr(shown_.size());
  if (!drawBar_) {
    BreakLine();
    std::fprintf(out_, "%s\n", progress.c_str());
    std::fflush(out_);
    return;
  }
  constexpr int kWidth = 30;
  int filled = percent < 0 ? 0 : percent > 100 ? kWidth : percent * kWidth / 100;
  std::string bar = "[" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "] ";
  // The cursor is at the end of the open line, or at the start of a fresh
  // line below other output (a question and its answer, a status line):
  // either way the line is drawn anew from its start, and once drawn the
  // open line is whole on it again, so nothing that follows repeats it.
  std::fprintf(out_, "\r\033[K%s %s%s", openLine_.c_str(), bar.c_str(), progress.c_str());
  std::fflush(out_);
  barVisible_ = true;
  lineBroken_ = false;
}

void TerminalWindow::SetStatusText(const std::string& text) {
  if (text.empty()) return;
  BreakLine();
  std::fprintf(out_, "[%s]\n", text.c_str());
  std::fflush(out_);
}

MessageAnswer TerminalWindow::ShowMessage(const std::string& text, MessageIcon icon,
                                          MessageButtons buttons) {
  BreakLine();
  const std::string heading = Text(HeadingId(icon));
  // The text as the string table gives it; only what was filled into it (a
  // board id, a file name) can hold control characters, and those are shown
  // escaped.
  std::fprintf(out_, "\n%s\n%s\n", heading.c_str(), ForTerminalLines(text).c_str());
  LogLine(heading + " " + text);
  if (buttons == MessageButtons::kOk) {
    std::fflush(out_);
    return MessageAnswer::kOk;
  }
  if (answers_.downgrade) {
    std::fprintf(out_, "[y/N] %s (answered by %s)\n", *answers_.downgrade ? "y" : "n",
                 *answers_.downgrade ? "--yes" : "--no");
    return *answers_.downgrade ? MessageAnswer::kYes : MessageAnswer::kNo;
  }
  if (!answers_.interactive) {
    // Nobody to ask: an older version is never written unattended.
    std::fprintf(out_, "[y/N] n (no terminal to ask and neither --yes nor --no)\n");
    return MessageAnswer::kNo;
  }
  std::fprintf(out_, "[y/N] ");
  std::fflush(out_);
  std::string reply;
  const int interruptFd = interrupts_ != nullptr ? interrupts_->fd() : -1;
  switch (ReadAnswerLine(answers_.input, interruptFd, reply)) {
    case LineRead::kLine:
      break;
    case LineRead::kInterrupted:
      // An interrupt at the question is the answer No, at once: nothing
      // is being written yet.
      interrupts_->TakeInterrupts();
      std::fprintf(out_, "\nn (interrupted)\n");
      std::fflush(out_);
      return MessageAnswer::kNo;
    case LineRead::kEnd:
      std::fputc('\n', out_);  // the cursor stood after the prompt
      reply.clear();
      break;
  }
  return (reply == "y" || reply == "Y" || reply == "yes") ? MessageAnswer::kYes : MessageAnswer::kNo;
}

std::optional<std::string> TerminalWindow::ChooseBoard(const std::vector<std::string>& ids) {
  // Only asked on a terminal: without one the dialog is told that nobody
  // can choose (NextDlgOptions::canChooseBoard) and refuses by itself, as it
  // takes a board named with --board without asking.
  BreakLine();
  std::fprintf(out_, "\n%s\n", Text(601).c_str());
  for (std::size_t i = 0; i < ids.size(); ++i) {
    std::fprintf(out_, "  %zu) %s\n", i + 1, ForTerminal(ids[i]).c_str());
  }
  const std::string count = std::to_string(ids.size());
  for (int attempt = 1;; ++attempt) {
    std::fputs(FillTextFields(Text(445), {{"count", count}}).c_str(), out_);
    std::fflush(out_);
    std::string reply;
    if (ReadAnswerLine(answers_.input, -1, reply) != LineRead::kLine) {
      std::fputc('\n', out_);
      choiceProblem_ = "the board choice was cancelled";
      return std::nullopt;
    }
    const std::string answer = Trimmed(reply);
    if (answer.empty()) return ids.front();
    // A number is decimal digits alone; one past what fits is past the end.
    std::size_t number = 0;
    const char* end = answer.data() + answer.size();
    const auto [stop, error] = std::from_chars(answer.data(), end, number);
    const bool digits = stop == end && std::all_of(answer.begin(), answer.end(), [](char c) {
      return c >= '0' && c <= '9';
    });
    if (digits && error == std::errc() && number >= 1 && number <= ids.size()) {
      return ids[number - 1];
    }
    const std::string why =
        FillTextFields(Text(digits ? 446 : 447), {{"answer", answer}, {"count", count}});
    std::fprintf(out_, "%s\n", ForTerminal(why).c_str());
    if (attempt == kBoardChoiceTries) {
      choiceProblem_ = "no board was chosen: " + std::to_string(kBoardChoiceTries) +
                       " answers named none of the " + count + " boards";
      return std::nullopt;
    }
  }
}

WaitOutcome TerminalWindow::WaitForSignal(platform::AutoResetEvent& event,
                                          std::optional<std::chrono::milliseconds> timeout) {
  if (interrupts_ == nullptr || interrupts_->fd() < 0) {
    if (timeout) return event.WaitFor(*timeout) ? WaitOutcome::kSignalled : WaitOutcome::kTimedOut;
    event.Wait();
    return WaitOutcome::kSignalled;
  }
  // The wait goes in slices, so that an interrupt is told while the driver
  // is still busy; the limit stays that of the whole wait.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = timeout ? Clock::now() + *timeout : Clock::time_point::max();
  for (;;) {
    NoticeInterrupts();
    std::chrono::milliseconds slice = kInterruptSlice;
    if (timeout) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left <= std::chrono::milliseconds::zero()) {
        return event.TryWait() ? WaitOutcome::kSignalled : WaitOutcome::kTimedOut;
      }
      slice = std::min(slice, left);
    }
    if (event.WaitFor(slice)) return WaitOutcome::kSignalled;
  }
}

std::string TerminalWindow::WrittenLabel() const {
  std::size_t latest = 0;
  std::string label;
  for (const RunStep& step : kRunSteps) {
    const std::size_t at = shown_.rfind(Text(step.logString));
    if (at != std::string::npos && (label.empty() || at >= latest)) {
      latest = at;
      label = TraitsOf(step.component).label;
    }
  }
  return label;
}

void TerminalWindow::NoticeInterrupts() {
  if (interrupts_ == nullptr || !interrupts_->TakeInterrupts() || interruptNoticed_) return;
  interruptNoticed_ = true;
  const std::string notice = FillTextFields(Text(444), {{"label", WrittenLabel()}});
  BreakLine();
  std::fprintf(notices_, "%s\n", ForTerminal(notice).c_str());
  std::fflush(notices_);
  LogLine(notice);
}

void TerminalWindow::Finish() {
  ClearBar();
  if (!openLine_.empty()) {
    if (drawBar_ ? !lineBroken_ : openLine_.size() > brokenAt_) {
      if (!drawBar_) std::fputs(openLine_.c_str(), out_);
      std::fputc('\n', out_);
    }
    LogLine(openLine_);
    openLine_.clear();
    lineBroken_ = false;
    brokenAt_ = 0;
  }
  std::fflush(out_);
}

}  // namespace kx::cli
