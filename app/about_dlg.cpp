#include "app/about_dlg.h"

#include "app/app_icon.h"
#include "res/product_version.h"
#include "ui_about_dlg.h"

namespace kx::app {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), ui_(new Ui::AboutDlg) {
  ui_->setupUi(this);
  ui_->version->setText(QStringLiteral("DERadori Version ") + QString::fromLatin1(kProductVersionShort));
  ui_->icon->setPixmap(ApplicationIcon().pixmap(32, 32));
  setWindowIcon(ApplicationIcon());
}

CAboutDlg::~CAboutDlg() { delete ui_; }

}  // namespace kx::app
