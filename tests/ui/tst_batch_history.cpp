// The window's side of the batch journal: the question after a batch a previous run left unfinished,
// Ctrl+Z, and the end of the program asked for while a batch runs.
#include <sys/stat.h>

#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "support/window_fixture.h"

using skorvatin::BatchEnd;
using skorvatin::BatchKind;
using skorvatin::BatchOutcome;
using skorvatin::BatchPlan;
using skorvatin::FileId;
using skorvatin::testing::WindowUnderTest;
using Names = std::vector<std::string>;

namespace {

FileId idOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return {};
  return {st.st_dev, st.st_ino};
}

// The journal of a numbering run of `names` that was cut off after the suffix pass had renamed the
// first `suffixed` of them, and the folder as the run left it.
BatchPlan cutOffRun(const WindowUnderTest& t, const Names& names, std::size_t suffixed) {
  BatchPlan plan;
  plan.kind = BatchKind::Numbering;
  plan.folderPath = t.folder();
  plan.folder = idOf(t.folder());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string original = t.folder() + "/" + names[i];
    plan.files.push_back(
        {idOf(original), names[i], names[i] + ".q", "Plik" + std::to_string(i + 1) + ".txt", std::nullopt});
    if (i < suffixed) ::rename(original.c_str(), (original + ".q").c_str());
  }
  return plan;
}

void pressUndo(QWidget* w) {
  QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
}

}  // namespace

class TestBatchHistory : public QObject {
  Q_OBJECT

 private slots:
  void unfinishedBatchesAreOfferedNewestFirst();
  void ctrlZUndoesTheNewestBatchAfterAsking_data();
  void ctrlZUndoesTheNewestBatchAfterAsking();
  void endAskedForDuringARunUndoesItAndReportsNothing();
  void aBatchCarriedOnByANewerOneWaitsForItsUndo();
};

void TestBatchHistory::unfinishedBatchesAreOfferedNewestFirst() {
  WindowUnderTest t({"a.txt", "b.txt", "c.txt"});
  // Two runs in one folder cut off by the same crash, each with a file under its temporary name.
  const auto older = t.journal.add(cutOffRun(t, {"c.txt"}, 1));
  const auto newer = t.journal.add(cutOffRun(t, {"a.txt", "b.txt"}, 1));
  t.boxes.answers = {false, true};

  t.window().offerRecovery();

  QCOMPARE(t.boxes.asked.size(), 2);
  QVERIFY(t.boxes.asked[0].startsWith(QStringLiteral("Skorvatin: ")));
  QVERIFY(t.boxes.asked[0].contains(QStringLiteral("liczba plików: 2")));
  QVERIFY(t.boxes.asked[0].contains(QString::fromStdString(t.folder())));
  QVERIFY(t.boxes.asked[1].contains(QStringLiteral("liczba plików: 1")));
  // "Nie" keeps the newer journal for the next start; "Tak" gave the older batch its name back.
  QCOMPARE(t.entries(), (Names{"a.txt.q", "b.txt", "c.txt"}));
  QVERIFY(!t.journal.journals.at(newer).end.has_value());
  QVERIFY(t.journal.journals.at(older).end.has_value());
  // The list shows the folder as the recovery left it.
  QCOMPARE(t.listed(),
           (QStringList{QStringLiteral("a.txt.q"), QStringLiteral("b.txt"), QStringLiteral("c.txt")}));
  QVERIFY(t.boxes.reports.empty());
}

void TestBatchHistory::ctrlZUndoesTheNewestBatchAfterAsking_data() {
  QTest::addColumn<QString>("focus");
  QTest::addColumn<bool>("typed");  // text typed into the focused box first
  QTest::addColumn<int>("presses");
  QTest::newRow("file list") << QStringLiteral("File1") << false << 1;
  QTest::newRow("a button") << QStringLiteral("Command1") << false << 1;
  // The first Ctrl+Z takes back the typing, the second one reaches the window.
  QTest::newRow("prefix box after typing") << QStringLiteral("Text3") << true << 2;
}

void TestBatchHistory::ctrlZUndoesTheNewestBatchAfterAsking() {
  QFETCH(QString, focus);
  QFETCH(bool, typed);
  QFETCH(int, presses);
  WindowUnderTest t({"b.txt", "a.txt"});
  const auto& c = t.controls();
  QTest::mouseClick(c.Command1, Qt::LeftButton);
  QCOMPARE(t.entries(), (Names{"Plik1.txt", "Plik2.txt"}));

  auto* target = t.window().findChild<QWidget*>(focus);
  QVERIFY(target);
  target->setFocus();
  if (typed) QTest::keyClicks(target, QStringLiteral("x"));
  for (int i = 0; i < presses; ++i) pressUndo(target);

  QCOMPARE(t.boxes.asked.size(), 1);
  QVERIFY(t.boxes.asked[0].contains(QStringLiteral("Cofnąć")));
  QVERIFY(t.boxes.asked[0].contains(QStringLiteral("liczba plików: 2")));
  QCOMPARE(t.entries(), (Names{"a.txt", "b.txt"}));
  QCOMPARE(t.listed(), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
  QCOMPARE(c.Text3->text(), QStringLiteral("Plik"));
  // Nothing is left to undo: another Ctrl+Z asks nothing.
  pressUndo(target);
  QCOMPARE(t.boxes.asked.size(), 1);
}

void TestBatchHistory::endAskedForDuringARunUndoesItAndReportsNothing() {
  WindowUnderTest t({"a.txt", "b.txt"});
  // Comes in at the first pause of the run, after the suffix pass.
  QTimer::singleShot(0, &t.window(), [&t] { t.window().endOnRequest(); });
  QTest::mouseClick(t.controls().Command1, Qt::LeftButton);
  QCOMPARE(t.entries(), (Names{"a.txt", "b.txt"}));
  QVERIFY(t.boxes.reports.empty());
  QCOMPARE(t.journal.journals.size(), std::size_t{1});
  QCOMPARE(t.journal.journals.begin()->second.end,
           (std::optional<BatchEnd>{BatchEnd{BatchOutcome::RolledBack, 0}}));
}

// "Nie" to a cut-off batch, then a newer batch on the same files: "Tak" at the next start must not
// close the old batch with its files "not found". It waits, says why, and is asked about again
// once the newer batch has been undone.
void TestBatchHistory::aBatchCarriedOnByANewerOneWaitsForItsUndo() {
  WindowUnderTest t({"a.txt", "b.txt"});
  const auto& c = t.controls();
  const auto cut = t.journal.add(cutOffRun(t, {"a.txt", "b.txt"}, 2));
  t.boxes.answers = {false};
  t.window().offerRecovery();
  t.window().Dir1_Change();
  c.Text3->setText(QStringLiteral("Foto"));
  QTest::mouseClick(c.Command1, Qt::LeftButton);
  QCOMPARE(t.entries(), (Names{"Foto1.q", "Foto2.q"}));

  t.boxes.answers = {true};
  t.window().offerRecovery();
  QCOMPARE(t.entries(), (Names{"Foto1.q", "Foto2.q"}));
  QVERIFY(!t.journal.journals.at(cut).end.has_value());
  QVERIFY(t.boxes.shown.last().contains(QStringLiteral("plik nosi teraz nazwę „Foto1.q”")));

  t.boxes.answers = {true, true};  // the undo, then the cut-off batch once more
  pressUndo(c.File1);
  QCOMPARE(t.boxes.asked.size(), 4);
  QCOMPARE(t.entries(), (Names{"a.txt", "b.txt"}));
  QVERIFY(t.journal.journals.at(cut).end.has_value());
}

QTEST_MAIN(TestBatchHistory)
#include "tst_batch_history.moc"
