// CNextDlg::OnStart: the components written one after another.
#include <cstdio>

#include "camera/next_dlg.h"
#include "camera/text_fields.h"

namespace kx {
namespace {

CamComponentImage ToDriverImage(const ComponentImage& image) {
  CamComponentImage descriptor{};
  for (int i = 0; i < 4; ++i) descriptor.tag[i] = image.tag[i];
  descriptor.kind = image.kind;
  descriptor.size = image.size;
  descriptor.data = image.data;
  return descriptor;
}

}  // namespace

ComponentPlan CNextDlg::PlanComponent(const RunStep& step) {
  ComponentPlan plan{step.component, m_updateData.VersionOf(step.component), "", RunAction::kSkip};
  if (m_updateData.ImageOf(step.component).size == 0) return plan;
  char installed[CAM_VERSION_BUFFER_SIZE] = {};
  m_driver.CAM_GetVersionEx(m_hCamera, 1, step.versionKind, installed);
  installed[CAM_VERSION_BUFFER_SIZE - 1] = '\0';
  plan.installedText = installed;
  plan.action = step.asksBeforeOlder && CompareWithInstalled(plan.packageVersion, installed) <= 0
                    ? RunAction::kAsk
                    : RunAction::kWrite;
  return plan;
}

std::vector<ComponentPlan> CNextDlg::PlanRun() {
  std::vector<ComponentPlan> plans;
  if (m_state != DialogState::kReady) return plans;
  for (const RunStep& step : kRunSteps) plans.push_back(PlanComponent(step));
  return plans;
}

bool CNextDlg::AwaitEvent(std::int32_t type) {
  // A wait that timed out fails the run; otherwise the event's type decides.
  return WaitForDriverEvent() == 1 && m_currentEvent.type == type;
}

void CNextDlg::ReportUpdateFailure() {
  AppendStatus(508);
  m_failureDriverError = m_lastEventCode;
  m_strLog += "\r\n(" + DriverErrorLabel(m_lastEventCode) + ")";
  if (m_eventWaitTimedOut && m_options.eventTimeout) {
    const auto seconds = std::chrono::duration<double>(*m_options.eventTimeout).count();
    char figure[32];
    std::snprintf(figure, sizeof figure, "%g", seconds);
    m_strLog += "\r\n" + FillTextFields(Text(412), {{"seconds", figure}});
  }
  AppendSettingsWarning();
  m_window.SetLogText(m_strLog);
  m_window.SetStatusText(Text(207));
  m_window.EnableCancel(true);
  m_errorCode = 6;
  m_state = DialogState::kFailed;
  m_window.ShowMessage(Text(406), MessageIcon::kError, MessageButtons::kOk);
}

void CNextDlg::EndCancelled() {
  AppendStatus(509);
  if (AppendSettingsWarning()) m_window.SetLogText(m_strLog);
  m_window.SetStatusText(Text(207));
  m_window.EnableCancel(true);
  m_state = DialogState::kCancelled;
}

void CNextDlg::OnStart() {
  if (m_state != DialogState::kReady) return;  // one run per dialog, and only when ready
  m_state = DialogState::kRunning;
  m_window.EnableStart(false);
  m_window.EnableCancel(false);
  // Nothing from before Start may wake the first wait.
  m_hDriverEvent->Reset();
  m_events.Clear();
  m_window.SetStatusText(Text(205));

  std::int32_t mode = 0;
  ReadBehaviorMode(mode);
  m_driver.CAM_EST_SetBehaviorModeEx(m_hCamera, 1, mode, 0);

  for (const RunStep& step : kRunSteps) {
    const std::size_t c = static_cast<std::size_t>(step.component);
    g_nEventType = 18;
    g_nEventProgress = 0;
    std::int32_t retries = 0;
    m_retryCounts[c] = 0;

    const ComponentImage image = m_updateData.ImageOf(step.component);
    if (image.size == 0) continue;
    AppendStatus(step.logString);
    const ComponentPlan plan = PlanComponent(step);
    if (plan.action == RunAction::kAsk &&
        m_window.ShowMessage(Text(405), MessageIcon::kQuestion, MessageButtons::kYesNo) !=
            MessageAnswer::kYes) {
      EndCancelled();
      return;
    }

    // Each retried packet's count is written at once but not flushed: a
    // flush per packet would cost more than the packets. The component's
    // last write, however it ends, puts its count on disk.
    const std::string& key = kComponents[c].label;
    const auto failed = [&] {
      WriteRetryCount(retries, key);
      ReportUpdateFailure();
    };
    // The descriptor stays put until the component's last event: the
    // driver reads the image through it while it writes.
    const CamComponentImage descriptor = ToDriverImage(image);
    if (m_driver.CAM_EST_UpdateEx(m_hCamera, 0, &descriptor) == 0 || !AwaitEvent(14) ||
        !AwaitEvent(15)) {
      failed();
      return;
    }
    std::int32_t progress = 0;
    while (progress != 100) {
      if (!AwaitEvent(17)) {
        failed();
        return;
      }
      progress = m_currentEvent.value;
      if (m_currentEvent.status != 0) {
        m_retryCounts[c] = ++retries;
        WriteRetryCount(retries, key, platform::Durability::kAtomicOnly);
      }
      char percent[32];
      std::snprintf(percent, sizeof percent, "%d[%%]", progress);
      m_window.ShowProgress(m_strLog + percent, progress);
      m_window.Repaint();
    }
    WriteRetryCount(retries, key);
    AppendStatus(501);
    if (AppendSettingsWarning()) m_window.SetLogText(m_strLog);
  }

  if (AppendSettingsWarning()) m_window.SetLogText(m_strLog);  // one from before the run
  m_window.SetStatusText("");
  m_state = DialogState::kCompleted;
  m_window.ShowMessage(Text(107), MessageIcon::kInformation, MessageButtons::kOk);
  m_window.EndDialog(DialogResult::kOk);
}

}  // namespace kx
