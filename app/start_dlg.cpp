#include "app/start_dlg.h"

#include <QPushButton>

#include "app/about_dlg.h"
#include "app/app_icon.h"
#include "ui_start_dlg.h"

namespace kx::app {
namespace {

QString Text(int id, Language language) { return QString::fromStdString(LoadString(id, language)); }

}  // namespace

CStartDlg::CStartDlg(Language language, std::function<void()> runUpdateDialog, QWidget* parent)
    : QDialog(parent), ui_(new Ui::StartDlg), runUpdateDialog_(std::move(runUpdateDialog)) {
  ui_->setupUi(this);
  setWindowIcon(ApplicationIcon());
  setWindowFlags((windowFlags() | Qt::WindowSystemMenuHint) & ~Qt::WindowContextHelpButtonHint &
                 ~Qt::WindowMinMaxButtonsHint);
  // The caption "KX-Update Step1" is the template's and stays in every language.
  const QString about = Text(101, language);
  ui_->aboutButton->setVisible(!about.isEmpty());
  ui_->aboutButton->setText(about);
  ui_->text1001->setText(Text(102, language));
  ui_->text1004->setText(Text(103, language));
  ui_->text1005->setText(Text(104, language));
  ui_->text1006->setText(Text(105, language));
  ui_->text1007->setText(Text(106, language));
  ui_->nextButton->setText(Text(301, language));
  ui_->cancelButton->setText(Text(302, language));
  connect(ui_->nextButton, &QPushButton::clicked, this, &CStartDlg::OnNext);
  connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(ui_->aboutButton, &QPushButton::clicked, this, &CStartDlg::OnAbout);
}

CStartDlg::~CStartDlg() { delete ui_; }

void CStartDlg::OnNext() {
  hide();
  if (runUpdateDialog_) runUpdateDialog_();
  accept();
}

void CStartDlg::OnAbout() {
  CAboutDlg about(this);
  about.exec();
}

}  // namespace kx::app
