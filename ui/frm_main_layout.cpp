// The window as drawn: every control with its place, size, caption and tab stop, and the font that
// lets every caption show in full.
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <cmath>
#include <vector>

#include "ui/dir_list_box.h"
#include "ui/drive_list_box.h"
#include "ui/frm_main.h"

namespace skorvatin::ui {

namespace {

enum class Kind {
  CommandButton,
  TextBox,
  Label,
  CheckBox,
  OptionButton,
  Frame,
  DriveList,
  DirList,
  FileList
};

// Positions and sizes in twips, relative to the container's inner area; `tab` is the tab index.
struct ControlSpec {
  const char* name;
  Kind kind;
  const char* container;  // nullptr: the window itself
  int left, top, width, height;
  int tab;
  const char* caption;
};

// In screen order, top to bottom within each column; a frame comes before what it holds.
constexpr ControlSpec kControls[] = {
    {"Dir1", Kind::DirList, nullptr, 0, 0, 3015, 7515, 0, ""},
    {"Drive1", Kind::DriveList, nullptr, 0, 7570, 3015, 315, 1, ""},
    {"File1", Kind::FileList, nullptr, 3000, 0, 3255, 7890, 2, ""},
    {"Command1", Kind::CommandButton, nullptr, 6480, 120, 2775, 375, 3, "Numeruj"},
    {"Command5", Kind::CommandButton, nullptr, 6480, 600, 2775, 375, 4, "Zmień plikom wielkość liter"},
    {"Command6", Kind::CommandButton, nullptr, 6480, 1080, 2775, 375, 33, "Inne zamiany"},
    {"Command2", Kind::CommandButton, nullptr, 6480, 1560, 2775, 375, 5, "Expolator"},
    {"Command4", Kind::CommandButton, nullptr, 6480, 2040, 2775, 375, 6, "Pomoc"},
    {"Command3", Kind::CommandButton, nullptr, 6480, 2520, 2775, 375, 7, "Koniec"},
    {"Frame1", Kind::Frame, nullptr, 6360, 3120, 3015, 2415, 8, "Opcje (dot. przycisku Numeruj)"},
    {"Label1", Kind::Label, "Frame1", 120, 240, 2055, 255, 9, "Zacznij numerować od:"},
    {"Text1", Kind::TextBox, "Frame1", 1920, 240, 855, 285, 10, "1"},
    {"Check1", Kind::CheckBox, "Frame1", 120, 520, 2655, 255, 11, "Użyj zer wiodących"},
    {"Label3", Kind::Label, "Frame1", 120, 840, 1335, 255, 17, "Przedrostek:"},
    {"Text3", Kind::TextBox, "Frame1", 1920, 840, 855, 285, 12, "Plik"},
    {"Label8", Kind::Label, "Frame1", 120, 1200, 1695, 255, 19, "Ciąg znaków za cyfrą"},
    {"Text5", Kind::TextBox, "Frame1", 1920, 1200, 855, 285, 13, ""},
    {"Label7", Kind::Label, "Frame1", 120, 1560, 1695, 255, 18, "Maska plików"},
    {"Text4", Kind::TextBox, "Frame1", 1920, 1560, 855, 285, 14, "*.*"},
    {"Label2", Kind::Label, "Frame1", 120, 1920, 1695, 255, 16, "Krok:"},
    {"Text2", Kind::TextBox, "Frame1", 1920, 1920, 855, 285, 15, "1"},
    {"Frame2", Kind::Frame, nullptr, 6360, 5640, 3015, 1575, 20, "Opcje (dot. przycisku Zmień plikom...)"},
    {"Option2", Kind::OptionButton, "Frame2", 120, 240, 2055, 255, 21, "Zamień na DUŻE"},
    {"Option3", Kind::OptionButton, "Frame2", 120, 480, 2535, 195, 22, "Zamień na małe"},
    {"Option4", Kind::OptionButton, "Frame2", 120, 720, 2775, 255, 23, "Pierwsza DUŻA reszta małe"},
    {"Option5", Kind::OptionButton, "Frame2", 120, 960, 2295, 255, 24, "Pierwsza MAŁA reszta duże"},
    {"Option1", Kind::OptionButton, "Frame2", 120, 1200, 2655, 255, 28, "Każdy Wyraz Od Wielkiej Litery"},
    {"Frame3", Kind::Frame, nullptr, 6360, 7320, 3015, 1095, 29, "Opcje (dot. przycisku Inne zamiany)"},
    {"Option6", Kind::OptionButton, "Frame3", 120, 240, 2535, 255, 30, "Zmień spacje na znaki _"},
    {"Option7", Kind::OptionButton, "Frame3", 120, 480, 2535, 255, 31, "Zmień znaki _ na spacje"},
    {"Option8", Kind::OptionButton, "Frame3", 120, 720, 2535, 255, 32, "Zmień ą na a, ę na e itp."},
    {"pb1", Kind::Label, nullptr, 120, 8160, 6135, 255, 25, ""},
    {"pb2", Kind::Label, nullptr, 120, 8160, 135, 255, 26, ""},
    {"pb3", Kind::Label, nullptr, 120, 8160, 6135, 255, 27, "0 %"},
};

// The window's direct children from back to front; where they overlap, the later one is drawn over.
constexpr const char* kBackToFront[] = {"pb1",      "pb2",      "pb3",      "Dir1",   "File1",
                                        "Command1", "Command2", "Command3", "Drive1", "Frame1",
                                        "Command4", "Frame2",   "Command5", "Frame3", "Command6"};

// Each text box with the label that names it.
constexpr std::pair<const char*, const char*> kBuddies[] = {
    {"Label1", "Text1"}, {"Label2", "Text2"}, {"Label3", "Text3"}, {"Label7", "Text4"}, {"Label8", "Text5"}};

int px(int twips) {
  return static_cast<int>(std::lround(static_cast<double>(twips) / frmMain::kTwipsPerPixel));
}

QRect geometryOf(const ControlSpec& c) {
  return {px(c.left), px(c.top), px(c.width), px(c.height)};
}

QString text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// The width a caption needs in its control with the control's current font, or 0 for controls
// whose caption is not drawn by themselves.
int neededWidth(QWidget* w) {
  if (auto* box = qobject_cast<QGroupBox*>(w)) return box->minimumSizeHint().width();
  if (qobject_cast<QPushButton*>(w) || qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
    return w->sizeHint().width();
  }
  if (auto* label = qobject_cast<QLabel*>(w)) {
    return label->text().isEmpty()
               ? 0
               : label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->margin();
  }
  return 0;
}

// The part of a control that siblings drawn over it leave free, measured from its left edge: the
// text box beside "Zacznij numerować od:" covers the label's right end.
int visibleWidth(QWidget* w) {
  int width = w->width();
  QWidget* parent = w->parentWidget();
  const auto siblings = parent->children();
  const auto self = siblings.indexOf(w);
  for (qsizetype i = self + 1; i < siblings.size(); ++i) {  // later children lie in front
    auto* other = qobject_cast<QWidget*>(siblings[i]);
    if (!other || other->isHidden() || !other->geometry().intersects(w->geometry())) continue;
    if (other->x() > w->x()) width = std::min(width, other->x() - w->x());
  }
  return width;
}

}  // namespace

void frmMain::buildControls() {
  for (const ControlSpec& c : kControls) {
    QWidget* container = c.container ? findChild<QWidget*>(text(c.container)) : this;
    QWidget* w = nullptr;
    switch (c.kind) {
      case Kind::CommandButton: {
        auto* b = new QPushButton(text(c.caption), container);
        b->setAutoDefault(false);  // Enter clicks no button; Esc belongs to "Koniec"
        w = b;
        break;
      }
      case Kind::TextBox:
        w = new QLineEdit(text(c.caption), container);
        break;
      case Kind::Label:
        w = new QLabel(text(c.caption), container);
        break;
      case Kind::CheckBox:
        w = new QCheckBox(text(c.caption), container);
        break;
      case Kind::OptionButton:
        w = new QRadioButton(text(c.caption), container);
        break;
      case Kind::Frame:
        w = new QGroupBox(text(c.caption), container);
        break;
      case Kind::DriveList:
        w = new DriveListBox(container);
        break;
      case Kind::DirList:
        w = new DirListBox(container);
        break;
      case Kind::FileList:
        w = new QListView(container);
        break;
    }
    w->setObjectName(text(c.name));
    w->setGeometry(geometryOf(c));
  }

  Dir1 = findChild<DirListBox*>(QStringLiteral("Dir1"));
  Drive1 = findChild<DriveListBox*>(QStringLiteral("Drive1"));
  File1 = findChild<QListView*>(QStringLiteral("File1"));
  Command1 = findChild<QPushButton*>(QStringLiteral("Command1"));
  Command2 = findChild<QPushButton*>(QStringLiteral("Command2"));
  Command3 = findChild<QPushButton*>(QStringLiteral("Command3"));
  Command4 = findChild<QPushButton*>(QStringLiteral("Command4"));
  Command5 = findChild<QPushButton*>(QStringLiteral("Command5"));
  Command6 = findChild<QPushButton*>(QStringLiteral("Command6"));
  Frame1 = findChild<QGroupBox*>(QStringLiteral("Frame1"));
  Frame2 = findChild<QGroupBox*>(QStringLiteral("Frame2"));
  Frame3 = findChild<QGroupBox*>(QStringLiteral("Frame3"));
  Label1 = findChild<QLabel*>(QStringLiteral("Label1"));
  Label2 = findChild<QLabel*>(QStringLiteral("Label2"));
  Label3 = findChild<QLabel*>(QStringLiteral("Label3"));
  Label7 = findChild<QLabel*>(QStringLiteral("Label7"));
  Label8 = findChild<QLabel*>(QStringLiteral("Label8"));
  Text1 = findChild<QLineEdit*>(QStringLiteral("Text1"));
  Text2 = findChild<QLineEdit*>(QStringLiteral("Text2"));
  Text3 = findChild<QLineEdit*>(QStringLiteral("Text3"));
  Text4 = findChild<QLineEdit*>(QStringLiteral("Text4"));
  Text5 = findChild<QLineEdit*>(QStringLiteral("Text5"));
  Check1 = findChild<QCheckBox*>(QStringLiteral("Check1"));
  Option1 = findChild<QRadioButton*>(QStringLiteral("Option1"));
  Option2 = findChild<QRadioButton*>(QStringLiteral("Option2"));
  Option3 = findChild<QRadioButton*>(QStringLiteral("Option3"));
  Option4 = findChild<QRadioButton*>(QStringLiteral("Option4"));
  Option5 = findChild<QRadioButton*>(QStringLiteral("Option5"));
  Option6 = findChild<QRadioButton*>(QStringLiteral("Option6"));
  Option7 = findChild<QRadioButton*>(QStringLiteral("Option7"));
  Option8 = findChild<QRadioButton*>(QStringLiteral("Option8"));
  pb1 = findChild<QLabel*>(QStringLiteral("pb1"));
  pb2 = findChild<QLabel*>(QStringLiteral("pb2"));
  pb3 = findChild<QLabel*>(QStringLiteral("pb3"));

  // Radio buttons that share a frame already exclude one another; the frames keep the groups apart.
  Option3->setChecked(true);
  Option6->setChecked(true);

  for (const auto& [label, box] : kBuddies) {
    findChild<QLabel*>(text(label))->setBuddy(findChild<QLineEdit*>(text(box)));
  }

  // The progress display: track, fill and percentage, one over the other and never shown.
  pb1->setAutoFillBackground(true);
  pb1->setBackgroundRole(QPalette::Dark);  // the colour an application's empty workspace has
  pb2->setAutoFillBackground(true);
  QPalette fill = pb2->palette();
  fill.setColor(QPalette::Window, QColor(0, 0, 255));
  pb2->setPalette(fill);
  pb3->setAlignment(Qt::AlignCenter);
  pb3->setForegroundRole(QPalette::HighlightedText);
  for (QLabel* bar : {pb1, pb2, pb3}) bar->hide();

  applyStackingOrder();
  applyTabOrder();
  chooseWindowFont();
}

void frmMain::applyStackingOrder() {
  for (const char* name : kBackToFront) findChild<QWidget*>(text(name), Qt::FindDirectChildrenOnly)->raise();
  // Inside a frame the labels lie on the frame's surface, beneath the other controls.
  for (QGroupBox* frame : {Frame1, Frame2, Frame3}) {
    for (QObject* child : frame->children()) {
      auto* w = qobject_cast<QWidget*>(child);
      if (w && !qobject_cast<QLabel*>(w)) w->raise();
    }
  }
}

void frmMain::applyTabOrder() {
  std::vector<const ControlSpec*> order;
  for (const ControlSpec& c : kControls) order.push_back(&c);
  std::sort(order.begin(), order.end(),
            [](const ControlSpec* a, const ControlSpec* b) { return a->tab < b->tab; });
  QWidget* previous = nullptr;
  for (const ControlSpec* c : order) {
    auto* w = findChild<QWidget*>(text(c->name));
    if (!(w->focusPolicy() & Qt::TabFocus)) continue;
    if (previous) setTabOrder(previous, w);
    previous = w;
  }
}

// Tab moves through the stops in tab order; an option group is one stop, its selected button.
bool frmMain::focusNextPrevChild(bool next) {
  std::vector<QWidget*> stops;
  for (QWidget* w = Dir1;;) {
    auto* option = qobject_cast<QRadioButton*>(w);
    const bool groupStop = !option || option->isChecked();
    if (groupStop && w->isEnabled() && w->isVisibleTo(this) && (w->focusPolicy() & Qt::TabFocus))
      stops.push_back(w);
    w = w->nextInFocusChain();
    if (w == Dir1) break;
  }
  if (stops.empty()) return QWidget::focusNextPrevChild(next);
  QWidget* current = focusWidget();
  if (auto* option = qobject_cast<QRadioButton*>(current)) {
    for (QObject* sibling : option->parentWidget()->children()) {
      auto* o = qobject_cast<QRadioButton*>(sibling);
      if (o && o->isChecked()) current = o;
    }
  }
  const auto at = std::find(stops.begin(), stops.end(), current);
  const auto n = static_cast<std::ptrdiff_t>(stops.size());
  std::ptrdiff_t i = at == stops.end() ? (next ? -1 : 0) : at - stops.begin();
  i = ((next ? i + 1 : i - 1) % n + n) % n;
  stops[static_cast<std::size_t>(i)]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

// The platform's default font where every caption fits in its control; otherwise the same family
// made smaller, half a point at a time, until all fit. Controls are sized for small captions, and a
// cut-off caption ("Każdy Wyraz Od Wiel…") would hide what an option does.
void frmMain::chooseWindowFont() {
  std::vector<QWidget*> captioned;
  for (const ControlSpec& c : kControls) {
    if (*c.caption && c.kind != Kind::TextBox) captioned.push_back(findChild<QWidget*>(text(c.name)));
  }
  const auto allFit = [&] {
    return std::all_of(captioned.begin(), captioned.end(), [](QWidget* w) {
      return neededWidth(w) <= visibleWidth(w) && w->fontMetrics().height() <= w->height();
    });
  };
  QFont font = QApplication::font(this);
  double size = font.pointSizeF() > 0 ? font.pointSizeF() : 9.0;
  constexpr double kSmallestReadable = 6.0;
  while (!allFit() && size > kSmallestReadable) {
    size -= 0.5;
    font.setPointSizeF(size);
    setFont(font);
  }
}

void frmMain::centreOnScreen() {
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

}  // namespace skorvatin::ui
