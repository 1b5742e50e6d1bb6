// CStartDlg: the wizard's first page.
#pragma once

#include <QDialog>
#include <functional>

#include "res/string_table.h"

namespace Ui {
class StartDlg;
}

namespace kx::app {

// Tells what the update does and what to take care of; Next hides it and
// runs the update dialog, after which it ends with OK; Cancel, Esc and the
// close box end it at once. This platform's window managers offer no
// system menu an application can extend, so the About command is a button.
class CStartDlg : public QDialog {
  Q_OBJECT

 public:
  // `runUpdateDialog` runs the update dialog modally and returns when it has
  // closed, whatever its ending.
  CStartDlg(Language language, std::function<void()> runUpdateDialog, QWidget* parent = nullptr);
  ~CStartDlg() override;

 private:
  void OnNext();
  void OnAbout();

  Ui::StartDlg* ui_;
  std::function<void()> runUpdateDialog_;
};

}  // namespace kx::app
