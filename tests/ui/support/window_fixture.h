#pragma once

#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/run_error.h"
#include "platform/posix_folder.h"
#include "platform/qt/desktop_opener.h"
#include "platform/qt/message_box.h"
#include "platform/volumes.h"
#include "tests/support/memory_journal_store.h"
#include "ui/frm_main.h"

class QWidget;

namespace skorvatin::testing {

struct ReportedError {
  int number;
  QString text;
  std::string file;
  QString shownText;  // the whole text the user would read
};

// Every box the window would show, answered at once and remembered.
class RecordingMessageBox final : public platform::qt::MessageBox {
 public:
  void MsgBox(const QString& text, const QString& title) override;
  void report(const RunError& error) override;
  bool ask(const QString& text, const QString& title) override;

  QStringList shown;  // "title: text" of each warning
  std::vector<ReportedError> reports;
  QStringList asked;  // "title: text" of each question
  bool answer = true;
  std::deque<bool> answers;          // given first, one per question, before `answer`
  std::function<void()> whileShown;  // runs while any box would be on screen
};

// Remembers what the window asked the desktop to open; `failLater` plays an opener that started
// and then exited without success.
class RecordingOpener final : public platform::qt::DesktopOpener {
 public:
  void openFolder(const std::string& folder, Failed failed) override;
  void openDocument(const std::string& file, Failed failed) override;
  void failLater(const std::string& how = "zakończył pracę z kodem 4");

  std::vector<std::string> folders;
  std::vector<std::string> documents;
  bool documentOpens = false;

 private:
  Failed lastFailed_;
};

// Volumes as a test lays them out; the ones named in `unreadable` fail to open as a stick
// pulled out does.
class FakeVolumes final : public platform::VolumeService {
 public:
  std::vector<platform::Volume> list() override { return volumes; }
  void open(const std::string& mountPoint) override;

  std::vector<platform::Volume> volumes{{"/", {}, {}, {}}};
  std::set<std::string> unreadable;
  std::vector<std::string> opened;
};

struct WindowSetup {
  std::vector<std::string> files;              // made in the fixture's folder before Form_Load lists it
  std::function<std::string()> programFolder;  // the fixture's folder when empty
  std::shared_ptr<platform::qt::DesktopOpener> opener;  // a RecordingOpener when empty
  std::shared_ptr<FakeVolumes> volumes;                 // "/" alone when empty
  std::string requestedFolder;                          // as named on the command line
};

// The window over a fresh temporary folder that stands in for the program's own folder, with
// every box, the desktop opener and the volumes faked.
class WindowUnderTest {
 public:
  explicit WindowUnderTest(const std::vector<std::string>& files = {});
  explicit WindowUnderTest(WindowSetup setup);
  ~WindowUnderTest();

  ui::frmMain& window() { return *window_; }
  const ui::frmMain::Controls& controls() const { return window_->controls(); }
  std::string folder() const { return dir_.path().toStdString(); }
  void touch(const std::string& name) const;
  // The folder's files sorted by bytes, and the names the file list shows, in its order.
  std::vector<std::string> entries() const;
  QStringList listed() const;
  // The opener, when the test left the recording one in place.
  RecordingOpener& opener() { return static_cast<RecordingOpener&>(*opener_); }

  RecordingMessageBox boxes;
  std::shared_ptr<FakeVolumes> volumes;
  // The journals the window writes, open to the test.
  MemoryJournalStore journal;

 private:
  QTemporaryDir dir_;
  platform::PosixFolders folders_;
  std::shared_ptr<platform::qt::DesktopOpener> opener_;
  std::unique_ptr<ui::frmMain> window_;
};

// Runs the process in another current folder until the end of the scope.
class CurrentFolderScope {
 public:
  explicit CurrentFolderScope(const std::string& folder);
  ~CurrentFolderScope();
  CurrentFolderScope(const CurrentFolderScope&) = delete;
  CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;

 private:
  std::string previous_;
};

// A left click that reaches `w` through the event queue, the way input does that arrives while an
// operation lets events run.
void postClick(QWidget* w);

}  // namespace skorvatin::testing
