#include "ui/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMouseEvent>
#include <QPersistentModelIndex>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleHints>
#include <cmath>
#include <new>
#include <utility>

#include "engine/checked.h"
#include "engine/number_text.h"
#include "platform/program_folder.h"
#include "platform/qt/display_name.h"
#include "platform/qt/error_report.h"
#include "skorvatin/version.h"
#include "ui/dir_list_box.h"
#include "ui/drive_list_box.h"
#include "ui/file_list_model.h"
#include "ui/row_delegate.h"

namespace skorvatin::ui {

namespace {
// The busy cursor while an operation runs. It goes before a report, whose box should not look busy.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { end(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
  void end() {
    if (std::exchange(shown_, false)) QApplication::restoreOverrideCursor();
  }

 private:
  bool shown_ = true;
};

// A double-click on an operation button runs it once. Qt 6.4 hands a button the two clicks of a
// double-click as press, release, MouseButtonDblClick, release (the press that made the pair is
// not delivered), and the button takes the DblClick for another press. The second press reaches
// the button only after the run the first click started (it waited in the window system's queue
// meanwhile), so the time of the events tells, not the time of their delivery: a DblClick whose
// first press was on the same button, with the same mouse button and within the double-click
// interval, presses nothing. Clicks further apart are each a click.
class DoubleClickIsOneClick final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool pair = event->type() == QEvent::MouseButtonDblClick;
    if (event->type() != QEvent::MouseButtonPress && !pair) return false;
    const auto* press = static_cast<QMouseEvent*>(event);
    const auto interval = static_cast<quint64>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    if (pair && watched == firstButton_ && press->button() == firstMouseButton_ &&
        press->timestamp() >= firstTime_ && press->timestamp() - firstTime_ < interval) {
      firstButton_ = nullptr;  // a third press starts a click of its own, as Qt pairs them
      return true;
    }
    firstButton_ = watched;
    firstMouseButton_ = press->button();
    firstTime_ = press->timestamp();
    return false;
  }

 private:
  QObject* firstButton_ = nullptr;
  Qt::MouseButton firstMouseButton_ = Qt::NoButton;
  quint64 firstTime_ = 0;
};

// Qt 6.4's accessible rows (QAccessibleTableCell::state) report `focused` for a view's current item
// whether or not the view has the keyboard: after Tab had moved on, the file list's current row
// still told a screen reader it had the focus, and so did the folder list's and, once it had
// dropped down, the drive list's. So a list here has a current item only while it has the focus.
// The file and folder lists keep theirs aside meanwhile (the folder list marks the folder it opens
// even then) and get it back when the focus returns, before the view announces it; the drive list's
// drop-down only loses it, since the box gives it afresh each time it drops down. The selection,
// which is what the eye sees, stays as it is.
class CurrentItemOnlyWithFocus final : public QObject {
 public:
  CurrentItemOnlyWithFocus(QAbstractItemView* view, bool keepsItsOwn) : QObject(view), view_(view) {
    view->installEventFilter(this);
    if (!keepsItsOwn) return;
    keepsItsOwn_ = true;
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& now) {
              if (now.isValid() && !view_->hasFocus()) setAside();
            });
    if (!view->hasFocus()) setAside();
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::FocusOut) setAside();
    if (event->type() == QEvent::FocusIn && aside_.isValid()) {
      view_->selectionModel()->setCurrentIndex(std::exchange(aside_, {}), QItemSelectionModel::NoUpdate);
    }
    return false;
  }

 private:
  void setAside() {
    if (!view_->currentIndex().isValid()) return;
    if (keepsItsOwn_) aside_ = view_->currentIndex();
    view_->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  }

  QAbstractItemView* view_;
  bool keepsItsOwn_ = false;
  QPersistentModelIndex aside_;
};
}  // namespace

// A conversion pass's view of the window: the progress labels and the button that started it. The
// fill grows by a hundredth of the track's width, rounded, per file: past the track's end for a
// list of more than a hundred files, and from one step again at the next pass.
class frmMain::PassControls final : public ConversionPassView {
 public:
  PassControls(frmMain& w, QPushButton* button) : w_(w), button_(button) {}
  void setProgress(std::size_t done, std::size_t) override {
    const std::int32_t step = roundToInt32(static_cast<double>(w_.pb1Width_) / 100.0);
    w_.setPb2Width(static_cast<float>(checked::mul(checked::toInt32(done), step)));
  }
  void setButtonEnabled(bool enabled) override { button_->setEnabled(enabled); }
  void focusButton() override { button_->setFocus(Qt::OtherFocusReason); }

 private:
  frmMain& w_;
  QPushButton* button_;
};

frmMain::frmMain(FrmMainServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      services_(std::move(services)),
      list_(services_.folders),
      pump_(platform::qt::makeEventPump()),
      holdBack_(this) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromUtf8(version::kApplicationName));
  setWindowIcon(programIcon());
  const QScreen* screen = QGuiApplication::primaryScreen();
  scale_ = windowScale(QApplication::font().pointSizeF(), screen ? screen->logicalDotsPerInchY() : 96.0);
  setFixedSize(px(kClientWidthTwips), px(kClientHeightTwips));

  buildControls();
  fileModel_ = new FileListModel(list_, this);
  File1->setModel(fileModel_);
  // Qt only posts a view's layout after a reset, and the rows stay undrawn until the event loop
  // gets to it: a list re-read at the end of a batch is blank until then. Qt also drops a posted
  // layout that falls due while the view does not count as visible, and posts none for later
  // resets, which leaves the rows undrawn until something forces the layout, as Home does. The
  // list lays itself out at once instead; with rows of one height, 32767 take 0.8 ms.
  connect(fileModel_, &QAbstractItemModel::modelReset, File1, [this] { File1->doItemsLayout(); });
  File1->setItemDelegate(new RowDelegate(File1));
  File1->setUniformItemSizes(true);  // one row height for all: 32767 names lay out at once
  File1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  File1->setSelectionMode(QAbstractItemView::SingleSelection);
  // Lists have no caption of their own for a screen reader to read out.
  Dir1->setAccessibleName(QStringLiteral("Foldery"));
  Drive1->setAccessibleName(QStringLiteral("Dysk"));
  File1->setAccessibleName(QStringLiteral("Pliki"));
  new CurrentItemOnlyWithFocus(Dir1, true);
  new CurrentItemOnlyWithFocus(File1, true);
  // The drive list's drop-down, a window of its own with its view, is made the first time it drops
  // down: made with the window, it took about a millisecond of every start.
  connect(
      Drive1, &DriveListBox::droppingDown, this,
      [this] { new CurrentItemOnlyWithFocus(Drive1->view(), false); }, Qt::SingleShotConnection);

  pass5View_ = std::make_unique<PassControls>(*this, Command5);
  pass6View_ = std::make_unique<PassControls>(*this, Command6);

  wireOperations();
  wireNavigation();
  wireJournal();

  // The file list starts where the folder list starts; Form_Load then moves both.
  if (!Dir1->path().empty()) reportErrors([this] { list_.setPath(Dir1->path()); });
  Form_Load();
  Dir1->setFocus(Qt::OtherFocusReason);
}

// The model unhooks itself from the list when it goes; it must go while the list is still there,
// not later among the window's children.
frmMain::~frmMain() {
  delete fileModel_;
}

void frmMain::wireOperations() {
  auto* oneClick = new DoubleClickIsOneClick(this);
  for (QPushButton* button : {Command1, Command5, Command6}) button->installEventFilter(oneClick);
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  wirePreviews();
}

// Folder navigation: the drive list, the mask box, "Expolator" and "Pomoc" connect here.
void frmMain::wireNavigation() {
  connect(Dir1, &DirListBox::changed, this, [this] { Dir1_Change(); });
  wireNavigationControls();
}

// A folder named on the command line (or by a file manager's "Open with") comes first. Otherwise a
// copy kept beside one's photos starts in its own folder, and an installed one where it was started
// from: a desktop starts programs in the home folder. The help page is looked for beside the
// program either way.
void frmMain::Form_Load() {
  const std::string& requested = services_.requestedFolder;
  if (!requested.empty()) {
    bool shown = false;
    entry(
        [&] {
          Dir1->setPath(requested);
          shown = true;
        },
        [&](const RunError& error) {
          services_.boxes.MsgBox(QStringLiteral("Nie mogę otworzyć folderu: ") +
                                     platform::qt::displayName(requested) + QStringLiteral("\n\n") +
                                     platform::qt::errorReportText(error),
                                 QStringLiteral("Błąd"));
        });
    if (shown) return;
  }
  reportErrors([this] {
    const std::string own = services_.programFolder();
    Dir1->setPath(services_.isOwnFolder(own) ? own : services_.currentFolder());
  });
}

void frmMain::Dir1_Change() {
  failedMaskRead_.reset();
  reportErrors([this] { list_.setPath(Dir1->path()); });
}

void frmMain::Command1_Click() {
  startOperation([this] {
    runOperation([this] {
      NumberingRun run(list_, numberingSettings(), pump_, &services_.journal);
      run.setStopRequest([this] { return endRequested_; });
      run.run();
    });
  });
}

void frmMain::Command5_Click() {
  startOperation([this] {
    runOperation(
        [this] { runConversionPass(list_, *pass5View_, pump_, caseTransform(), &services_.journal); });
  });
}

void frmMain::Command6_Click() {
  startOperation([this] {
    runOperation(
        [this] { runConversionPass(list_, *pass6View_, pump_, replaceTransform(), &services_.journal); });
  });
}

void frmMain::Command3_Click() {
  close();
}

NumberingSettings frmMain::numberingSettings() const {
  NumberingSettings settings;
  settings.start = Text1->text().toStdString();
  settings.step = Text2->text().toStdString();
  // Prefix and tail become part of file names: encoded the way names are.
  settings.prefix = QFile::encodeName(Text3->text()).toStdString();
  settings.suffix = QFile::encodeName(Text5->text()).toStdString();
  settings.leadingZeros = Check1->isChecked();
  settings.decimalSeparator = QLocale::system().decimalPoint().toStdString();
  return settings;
}

// The buttons of a frame are exclusive, so one of them is checked; were none, names stay as they are.
std::optional<CaseMode> frmMain::caseMode() const {
  if (Option2->isChecked()) return CaseMode::AllUpper;
  if (Option3->isChecked()) return CaseMode::AllLower;
  if (Option4->isChecked()) return CaseMode::FirstUpperRestLower;
  if (Option5->isChecked()) return CaseMode::FirstLowerRestUpper;
  if (Option1->isChecked()) return CaseMode::EveryWordCapital;
  return std::nullopt;
}

std::optional<ReplaceMode> frmMain::replaceMode() const {
  if (Option6->isChecked()) return ReplaceMode::SpacesToUnderscores;
  if (Option7->isChecked()) return ReplaceMode::UnderscoresToSpaces;
  if (Option8->isChecked()) return ReplaceMode::PolishToPlain;
  return std::nullopt;
}

void frmMain::setPb2Width(float twips) {
  pb2Width_ = twips;
  pb2->resize(px(twips), pb2->height());
}

// A request for an operation that comes while another one runs (or asks its question) waits for
// it, whichever road it came by: it is queued with the clicks and keys held back meanwhile and runs
// after the operation, in order with them. Were it dropped instead, the user would have to guess
// which presses counted; were it run at once, it would work on files the running operation has
// under temporary names. Like those clicks, it is dropped when the operation stops with an error
// report (it aimed at a list the user no longer sees) or when the window goes at its end.
void frmMain::startOperation(std::function<void()> procedure) {
  if (holdBack_.active()) {
    holdBack_.defer([this, procedure = std::move(procedure)] { startOperation(procedure); });
    return;
  }
  {
    platform::qt::HoldBackScope hold(holdBack_);
    procedure();
    if (endRequested_ || closeRequested_) hold.dropHeldInput();
  }
  if (endRequested_) {
    QApplication::exit(0);
    return;
  }
  // A close that came while the operation ran waited for it; so did a late opener's report.
  if (closeRequested_) {
    close();
  } else {
    for (const auto& show : std::exchange(afterOperation_, {})) show();
  }
}

void frmMain::runOperation(const std::function<void()>& body) {
  // Inner to the procedure's hold: a report drops what was held back until it is read.
  platform::qt::HoldBackScope hold(holdBack_);
  BusyCursor busy;
  // The operation has already undone what it could and re-read the list; the window only tells.
  const auto report = [&](const RunError& error) {
    // Clicks made before the user saw the report aimed at a folder that has changed since.
    hold.dropHeldInput();
    busy.end();
    services_.boxes.report(error);
  };
  batchRunning_ = true;
  entry(body, [&](const RunError& error) {
    batchRunning_ = false;
    // Told to end, the program ends once the batch is undone: nobody is there to read a report.
    if (!endRequested_ || error.number() == err::OutOfMemory) report(error);
  });
  batchRunning_ = false;
}

void frmMain::entry(const std::function<void()>& procedure,
                    const std::function<void(const RunError&)>& onError) {
  std::optional<RunError> failed;
  try {
    procedure();
  } catch (const RunError& error) {
    failed = error;
  } catch (const std::bad_alloc&) {
    failed = RunError(err::OutOfMemory);
  }
  if (!failed) return;
  if (onError) {
    onError(*failed);
  } else {
    services_.boxes.report(*failed);
  }
}

void frmMain::whenIdle(std::function<void()> show) {
  if (holdBack_.active()) {
    afterOperation_.push_back(std::move(show));
  } else {
    show();
  }
}

void frmMain::keyPressEvent(QKeyEvent* event) {
  if (handleUndoKey(event)) return;
  // "Koniec" is the cancel button: Esc anywhere in the window clicks it.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && Command3->isEnabled()) {
    Command3->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

void frmMain::closeEvent(QCloseEvent* event) {
  // Closing in the middle of a run would leave files under their temporary names: the window
  // closes as soon as the operation has finished.
  if (holdBack_.active()) {
    closeRequested_ = true;
    event->ignore();
    return;
  }
  closeRequested_ = false;
  event->accept();
}

}  // namespace skorvatin::ui
