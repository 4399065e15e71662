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
constexpr std::size_t kShown = 20;

QString recoveryQuestion(const PendingRestore& batch) {
  QString text;
  if (batch.root == BatchKind::Undo) {
    text = QStringLiteral(
        "Cofanie zmiany nazw plików w folderze\n%1\nzostało przerwane (liczba plików: %2).\n\n"
        "Czy przywrócić nazwy sprzed cofania?");
  } else if (batch.kind == BatchKind::Recovery) {
    text = QStringLiteral(
        "Przywracanie poprzednich nazw plików w folderze\n%1\nzostało przerwane (liczba plików: %2).\n\n"
        "Czy dokończyć przywracanie poprzednich nazw?");
  } else {
    text = QStringLiteral(
        "Poprzednia zmiana nazw plików w folderze\n%1\nnie została dokończona "
        "(liczba plików: %2).\n\nCzy przywrócić poprzednie nazwy?");
  }
  return text.arg(platform::qt::displayName(batch.folderPath)).arg(batch.fileCount);
}

QString awayText(const PendingRestore& batch) {
  return QStringLiteral(
             "Poprzednia zmiana nazw plików w folderze\n%1\nnie została dokończona (liczba plików: %2), "
             "ale tego folderu nie można teraz znaleźć: %3.\n\nProgram zapyta o nią ponownie przy "
             "następnym uruchomieniu.")
      .arg(platform::qt::displayName(batch.folderPath))
      .arg(batch.fileCount)
      .arg(platform::qt::displayName(batch.away));
}

QString undoQuestion(const FinishedBatch& batch) {
  return QStringLiteral(
             "Cofnąć ostatnią zmianę nazw plików w folderze\n%1\n(liczba plików: %2)?\n\n"
             "Pliki odzyskają poprzednie nazwy.")
      .arg(platform::qt::displayName(batch.folderPath))
      .arg(batch.fileCount);
}

// At most kShown lines of a list, and how many more there are.
QString listed(const std::vector<QString>& lines) {
  QString text;
  for (std::size_t i = 0; i < lines.size() && i < kShown; ++i) text += QStringLiteral("\n") + lines[i];
  if (lines.size() > kShown) text += QStringLiteral("\n… i jeszcze %1").arg(lines.size() - kShown);
  return text;
}

QString missingFiles(const RestoreReport& report) {
  std::vector<QString> lines;
  for (const std::string& path : report.missing) lines.push_back(platform::qt::displayName(path));
  return QStringLiteral("Poprzednie nazwy przywrócono, ale tych plików nie znaleziono:") + listed(lines);
}

QString changedFiles(const RestoreReport& report) {
  std::vector<QString> lines;
  for (const ChangedFile& f : report.changedSince) {
    lines.push_back(platform::qt::displayName(f.path) + QStringLiteral(": ") + QString::fromStdString(f.why));
  }
  return listed(lines);
}

QString leftAloneText(LeftAlone why) {
  return why == LeftAlone::HeldElsewhere
             ? QStringLiteral("Tą zmianą nazw zajmuje się teraz inna kopia programu.")
             : QStringLiteral("Tę zmianę nazw już zakończono, być może w innej kopii programu.");
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
  startOperation([this] { askAboutUnfinished(nullptr); });
}

void frmMain::askAboutUnfinished(const std::set<BatchId>* only) {
  std::vector<PendingRestore> pending;
  reportErrors([&] { pending = pendingRestores(services_.journal, services_.folders); });
  for (const PendingRestore& batch : pending) {
    if (only != nullptr && only->count(batch.id) == 0) continue;
    if (!batch.away.empty()) {
      // Nothing to ask while the folder is away; its journal waits for it.
      services_.boxes.MsgBox(awayText(batch), QString::fromUtf8(kTitle));
      continue;
    }
    // "Nie" keeps the journal: the question comes again at the next start. A journal that cannot
    // be trusted is not asked about: recovering it only moves it aside and says why.
    if (batch.trusted && !services_.boxes.ask(recoveryQuestion(batch), QString::fromUtf8(kTitle))) continue;
    const auto report = restore([&] { return recoverBatch(services_.journal, list_, pump_, batch.id); });
    if (!report) continue;
    waitingForUndo_.erase(batch.id);
    if (report->leftAlone != LeftAlone::No) {
      services_.boxes.MsgBox(leftAloneText(report->leftAlone), QString::fromUtf8(kTitle));
    } else if (!report->changedSince.empty()) {
      // Once the newer batches are undone, the question comes again.
      waitingForUndo_.insert(batch.id);
      services_.boxes.MsgBox(
          QStringLiteral("Poprzednich nazw nie przywrócono, bo od tamtej pory zmieniono te pliki:") +
              changedFiles(*report) +
              QStringLiteral("\n\nCofnij najpierw nowsze zmiany nazw w tym folderze (Ctrl+Z); program "
                             "zapyta wtedy o tę operację ponownie."),
          QString::fromUtf8(kTitle));
    } else if (!report->missing.empty()) {
      services_.boxes.MsgBox(missingFiles(*report), QString::fromUtf8(kTitle));
    }
  }
}

std::optional<RestoreReport> frmMain::restore(const std::function<RestoreReport()>& restore) {
  std::optional<RestoreReport> report;
  runOperation([&] { report = restore(); });
  return report;
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
    const auto report = restore([&] { return undoBatch(services_.journal, list_, pump_, last.id); });
    if (!report) return;
    if (report->leftAlone != LeftAlone::No) {
      services_.boxes.MsgBox(leftAloneText(report->leftAlone), QString::fromUtf8(kTitle));
    } else if (!report->changedSince.empty()) {
      // Nothing was renamed. Left in the history, the batch would stop every later Ctrl+Z here.
      const QString question =
          QStringLiteral(
              "Tej zmiany nazw nie można cofnąć w całości, bo od tamtej pory zmieniono te pliki:") +
          changedFiles(*report) +
          QStringLiteral(
              "\n\nCzy usunąć ją z historii cofania? Pliki zachowają obecne nazwy, a następne "
              "Ctrl+Z cofnie wcześniejszą zmianę.");
      if (services_.boxes.ask(question, QString::fromUtf8(kTitle))) {
        reportErrors([&] { forgetBatch(services_.journal, last.id); });
      }
    } else if (!waitingForUndo_.empty()) {
      // A batch that waited for this undo may be restored now.
      const std::set<BatchId> waiting = waitingForUndo_;
      askAboutUnfinished(&waiting);
    }
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
