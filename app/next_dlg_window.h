// The update dialog's window: a Qt dialog that shows what CNextDlg says and
// hands it the user's Start. It holds no rule of the update.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>

#include "camera/next_dlg.h"
#include "camera/update_dialog_window.h"

namespace Ui {
class NextDlg;
}

namespace kx::app {

class CNextDlgWindow : public QDialog, public UpdateDialogWindow {
  Q_OBJECT

 public:
  // The driver must outlive the window.
  CNextDlgWindow(CameraDriver& driver, NextDlgOptions options, QWidget* parent = nullptr);
  ~CNextDlgWindow() override;

  // Runs the dialog's initialisation, then its modal loop unless the
  // initialisation already ended it (update not needed). The dialog's result.
  int RunModal();

  CNextDlg& logic() { return *m_logic; }

  // UpdateDialogWindow
  void Show() override;
  void SetLogText(const std::string& text) override;
  void ShowProgress(const std::string& logWithProgress, std::int32_t percent) override;
  void ShowBoard(const std::string& boardId) override;
  void SetStatusText(const std::string& text) override;
  void SetButtonTexts(const std::string& start, const std::string& cancel) override;
  void EnableStart(bool on) override;
  void EnableCancel(bool on) override;
  void Repaint() override;
  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<std::string> ChooseBoard(const std::vector<std::string>& ids) override;
  WaitOutcome WaitForSignal(platform::AutoResetEvent& event,
                            std::optional<std::chrono::milliseconds> timeout) override;
  void EndDialog(DialogResult result) override;

 public slots:
  // Esc, Cancel and the close box; ignored while the components are written.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnStartClicked();
  bool Running() const;

  Ui::NextDlg* ui_;
  Language language_;
  std::unique_ptr<CNextDlg> m_logic;  // destroyed first: it deletes the camera
  std::optional<int> endedWith_;
};

}  // namespace kx::app
