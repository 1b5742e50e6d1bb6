// CSelectDlg: the choice of one board among several.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "res/string_table.h"

namespace Ui {
class SelectDlg;
}

namespace kx::app {

// A drop-down list of the ids in ascending order, the first preselected and
// the list disabled with fewer than two; OK chooses; Esc and the close box
// cancel (there is no Cancel button).
class CSelectDlg : public QDialog {
  Q_OBJECT

 public:
  CSelectDlg(const std::vector<std::string>& boardIds, Language language, QWidget* parent = nullptr);
  ~CSelectDlg() override;

  // The id chosen with OK; empty before.
  std::string GetSelectedBoard() const { return m_strBoard; }

 private:
  void OnChoose();

  Ui::SelectDlg* ui_;
  std::string m_strBoard;
};

}  // namespace kx::app
