#include "tests/recording_window.h"

#include <algorithm>

namespace kx::testing {

void RecordingWindow::SetLogText(const std::string& text) {
  log = text;
  logViews.push_back(text);
}

void RecordingWindow::SetButtonTexts(const std::string& start, const std::string& cancel) {
  startText = start;
  cancelText = cancel;
}

MessageAnswer RecordingWindow::ShowMessage(const std::string& text, MessageIcon icon,
                                           MessageButtons buttons) {
  messages.push_back({text, icon, buttons});
  if (buttons == MessageButtons::kOk) return MessageAnswer::kOk;
  if (answers.empty()) return MessageAnswer::kNo;
  MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<std::string> RecordingWindow::ChooseBoard(const std::vector<std::string>& ids) {
  boardLists.push_back(ids);
  return boardChoice;
}

WaitOutcome RecordingWindow::WaitForSignal(platform::AutoResetEvent& event,
                                           std::optional<std::chrono::milliseconds> timeout) {
  ++waits;
  auto limit = timeout ? std::min(*timeout, waitCap) : waitCap;
  return event.WaitFor(limit) ? WaitOutcome::kSignalled : WaitOutcome::kTimedOut;
}

}  // namespace kx::testing
