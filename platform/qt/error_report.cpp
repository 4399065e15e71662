#include "platform/qt/error_report.h"

#include "platform/qt/display_name.h"

namespace skorvatin::platform::qt {

namespace {
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

}  // namespace skorvatin::platform::qt
