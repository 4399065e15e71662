#include "platform/qt/error_report.h"

#include <QFile>
#include <QMessageBox>

namespace skorvatin::platform::qt {

namespace {
// File names are bytes; the report shows them the way the file list does.
QString displayName(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }
}  // namespace

QString errorReportTitle() { return QStringLiteral("Skorvatin"); }

QString errorReportText(const RunError& error) {
  QString text = QStringLiteral("Błąd %1: %2").arg(error.number()).arg(QString::fromUtf8(error.text()));
  if (!error.file().empty()) text += QStringLiteral("\n\nPlik: ") + displayName(error.file());
  if (!error.detail().empty()) text += QStringLiteral("\nSystem: ") + QString::fromLocal8Bit(error.detail());
  if (!error.misplaced().empty()) {
    text += QStringLiteral("\n\nTych plików nie udało się przywrócić; noszą teraz inną nazwę:");
    for (const MisplacedFile& f : error.misplaced()) {
      text += QStringLiteral("\n%1  (dawniej: %2)").arg(displayName(f.currentPath), displayName(f.originalPath));
    }
  }
  return text;
}

void QtErrorReport::report(const RunError& error) {
  QMessageBox box(QMessageBox::Warning, errorReportTitle(), errorReportText(error), QMessageBox::Ok, owner_);
  box.exec();
}

}  // namespace skorvatin::platform::qt
