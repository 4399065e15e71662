#pragma once

#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/run_error.h"
#include "platform/posix_folder.h"
#include "platform/qt/error_report.h"
#include "platform/qt/message_box.h"
#include "ui/frm_main.h"

class QWidget;

namespace skorvatin::testing {

// Message boxes that return at once and remember what they would have shown.
class RecordingMessageBox final : public platform::qt::MessageBox {
 public:
  void MsgBox(const QString& text, const QString& title) override {
    shown.append(title + QStringLiteral(": ") + text);
  }
  QStringList shown;
};

struct ReportedError {
  int number;
  QString text;
  std::string file;
  QString shownText;  // the whole text the user would read
};

class RecordingErrorReport final : public platform::qt::ErrorReport {
 public:
  void report(const RunError& error) override;
  std::vector<ReportedError> reports;
  std::function<void()> whileShown;  // runs while the report would be on screen
};

// The window on a fresh temporary folder that stands in for the program's own folder. The folder
// is filled before the window is built, since Form_Load lists it.
class WindowUnderTest {
 public:
  explicit WindowUnderTest(const std::vector<std::string>& files = {});
  ~WindowUnderTest();

  ui::frmMain& window() { return *window_; }
  std::string folder() const { return dir_.path().toStdString(); }
  void touch(const std::string& name) const;
  // The folder's files sorted by bytes, and the names the file list shows, in its order.
  std::vector<std::string> entries() const;
  QStringList listed() const;

  template <class T = QWidget>
  T* control(const char* name) {
    return window_->findChild<T*>(QString::fromUtf8(name));
  }

  RecordingMessageBox messageBox;
  RecordingErrorReport errors;

 private:
  QTemporaryDir dir_;
  platform::PosixFolders folders_;
  std::unique_ptr<ui::frmMain> window_;
};

// A left click that reaches `w` through the event queue, the way input does that arrives while an
// operation lets events run.
void postClick(QWidget* w);

}  // namespace skorvatin::testing
