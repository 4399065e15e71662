#pragma once

#include <QIcon>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/batch_restore.h"
#include "engine/conversion_pass.h"
#include "engine/event_pump.h"
#include "engine/file_list.h"
#include "engine/folder.h"
#include "engine/journal.h"
#include "engine/letter_case.h"
#include "engine/numbering_run.h"
#include "engine/replacements.h"
#include "engine/run_error.h"
#include "platform/qt/desktop_opener.h"
#include "platform/qt/event_pump.h"
#include "platform/qt/message_box.h"
#include "platform/volumes.h"
#include "ui/window_scale.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;

namespace skorvatin::ui {

class DirListBox;
class DriveListBox;
class FileListModel;
class Frame;

// What the window needs of the desktop, all handed in, so that building a window touches no real
// folder unless it is given one: no test may wait on a modal box or depend on where its binary lies.
struct FrmMainServices {
  std::function<std::string()> programFolder;
  platform::qt::MessageBox& boxes;
  FolderService& folders;
  // Where every batch is written down before it starts, for recovery and undo.
  JournalStore& journal;
  // The file manager and document opener, and the mounted volumes.
  std::shared_ptr<platform::qt::DesktopOpener> opener;
  std::shared_ptr<platform::VolumeService> volumes;
  // The folder the program was started from, and whether a copy kept in a folder starts there.
  std::function<std::string()> currentFolder;
  std::function<bool(const std::string&)> isOwnFolder;
  // The folder named on the command line, absolute; empty when none was.
  std::string requestedFolder;
};

// The window's controls, named as the event procedures know them. The layout table in
// frm_main_layout.cpp creates each one into its member and gives it that name as objectName.
struct FrmMainControls {
  DirListBox* Dir1 = nullptr;
  DriveListBox* Drive1 = nullptr;
  QListView* File1 = nullptr;
  QPushButton* Command1 = nullptr;
  QPushButton* Command2 = nullptr;
  QPushButton* Command3 = nullptr;
  QPushButton* Command4 = nullptr;
  QPushButton* Command5 = nullptr;
  QPushButton* Command6 = nullptr;
  Frame* Frame1 = nullptr;
  Frame* Frame2 = nullptr;
  Frame* Frame3 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label8 = nullptr;
  QLineEdit* Text1 = nullptr;
  QLineEdit* Text2 = nullptr;
  QLineEdit* Text3 = nullptr;
  QLineEdit* Text4 = nullptr;
  QLineEdit* Text5 = nullptr;
  QCheckBox* Check1 = nullptr;
  QRadioButton* Option1 = nullptr;
  QRadioButton* Option2 = nullptr;
  QRadioButton* Option3 = nullptr;
  QRadioButton* Option4 = nullptr;
  QRadioButton* Option5 = nullptr;
  QRadioButton* Option6 = nullptr;
  QRadioButton* Option7 = nullptr;
  QRadioButton* Option8 = nullptr;
  QLabel* pb1 = nullptr;
  QLabel* pb2 = nullptr;
  QLabel* pb3 = nullptr;
};

// The program's one window. The event procedures reach the controls by their bare names; from
// outside they are read through controls().
class frmMain final : public QWidget, private FrmMainControls {
  Q_OBJECT
 public:
  using Controls = FrmMainControls;

  // The layout is drawn in twips; at 96 dpi 15 twips make one pixel, and Qt scales on HiDPI. Large
  // desktop text and a logical DPI above 96 grow it (window_scale.h).
  static constexpr int kTwipsPerPixel = 15;
  static constexpr int kClientWidthTwips = 9465;
  static constexpr int kClientHeightTwips = 8505;

  // Builds the window and runs Form_Load; an error there is reported before the window shows.
  explicit frmMain(FrmMainServices services, QWidget* parent = nullptr);
  ~frmMain() override;

  const Controls& controls() const { return *this; }

  // The program's icon at every drawn size, for the window and the application; each size is read
  // when it is first drawn (program_icon.cpp).
  static QIcon programIcon();

  // Places the window in the middle of the screen it will appear on, inside the screen's free area;
  // where it cannot fit, at that area's top-left corner.
  void centreOnScreen();

  // What the operation button would rename now, as its tooltip shows it; empty while an operation
  // runs.
  QString previewFor(const QPushButton* button);

  // How much larger than drawn this window was built.
  WindowScale scale() const { return scale_; }

  // The progress labels' widths in twips, as the conversion pass reads and sets them; the labels
  // themselves can only show whole pixels.
  float pb1WidthTwips() const { return pb1Width_; }
  float pb2WidthTwips() const { return pb2Width_; }

  // Event procedures.
  void Form_Load();
  void Dir1_Change();
  void Command1_Click();
  void Command5_Click();
  void Command6_Click();
  void Command3_Click();
  // frm_main_navigation.cpp
  void Drive1_Change();
  void Text4_KeyUp();
  void Command2_Click();  // "Expolator"
  void Command4_Click();  // "Pomoc"

  // frm_main_journal.cpp
  // Asks, newest first, about every batch that a previous run left unfinished whether to put the
  // previous names back. The program calls it once the window is shown.
  void offerRecovery();
  // Ctrl+Z: undoes the newest finished batch that is still in the history, after asking.
  void undoLastBatch();
  // The system asks the program to end (log-out, a closed terminal, Ctrl+C where it was started):
  // at once, or, during a batch, at its next pause, with the batch undone where it can be.
  void endOnRequest();

  // What the boxes and option buttons say at the moment of the call, in the engine's terms.
  NumberingSettings numberingSettings() const;
  std::optional<CaseMode> caseMode() const;
  std::optional<ReplaceMode> replaceMode() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class PassControls;

  // frm_main_layout.cpp
  void buildControls();
  void chooseFonts(const std::vector<QWidget*>& captioned);
  // Drawn twips in this window's pixels.
  int px(double twips) const;
  bool focusNextPrevChild(bool next) override;

  // frm_main.cpp
  void wireOperations();
  void wirePreviews();
  // The name transformations of the two conversion buttons, with the options of the moment.
  NameTransform caseTransform() const;
  NameTransform replaceTransform() const;
  void wireNavigation();
  void wireNavigationControls();  // frm_main_navigation.cpp
  void wireJournal();             // frm_main_journal.cpp
  bool handleUndoKey(QKeyEvent* event);
  // Asks about the unfinished batches (`only` those, when given) and restores those the user wants back.
  void askAboutUnfinished(const std::set<BatchId>* only);
  // Runs a recovery or an undo as an operation; nothing when it stopped with an error, which has
  // been reported.
  std::optional<RestoreReport> restore(const std::function<RestoreReport()>& restore);
  // The one door to every operation: the three buttons' clicks, by whatever road they came (mouse,
  // keys, an accessibility action, click() from code), Ctrl+Z and the start-up recovery all hand
  // their procedure here. It runs with the user's input held back; one that comes while another
  // runs waits for it (see frm_main.cpp).
  void startOperation(std::function<void()> procedure);
  // The batch inside a procedure: the busy cursor while it runs, and the report of the error it
  // stops with.
  void runOperation(const std::function<void()>& body);
  // The one way in for every procedure that Qt calls: the error it stops with, out of memory
  // included, goes to `onError`, by default the report; nothing escapes into Qt's event loop.
  void entry(const std::function<void()>& procedure,
             const std::function<void(const RunError&)>& onError = nullptr);
  // Runs a procedure that is no operation (start-up, a folder change): an error is reported, and
  // the list, which keeps its entries on a failed read, stays as it was.
  void reportErrors(const std::function<void()>& body) { entry(body); }
  // Runs `show` now, or after the operation that is running: a box that an opener's late failure
  // brings up must not open in the middle of a run.
  void whenIdle(std::function<void()> show);
  void setPb2Width(float twips);

  FrmMainServices services_;
  FileList list_;
  EventPump pump_;
  platform::qt::InputHoldBack holdBack_;
  bool closeRequested_ = false;
  bool batchRunning_ = false;
  bool endRequested_ = false;
  std::vector<std::function<void()>> afterOperation_;
  // The folder and mask whose re-read failed last: a key released again in the mask box does not
  // bring up the same report again.
  std::optional<std::pair<std::string, std::string>> failedMaskRead_;
  // Batches whose restore waits for newer batches of their files to be undone.
  std::set<BatchId> waitingForUndo_;
  WindowScale scale_;
  float pb1Width_ = 6135;
  float pb2Width_ = 135;

  std::unique_ptr<PassControls> pass5View_;
  std::unique_ptr<PassControls> pass6View_;
  FileListModel* fileModel_ = nullptr;
};

}  // namespace skorvatin::ui
