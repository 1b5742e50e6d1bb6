// CNextDlg's connection to one board: open, events, wait.
#include <cstring>

#include "camera/board_list.h"
#include "camera/next_dlg.h"

namespace kx {

int CNextDlg::OpenCamera() {
  std::vector<std::string> boards;
  if (EnumerateBoards(m_driver, boards) == 0) return 0;

  // With no board of the model the empty id goes to the driver, which then
  // reports the error the dialog shows.
  std::string chosen = boards.empty() ? std::string() : boards.front();
  if (boards.size() > 1) {
    auto choice = m_window.ChooseBoard(SortedBoardChoices(boards));
    if (!choice) return 0;
    chosen = *choice;
  }

  // One update per board at a time, across processes: the lock is held
  // for the dialog's whole life.
  if (m_options.lockBoard && !chosen.empty()) {
    auto lock = std::make_unique<platform::NamedLock>("board-" + chosen);
    if (!lock->TryAcquire()) {
      m_boardLockRefused = true;
      m_boardLockHolder = lock->HolderPid();
      m_boardId = chosen;
      return 0;
    }
    m_boardLock = std::move(lock);
  }
  m_boardId = chosen;

  char id[kBoardIdSize] = {};
  std::strncpy(id, chosen.c_str(), kBoardIdSize - 1);
  m_hCamera = m_driver.CAM_CreateCameraEx(id, 1);
  std::int32_t code = 0;
  if (m_driver.CAM_GetLastErrorEx(m_hCamera, 1, &code) == 0 || code != 0) return 0;
  m_driver.CAM_RegisterCallbackEx(m_hCamera, &CNextDlg::OnDriverEvent, this);
  m_driver.CAM_SetTimeoutEx(m_hCamera, 1, 0);
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
