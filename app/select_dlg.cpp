#include "app/select_dlg.h"

#include <algorithm>

#include <QPushButton>

#include "app/app_icon.h"
#include "ui_select_dlg.h"

namespace kx::app {

CSelectDlg::CSelectDlg(const std::vector<std::string>& boardIds, Language language, QWidget* parent)
    : QDialog(parent), ui_(new Ui::SelectDlg) {
  ui_->setupUi(this);
  setWindowIcon(ApplicationIcon());
  setWindowTitle(QString::fromStdString(LoadString(601, language)));
  ui_->text1012->setText(QString::fromStdString(LoadString(206, language)));
  std::vector<std::string> sorted = boardIds;
  std::sort(sorted.begin(), sorted.end());
  for (const std::string& id : sorted) ui_->board1013->addItem(QString::fromStdString(id));
  ui_->board1013->setEnabled(sorted.size() >= 2);
  ui_->board1013->setCurrentIndex(sorted.empty() ? -1 : 0);
  connect(ui_->okButton, &QPushButton::clicked, this, &CSelectDlg::OnChoose);
}

CSelectDlg::~CSelectDlg() { delete ui_; }

void CSelectDlg::OnChoose() {
  // With an empty list there is nothing to choose: OK then does nothing.
  if (ui_->board1013->currentIndex() < 0) return;
  m_strBoard = ui_->board1013->currentText().toStdString();
  accept();
}

}  // namespace kx::app
