// What the window does with the batch journal: the question after a batch that a previous run left
// unfinished, Ctrl+Z, and ending the program on the system's request without cutting a batch off.
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>

#include "engine/batch_restore.h"
#include "platform/qt/display_name.h"
#include "ui/frm_main.h"

namespace skorvatin::ui {

namespace {

constexpr const char* kTitle = "Skorvatin";
// A box taller than the screen helps nobody.
constexpr std::size_t kMissingShown = 20;

QString recoveryQuestion(const BatchPlan& plan) {
  return QStringLiteral(
             "Poprzednia zmiana nazw plików w folderze\n%1\nnie została dokończona "
             "(liczba plików: %2).\n\nCzy przywrócić poprzednie nazwy?")
      .arg(platform::qt::displayName(plan.folderPath))
      .arg(plan.files.size());
}

QString undoQuestion(const FinishedBatch& batch) {
  return QStringLiteral(
             "Cofnąć ostatnią zmianę nazw plików w folderze\n%1\n(liczba plików: %2)?\n\n"
             "Pliki odzyskają poprzednie nazwy.")
      .arg(platform::qt::displayName(batch.folderPath))
      .arg(batch.fileCount);
}

QString missingFiles(const RestoreReport& report) {
  QString text = QStringLiteral("Poprzednie nazwy przywrócono, ale tych plików nie znaleziono:");
  for (std::size_t i = 0; i < report.missing.size() && i < kMissingShown; ++i) {
    text += QStringLiteral("\n") + platform::qt::displayName(report.missing[i]);
  }
  if (report.missing.size() > kMissingShown) {
    text += QStringLiteral("\n… i jeszcze %1").arg(report.missing.size() - kMissingShown);
  }
  return text;
}

// Ctrl+Z in a text box undoes the typing while there is typing to undo; after that it reaches the
// window, like everywhere else in it.
class UndoPassOn final : public QObject {
 public:
  UndoPassOn(QLineEdit* box, std::function<void()> undo) : QObject(box), box_(box), undo_(std::move(undo)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (!key || !static_cast<QKeyEvent*>(event)->matches(QKeySequence::Undo) || box_->isUndoAvailable()) {
      return QObject::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress) undo_();
    return true;
  }

 private:
  QLineEdit* box_;
  std::function<void()> undo_;
};

}  // namespace

void frmMain::wireJournal() {
  for (QLineEdit* box : {Text1, Text2, Text3, Text4, Text5}) {
    box->installEventFilter(new UndoPassOn(box, [this] { undoLastBatch(); }));
  }
}

void frmMain::offerRecovery() {
  startOperation([this] {
    std::vector<StoredBatch> unfinished;
    reportErrors([&] { unfinished = services_.journal.unfinished(); });
    for (const StoredBatch& batch : unfinished) {
      // "Nie" keeps the journal: the question comes again at the next start. A journal that cannot
      // be trusted is not asked about: recovering it only moves it aside and says why.
      if (batch.plan && !services_.boxes.ask(recoveryQuestion(*batch.plan), QString::fromUtf8(kTitle)))
        continue;
      runOperation([&] {
        std::optional<RunError> failed;
        RestoreReport report;
        try {
          report = recoverBatch(services_.journal, services_.folders, batch);
        } catch (const RunError& e) {
          failed = e;
        }
        if (batch.plan && batch.plan->folderPath == list_.Path()) File_Refresh(list_, pump_);
        if (failed) throw *failed;
        if (!report.missing.empty()) services_.boxes.MsgBox(missingFiles(report), QString::fromUtf8(kTitle));
      });
    }
  });
}

// The newest batch is looked up when the undo gets its turn: one pressed during a run undoes that run.
void frmMain::undoLastBatch() {
  startOperation([this] {
    std::vector<FinishedBatch> history;
    reportErrors([&] { history = services_.journal.history(); });
    if (history.empty()) {
      QApplication::beep();
      return;
    }
    const FinishedBatch last = history.front();
    if (!services_.boxes.ask(undoQuestion(last), QString::fromUtf8(kTitle))) return;
    runOperation([&] {
      std::optional<RunError> failed;
      try {
        undoBatch(services_.journal, services_.folders, last.id);
      } catch (const RunError& e) {
        failed = e;
      }
      File_Refresh(list_, pump_);
      if (failed) throw *failed;
    });
  });
}

void frmMain::endOnRequest() {
  // A running batch ends at its next pause, undone where it can be; the window closes after it.
  if (batchRunning_) {
    endRequested_ = true;
    return;
  }
  // Anything else (a box waiting for an answer included) ends now.
  endRequested_ = true;
  closeRequested_ = false;
  QApplication::exit(0);
}

bool frmMain::handleUndoKey(QKeyEvent* event) {
  if (!event->matches(QKeySequence::Undo)) return false;
  undoLastBatch();
  return true;
}

}  // namespace skorvatin::ui
