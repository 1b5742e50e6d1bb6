#include "app/modal_script.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>

namespace kx::app::testing {
namespace {

constexpr int kPollMs = 10;

}  // namespace

ModalScript::ModalScript(int patienceMs) : patienceMs_(patienceMs) {
  poll_.setInterval(kPollMs);
  connect(&poll_, &QTimer::timeout, this, &ModalScript::Poll);
}

ModalScript& ModalScript::Then(QString what, Match match, Act act) {
  steps_.push_back({std::move(what), std::move(match), std::move(act)});
  return *this;
}

ModalScript& ModalScript::Answer(const QString& text, QMessageBox::StandardButton button) {
  return Then(QStringLiteral("message box \"%1\"").arg(text), MessageBoxWith(text),
              [button](QWidget* w) {
                if (QAbstractButton* b = static_cast<QMessageBox*>(w)->button(button)) b->click();
              });
}

void ModalScript::Start() { poll_.start(); }

QString ModalScript::Problem() const {
  if (!failure_.isEmpty()) return failure_;
  if (steps_.empty()) return {};
  return QStringLiteral("never came: ") + steps_.front().what;
}

void ModalScript::Poll() {
  QWidget* top = QApplication::activeModalWidget();
  if (top != nullptr && top->isVisible()) {
    if (auto* box = qobject_cast<QMessageBox*>(top)) {
      bool known = false;
      for (const QPointer<QWidget>& seen : recorded_) known = known || seen == top;
      if (!known) {
        recorded_.emplace_back(top);
        boxes_.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
      }
    }
  }

  if (!failure_.isEmpty()) {
    // Ends whatever still runs: the modal widget on top, else any dialog.
    if (top != nullptr) {
      QTimer::singleShot(0, top, [top] { QTest::keyClick(top, Qt::Key_Escape); });
    } else {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
          dialog->reject();
      }
    }
    return;
  }
  if (steps_.empty()) return;
  if (top != nullptr && top->isVisible() && steps_.front().match(top)) {
    Act act = std::move(steps_.front().act);
    steps_.pop_front();
    waitedMs_ = 0;
    QPointer<QWidget> target(top);
    QTimer::singleShot(0, top, [act, target] {
      if (target) act(target);
    });
    return;
  }
  waitedMs_ += kPollMs;
  if (waitedMs_ > patienceMs_) {
    failure_ = QStringLiteral("gave up waiting for ") + steps_.front().what +
               (top ? QStringLiteral("; on top: ") + top->metaObject()->className() + " \"" +
                          top->windowTitle() + "\""
                    : QStringLiteral("; nothing modal on top"));
  }
}

ModalScript::Match MessageBoxWith(const QString& text) {
  return [text](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    return box != nullptr && box->text() == text;
  };
}

ModalScript::Match WidgetIs(const QWidget* widget) {
  return [widget](QWidget* w) { return w == widget; };
}

ModalScript::Act PressEscape() {
  return [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); };
}

ModalScript::Act ClickButton(const char* objectName) {
  return [objectName](QWidget* w) {
    if (auto* button = w->findChild<QPushButton*>(QString::fromLatin1(objectName))) button->click();
  };
}

QString ExecutableCaption() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace kx::app::testing
