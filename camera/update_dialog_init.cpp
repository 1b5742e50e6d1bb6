// CNextDlg from its opening to the update decision.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "camera/board_list.h"
#include "camera/next_dlg.h"
#include "camera/text_fields.h"
#include "updatedata/version_text.h"

namespace kx {

int CNextDlg::CompareWithInstalled(const std::string& versionName,
                                   const std::string& installedText) {
  const std::string formatted = FormatVersion(versionName);
  const int order = std::strcmp(formatted.c_str(), installedText.c_str());  // unsigned bytes
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}

void CNextDlg::AppendStatus(int id) {
  m_strLog += Text(id);
  m_window.SetLogText(m_strLog);
  m_window.Repaint();
}

void CNextDlg::FailInitialisation(int message, int errorCode, DataFailure reason) {
  m_failureReason = std::move(reason);
  AppendStatus(508);
  m_window.ShowMessage(Text(message), MessageIcon::kError, MessageButtons::kOk);
  m_errorCode = errorCode;
  m_state = DialogState::kStopped;
}

std::string CNextDlg::BoardOpenMessage() const {
  switch (m_openProblem) {
    case BoardOpenProblem::kNone:
      return Text(401);
    case BoardOpenProblem::kBoardNotPresent:
      return FillTextFields(Text(419), {{"board", m_options.boardId.value_or("")}});
    case BoardOpenProblem::kBoardNotChosen: {
      std::string ids;
      for (const std::string& id : SortedBoardChoices(m_boardsPresent)) {
        ids += (ids.empty() ? "" : ", ") + id;
      }
      return FillTextFields(Text(420), {{"boards", ids}});
    }
    case BoardOpenProblem::kBoardNotLocked:
      break;
  }
  using platform::LockStatus;
  const platform::LockAttempt& attempt = m_boardLockAttempt;
  const std::string folder = m_boardLock ? m_boardLock->folder() : std::string();
  const std::string file = m_boardLock ? m_boardLock->path() : std::string();
  const bool system = m_boardLock && m_boardLock->rule() == platform::LockFolderRule::kSystem;
  switch (attempt.status) {
    case LockStatus::kHeld:
      if (attempt.holder) {
        return FillTextFields(Text(411),
                              {{"board", m_boardId}, {"pid", std::to_string(*attempt.holder)}});
      }
      return FillTextFields(Text(413), {{"board", m_boardId}});
    case LockStatus::kFolderRefused:
      switch (attempt.folder.problem) {
        case platform::FolderProblem::kMissing:
          return FillTextFields(Text(414), {{"folder", folder}});
        case platform::FolderProblem::kCannotMake:
        case platform::FolderProblem::kCannotOpen:
          return FillTextFields(Text(418),
                                {{"file", file}, {"error", std::strerror(attempt.folder.error)}});
        default:
          return FillTextFields(Text(415), {{"folder", folder}});
      }
    case LockStatus::kFileRefused:
      return FillTextFields(Text(416), {{"file", file}});
    case LockStatus::kCannotOpen:
      if (system && (attempt.error == EACCES || attempt.error == EPERM)) {
        return FillTextFields(Text(417), {{"board", m_boardId}, {"folder", folder}});
      }
      return FillTextFields(Text(418), {{"file", file}, {"error", std::strerror(attempt.error)}});
    case LockStatus::kAcquired:
      break;
  }
  return Text(401);
}

bool CNextDlg::OnInitDialog() {
  m_state = DialogState::kInitialising;
  m_window.Show();
  m_window.SetButtonTexts(Text(303), Text(302));
  m_window.EnableStart(false);
  m_window.EnableCancel(true);
  if (!m_options.changeNoFiles) {
    for (const ComponentTraits& traits : kComponents) WriteRetryCount(0, traits.label);
  }

  AppendStatus(502);
  if (!OpenCamera()) {
    AppendStatus(508);
    std::int32_t code = 0;
    const bool known = m_driver.CAM_GetLastErrorEx(m_hCamera, 1, &code) != 0;
    m_failureDriverError = code;
    // A driver that cannot even say its last error gets the table's
    // fallback label rather than a made-up code.
    m_strLog += "\r\n(" + (known ? DriverErrorLabel(code) : std::string("error")) + ")";
    m_window.SetLogText(m_strLog);
    m_window.ShowMessage(BoardOpenMessage(), MessageIcon::kError, MessageButtons::kOk);
    m_errorCode = 1;
    m_state = DialogState::kStopped;
    return true;
  }

  AppendStatus(501);
  AppendStatus(503);
  const int files = m_updateData.FindUpdateFiles();
  if (files == 0) {
    std::error_code failed;
    const std::string folder = std::filesystem::current_path(failed).string();
    FailInitialisation(
        403, 3,
        {DataFailureStep::kFindFiles,
         {},
         "no update files in " + (failed ? std::string("the working directory") : folder) +
             ": neither " + kPackageFileName + " nor KXFPGA*.rbf, KXFirm*.s or KXBoot*.s"});
    return true;
  }
  // Without files to change, the rebuilt package stays in memory.
  std::vector<std::uint8_t> merged;
  bool haveMerged = false;
  std::string packageName = kPackageFileName;
  if (files & kComponentFilesPresent) {
    m_componentFileChoices = FindComponentFileChoices();
    // A file that cannot be read is no file of the wrong kind: it is the
    // update file that does not open (03), not a name that lies (08).
    if (const KindCheck kinds = m_updateData.CheckKinds(); !kinds) {
      const bool unreadable = kinds.problem == KindProblem::kCannotRead;
      FailInitialisation(unreadable ? 403 : 408, unreadable ? 3 : 8,
                         {DataFailureStep::kKindCheck, kinds.file, ReasonOf(kinds)});
      return true;
    }
    const RebuildOutcome rebuilt = m_options.changeNoFiles
                                       ? m_updateData.MergePackage(platform::TodayLocal(), merged)
                                       : m_updateData.Rebuild(platform::TodayLocal());
    if (!rebuilt) {
      FailInitialisation(403, 3, {DataFailureStep::kRebuild, rebuilt.file, ReasonOf(rebuilt)});
      return true;
    }
    if (!rebuilt.file.empty()) packageName = rebuilt.file;
    haveMerged = m_options.changeNoFiles;
  }

  AppendStatus(501);
  AppendStatus(504);
  const PackageLoad loaded =
      haveMerged ? m_updateData.LoadPackageFromMemory(merged) : m_updateData.LoadPackageHere();
  std::vector<std::uint8_t>().swap(merged);  // the data set holds its own copy
  if (!loaded.path.empty()) packageName = loaded.path;
  if (!loaded) {
    FailInitialisation(
        403, 3,
        {DataFailureStep::kLoad, packageName,
         haveMerged ? "the package merged in memory does not load: " + DescribePackageLoad(loaded)
                    : ReasonOf(packageName, loaded)});
    return true;
  }
  if (const ChecksumCheck checksum = m_updateData.CheckChecksum(); !checksum) {
    FailInitialisation(404, 4,
                       {DataFailureStep::kChecksum, packageName, ReasonOf(packageName, checksum)});
    return true;
  }
  AppendStatus(501);

  char installed[CAM_VERSION_BUFFER_SIZE] = {};
  for (std::int32_t kind : {CAM_VERSION_FPGA, CAM_VERSION_FPGA, CAM_VERSION_FIRM_APPL}) {
    m_driver.CAM_GetVersionEx(m_hCamera, 1, kind, installed);
  }
  installed[CAM_VERSION_BUFFER_SIZE - 1] = '\0';
  std::int32_t code = 0;
  m_driver.CAM_GetLastErrorEx(m_hCamera, 1, &code);
  m_bFwAreaError = code == kCamCameraFwError ? 1 : 0;

  if (CompareWithInstalled(m_updateData.GetFirmApplVersion(), installed) == 1 || m_bFwAreaError) {
    char boot[CAM_VERSION_BUFFER_SIZE] = {};
    m_driver.CAM_GetVersionEx(m_hCamera, 1, CAM_VERSION_FIRM_BOOT, boot);
    m_window.SetStatusText(Text(204));
    m_window.EnableStart(true);
    m_window.Repaint();
    m_state = DialogState::kReady;
    return true;
  }
  m_window.ShowMessage(Text(410), MessageIcon::kWarning, MessageButtons::kOk);
  m_state = DialogState::kNotNeeded;
  m_window.EndDialog(DialogResult::kOk);
  return true;
}

}  // namespace kx
