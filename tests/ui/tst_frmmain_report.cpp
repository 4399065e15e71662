// What the user reads when an operation stopped, how names show on screen, and the boxes that
// show it all.
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "engine/run_error.h"
#include "platform/qt/display_name.h"
#include "platform/qt/error_report.h"
#include "platform/qt/message_box.h"

namespace {
QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  QString defaultButton;
  bool modal = false;
};

// Reads the box that opens next and answers it: Enter, Esc, or a click on the button of that text.
void answerNextBox(SeenBox& seen, const QString& answer) {
  QTimer::singleShot(0, [&seen, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    seen = {box->windowTitle(), box->text(), box->icon(), {}, {}, box->isModal()};
    for (QAbstractButton* b : box->buttons()) seen.buttons.append(b->text());
    if (box->defaultButton()) seen.defaultButton = box->defaultButton()->text();
    if (answer == u("Enter")) {
      QTest::keyClick(box, Qt::Key_Return);
    } else if (answer == u("Esc")) {
      QTest::keyClick(box, Qt::Key_Escape);
    } else {
      for (QAbstractButton* b : box->buttons())
        if (b->text() == answer) b->click();
    }
  });
}
}  // namespace

class TestFrmMainReport : public QObject {
  Q_OBJECT

 private slots:
  void namesOnScreen_data();
  void namesOnScreen();
  void reportText_data();
  void reportText();
  void longMisplacedListGoesToTheDetails();
  void warningsAreModalWithOneOk_data();
  void warningsAreModalWithOneOk();
  void questionDefaultsToTak_data();
  void questionDefaultsToTak();
};

// One rule for every name on screen: UTF-8 as it is, each stray byte as \xNN.
void TestFrmMainReport::namesOnScreen_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("shown");
  QTest::newRow("plain") << QByteArray("IMG_0001.jpg") << u("IMG_0001.jpg");
  QTest::newRow("Polish") << QByteArray("Zażółć gęślą jaźń.txt") << u("Zażółć gęślą jaźń.txt");
  QTest::newRow("emoji") << QByteArray("\xF0\x9F\x98\x80.png") << u("😀.png");
  QTest::newRow("ISO-8859-2 ę") << QByteArray(
                                       "zdj\xEA"
                                       "cie.jpg")
                                << u("zdj\\xEAcie.jpg");
  QTest::newRow("two stray bytes around a letter") << QByteArray("\xFF\xC5\x82\x80") << u("\\xFFł\\x80");
  QTest::newRow("sequence cut at the end") << QByteArray("a\xC5") << u("a\\xC5");
  QTest::newRow("overlong slash") << QByteArray(
                                         "a\xC0\xAF"
                                         "b")
                                  << u("a\\xC0\\xAFb");
  QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << u("\\xED\\xA0\\x80");
  QTest::newRow("empty") << QByteArray() << QString();
}

void TestFrmMainReport::namesOnScreen() {
  QFETCH(QByteArray, bytes);
  QFETCH(QString, shown);
  QCOMPARE(skorvatin::platform::qt::displayName(bytes.toStdString()), shown);
}

void TestFrmMainReport::reportText_data() {
  QTest::addColumn<int>("number");
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<QString>("detail");
  QTest::addColumn<QString>("expected");
  QTest::newRow("clash") << 58 << QByteArray("/tmp/zdjęcia/a_b.txt") << QString()
                         << u("Błąd 58: Plik już istnieje\n\nPlik: /tmp/zdjęcia/a_b.txt");
  QTest::newRow("overflow, no file") << 6 << QByteArray() << QString() << u("Błąd 6: Przepełnienie");
  QTest::newRow("with what the system said")
      << 70 << QByteArray("/mnt/ro/x") << u("Read-only file system")
      << u("Błąd 70: Brak uprawnień\n\nPlik: /mnt/ro/x\nSystem: Read-only file system");
  QTest::newRow("stray byte in the name")
      << 53
      << QByteArray(
             "/tmp/zdj\xEA"
             "cie.jpg")
      << QString() << u("Błąd 53: Nie znaleziono pliku\n\nPlik: /tmp/zdj\\xEAcie.jpg");
}

void TestFrmMainReport::reportText() {
  QFETCH(int, number);
  QFETCH(QByteArray, file);
  QFETCH(QString, detail);
  QFETCH(QString, expected);
  const skorvatin::RunError error(number, file.toStdString(), detail.toStdString());
  QCOMPARE(skorvatin::platform::qt::errorReportText(error), expected);
}

void TestFrmMainReport::longMisplacedListGoesToTheDetails() {
  skorvatin::RunError error(57, "/f/x");
  for (int i = 0; i < 25; ++i) {
    const std::string n = std::to_string(i);
    error.addMisplaced({"/f/" + n + ".q", "/f/" + n});
  }
  const QString text = skorvatin::platform::qt::errorReportText(error);
  QVERIFY(text.contains(u("/f/19.q  (dawniej: /f/19)")));
  QVERIFY(!text.contains(u("/f/20.q")));
  QVERIFY(text.endsWith(u("… i jeszcze 5 (pełna lista w szczegółach)")));
  const QString details = skorvatin::platform::qt::errorReportDetails(error);
  QVERIFY(details.contains(u("/f/0.q  (dawniej: /f/0)")));
  QVERIFY(details.contains(u("/f/24.q  (dawniej: /f/24)")));
  error = skorvatin::RunError(57, "/f/x");
  QVERIFY(skorvatin::platform::qt::errorReportDetails(error).isEmpty());
}

// The plain message and the error report: the exclamation mark, one "OK" that Enter and Esc both
// press, modal over the window.
void TestFrmMainReport::warningsAreModalWithOneOk_data() {
  QTest::addColumn<bool>("report");
  QTest::addColumn<QString>("answer");
  QTest::addColumn<QString>("title");
  QTest::addColumn<QString>("text");
  QTest::newRow("message, Enter") << false << u("Enter") << u("Błąd") << u("Włóż dyskietkę");
  QTest::newRow("message, Esc") << false << u("Esc") << u("Błąd") << u("Włóż dyskietkę");
  QTest::newRow("error report") << true << u("OK") << u("Skorvatin")
                                << u("Błąd 58: Plik już istnieje\n\nPlik: /tmp/f/Plik1.txt\n\n"
                                     "Tych plików nie udało się przywrócić; noszą teraz inną "
                                     "nazwę:\n/tmp/f/a.txt.q  (dawniej: /tmp/f/a.txt)");
}

void TestFrmMainReport::warningsAreModalWithOneOk() {
  QFETCH(bool, report);
  QFETCH(QString, answer);
  QFETCH(QString, title);
  QFETCH(QString, text);
  skorvatin::platform::qt::QtMessageBox boxes;
  SeenBox seen;
  answerNextBox(seen, answer);
  if (report) {
    skorvatin::RunError error(58, "/tmp/f/Plik1.txt");
    error.addMisplaced({"/tmp/f/a.txt.q", "/tmp/f/a.txt"});
    boxes.report(error);
  } else {
    boxes.MsgBox(u("Włóż dyskietkę"), u("Błąd"));
  }
  QCOMPARE(seen.title, title);
  QCOMPARE(seen.text, text);
  QCOMPARE(seen.icon, QMessageBox::Warning);
  QCOMPARE(seen.buttons, QStringList{u("OK")});
  QVERIFY(seen.modal);
}

void TestFrmMainReport::questionDefaultsToTak_data() {
  QTest::addColumn<QString>("answer");
  QTest::addColumn<bool>("yes");
  QTest::newRow("Enter") << u("Enter") << true;
  QTest::newRow("Tak") << u("Tak") << true;
  QTest::newRow("Nie") << u("Nie") << false;
  QTest::newRow("Esc") << u("Esc") << false;
}

void TestFrmMainReport::questionDefaultsToTak() {
  QFETCH(QString, answer);
  QFETCH(bool, yes);
  skorvatin::platform::qt::QtMessageBox boxes;
  SeenBox seen;
  answerNextBox(seen, answer);
  QCOMPARE(boxes.ask(u("Przywrócić poprzednie nazwy plików?"), u("Skorvatin")), yes);
  QCOMPARE(seen.title, u("Skorvatin"));
  QCOMPARE(seen.text, u("Przywrócić poprzednie nazwy plików?"));
  QCOMPARE(seen.icon, QMessageBox::Question);
  QCOMPARE(seen.buttons, (QStringList{u("Tak"), u("Nie")}));
  QCOMPARE(seen.defaultButton, u("Tak"));
  QVERIFY(seen.modal);
}

QTEST_MAIN(TestFrmMainReport)
#include "tst_frmmain_report.moc"
