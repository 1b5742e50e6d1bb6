// CAboutDlg: the About box, in Japanese whatever the user-interface language.
#pragma once

#include <QDialog>

namespace Ui {
class AboutDlg;
}

namespace kx::app {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
  ~CAboutDlg() override;

 private:
  Ui::AboutDlg* ui_;
};

}  // namespace kx::app
