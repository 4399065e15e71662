#include "platform/qt/error_report.h"

#include <QMessageBox>
#include <cstdio>

#include "engine/utf8.h"

namespace skorvatin::platform::qt {

namespace {
// File names are bytes. A byte that is not UTF-8 shows as \xNN rather than as a replacement mark,
// so the user can still tell exactly which file the report means.
QString displayName(const std::string& bytes) {
  std::string shown;
  shown.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size();) {
    const utf8::Unit unit = utf8::decodeAt(bytes, pos);
    if (unit.valid) {
      utf8::append(shown, unit.cp);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(unit.cp & 0xFFu));
      shown += escaped;
    }
    pos += unit.length;
  }
  return QString::fromStdString(shown);
}

QString misplacedLine(const MisplacedFile& f) {
  return QStringLiteral("\n%1  (dawniej: %2)").arg(displayName(f.currentPath), displayName(f.originalPath));
}

// A box taller than the screen helps nobody; the rest of a long list goes to the details.
constexpr std::size_t kMisplacedInText = 20;
}  // namespace

QString errorReportTitle() {
  return QStringLiteral("Skorvatin");
}

QString errorReportText(const RunError& error) {
  QString text = QStringLiteral("Błąd %1: %2").arg(error.number()).arg(QString::fromUtf8(error.text()));
  if (!error.file().empty()) text += QStringLiteral("\n\nPlik: ") + displayName(error.file());
  if (!error.detail().empty()) text += QStringLiteral("\nSystem: ") + QString::fromLocal8Bit(error.detail());
  if (!error.misplaced().empty()) {
    text += QStringLiteral("\n\nTych plików nie udało się przywrócić; noszą teraz inną nazwę:");
    const auto& all = error.misplaced();
    for (std::size_t i = 0; i < all.size() && i < kMisplacedInText; ++i) text += misplacedLine(all[i]);
    if (all.size() > kMisplacedInText) {
      text +=
          QStringLiteral("\n… i jeszcze %1 (pełna lista w szczegółach)").arg(all.size() - kMisplacedInText);
    }
  }
  return text;
}

QString errorReportDetails(const RunError& error) {
  if (error.misplaced().size() <= kMisplacedInText) return {};
  QString details = QStringLiteral("Pliki, które noszą teraz inną nazwę:");
  for (const MisplacedFile& f : error.misplaced()) details += misplacedLine(f);
  return details;
}

void QtErrorReport::report(const RunError& error) {
  QMessageBox box(QMessageBox::Warning, errorReportTitle(), errorReportText(error), QMessageBox::Ok, owner_);
  if (const QString details = errorReportDetails(error); !details.isEmpty()) box.setDetailedText(details);
  box.exec();
}

}  // namespace skorvatin::platform::qt
