#include "cli/terminal_window.h"

#include <ctime>
#include <iostream>
#include <sys/time.h>

namespace kx::cli {
namespace {

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

}  // namespace

TerminalWindow::TerminalWindow(TerminalAnswers answers, std::FILE* out, bool drawBar)
    : answers_(std::move(answers)), out_(out), drawBar_(drawBar) {}

void TerminalWindow::ClearBar() {
  if (!barVisible_) return;
  std::fprintf(out_, "\r\033[K%s", openLine_.c_str());
  barVisible_ = false;
}

void TerminalWindow::LogLine(const std::string& line) {
  if (answers_.logFile.empty()) return;
  if (std::FILE* file = std::fopen(answers_.logFile.c_str(), "a")) {
    // A message of several lines gets the stamp on each: every line of the
    // file starts with its time.
    const std::string stamp = Timestamp();
    for (std::size_t from = 0;;) {
      const std::size_t end = line.find('\n', from);
      std::fprintf(file, "%s %s\n", stamp.c_str(), line.substr(from, end - from).c_str());
      if (end == std::string::npos) break;
      from = end + 1;
    }
    std::fclose(file);
  }
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
  std::fprintf(out_, "\r\033[K%s %s%s", openLine_.c_str(), bar.c_str(), progress.c_str());
  std::fflush(out_);
  barVisible_ = true;
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
  const char* kind = "Warning";  // a message without an icon shows the warning icon
  switch (icon) {
    case MessageIcon::kError: kind = "Error"; break;
    case MessageIcon::kQuestion: kind = "Question"; break;
    case MessageIcon::kInformation: kind = "Information"; break;
    case MessageIcon::kWarning:
    case MessageIcon::kNone: break;
  }
  std::fprintf(out_, "\n%s:\n%s\n", kind, text.c_str());
  LogLine(std::string(kind) + ": " + text);
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
  if (!std::getline(std::cin, reply)) reply.clear();
  return (reply == "y" || reply == "Y" || reply == "yes") ? MessageAnswer::kYes : MessageAnswer::kNo;
}

std::optional<std::string> TerminalWindow::ChooseBoard(const std::vector<std::string>& ids) {
  // A board named with --board never comes here: the dialog takes it, or
  // refuses it when it is not present, without asking.
  BreakLine();
  if (!answers_.interactive) {
    choiceProblem_ = "several boards are present and no terminal to choose one: use --board ID";
    return std::nullopt;
  }
  std::fprintf(out_, "\nBoards:\n");
  for (std::size_t i = 0; i < ids.size(); ++i) std::fprintf(out_, "  %zu) %s\n", i + 1, ids[i].c_str());
  std::fprintf(out_, "Choose a board [1]: ");
  std::fflush(out_);
  std::string reply;
  if (!std::getline(std::cin, reply)) {
    choiceProblem_ = "the board choice was cancelled";
    return std::nullopt;
  }
  if (reply.empty()) return ids.front();
  char* end = nullptr;
  long n = std::strtol(reply.c_str(), &end, 10);
  if (*end == '\0' && n >= 1 && n <= static_cast<long>(ids.size())) return ids[n - 1];
  choiceProblem_ = "no board numbered '" + reply + "'";
  return std::nullopt;
}

WaitOutcome TerminalWindow::WaitForSignal(platform::AutoResetEvent& event,
                                          std::optional<std::chrono::milliseconds> timeout) {
  if (timeout) return event.WaitFor(*timeout) ? WaitOutcome::kSignalled : WaitOutcome::kTimedOut;
  event.Wait();
  return WaitOutcome::kSignalled;
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
