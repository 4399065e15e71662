// The window as it comes up: controls, places, captions, initial state, tab order, look.
#include <QAccessible>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolTip>
#include <QtTest>

#include "support/window_fixture.h"
#include "ui/dir_list_box.h"
#include "ui/drive_list_box.h"
#include "ui/frame.h"

using skorvatin::testing::WindowUnderTest;

namespace {
QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}
QStringList names(std::initializer_list<const char*> list) {
  QStringList out;
  for (const char* n : list) out.append(u(n));
  return out;
}

// What in the window tells a screen reader it has the keyboard focus: controls by their names, a
// list's rows as "list: row".
QStringList focusedForScreenReaders(QAccessibleInterface* a, const QString& owner = {}) {
  const QString name = a->object() ? a->object()->objectName() : owner + u(": ") + a->text(QAccessible::Name);
  QStringList out = a->state().focused ? QStringList{name} : QStringList{};
  for (int i = 0; i < a->childCount(); ++i)
    out += focusedForScreenReaders(a->child(i), a->object() ? name : owner);
  return out;
}
}  // namespace

class TestFrmMainLayout : public QObject {
  Q_OBJECT

 private slots:
  void windowIsFixedCentredAndTitled();
  void controlGeometry_data();
  void controlGeometry();
  void initialState();
  void progressLabelsHiddenWithTheirColours();
  void tabOrderVisitsEachStopOnce_data();
  void tabOrderVisitsEachStopOnce();
  void onlyTheFocusedControlReportsFocus();
  void optionGroupsExclusiveAndIndependent_data();
  void optionGroupsExclusiveAndIndependent();
  void frontToBackOrder();
  void windowScaleFollowsDesktopTextAndDpi_data();
  void windowScaleFollowsDesktopTextAndDpi();
  void everyCaptionFitsItsControl_data();
  void everyCaptionFitsItsControl();
  void captionsInLiberationSansAtEightPoints();
  void listRowsAreReadable();
  void frameBorderRunsThroughItsCaption_data();
  void frameBorderRunsThroughItsCaption();
  void textBoxesAreNamedByTheirLabels_data();
  void textBoxesAreNamedByTheirLabels();
  void iconHasEveryDrawnSize();
  void noDefaultButtonAndNoAccelerators();
};

void TestFrmMainLayout::windowIsFixedCentredAndTitled() {
  WindowUnderTest t;
  auto& w = t.window();
  QCOMPARE(w.windowTitle(), QStringLiteral("Skorvatin"));
  QCOMPARE(w.size(), QSize(631, 567));
  QCOMPARE(w.minimumSize(), QSize(631, 567));
  QCOMPARE(w.maximumSize(), QSize(631, 567));
  const Qt::WindowFlags flags = w.windowFlags();
  QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
  QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
  QVERIFY(flags & Qt::WindowCloseButtonHint);
  QVERIFY(flags & Qt::WindowSystemMenuHint);

  w.centreOnScreen();
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  // The client area is centred: the frame the window system adds is not known before it shows.
  const QPoint screenCentre = w.screen()->availableGeometry().center();
  const QPoint centre = w.geometry().center();
  QVERIFY2((centre - screenCentre).manhattanLength() <= 4,
           qPrintable(QStringLiteral("centre %1,%2, screen's %3,%4")
                          .arg(centre.x())
                          .arg(centre.y())
                          .arg(screenCentre.x())
                          .arg(screenCentre.y())));
  QCOMPARE(QApplication::focusWidget(), t.controls().Dir1);
}

void TestFrmMainLayout::controlGeometry_data() {
  QTest::addColumn<QString>("container");
  QTest::addColumn<QRect>("geometry");
  // Twips from the layout, divided by 15 and rounded: the pixels at 96 dpi.
  const auto row = [](const char* name, const char* container, QRect r) {
    QTest::newRow(name) << QString::fromUtf8(container) << r;
  };
  row("Dir1", "frmMain", QRect(0, 0, 201, 501));         // 0 0 3015 7515
  row("Drive1", "frmMain", QRect(0, 505, 201, 21));      // 0 7570 3015 315
  row("File1", "frmMain", QRect(200, 0, 217, 526));      // 3000 0 3255 7890
  row("Command1", "frmMain", QRect(432, 8, 185, 25));    // 6480 120 2775 375
  row("Command5", "frmMain", QRect(432, 40, 185, 25));   // 6480 600 2775 375
  row("Command6", "frmMain", QRect(432, 72, 185, 25));   // 6480 1080 2775 375
  row("Command2", "frmMain", QRect(432, 104, 185, 25));  // 6480 1560 2775 375
  row("Command4", "frmMain", QRect(432, 136, 185, 25));  // 6480 2040 2775 375
  row("Command3", "frmMain", QRect(432, 168, 185, 25));  // 6480 2520 2775 375
  row("Frame1", "frmMain", QRect(424, 208, 201, 161));   // 6360 3120 3015 2415
  row("Label1", "Frame1", QRect(8, 16, 137, 17));        // 120 240 2055 255
  row("Text1", "Frame1", QRect(128, 16, 57, 19));        // 1920 240 855 285
  row("Check1", "Frame1", QRect(8, 35, 177, 17));        // 120 520 2655 255
  row("Label3", "Frame1", QRect(8, 56, 89, 17));         // 120 840 1335 255
  row("Text3", "Frame1", QRect(128, 56, 57, 19));        // 1920 840 855 285
  row("Label8", "Frame1", QRect(8, 80, 113, 17));        // 120 1200 1695 255
  row("Text5", "Frame1", QRect(128, 80, 57, 19));        // 1920 1200 855 285
  row("Label7", "Frame1", QRect(8, 104, 113, 17));       // 120 1560 1695 255
  row("Text4", "Frame1", QRect(128, 104, 57, 19));       // 1920 1560 855 285
  row("Label2", "Frame1", QRect(8, 128, 113, 17));       // 120 1920 1695 255
  row("Text2", "Frame1", QRect(128, 128, 57, 19));       // 1920 1920 855 285
  row("Frame2", "frmMain", QRect(424, 376, 201, 105));   // 6360 5640 3015 1575
  row("Option2", "Frame2", QRect(8, 16, 137, 17));       // 120 240 2055 255
  row("Option3", "Frame2", QRect(8, 32, 169, 13));       // 120 480 2535 195
  row("Option4", "Frame2", QRect(8, 48, 185, 17));       // 120 720 2775 255
  row("Option5", "Frame2", QRect(8, 64, 153, 17));       // 120 960 2295 255
  row("Option1", "Frame2", QRect(8, 80, 177, 17));       // 120 1200 2655 255
  row("Frame3", "frmMain", QRect(424, 488, 201, 73));    // 6360 7320 3015 1095
  row("Option6", "Frame3", QRect(8, 16, 169, 17));       // 120 240 2535 255
  row("Option7", "Frame3", QRect(8, 32, 169, 17));       // 120 480 2535 255
  row("Option8", "Frame3", QRect(8, 48, 169, 17));       // 120 720 2535 255
  row("pb1", "frmMain", QRect(8, 544, 409, 17));         // 120 8160 6135 255
  row("pb2", "frmMain", QRect(8, 544, 9, 17));           // 120 8160 135 255
  row("pb3", "frmMain", QRect(8, 544, 409, 17));         // 120 8160 6135 255
}

void TestFrmMainLayout::controlGeometry() {
  QFETCH(QString, container);
  QFETCH(QRect, geometry);
  WindowUnderTest t;
  QWidget* w = t.window().findChild<QWidget*>(QString::fromUtf8(QTest::currentDataTag()));
  QVERIFY(w);
  QCOMPARE(w->parentWidget()->objectName(), container);
  QCOMPARE(w->geometry(), geometry);
}

void TestFrmMainLayout::initialState() {
  WindowUnderTest t;
  const auto& c = t.controls();
  QCOMPARE(c.Text1->text(), QStringLiteral("1"));
  QCOMPARE(c.Text2->text(), QStringLiteral("1"));
  QCOMPARE(c.Text3->text(), QStringLiteral("Plik"));
  QCOMPARE(c.Text4->text(), QStringLiteral("*.*"));
  QCOMPARE(c.Text5->text(), QString());
  QVERIFY(!c.Check1->isChecked());

  const struct {
    const char* name;
    const char* caption;
    bool selected;
  } options[] = {
      {"Option1", "Każdy Wyraz Od Wielkiej Litery", false},
      {"Option2", "Zamień na DUŻE", false},
      {"Option3", "Zamień na małe", true},
      {"Option4", "Pierwsza DUŻA reszta małe", false},
      {"Option5", "Pierwsza MAŁA reszta duże", false},
      {"Option6", "Zmień spacje na znaki _", true},
      {"Option7", "Zmień znaki _ na spacje", false},
      {"Option8", "Zmień ą na a, ę na e itp.", false},
  };
  for (const auto& o : options) {
    auto* b = t.window().findChild<QRadioButton*>(u(o.name));
    QVERIFY2(b, o.name);
    QCOMPARE(b->text(), QString::fromUtf8(o.caption));
    QCOMPARE(b->isChecked(), o.selected);
  }

  const struct {
    const char* name;
    const char* caption;
  } captions[] = {
      {"Command1", "Numeruj"},
      {"Command5", "Zmień plikom wielkość liter"},
      {"Command6", "Inne zamiany"},
      {"Command2", "Expolator"},
      {"Command4", "Pomoc"},
      {"Command3", "Koniec"},
      {"Check1", "Użyj zer wiodących"},
  };
  for (const auto& row : captions) {
    auto* b = t.window().findChild<QAbstractButton*>(u(row.name));
    QVERIFY2(b, row.name);
    QCOMPARE(b->text(), QString::fromUtf8(row.caption));
    QVERIFY(b->isEnabled());
    QVERIFY(b->isVisibleTo(&t.window()));
  }
  const struct {
    const char* name;
    const char* caption;
  } labels[] = {{"Label1", "Zacznij numerować od:"}, {"Label2", "Krok:"},
                {"Label3", "Przedrostek:"},          {"Label7", "Maska plików"},
                {"Label8", "Ciąg znaków za cyfrą"},  {"pb3", "0 %"}};
  for (const auto& l : labels) {
    QCOMPARE(t.window().findChild<QLabel*>(u(l.name))->text(), QString::fromUtf8(l.caption));
  }
  QCOMPARE(c.Frame1->title(), QStringLiteral("Opcje (dot. przycisku Numeruj)"));
  QCOMPARE(c.Frame2->title(), QStringLiteral("Opcje (dot. przycisku Zmień plikom...)"));
  QCOMPARE(c.Frame3->title(), QStringLiteral("Opcje (dot. przycisku Inne zamiany)"));
  QCOMPARE(t.window().pb2WidthTwips(), 135.0f);
  QCOMPARE(t.window().pb1WidthTwips(), 6135.0f);

  // The folder list and the file list start on the program's own folder.
  QCOMPARE(c.Dir1->path(), t.folder());
}

void TestFrmMainLayout::progressLabelsHiddenWithTheirColours() {
  WindowUnderTest t;
  t.window().show();
  QVERIFY(QTest::qWaitForWindowExposed(&t.window()));
  QLabel* pb1 = t.controls().pb1;
  QLabel* pb2 = t.controls().pb2;
  QLabel* pb3 = t.controls().pb3;
  for (QLabel* bar : {pb1, pb2, pb3}) QVERIFY2(!bar->isVisible(), qPrintable(bar->objectName()));
  QVERIFY(pb1->autoFillBackground());
  QCOMPARE(pb1->palette().color(pb1->backgroundRole()), pb1->palette().color(QPalette::Dark));
  QVERIFY(pb2->autoFillBackground());
  QCOMPARE(pb2->palette().color(pb2->backgroundRole()), QColor(0, 0, 255));
  QCOMPARE(pb3->palette().color(pb3->foregroundRole()), pb3->palette().color(QPalette::HighlightedText));
  QCOMPARE(pb3->alignment(), Qt::AlignCenter);
}

void TestFrmMainLayout::tabOrderVisitsEachStopOnce_data() {
  QTest::addColumn<QString>("caseOption");
  QTest::addColumn<QString>("replaceOption");
  QTest::newRow("initial selection") << QStringLiteral("Option3") << QStringLiteral("Option6");
  QTest::newRow("other selection") << QStringLiteral("Option1") << QStringLiteral("Option8");
}

void TestFrmMainLayout::tabOrderVisitsEachStopOnce() {
  QFETCH(QString, caseOption);
  QFETCH(QString, replaceOption);
  WindowUnderTest t;
  auto& w = t.window();
  w.findChild<QRadioButton*>(caseOption)->setChecked(true);
  w.findChild<QRadioButton*>(replaceOption)->setChecked(true);
  w.show();
  QVERIFY(QTest::qWaitForWindowActive(&w));
  const QStringList expected{QStringLiteral("Dir1"),
                             QStringLiteral("Drive1"),
                             QStringLiteral("File1"),
                             QStringLiteral("Command1"),
                             QStringLiteral("Command5"),
                             QStringLiteral("Command2"),
                             QStringLiteral("Command4"),
                             QStringLiteral("Command3"),
                             QStringLiteral("Text1"),
                             QStringLiteral("Check1"),
                             QStringLiteral("Text3"),
                             QStringLiteral("Text5"),
                             QStringLiteral("Text4"),
                             QStringLiteral("Text2"),
                             caseOption,
                             replaceOption,
                             QStringLiteral("Command6"),
                             QStringLiteral("Dir1")};
  QStringList forward{QApplication::focusWidget()->objectName()};
  for (int i = 1; i < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    forward.append(QApplication::focusWidget()->objectName());
  }
  QCOMPARE(forward, expected);

  QStringList backward{QApplication::focusWidget()->objectName()};
  for (int i = 1; i < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    backward.append(QApplication::focusWidget()->objectName());
  }
  QStringList reversed(expected.rbegin(), expected.rend());
  QCOMPARE(backward, reversed);
}

// Only the control that has the keyboard says so, and a list's current row only while its list has
// it: after Tab wraps from "Inne zamiany" to the folder list, the file list's row no longer claims it.
void TestFrmMainLayout::onlyTheFocusedControlReportsFocus() {
  WindowUnderTest t({"a.txt", "b.txt"});
  t.window().show();
  QVERIFY(QTest::qWaitForWindowActive(&t.window()));
  const auto& c = t.controls();
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&t.window());
  QComboBox* drives = c.Drive1;  // its drop-down list, too, has had a current row
  drives->showPopup();
  drives->hidePopup();
  QVERIFY(!drives->view()->currentIndex().isValid());
  c.File1->setFocus();
  c.File1->setCurrentIndex(c.File1->model()->index(1, 0));
  QCOMPARE(focusedForScreenReaders(window), names({"File1", "File1: b.txt"}));

  c.Command6->setFocus();
  QTest::keyClick(c.Command6, Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), c.Dir1);
  const QString folderRow = u("Dir1: ") + c.Dir1->item(c.Dir1->pathRowCount() - 1)->text();
  QCOMPARE(focusedForScreenReaders(window), (QStringList{u("Dir1"), folderRow}));

  c.File1->setFocus();  // the row it had is current again
  QCOMPARE(focusedForScreenReaders(window), names({"File1", "File1: b.txt"}));

  // The lists, which have no caption, are named for the screen reader.
  QStringList named;
  for (QWidget* list :
       {static_cast<QWidget*>(c.Dir1), static_cast<QWidget*>(c.Drive1), static_cast<QWidget*>(c.File1)})
    named.append(QAccessible::queryAccessibleInterface(list)->text(QAccessible::Name));
  QCOMPARE(named, (QStringList{u("Foldery"), u("Dysk"), u("Pliki")}));
}

void TestFrmMainLayout::optionGroupsExclusiveAndIndependent_data() {
  QTest::addColumn<QString>("click");
  QTest::addColumn<QString>("caseSelected");
  QTest::addColumn<QString>("replaceSelected");
  QTest::newRow("case button") << u("Option2") << u("Option2") << u("Option6");
  QTest::newRow("last case button") << u("Option1") << u("Option1") << u("Option6");
  QTest::newRow("already selected") << u("Option3") << u("Option3") << u("Option6");
  QTest::newRow("replacement button") << u("Option8") << u("Option3") << u("Option8");
  QTest::newRow("other replacement") << u("Option7") << u("Option3") << u("Option7");
}

void TestFrmMainLayout::optionGroupsExclusiveAndIndependent() {
  QFETCH(QString, click);
  QFETCH(QString, caseSelected);
  QFETCH(QString, replaceSelected);
  WindowUnderTest t;
  auto* button = t.window().findChild<QRadioButton*>(click);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
  QStringList selected;
  for (int i = 1; i <= 8; ++i) {
    const QString name = QStringLiteral("Option%1").arg(i);
    if (t.window().findChild<QRadioButton*>(name)->isChecked()) selected.append(name);
  }
  std::sort(selected.begin(), selected.end());
  QCOMPARE(selected, QStringList({caseSelected, replaceSelected}));
}

void TestFrmMainLayout::frontToBackOrder() {
  WindowUnderTest t;
  QStringList backToFront;
  for (QObject* child : t.window().children()) {
    if (child->isWidgetType()) backToFront.append(child->objectName());
  }
  QCOMPARE(backToFront, names({"pb1", "pb2", "pb3", "Dir1", "File1", "Command1", "Command2", "Command3",
                               "Drive1", "Frame1", "Command4", "Frame2", "Command5", "Frame3", "Command6"}));
  // The text box lies over the end of its label, not under it.
  const QObjectList inFrame = t.controls().Frame1->children();
  QVERIFY(inFrame.indexOf(t.controls().Text1) > inFrame.indexOf(t.controls().Label1));
}

// With the window's font, no caption is cut off: the text plus what the style draws around it
// fits in the part of the control that is not covered by another one.
void TestFrmMainLayout::windowScaleFollowsDesktopTextAndDpi_data() {
  QTest::addColumn<double>("points");
  QTest::addColumn<double>("dpi");
  QTest::addColumn<double>("text");
  QTest::addColumn<double>("geometry");
  QTest::newRow("Qt's default, 96 dpi") << 9.0 << 96.0 << 1.0 << 1.0;
  QTest::newRow("GNOME's default") << 11.0 << 96.0 << 1.0 << 1.0;
  QTest::newRow("14 points") << 14.0 << 96.0 << 1.2727 << 1.2727;
  QTest::newRow("Xft.dpi 192, Qt's scaling off") << 9.0 << 192.0 << 1.0 << 2.0;
  QTest::newRow("Xft.dpi 120") << 10.0 << 120.0 << 1.0 << 1.25;
  QTest::newRow("16 points at 192 dpi") << 16.0 << 192.0 << 1.4545 << 2.9091;
  QTest::newRow("a font sized in pixels") << -1.0 << 96.0 << 1.0 << 1.0;
}

void TestFrmMainLayout::windowScaleFollowsDesktopTextAndDpi() {
  QFETCH(double, points);
  QFETCH(double, dpi);
  QFETCH(double, text);
  QFETCH(double, geometry);
  const skorvatin::ui::WindowScale scale = skorvatin::ui::windowScale(points, dpi);
  QVERIFY2(std::abs(scale.text - text) < 1e-4, qPrintable(QString::number(scale.text)));
  QVERIFY2(std::abs(scale.geometry - geometry) < 1e-4, qPrintable(QString::number(scale.geometry)));
}

// Large desktop text grows the whole window with it. The offscreen screen, 800x800, then cannot
// hold it, and it starts at the top-left corner.
void TestFrmMainLayout::everyCaptionFitsItsControl_data() {
  QTest::addColumn<qreal>("desktopPoints");
  QTest::addColumn<QSize>("size");
  QTest::newRow("a normal desktop font") << qreal(9) << QSize(631, 567);
  QTest::newRow("14-point desktop text") << qreal(14) << QSize(803, 722);
  QTest::newRow("16-point desktop text") << qreal(16) << QSize(918, 825);
}

void TestFrmMainLayout::everyCaptionFitsItsControl() {
  QFETCH(qreal, desktopPoints);
  QFETCH(QSize, size);
  const QFont desktop = QApplication::font();
  const auto restore = qScopeGuard([&] { QApplication::setFont(desktop); });
  QFont large = desktop;
  large.setPointSizeF(desktopPoints);
  QApplication::setFont(large);
  WindowUnderTest t;
  auto& w = t.window();
  QCOMPARE(w.size(), size);
  w.centreOnScreen();
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  const QRect free = w.screen()->availableGeometry();
  if (!free.contains(w.frameGeometry())) QCOMPARE(w.frameGeometry().topLeft(), free.topLeft());
  QStringList cut;
  for (QWidget* c : w.findChildren<QWidget*>()) {
    const QFontMetrics fm = c->fontMetrics();
    int needed = 0;
    int available = c->width();
    if (auto* b = qobject_cast<QPushButton*>(c)) {
      needed =
          fm.horizontalAdvance(b->text()) + 2 * c->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, c);
    } else if (qobject_cast<QCheckBox*>(c) || qobject_cast<QRadioButton*>(c)) {
      const bool radio = qobject_cast<QRadioButton*>(c);
      QStyleOptionButton opt;
      opt.initFrom(c);
      const QRect textRect = c->style()->subElementRect(
          radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &opt, c);
      needed = textRect.left() + fm.horizontalAdvance(static_cast<QAbstractButton*>(c)->text());
    } else if (auto* l = qobject_cast<QLabel*>(c)) {
      if (l->text().isEmpty()) continue;
      needed = fm.horizontalAdvance(l->text());
      if (l->objectName() == QStringLiteral("Label1"))  // Text1 covers the rest
        available = static_cast<int>(std::lround(120 * w.scale().geometry));
    } else if (auto* g = qobject_cast<skorvatin::ui::Frame*>(c)) {
      // The caption sits a little in from both corners of the border it interrupts.
      needed = 16 + QFontMetrics(g->titleFont()).horizontalAdvance(g->title());
    } else {
      continue;
    }
    if (needed > available || fm.height() > c->height()) {
      cut.append(QStringLiteral("%1 needs %2x%3, has %4x%5")
                     .arg(c->objectName())
                     .arg(needed)
                     .arg(fm.height())
                     .arg(available)
                     .arg(c->height()));
    }
  }
  QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
}

// The captions were sized for a narrow sans at 8 points. With Liberation Sans all but one fit at
// that size; "Pierwsza MAŁA reszta duże" beside the style's round indicator needs 157 of its 153
// pixels and alone steps down, half a point.
void TestFrmMainLayout::captionsInLiberationSansAtEightPoints() {
  WindowUnderTest t;
  QCOMPARE(QFontInfo(t.window().font()).family(), u("Liberation Sans"));
  QStringList smaller;
  for (QWidget* c : t.window().findChildren<QWidget*>()) {
    if (c->objectName().isEmpty()) continue;  // the parts a control is made of
    qreal points = c->font().pointSizeF();
    if (auto* frame = qobject_cast<skorvatin::ui::Frame*>(c)) points = frame->titleFont().pointSizeF();
    if (points != 8.0) smaller.append(QStringLiteral("%1 %2 pt").arg(c->objectName()).arg(points));
  }
  QCOMPARE(smaller, QStringList{u("Option5 7.5 pt")});
}

void TestFrmMainLayout::listRowsAreReadable() {
  const std::string longName = "Wycieczka nad morze, dzień pierwszy, plaża w Sopocie o zachodzie słońca.jpg";
  WindowUnderTest t({"a.jpg", longName});
  const auto& c = t.controls();
  QVERIFY(c.File1->sizeHintForRow(0) >= 13);
  QVERIFY(c.Dir1->sizeHintForRow(0) >= 13);
  QVERIFY(c.Drive1->view()->sizeHintForRow(0) >= 13);

  // A name cut short shows whole in a tooltip; one that fits shows none.
  t.window().show();
  QVERIFY(QTest::qWaitForWindowExposed(&t.window()));
  QStringList tips;
  for (int row = 0; row < 2; ++row) {
    QToolTip::hideText();
    const QPoint at = c.File1->visualRect(c.File1->model()->index(row, 0)).center();
    QHelpEvent help(QEvent::ToolTip, at, c.File1->viewport()->mapToGlobal(at));
    QApplication::sendEvent(c.File1->viewport(), &help);
    tips.append(QToolTip::isVisible() ? QToolTip::text() : QString());
  }
  QCOMPARE(tips, (QStringList{QString(), QString::fromStdString(longName)}));
}

// The border runs through the middle of the caption (half of Liberation Sans' 12-pixel line at
// 8 points), above the first row of controls at 16 pixels, not below the caption onto that row.
void TestFrmMainLayout::frameBorderRunsThroughItsCaption_data() {
  QTest::addColumn<QString>("frame");
  QTest::newRow("Frame1") << u("Frame1");
  QTest::newRow("Frame2") << u("Frame2");
  QTest::newRow("Frame3") << u("Frame3");
}

void TestFrmMainLayout::frameBorderRunsThroughItsCaption() {
  QFETCH(QString, frame);
  WindowUnderTest t;
  t.window().show();
  QVERIFY(QTest::qWaitForWindowExposed(&t.window()));
  auto* f = t.window().findChild<skorvatin::ui::Frame*>(frame);
  const QImage image = f->grab().toImage();
  const QColor background = f->palette().color(QPalette::Window);
  // Right of the caption, down from the top: the first pixel that is not background is the border.
  const int x = f->width() - 4;
  int border = -1;
  for (int y = 0; y < image.height() && border < 0; ++y)
    if (image.pixelColor(x, y) != background) border = y;
  QCOMPARE(border, 6);
}

void TestFrmMainLayout::textBoxesAreNamedByTheirLabels_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("accessibleName");
  QTest::newRow("Text1") << u("Text1") << u("Zacznij numerować od:");
  QTest::newRow("Text2") << u("Text2") << u("Krok:");
  QTest::newRow("Text3") << u("Text3") << u("Przedrostek:");
  QTest::newRow("Text4") << u("Text4") << u("Maska plików");
  QTest::newRow("Text5") << u("Text5") << u("Ciąg znaków za cyfrą");
  QTest::newRow("Command5") << u("Command5") << u("Zmień plikom wielkość liter");
  QTest::newRow("Check1") << u("Check1") << u("Użyj zer wiodących");
  QTest::newRow("Option8") << u("Option8") << u("Zmień ą na a, ę na e itp.");
  QTest::newRow("Frame2") << u("Frame2") << u("Opcje (dot. przycisku Zmień plikom...)");
  QTest::newRow("Label7") << u("Label7") << u("Maska plików");
}

void TestFrmMainLayout::textBoxesAreNamedByTheirLabels() {
  QFETCH(QString, name);
  QFETCH(QString, accessibleName);
  WindowUnderTest t;
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(t.window().findChild<QWidget*>(name));
  QVERIFY(a);
  QCOMPARE(a->text(QAccessible::Name), accessibleName);
}

void TestFrmMainLayout::iconHasEveryDrawnSize() {
  WindowUnderTest t;
  const QIcon icon = t.window().windowIcon();
  QVERIFY(!icon.isNull());
  const QList<QSize> sizes = icon.availableSizes();
  for (const int size : {16, 32, 48, 64, 128, 256})
    QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
  // The pictures are read only when drawn; each must then be there, at the size asked for where a
  // drawn size covers it.
  const std::pair<int, int> drawn[] = {{16, 16}, {24, 24}, {256, 256}, {300, 256}};
  for (const auto& [asked, got] : drawn) {
    const QPixmap pixmap = icon.pixmap(QSize(asked, asked));
    QVERIFY2(!pixmap.isNull() && pixmap.size() == QSize(got, got), qPrintable(QString::number(asked)));
  }
}

void TestFrmMainLayout::noDefaultButtonAndNoAccelerators() {
  WindowUnderTest t;
  for (QPushButton* b : t.window().findChildren<QPushButton*>()) {
    QVERIFY2(!b->isDefault() && !b->autoDefault(), qPrintable(b->objectName()));
  }
  for (QAbstractButton* b : t.window().findChildren<QAbstractButton*>()) {
    QVERIFY2(!b->text().contains(QLatin1Char('&')), qPrintable(b->objectName()));
  }
}

QTEST_MAIN(TestFrmMainLayout)
#include "tst_frmmain_layout.moc"
