// The three operations started from the window on a real temporary folder, and what the window
// does around them: reports, re-reads, held-back input, the end of the program.
#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>
#include <QtTest>

#include "support/window_fixture.h"

using skorvatin::testing::WindowUnderTest;
using Names = std::vector<std::string>;

Q_DECLARE_METATYPE(Names)

namespace {
QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

void click(QPushButton* button) {
  QTest::mouseClick(button, Qt::LeftButton);
}

Names numbered(const char* prefix, int count, const char* extension) {
  Names out;
  for (int i = 1; i <= count; ++i) out.push_back(prefix + std::to_string(i) + extension);
  return out;
}

// The roads by which the user, or a program for them, can start an operation.
enum class Way { Click, DoubleClick, Space, Enter, Accessibility, Program, CtrlZ };

void startBy(Way way, QPushButton* button) {
  // The mouse through the window system, which pairs a double-click's presses by their times; each
  // click a double-click interval after the mouse's last event.
  const QPoint at = button ? button->mapTo(button->window(), button->rect().center()) : QPoint();
  QWindow* window = QApplication::activeWindow()->windowHandle();
  if (way == Way::Click) QTest::mouseClick(window, Qt::LeftButton, {}, at, QTest::mouseDoubleClickInterval);
  if (way == Way::DoubleClick)
    QTest::mouseDClick(window, Qt::LeftButton, {}, at, QTest::mouseDoubleClickInterval);
  if (way == Way::Space || way == Way::Enter) {
    button->setFocus();
    QTest::keyClick(button, way == Way::Space ? Qt::Key_Space : Qt::Key_Return);
  }
  if (way == Way::Accessibility) {  // a screen reader's "press" clicks from a timer
    QSignalSpy clicked(button, &QPushButton::clicked);
    QAccessible::queryAccessibleInterface(button)->actionInterface()->doAction(
        QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(clicked.count(), 1);
  }
  if (way == Way::Program) button->click();
  if (way == Way::CtrlZ) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
}
}  // namespace

Q_DECLARE_METATYPE(Way)

class TestFrmMainOperations : public QObject {
  Q_OBJECT

 private slots:
  void numberingRenamesTheListedFiles_data();
  void numberingRenamesTheListedFiles();
  void conversionButtonsRename_data();
  void conversionButtonsRename();
  void progressFillGrows_data();
  void progressFillGrows();
  void clashIsReportedAndTheWindowRecovers();
  void closeDuringARunWaitsForItsEnd();
  void everyWayRunsOnceAndNeverInsideARun_data();
  void everyWayRunsOnceAndNeverInsideARun();
  void heldInputRunsAfterASuccessAndIsDroppedAfterAnError_data();
  void heldInputRunsAfterASuccessAndIsDroppedAfterAnError();
  void busyCursorWhileAnOperationRuns_data();
  void busyCursorWhileAnOperationRuns();
  void escapeEndsTheProgram_data();
  void escapeEndsTheProgram();
  void enterClicksTheFocusedButtonOnly_data();
  void enterClicksTheFocusedButtonOnly();
  void fullListShowsEveryName();
};

void TestFrmMainOperations::numberingRenamesTheListedFiles_data() {
  QTest::addColumn<Names>("files");
  QTest::addColumn<bool>("leadingZeros");
  QTest::addColumn<QString>("prefix");
  QTest::addColumn<QString>("after");
  QTest::addColumn<Names>("expected");
  QTest::newRow("defaults") << Names{"a.txt", "b.jpg", "c.txt"} << false << u("Plik") << QString()
                            << Names{"Plik1.txt", "Plik2.jpg", "Plik3.txt"};
  // The box reaches the setting; how wide the zeros are is the engine's to prove.
  QTest::newRow("leading zeros") << numbered("f", 10, "") << true << u("Plik") << QString()
                                 << Names{"Plik01", "Plik02", "Plik03", "Plik04", "Plik05",
                                          "Plik06", "Plik07", "Plik08", "Plik09", "Plik10"};
  QTest::newRow("Polish prefix and tail") << Names{"x.jpg", "y.jpg"} << false << u("Łódź ") << u("_wersja")
                                          << Names{"Łódź 1_wersja.jpg", "Łódź 2_wersja.jpg"};
}

void TestFrmMainOperations::numberingRenamesTheListedFiles() {
  QFETCH(Names, files);
  QFETCH(bool, leadingZeros);
  QFETCH(QString, prefix);
  QFETCH(QString, after);
  QFETCH(Names, expected);
  WindowUnderTest t(files);
  QCOMPARE(t.listed().size(), static_cast<qsizetype>(files.size()));
  t.controls().Check1->setChecked(leadingZeros);
  t.controls().Text3->setText(prefix);
  t.controls().Text5->setText(after);

  click(t.controls().Command1);

  QCOMPARE(t.boxes.reports.size(), std::size_t{0});
  QCOMPARE(t.entries(), expected);
  QStringList shown;
  for (const std::string& e : expected) shown.append(QString::fromStdString(e));
  QCOMPARE(t.listed(), shown);  // the list was re-read at the end
  QVERIFY(t.controls().Command1->isEnabled());
}

// Whether the list's viewport shows anything but its background.
bool showsRows(QListView* view) {
  const QImage image = view->viewport()->grab().toImage();
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != image.pixel(0, 0)) return true;
    }
  }
  return false;
}

void TestFrmMainOperations::conversionButtonsRename_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("option");
  QTest::addColumn<Names>("files");
  QTest::addColumn<Names>("expected");
  QTest::newRow("upper case") << u("Command5") << u("Option2") << Names{"a.txt", "łódź.jpg"}
                              << Names{"A.TXT", "ŁÓDŹ.JPG"};
  QTest::newRow("lower case, the default")
      << u("Command5") << u("Option3") << Names{"Raport.TXT"} << Names{"raport.txt"};
  QTest::newRow("every word capital")
      << u("Command5") << u("Option1") << Names{"ala ma_kota-i.psa"} << Names{"Ala Ma_Kota-I.psa"};
  QTest::newRow("spaces to underscores, the default")
      << u("Command6") << u("Option6") << Names{"a b.txt", "bez.txt"} << Names{"a_b.txt", "bez.txt"};
  QTest::newRow("underscores to spaces")
      << u("Command6") << u("Option7") << Names{"a_b_c.txt"} << Names{"a b c.txt"};
  QTest::newRow("Polish letters") << u("Command6") << u("Option8") << Names{"Zażółć gęślą jaźń.txt"}
                                  << Names{"Zazolc gesla jazn.txt"};
}

void TestFrmMainOperations::conversionButtonsRename() {
  QFETCH(QString, button);
  QFETCH(QString, option);
  QFETCH(Names, files);
  QFETCH(Names, expected);
  WindowUnderTest t(files);
  t.window().show();
  QVERIFY(QTest::qWaitForWindowActive(&t.window()));
  auto* radio = t.window().findChild<QRadioButton*>(option);
  QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
  QVERIFY(radio->isChecked());
  auto* b = t.window().findChild<QPushButton*>(button);

  // The look before acting tells the names the click then gives, to the eye and to a screen
  // reader, and renames nothing itself.
  QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), b->mapToGlobal(QPoint(4, 4)));
  QApplication::sendEvent(b, &help);
  const QString tip = QToolTip::text();
  for (std::size_t i = 0; i < files.size(); ++i) {
    const QString line = QString::fromStdString(files[i] + " → " + expected[i]);
    QVERIFY2(tip.contains(line) == (files[i] != expected[i]), qPrintable(tip));
  }
  QVERIFY2(tip.endsWith(u("\nCtrl+Z cofa ostatnią zmianę nazw")), qPrintable(tip));
  QCOMPARE(QAccessible::queryAccessibleInterface(b)->text(QAccessible::Description), tip);
  Names sortedFiles = files;
  std::sort(sortedFiles.begin(), sortedFiles.end());
  QCOMPARE(t.entries(), sortedFiles);

  QTest::mouseClick(b, Qt::LeftButton);

  // The list shows the new names as the pass returns, with no posted step left to draw them.
  QVERIFY(showsRows(t.controls().File1));
  QCOMPARE(t.boxes.reports.size(), std::size_t{0});
  Names sortedExpected = expected;
  std::sort(sortedExpected.begin(), sortedExpected.end());
  QCOMPARE(t.entries(), sortedExpected);
  QVERIFY(b->isEnabled());
  QCOMPARE(QApplication::focusWidget(), b);
  const auto& c = t.controls();
  for (QLabel* bar : {c.pb1, c.pb2, c.pb3}) QVERIFY2(!bar->isVisible(), qPrintable(bar->objectName()));
  QCOMPARE(c.pb3->text(), u("0 %"));
}

void TestFrmMainOperations::progressFillGrows_data() {
  QTest::addColumn<int>("files");
  QTest::addColumn<float>("twips");
  QTest::addColumn<int>("pixels");
  QTest::newRow("empty folder keeps the start width") << 0 << 135.0f << 9;
  QTest::newRow("three files") << 3 << 183.0f << 12;
  QTest::newRow("a hundred files") << 100 << 6100.0f << 407;
  QTest::newRow("past the track's end") << 150 << 9150.0f << 610;
}

void TestFrmMainOperations::progressFillGrows() {
  QFETCH(int, files);
  QFETCH(float, twips);
  QFETCH(int, pixels);
  Names names;
  for (int i = 0; i < files; ++i) names.push_back("f" + std::to_string(1000 + i));
  WindowUnderTest t(names);
  click(t.controls().Command5);
  QCOMPARE(t.window().pb2WidthTwips(), twips);
  QCOMPARE(t.controls().pb2->width(), pixels);
  // A second pass starts again at one step: same end width, not twice it.
  click(t.controls().Command6);
  QCOMPARE(t.window().pb2WidthTwips(), twips);
}

void TestFrmMainOperations::clashIsReportedAndTheWindowRecovers() {
  WindowUnderTest t({"a b.txt", "a_b.txt", "c d.txt"});
  t.touch("nowy.txt");  // made after the list was read: only a re-read shows it
  QVERIFY(!t.listed().contains(u("nowy.txt")));
  // By the time the user reads the report, the pass has shown the folder as it is and given its
  // button back, and the busy cursor is gone; the window itself only reports.
  bool readyDuringReport = false;
  bool busyDuringReport = true;
  t.boxes.whileShown = [&] {
    readyDuringReport = t.controls().Command6->isEnabled() && t.listed().contains(u("nowy.txt"));
    busyDuringReport = QApplication::overrideCursor() != nullptr;
  };

  click(t.controls().Command6);

  QCOMPARE(t.boxes.reports.size(), std::size_t{1});
  const auto& report = t.boxes.reports.front();
  QCOMPARE(report.number, skorvatin::err::FileAlreadyExists);
  QCOMPARE(report.text, u("Plik już istnieje"));
  QVERIFY2(QString::fromStdString(report.file).endsWith(u("/a_b.txt")), report.file.c_str());
  QVERIFY(report.shownText.contains(u("Błąd 58: Plik już istnieje")));
  QVERIFY(report.shownText.contains(QString::fromStdString(report.file)));
  QVERIFY(readyDuringReport);
  QVERIFY(!busyDuringReport);
  // Nothing was lost and the pass stopped at the clash.
  QCOMPARE(t.entries(), (Names{"a b.txt", "a_b.txt", "c d.txt", "nowy.txt"}));

  // The window goes on: numbering the same folder works.
  click(t.controls().Command1);
  QCOMPARE(t.boxes.reports.size(), std::size_t{1});
  QCOMPARE(t.entries(), (Names{"Plik1.txt", "Plik2.txt", "Plik3.txt", "Plik4.txt"}));
}

// Whatever starts an operation, with nothing running or while a numbering run is between its passes
// (its files under their temporary names): it runs once, after the run and never inside it. A
// double-click is one click, even when its second press arrives after the run the first one
// started; two clicks further apart are two.
void TestFrmMainOperations::everyWayRunsOnceAndNeverInsideARun_data() {
  QTest::addColumn<Way>("way");
  QTest::addColumn<QString>("button");
  QTest::addColumn<bool>("duringRun");
  QTest::addColumn<Names>("expected");
  // After the numbering run and the operation asked for: numbered again, in small letters, with
  // underscores, or as at first (the undo takes the run back).
  const Names numbered{"Nr 1.TXT", "Nr 2.TXT"}, lower{"nr 1.txt", "nr 2.txt"}, joined{"Nr_1.TXT", "Nr_2.TXT"};
  for (const bool during : {false, true}) {
    const char* when = during ? "between the passes" : "idle";
    QTest::addRow("click, %s", when) << Way::Click << u("Command1") << during << numbered;
    QTest::addRow("double-click, %s", when) << Way::DoubleClick << u("Command1") << during << numbered;
    QTest::addRow("Space, %s", when) << Way::Space << u("Command5") << during << lower;
    QTest::addRow("Enter, %s", when) << Way::Enter << u("Command6") << during << joined;
    QTest::addRow("accessibility, %s", when) << Way::Accessibility << u("Command5") << during << lower;
    QTest::addRow("click(), %s", when) << Way::Program << u("Command6") << during << joined;
    QTest::addRow("Ctrl+Z, %s", when) << Way::CtrlZ << QString() << during << Names{"a.TXT", "b.TXT"};
  }
}

void TestFrmMainOperations::everyWayRunsOnceAndNeverInsideARun() {
  QFETCH(Way, way);
  QFETCH(QString, button);
  QFETCH(bool, duringRun);
  QFETCH(Names, expected);
  WindowUnderTest t({"a.TXT", "b.TXT"});
  t.window().show();
  QVERIFY(QTest::qWaitForWindowActive(&t.window()));
  t.controls().Text3->setText(u("Nr "));
  int runs = 0;  // each run, the undo's too, begins a journal
  t.journal.onCall = [&runs](const std::string& call) { runs += call.rfind("begin", 0) == 0 ? 1 : 0; };
  Names atThePause;
  const auto start = [&] {
    atThePause = t.entries();
    startBy(way, t.window().findChild<QPushButton*>(button));
  };
  if (duringRun) QMetaObject::invokeMethod(&t.window(), start, Qt::QueuedConnection);  // at the first pause

  startBy(Way::Click, t.controls().Command1);  // the numbering run
  if (!duringRun) start();

  QTRY_COMPARE(runs, 2);
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  QCOMPARE(runs, 2);
  QCOMPARE(t.entries(), expected);
  if (duringRun) QCOMPARE(atThePause, (Names{"a.TXT.q", "b.TXT.q"}));
  QCOMPARE(t.boxes.reports.size(), std::size_t{0});
}

// Clicks that reach the window while an operation lets events run start nothing inside it. After
// a run that succeeded they take effect in order; after one that failed they are dropped, since
// they aimed at a list the user no longer sees.
void TestFrmMainOperations::heldInputRunsAfterASuccessAndIsDroppedAfterAnError_data() {
  QTest::addColumn<Names>("files");
  QTest::addColumn<Names>("expected");
  QTest::addColumn<int>("reports");
  // The second numbering run gives the same names; the replacement pass then turns the spaces.
  QTest::newRow("numbering succeeds")
      << Names{"x.txt", "y.txt", "z.txt"} << Names{"a_b1.txt", "a_b2.txt", "a_b3.txt"} << 0;
  // "a b.txt" cannot become "a b1.txt": the step of 0 makes every final name the same.
  QTest::newRow("numbering stops") << Names{"x.txt", "y.txt"} << Names{"x.txt", "y.txt"} << 1;
}

void TestFrmMainOperations::heldInputRunsAfterASuccessAndIsDroppedAfterAnError() {
  QFETCH(Names, files);
  QFETCH(Names, expected);
  QFETCH(int, reports);
  WindowUnderTest t(files);
  const auto& c = t.controls();
  c.Text3->setText(u("a b"));
  if (reports > 0) c.Text2->setText(u("0"));
  skorvatin::testing::postClick(c.Command1);
  skorvatin::testing::postClick(c.Command6);

  click(c.Command1);
  // Had either click run inside the first run, it would have worked on a stale list and failed.
  QCOMPARE(static_cast<int>(t.boxes.reports.size()), reports);

  if (reports == 0) {
    QTRY_COMPARE(t.entries(), expected);
  } else {
    c.Text2->setText(u("1"));  // the held "Numeruj" would now succeed, had it been kept
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    QCOMPARE(t.entries(), expected);
  }
  QCOMPARE(static_cast<int>(t.boxes.reports.size()), reports);
}

// The busy cursor shows while the operation runs and goes with it; the progress labels stay
// hidden and no control moves.
void TestFrmMainOperations::busyCursorWhileAnOperationRuns_data() {
  QTest::addColumn<QString>("button");
  QTest::newRow("Numeruj") << u("Command1");
  QTest::newRow("Zmień plikom wielkość liter") << u("Command5");
  QTest::newRow("Inne zamiany") << u("Command6");
}

void TestFrmMainOperations::busyCursorWhileAnOperationRuns() {
  QFETCH(QString, button);
  WindowUnderTest t({"a b.txt", "c.txt"});
  t.window().show();
  QVERIFY(QTest::qWaitForWindowExposed(&t.window()));
  const auto& c = t.controls();
  const QRect listPlace = c.File1->geometry();
  // Runs at the operation's first pump.
  bool probed = false;
  Qt::CursorShape during = Qt::ArrowCursor;
  bool barsShown = true;
  QRect listDuring;
  QMetaObject::invokeMethod(
      &t.window(),
      [&] {
        probed = true;
        during = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
        barsShown = c.pb1->isVisible() || c.pb2->isVisible() || c.pb3->isVisible();
        listDuring = c.File1->geometry();
      },
      Qt::QueuedConnection);

  click(t.window().findChild<QPushButton*>(button));

  QVERIFY(probed);
  QCOMPARE(during, Qt::WaitCursor);
  QVERIFY(!barsShown);
  QCOMPARE(listDuring, listPlace);
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  QCOMPARE(t.boxes.reports.size(), std::size_t{0});
}

void TestFrmMainOperations::closeDuringARunWaitsForItsEnd() {
  WindowUnderTest t({"a.txt", "b.txt"});
  t.window().show();
  QVERIFY(QTest::qWaitForWindowExposed(&t.window()));
  // The close arrives at the run's first pump; the probe behind it sees whether the window went.
  QMetaObject::invokeMethod(&t.window(), &QWidget::close, Qt::QueuedConnection);
  int probes = 0;
  bool visibleAfterClose = false;
  QMetaObject::invokeMethod(
      &t.window(),
      [&] {
        ++probes;
        visibleAfterClose = t.window().isVisible();
      },
      Qt::QueuedConnection);

  click(t.controls().Command1);

  QCOMPARE(probes, 1);
  QVERIFY(visibleAfterClose);
  QCOMPARE(t.entries(), (Names{"Plik1.txt", "Plik2.txt"}));
  QVERIFY(!t.window().isVisible());
}

void TestFrmMainOperations::escapeEndsTheProgram_data() {
  QTest::addColumn<QString>("focus");
  for (const char* name :
       {"Dir1", "Drive1", "File1", "Command1", "Text1", "Text4", "Check1", "Option3", "Command6"}) {
    QTest::newRow(name) << u(name);
  }
}

void TestFrmMainOperations::escapeEndsTheProgram() {
  QFETCH(QString, focus);
  WindowUnderTest t({"a.txt"});
  t.window().show();
  QVERIFY(QTest::qWaitForWindowActive(&t.window()));
  QWidget* w = t.window().findChild<QWidget*>(focus);
  w->setFocus();
  QCOMPARE(QApplication::focusWidget(), w);
  QTest::keyClick(w, Qt::Key_Escape);
  QVERIFY(!t.window().isVisible());
  QCOMPARE(t.entries(), (Names{"a.txt"}));
}

// Enter clicks the button that has the focus, as Space does, and nothing else: no button is a
// default button that Enter would click from a text box.
void TestFrmMainOperations::enterClicksTheFocusedButtonOnly_data() {
  QTest::addColumn<QString>("focus");
  QTest::addColumn<int>("key");
  QTest::addColumn<QString>("clicked");
  QTest::newRow("Numeruj, Enter") << u("Command1") << int(Qt::Key_Return) << u("Command1");
  QTest::newRow("Inne zamiany, keypad Enter") << u("Command6") << int(Qt::Key_Enter) << u("Command6");
  QTest::newRow("Expolator") << u("Command2") << int(Qt::Key_Return) << u("Command2");
  QTest::newRow("Pomoc") << u("Command4") << int(Qt::Key_Return) << u("Command4");
  QTest::newRow("Koniec") << u("Command3") << int(Qt::Key_Return) << u("Command3");
  QTest::newRow("mask box") << u("Text4") << int(Qt::Key_Return) << QString();
  QTest::newRow("prefix box") << u("Text3") << int(Qt::Key_Enter) << QString();
  QTest::newRow("check box") << u("Check1") << int(Qt::Key_Return) << QString();
}

void TestFrmMainOperations::enterClicksTheFocusedButtonOnly() {
  QFETCH(QString, focus);
  QFETCH(int, key);
  QFETCH(QString, clicked);
  WindowUnderTest t;
  t.window().show();
  QVERIFY(QTest::qWaitForWindowActive(&t.window()));
  QStringList seen;
  for (QPushButton* b : t.window().findChildren<QPushButton*>()) {
    QObject::connect(b, &QPushButton::clicked, b, [&seen, b] { seen.append(b->objectName()); });
  }
  QWidget* w = t.window().findChild<QWidget*>(focus);
  w->setFocus();
  const auto modifiers = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
  QTest::keyClick(w, static_cast<Qt::Key>(key), modifiers);
  QCOMPARE(seen, clicked.isEmpty() ? QStringList() : QStringList{clicked});
}

// A full list (32767 names, the most the operations count) is shown whole, down to its last row.
void TestFrmMainOperations::fullListShowsEveryName() {
  Names names;
  names.reserve(32767);
  for (int i = 0; i < 32767; ++i) names.push_back("plik" + std::to_string(100000 + i) + ".dat");
  WindowUnderTest t(names);
  QListView* view = t.controls().File1;
  QCOMPARE(view->model()->rowCount(), 32767);
  QCOMPARE(view->model()->index(32766, 0).data().toString(), u("plik132766.dat"));
}

QTEST_MAIN(TestFrmMainOperations)
#include "tst_frmmain_operations.moc"
