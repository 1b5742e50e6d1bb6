#include "app/next_dlg_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "app/app_icon.h"
#include "app/select_dlg.h"
#include "camera/text_fields.h"
#include "res/string_table.h"
#include "ui_next_dlg.h"

#include <algorithm>

namespace kx::app {
namespace {

QString FromLog(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

// The line under the log that names the opened board ("Board: {board}").
constexpr int kBoardLineText = 430;

// How often a wait looks at the driver's event while the window is serviced.
constexpr int kPollMilliseconds = 2;

}  // namespace

CNextDlgWindow::CNextDlgWindow(CameraDriver& driver, NextDlgOptions options, QWidget* parent)
    : QDialog(parent), ui_(new Ui::NextDlg), language_(options.language) {
  ui_->setupUi(this);
  setWindowIcon(ApplicationIcon());
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  connect(ui_->startButton, &QPushButton::clicked, this, &CNextDlgWindow::OnStartClicked);
  connect(ui_->cancelButton, &QPushButton::clicked, this, &CNextDlgWindow::reject);
  // The bar shows the running component's percentage; until a write starts
  // there is nothing to show.
  ui_->progress->setVisible(false);
  ui_->board->setVisible(false);
  m_logic = std::make_unique<CNextDlg>(driver, *this, options);
}

CNextDlgWindow::~CNextDlgWindow() {
  m_logic.reset();
  delete ui_;
}

int CNextDlgWindow::RunModal() {
  // The initialisation shows the window before exec() runs; Qt makes a
  // window modal only when it is shown, so the modality is set first.
  setWindowModality(Qt::ApplicationModal);
  m_logic->OnInitDialog();
  if (endedWith_) return *endedWith_;
  return exec();
}

bool CNextDlgWindow::Running() const { return m_logic && m_logic->State() == DialogState::kRunning; }

void CNextDlgWindow::OnStartClicked() { m_logic->OnStart(); }

void CNextDlgWindow::Show() {
  show();
  Repaint();
}

void CNextDlgWindow::SetLogText(const std::string& text) {
  ui_->log1002->setPlainText(FromLog(text));
  ui_->log1002->verticalScrollBar()->setValue(ui_->log1002->verticalScrollBar()->maximum());
}

void CNextDlgWindow::ShowProgress(const std::string& logWithProgress, std::int32_t percent) {
  SetLogText(logWithProgress);
  ui_->progress->setVisible(true);
  ui_->progress->setValue(std::clamp<std::int32_t>(percent, 0, 100));
}

void CNextDlgWindow::ShowBoard(const std::string& boardId) {
  ui_->board->setText(QString::fromStdString(FillTextFields(LoadString(kBoardLineText, language_), {{"board", boardId}})));
  ui_->board->setVisible(!boardId.empty());
}

void CNextDlgWindow::SetStatusText(const std::string& text) {
  ui_->status1009->setText(QString::fromStdString(text));
}

void CNextDlgWindow::SetButtonTexts(const std::string& start, const std::string& cancel) {
  ui_->startButton->setText(QString::fromStdString(start));
  ui_->cancelButton->setText(QString::fromStdString(cancel));
}

void CNextDlgWindow::EnableStart(bool on) { ui_->startButton->setEnabled(on); }

void CNextDlgWindow::EnableCancel(bool on) { ui_->cancelButton->setEnabled(on); }

void CNextDlgWindow::Repaint() {
  // The long steps run on this thread: paint now, but take no user input.
  repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

MessageAnswer CNextDlgWindow::ShowMessage(const std::string& text, MessageIcon icon,
                                          MessageButtons buttons) {
  QMessageBox::Icon shown = QMessageBox::Warning;  // a box without an icon gets the warning icon
  switch (icon) {
    case MessageIcon::kError: shown = QMessageBox::Critical; break;
    case MessageIcon::kQuestion: shown = QMessageBox::Question; break;
    case MessageIcon::kInformation: shown = QMessageBox::Information; break;
    case MessageIcon::kWarning:
    case MessageIcon::kNone: break;
  }
  QMessageBox box(shown, ApplicationDisplayName(), QString::fromStdString(text),
                  buttons == MessageButtons::kYesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                  isVisible() ? this : nullptr);
  const int answer = box.exec();
  if (buttons == MessageButtons::kOk) return MessageAnswer::kOk;
  return answer == QMessageBox::Yes ? MessageAnswer::kYes : MessageAnswer::kNo;
}

std::optional<std::string> CNextDlgWindow::ChooseBoard(const std::vector<std::string>& ids) {
  CSelectDlg select(ids, language_, nullptr);
  if (select.exec() != QDialog::Accepted) return std::nullopt;
  return select.GetSelectedBoard();
}

WaitOutcome CNextDlgWindow::WaitForSignal(platform::AutoResetEvent& event,
                                          std::optional<std::chrono::milliseconds> timeout) {
  if (event.TryWait()) return WaitOutcome::kSignalled;
  // A nested loop keeps the window painting and movable; the event is looked
  // at every few milliseconds. Input reaches the window, but Start and
  // Cancel are disabled and a close request is ignored while the run waits.
  QEventLoop loop;
  WaitOutcome outcome = WaitOutcome::kTimedOut;
  QTimer poll;
  poll.setInterval(kPollMilliseconds);
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (event.TryWait()) {
      outcome = WaitOutcome::kSignalled;
      loop.quit();
    }
  });
  QTimer limit;
  limit.setSingleShot(true);
  if (timeout) {
    connect(&limit, &QTimer::timeout, &loop, [&] {
      outcome = event.TryWait() ? WaitOutcome::kSignalled : WaitOutcome::kTimedOut;
      loop.quit();
    });
    limit.start(static_cast<int>(timeout->count()));
  }
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &loop, [&] {
    outcome = WaitOutcome::kQuit;
    loop.quit();
  });
  poll.start();
  loop.exec();
  return outcome;
}

void CNextDlgWindow::EndDialog(DialogResult result) {
  endedWith_ = result == DialogResult::kOk ? QDialog::Accepted : QDialog::Rejected;
  done(*endedWith_);
}

void CNextDlgWindow::reject() {
  if (Running()) return;
  endedWith_ = QDialog::Rejected;
  QDialog::reject();
}

void CNextDlgWindow::closeEvent(QCloseEvent* event) {
  if (Running()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace kx::app
