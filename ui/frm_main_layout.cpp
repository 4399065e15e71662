// The window as drawn: every control with its place, size, caption and tab stop, and the fonts
// that let every caption show in full.
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
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
#include <type_traits>
#include <vector>

#include "ui/dir_list_box.h"
#include "ui/drive_list_box.h"
#include "ui/frame.h"
#include "ui/frm_main.h"

namespace skorvatin::ui {

namespace {

using Controls = FrmMainControls;

// What the folder and drive lists are made with: the window's services, and where they start.
struct ListServices {
  FolderService& folders;
  std::shared_ptr<platform::VolumeService> volumes;
  std::string start;
  DirListBox::Entry entry;
};

// Each control is made as the type of its member: a caption goes to the constructor of the
// kinds that show one, the services to the lists that read the system.
template <class W>
W* makeControl(const QString& caption, QWidget* container, const ListServices& services) {
  if constexpr (std::is_same_v<W, DirListBox>) {
    return new DirListBox(services.folders, services.start, services.entry, container);
  } else if constexpr (std::is_same_v<W, DriveListBox>) {
    return new DriveListBox(services.volumes, services.start, container);
  } else if constexpr (std::is_constructible_v<W, QString, QWidget*>) {
    return new W(caption, container);
  } else {
    return new W(container);
  }
}

template <auto Member>
QWidget* createInto(Controls& controls, QWidget* container, const QString& caption,
                    const ListServices& services) {
  using W = std::remove_pointer_t<std::remove_reference_t<decltype(controls.*Member)>>;
  W* w = makeControl<W>(caption, container, services);
  controls.*Member = w;
  return w;
}

template <auto Member>
QWidget* controlAt(const Controls& controls) {
  return controls.*Member;
}

using ControlGetter = QWidget* (*)(const Controls&);

// Positions and sizes in twips, relative to the container's inner area; `tab` is the tab index.
struct ControlRow {
  const char* name;
  QWidget* (*create)(Controls&, QWidget* container, const QString& caption, const ListServices& services);
  Frame* Controls::*container;  // nullptr: the window itself
  int left, top, width, height;
  int tab;
  const char* caption;
};

// A row names its member once; the name is also the control's objectName.
#define CONTROL(member) #member, &createInto < &Controls::member>
#define AT(member) &controlAt<&Controls::member>

// In screen order, top to bottom within each column; a frame comes before what it holds.
constexpr ControlRow kControls[] = {
    {CONTROL(Dir1), nullptr, 0, 0, 3015, 7515, 0, ""},
    {CONTROL(Drive1), nullptr, 0, 7570, 3015, 315, 1, ""},
    {CONTROL(File1), nullptr, 3000, 0, 3255, 7890, 2, ""},
    {CONTROL(Command1), nullptr, 6480, 120, 2775, 375, 3, "Numeruj"},
    {CONTROL(Command5), nullptr, 6480, 600, 2775, 375, 4, "Zmień plikom wielkość liter"},
    {CONTROL(Command6), nullptr, 6480, 1080, 2775, 375, 33, "Inne zamiany"},
    {CONTROL(Command2), nullptr, 6480, 1560, 2775, 375, 5, "Expolator"},
    {CONTROL(Command4), nullptr, 6480, 2040, 2775, 375, 6, "Pomoc"},
    {CONTROL(Command3), nullptr, 6480, 2520, 2775, 375, 7, "Koniec"},
    {CONTROL(Frame1), nullptr, 6360, 3120, 3015, 2415, 8, "Opcje (dot. przycisku Numeruj)"},
    {CONTROL(Label1), &Controls::Frame1, 120, 240, 2055, 255, 9, "Zacznij numerować od:"},
    {CONTROL(Text1), &Controls::Frame1, 1920, 240, 855, 285, 10, "1"},
    {CONTROL(Check1), &Controls::Frame1, 120, 520, 2655, 255, 11, "Użyj zer wiodących"},
    {CONTROL(Label3), &Controls::Frame1, 120, 840, 1335, 255, 17, "Przedrostek:"},
    {CONTROL(Text3), &Controls::Frame1, 1920, 840, 855, 285, 12, "Plik"},
    {CONTROL(Label8), &Controls::Frame1, 120, 1200, 1695, 255, 19, "Ciąg znaków za cyfrą"},
    {CONTROL(Text5), &Controls::Frame1, 1920, 1200, 855, 285, 13, ""},
    {CONTROL(Label7), &Controls::Frame1, 120, 1560, 1695, 255, 18, "Maska plików"},
    {CONTROL(Text4), &Controls::Frame1, 1920, 1560, 855, 285, 14, "*.*"},
    {CONTROL(Label2), &Controls::Frame1, 120, 1920, 1695, 255, 16, "Krok:"},
    {CONTROL(Text2), &Controls::Frame1, 1920, 1920, 855, 285, 15, "1"},
    {CONTROL(Frame2), nullptr, 6360, 5640, 3015, 1575, 20, "Opcje (dot. przycisku Zmień plikom...)"},
    {CONTROL(Option2), &Controls::Frame2, 120, 240, 2055, 255, 21, "Zamień na DUŻE"},
    {CONTROL(Option3), &Controls::Frame2, 120, 480, 2535, 195, 22, "Zamień na małe"},
    {CONTROL(Option4), &Controls::Frame2, 120, 720, 2775, 255, 23, "Pierwsza DUŻA reszta małe"},
    {CONTROL(Option5), &Controls::Frame2, 120, 960, 2295, 255, 24, "Pierwsza MAŁA reszta duże"},
    {CONTROL(Option1), &Controls::Frame2, 120, 1200, 2655, 255, 28, "Każdy Wyraz Od Wielkiej Litery"},
    {CONTROL(Frame3), nullptr, 6360, 7320, 3015, 1095, 29, "Opcje (dot. przycisku Inne zamiany)"},
    {CONTROL(Option6), &Controls::Frame3, 120, 240, 2535, 255, 30, "Zmień spacje na znaki _"},
    {CONTROL(Option7), &Controls::Frame3, 120, 480, 2535, 255, 31, "Zmień znaki _ na spacje"},
    {CONTROL(Option8), &Controls::Frame3, 120, 720, 2535, 255, 32, "Zmień ą na a, ę na e itp."},
    {CONTROL(pb1), nullptr, 120, 8160, 6135, 255, 25, ""},
    {CONTROL(pb2), nullptr, 120, 8160, 135, 255, 26, ""},
    {CONTROL(pb3), nullptr, 120, 8160, 6135, 255, 27, "0 %"},
};

// The window's direct children from back to front; where they overlap, the later one is drawn over.
constexpr ControlGetter kBackToFront[] = {AT(pb1),      AT(pb2),      AT(pb3),      AT(Dir1),   AT(File1),
                                          AT(Command1), AT(Command2), AT(Command3), AT(Drive1), AT(Frame1),
                                          AT(Command4), AT(Frame2),   AT(Command5), AT(Frame3), AT(Command6)};

#undef CONTROL
#undef AT

// Each text box with the label that names it.
constexpr std::pair<QLabel * Controls::*, QLineEdit * Controls::*> kBuddies[] = {
    {&Controls::Label1, &Controls::Text1},
    {&Controls::Label2, &Controls::Text2},
    {&Controls::Label3, &Controls::Text3},
    {&Controls::Label7, &Controls::Text4},
    {&Controls::Label8, &Controls::Text5}};

// Enter on a focused button clicks it, as Space does; no button becomes a default button that
// Enter would click from elsewhere. A held Enter clicks once.
class EnterClicks final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const auto modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (!enter || modifiers != Qt::NoModifier) return false;
    if (!key->isAutoRepeat()) static_cast<QPushButton*>(watched)->click();
    return true;
  }
};

// The part of a control that siblings drawn over it leave free, measured from its left edge: the
// text box beside "Zacznij numerować od:" covers the label's right end.
int visibleWidth(QWidget* w) {
  int width = w->width();
  const auto siblings = w->parentWidget()->children();
  const auto self = siblings.indexOf(w);
  for (qsizetype i = self + 1; i < siblings.size(); ++i) {  // later children lie in front
    auto* other = qobject_cast<QWidget*>(siblings[i]);
    if (!other || other->isHidden() || !other->geometry().intersects(w->geometry())) continue;
    if (other->x() > w->x()) width = std::min(width, other->x() - w->x());
  }
  return width;
}

// Whether the caption shows whole in its control with the font it has now: the text plus what
// the style draws beside it (a button's margins, the round or square indicator).
bool captionFits(QWidget* w, int firstRowTop) {
  if (auto* frame = qobject_cast<Frame*>(w)) {
    // The caption must also stay above the first row of controls inside.
    return frame->titleWidthNeeded() <= frame->width() &&
           QFontMetrics(frame->titleFont()).height() <= firstRowTop;
  }
  const QFontMetrics metrics = w->fontMetrics();
  int needed = 0;
  if (auto* label = qobject_cast<QLabel*>(w)) {
    needed = metrics.horizontalAdvance(label->text()) + 2 * label->margin();
  } else if (auto* button = qobject_cast<QPushButton*>(w)) {
    needed = metrics.horizontalAdvance(button->text()) +
             2 * w->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w);
  } else if (auto* box = qobject_cast<QAbstractButton*>(w)) {
    QStyleOptionButton option;
    option.initFrom(w);
    const auto contents =
        qobject_cast<QRadioButton*>(w) ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents;
    needed = w->style()->subElementRect(contents, &option, w).left() + metrics.horizontalAdvance(box->text());
  }
  return needed <= visibleWidth(w) && metrics.height() <= w->height();
}

}  // namespace

int frmMain::px(double twips) const {
  return static_cast<int>(std::lround(twips * scale_.geometry / kTwipsPerPixel));
}

void frmMain::buildControls() {
  Controls& controls = *this;
  // Liberation Sans at 8 points, grown with large desktop text: a narrow sans with the metrics the
  // captions were sized for, so the lists and boxes read like the rest of the desktop. Set before the
  // controls are made, which take it as they are made: set after them, it reached each one as a
  // change, and the drive list made its drop-down then only to hand the font on.
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPointSizeF(8.0 * scale_.text);
  setFont(font);
  auto* enterClicks = new EnterClicks(this);
  std::vector<QWidget*> captioned;
  std::vector<std::pair<int, QWidget*>> tabStops;
  // Like the lists of any desktop, they start on the folder the program was started from; a folder
  // the user opens there and cannot read is told like any stopped procedure.
  const ListServices services{services_.folders, services_.volumes, services_.currentFolder(),
                              [this](const std::function<void()>& procedure) { entry(procedure); }};
  for (const ControlRow& row : kControls) {
    QWidget* container = row.container ? controls.*row.container : static_cast<QWidget*>(this);
    QWidget* w = row.create(controls, container, QString::fromUtf8(row.caption), services);
    w->setObjectName(QString::fromUtf8(row.name));
    w->setGeometry(px(row.left), px(row.top), px(row.width), px(row.height));
    if (auto* button = qobject_cast<QPushButton*>(w)) {
      button->setAutoDefault(false);
      button->installEventFilter(enterClicks);
    }
    if (*row.caption && !qobject_cast<QLineEdit*>(w)) captioned.push_back(w);
    tabStops.emplace_back(row.tab, w);
  }

  // Radio buttons that share a frame already exclude one another; the frames keep the groups apart.
  Option3->setChecked(true);
  Option6->setChecked(true);
  for (const auto& [label, box] : kBuddies) (controls.*label)->setBuddy(controls.*box);

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

  for (const ControlGetter at : kBackToFront) at(controls)->raise();
  // Inside a frame the labels lie on the frame's surface, beneath the other controls.
  for (Frame* frame : {Frame1, Frame2, Frame3}) {
    for (QObject* child : frame->children()) {
      auto* w = qobject_cast<QWidget*>(child);
      if (w && !qobject_cast<QLabel*>(w)) w->raise();
    }
  }

  std::stable_sort(tabStops.begin(), tabStops.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  QWidget* previous = nullptr;
  for (const auto& [tab, w] : tabStops) {
    if (!(w->focusPolicy() & Qt::TabFocus)) continue;
    if (previous) setTabOrder(previous, w);
    previous = w;
  }

  chooseFonts(captioned);
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

// Where a caption does not fit in the window's font (another font stood in for Liberation Sans), that
// control alone steps down half a point at a time: a cut-off caption ("Każdy Wyraz Od Wiel…") would
// hide what an option does.
void frmMain::chooseFonts(const std::vector<QWidget*>& captioned) {
  const qreal points = font().pointSizeF();
  const qreal smallestReadable = 6.0 * scale_.text;
  for (QWidget* w : captioned) {
    for (qreal size = points; !captionFits(w, px(240)) && size > smallestReadable;) {
      size -= 0.5;
      if (auto* frame = qobject_cast<Frame*>(w)) {
        frame->setTitlePointSize(size);
      } else {
        QFont smaller = w->font();
        smaller.setPointSizeF(size);
        w->setFont(smaller);
      }
    }
  }
}

void frmMain::centreOnScreen() {
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect free = screen->availableGeometry();
  QRect frame = frameGeometry();
  frame.moveCenter(free.center());
  // A window larger than the screen keeps its title bar and its top-left controls, where work
  // starts, on the screen.
  move(free.contains(frame) ? frame.topLeft() : free.topLeft());
}

}  // namespace skorvatin::ui
