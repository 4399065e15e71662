#include "platform/qt/message_box.h"

#include <QMessageBox>
#include <QPushButton>

#include "platform/qt/error_report.h"

namespace skorvatin::platform::qt {

namespace {
// The exclamation mark and a single "OK", which Esc and Enter both press.
void showWarning(QWidget* owner, const QString& title, const QString& text, const QString& details) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, owner);
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  if (!details.isEmpty()) box.setDetailedText(details);
  box.exec();
}
}  // namespace

void QtMessageBox::MsgBox(const QString& text, const QString& title) {
  showWarning(owner_, title, text, {});
}

void QtMessageBox::report(const RunError& error) {
  showWarning(owner_, errorReportTitle(), errorReportText(error), errorReportDetails(error));
}

bool QtMessageBox::ask(const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, owner_);
  QPushButton* yes = box.addButton(QStringLiteral("Tak"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("Nie"), QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

}  // namespace skorvatin::platform::qt
