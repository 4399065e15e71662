#include "ui/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>
#include <new>
#include <utility>

#include "platform/program_folder.h"
#include "skorvatin/version.h"
#include "ui/dir_list_box.h"
#include "ui/drive_list_box.h"
#include "ui/file_list_model.h"
#include "ui/row_delegate.h"

// The icons live in a static library; the linker keeps them only when they are asked for by name.
static void initIconResource() {
  Q_INIT_RESOURCE(icons);
}

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
}  // namespace

// The numbering run reads its options while it runs, from the boxes as they are at that moment.
class frmMain::NumberingControls final : public NumberingOptions {
 public:
  explicit NumberingControls(frmMain& w) : w_(w) {}
  std::string Text1() override { return w_.Text1->text().toStdString(); }
  std::string Text2() override { return w_.Text2->text().toStdString(); }
  // Prefix and tail become part of file names: encoded the way names are.
  std::string Text3() override { return QFile::encodeName(w_.Text3->text()).toStdString(); }
  std::string Text5() override { return QFile::encodeName(w_.Text5->text()).toStdString(); }
  int Check1Value() override { return w_.Check1->isChecked() ? 1 : 0; }
  std::string decimalSeparator() override { return QLocale::system().decimalPoint().toStdString(); }

 private:
  frmMain& w_;
};

// A conversion pass's view of the window: the progress labels and the button that started it.
class frmMain::PassControls final : public ConversionPassView {
 public:
  PassControls(frmMain& w, QPushButton* button) : w_(w), button_(button) {}
  float trackWidth() override { return w_.pb1Width_; }
  void setFillWidth(float width) override { w_.setPb2Width(width); }
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
  setFixedSize(kClientWidthTwips / kTwipsPerPixel, kClientHeightTwips / kTwipsPerPixel);

  buildControls();
  Dir1->setFolders(services_.folders);
  fileModel_ = new FileListModel(list_, this);
  File1->setModel(fileModel_);
  File1->setItemDelegate(new RowDelegate(File1));
  File1->setUniformItemSizes(true);  // one row height for all: 32767 names lay out at once
  File1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  File1->setSelectionMode(QAbstractItemView::SingleSelection);

  numberingOptions_ = std::make_unique<NumberingControls>(*this);
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

QIcon frmMain::programIcon() {
  initIconResource();
  QIcon icon;
  icon.addFile(QStringLiteral(":/skorvatin/skorvatin-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/skorvatin/skorvatin-32.png"), QSize(32, 32));
  return icon;
}

void frmMain::wireOperations() {
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
}

// Folder navigation: the drive list, the mask box, "Expolator" and "Pomoc" connect here.
void frmMain::wireNavigation() {
  connect(Dir1, &DirListBox::changed, this, [this] { Dir1_Change(); });
  wireNavigationControls();
}

// A copy kept beside one's photos starts in its own folder. An installed one, in a folder where
// the user may rename nothing, starts where it was started from: a desktop starts programs in the
// home folder. The help page is looked for beside the program either way.
void frmMain::Form_Load() {
  reportErrors([this] {
    const std::string own = services_.programFolder();
    Dir1->setPath(platform::userMayRenameIn(own) ? own : platform::currentFolder());
  });
}

void frmMain::Dir1_Change() {
  failedMaskRead_.reset();
  reportErrors([this] { list_.setPath(Dir1->path()); });
}

void frmMain::Command1_Click() {
  runOperation([this] {
    NumberingRun run(list_, *numberingOptions_, pump_, &services_.journal);
    run.setStopRequest([this] { return endRequested_; });
    run.Command1_Click();
  });
}

void frmMain::Command5_Click() {
  runOperation([this] {
    runConversionPass(
        list_, *pass5View_, pump_, [this](const std::string& name) { return Litery(name, caseOptions()); },
        &services_.journal);
  });
}

void frmMain::Command6_Click() {
  runOperation([this] {
    runConversionPass(
        list_, *pass6View_, pump_,
        [this](const std::string& name) { return Litery2(name, replaceOptions()); }, &services_.journal);
  });
}

void frmMain::Command3_Click() {
  close();
}

CaseOptions frmMain::caseOptions() const {
  return {Option1->isChecked(), Option2->isChecked(), Option3->isChecked(), Option4->isChecked(),
          Option5->isChecked()};
}

ReplaceOptions frmMain::replaceOptions() const {
  return {Option6->isChecked(), Option7->isChecked(), Option8->isChecked()};
}

void frmMain::setPb2Width(float twips) {
  pb2Width_ = twips;
  pb2->resize(static_cast<int>(std::lround(twips / kTwipsPerPixel)), pb2->height());
}

void frmMain::runOperation(const std::function<void()>& body) {
  {
    platform::qt::HoldBackScope hold(holdBack_);
    BusyCursor busy;
    // The operation has already undone what it could and re-read the list; the window only tells.
    const auto report = [&](const RunError& error) {
      // Clicks made before the user saw the report aimed at a folder that has changed since.
      hold.dropHeldInput();
      busy.end();
      services_.boxes.report(error);
    };
    try {
      batchRunning_ = true;
      body();
      batchRunning_ = false;
    } catch (const RunError& error) {
      batchRunning_ = false;
      // Told to end, the program ends once the batch is undone: nobody is there to read a report.
      if (!endRequested_) report(error);
    } catch (const std::bad_alloc&) {
      batchRunning_ = false;
      report(RunError(err::OutOfMemory));
    }
  }
  if (endRequested_ && !holdBack_.active()) {
    QApplication::exit(0);
    return;
  }
  // A close that came while the operation ran waited for it; so did a late opener's report.
  if (closeRequested_ && !holdBack_.active()) {
    close();
  } else if (!holdBack_.active()) {
    for (const auto& show : std::exchange(afterOperation_, {})) show();
  }
}

void frmMain::reportErrors(const std::function<void()>& body) {
  try {
    body();
  } catch (const RunError& error) {
    services_.boxes.report(error);
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
