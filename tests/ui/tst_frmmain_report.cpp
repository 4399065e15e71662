// What the user reads when an operation stops, and the boxes that show it.
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "engine/run_error.h"
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
  int buttons = 0;
  bool modal = false;
};

// Reads the box that opens next and closes it with its OK button.
void closeNextBoxWithOk(SeenBox& seen) {
  QTimer::singleShot(0, [&seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    seen = {box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size()),
            box->isModal()};
    box->button(QMessageBox::Ok)->click();
  });
}
}  // namespace

class TestFrmMainReport : public QObject {
  Q_OBJECT

 private slots:
  void reportText_data();
  void reportText();
  void errorReportIsAModalWarningTitledSkorvatin();
  void strayBytesShowEscaped();
  void longMisplacedListGoesToTheDetails();
  void messageBoxShowsTextAndTitle();
};

void TestFrmMainReport::reportText_data() {
  QTest::addColumn<int>("number");
  QTest::addColumn<QString>("file");
  QTest::addColumn<QString>("detail");
  QTest::addColumn<QString>("expected");
  QTest::newRow("clash") << 58 << u("/tmp/zdjęcia/a_b.txt") << QString()
                         << u("Błąd 58: Plik już istnieje\n\nPlik: /tmp/zdjęcia/a_b.txt");
  QTest::newRow("overflow, no file") << 6 << QString() << QString() << u("Błąd 6: Przepełnienie");
  QTest::newRow("with what the system said")
      << 70 << u("/mnt/ro/x") << u("Read-only file system")
      << u("Błąd 70: Brak uprawnień\n\nPlik: /mnt/ro/x\nSystem: Read-only file system");
}

void TestFrmMainReport::reportText() {
  QFETCH(int, number);
  QFETCH(QString, file);
  QFETCH(QString, detail);
  QFETCH(QString, expected);
  const skorvatin::RunError error(number, file.toStdString(), detail.toStdString());
  QCOMPARE(skorvatin::platform::qt::errorReportText(error), expected);
}

void TestFrmMainReport::errorReportIsAModalWarningTitledSkorvatin() {
  skorvatin::RunError error(58, "/tmp/f/Plik1.txt");
  error.addMisplaced({"/tmp/f/a.txt.q", "/tmp/f/a.txt"});
  skorvatin::platform::qt::QtErrorReport report;
  SeenBox seen;
  closeNextBoxWithOk(seen);
  report.report(error);
  QCOMPARE(seen.title, u("Skorvatin"));
  QCOMPARE(seen.icon, QMessageBox::Warning);
  QCOMPARE(seen.buttons, 1);
  QVERIFY(seen.modal);
  QVERIFY(seen.text.startsWith(u("Błąd 58: Plik już istnieje\n\nPlik: /tmp/f/Plik1.txt")));
  // A file left under another name is named with both its names.
  QVERIFY2(seen.text.contains(u("/tmp/f/a.txt.q  (dawniej: /tmp/f/a.txt)")), qPrintable(seen.text));
}

void TestFrmMainReport::strayBytesShowEscaped() {
  // "zdjęcie" in ISO-8859-2: the ę is the single byte EA.
  const skorvatin::RunError error(53, std::string("/tmp/zdj\xea") + "cie.jpg");
  QCOMPARE(skorvatin::platform::qt::errorReportText(error),
           u("Błąd 53: Nie znaleziono pliku\n\nPlik: /tmp/zdj\\xEAcie.jpg"));
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

void TestFrmMainReport::messageBoxShowsTextAndTitle() {
  skorvatin::platform::qt::QtMessageBox messageBox;
  SeenBox seen;
  closeNextBoxWithOk(seen);
  messageBox.MsgBox(u("Włóż dyskietkę"), u("Błąd"));
  QCOMPARE(seen.title, u("Błąd"));
  QCOMPARE(seen.text, u("Włóż dyskietkę"));
  QCOMPARE(seen.icon, QMessageBox::Warning);
  QCOMPARE(seen.buttons, 1);
  QVERIFY(seen.modal);
}

QTEST_MAIN(TestFrmMainReport)
#include "tst_frmmain_report.moc"
