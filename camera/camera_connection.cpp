// CNextDlg's connection to one board: open, events, wait.
#include <algorithm>
#include <cstring>

#include "camera/board_list.h"
#include "camera/next_dlg.h"

namespace kx {

int CNextDlg::OpenCamera() {
  std::vector<std::string> boards;
  const bool enumerated = EnumerateBoards(m_driver, boards) != 0;
  m_boardsPresent = boards;
  const auto present = [&](const std::string& id) {
    return std::find(boards.begin(), boards.end(), id) != boards.end();
  };
  if (m_options.boardId && !present(*m_options.boardId)) {
    // Also when the driver found no board at all: the board asked for is
    // the one the message names.
    m_openProblem = BoardOpenProblem::kBoardNotPresent;
    return 0;
  }
  if (!enumerated) return 0;

  // With no board of the model the empty id goes to the driver, which then
  // reports the error the dialog shows.
  std::string chosen = boards.empty() ? std::string() : boards.front();
  if (m_options.boardId) {
    chosen = *m_options.boardId;
  } else if (boards.size() > 1) {
    if (!m_options.canChooseBoard) {
      m_openProblem = BoardOpenProblem::kBoardNotChosen;
      return 0;
    }
    auto choice = m_window.ChooseBoard(SortedBoardChoices(boards));
    if (!choice) return 0;
    chosen = *choice;
  }

  // One update per board at a time, across processes: the lock is held
  // for the dialog's whole life.
  m_boardId = chosen;
  if (m_options.lockBoard && !chosen.empty()) {
    const BoardLockRule rule = m_options.boardLock ? *m_options.boardLock : BoardLockRuleFor(m_driver);
    const BoardLockPlace place = BoardLockPlaceFor(rule, chosen);
    m_boardLock = std::make_unique<platform::NamedLock>(place.folder, place.fileName, place.folderRule);
    m_boardLockAttempt = m_boardLock->TryAcquire();
    if (m_boardLockAttempt.status != platform::LockStatus::kAcquired) {
      m_openProblem = BoardOpenProblem::kBoardNotLocked;
      return 0;
    }
  }

  char id[kBoardIdSize] = {};
  std::strncpy(id, chosen.c_str(), kBoardIdSize - 1);
  m_hCamera = m_driver.CAM_CreateCameraEx(id, 1);
  std::int32_t code = 0;
  if (m_driver.CAM_GetLastErrorEx(m_hCamera, 1, &code) == 0 || code != 0) return 0;
  m_driver.CAM_RegisterCallbackEx(m_hCamera, &CNextDlg::OnDriverEvent, this);
  m_driver.CAM_SetTimeoutEx(m_hCamera, 1, 0);
  m_window.ShowBoard(chosen);
  return 1;
}

void CNextDlg::OnDriverEvent(std::int32_t, std::int32_t type, std::int32_t value, std::int32_t,
                             std::int32_t status, void* context) {
  g_driverEventState.Store({type, value, status});
  if (!IsWakingEvent(type) || context == nullptr) return;
  auto* dialog = static_cast<CNextDlg*>(context);
  dialog->m_events.Push({type, value, status});
  dialog->m_hDriverEvent->Signal();
}

int CNextDlg::WaitForDriverEvent() {
  m_eventWaitTimedOut = false;
  for (;;) {
    if (auto event = m_events.TryPop()) {
      m_currentEvent = *event;
      if (CarriesProgress(event->type)) m_lastEventCode = event->status;
      return 1;
    }
    switch (m_window.WaitForSignal(*m_hDriverEvent, m_options.eventTimeout)) {
      case WaitOutcome::kSignalled:
        continue;  // the event is queued by now
      case WaitOutcome::kQuit:
        // As a quit message always did: the wait ends as if signalled, and
        // the run sees whatever the callback stored last, all three values
        // from the same store.
        m_currentEvent = g_driverEventState.Load();
        m_lastEventCode = m_currentEvent.status;
        return 1;
      case WaitOutcome::kTimedOut:
        if (auto late = m_events.TryPop()) {
          m_currentEvent = *late;
          if (CarriesProgress(late->type)) m_lastEventCode = late->status;
          return 1;
        }
        m_eventWaitTimedOut = true;
        return 0;
    }
  }
}

}  // namespace kx
