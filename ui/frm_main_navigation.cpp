// The drive list, the mask box and the three buttons beside the renaming work: "Expolator",
// "Pomoc" and "Koniec" (the last one lives with the window's closing in frm_main.cpp).
#include <QEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <set>

#include "platform/qt/desktop_opener.h"
#include "platform/qt/display_name.h"
#include "platform/volumes.h"
#include "ui/dir_list_box.h"
#include "ui/drive_list_box.h"
#include "ui/frm_main.h"

namespace skorvatin::ui {

namespace {

// The mask box's KeyUp: a key released in the box whose press the box received, whatever key it
// is. A release whose press went elsewhere does nothing: Enter or Esc closing a message box
// would otherwise re-read the folder that has just failed and open the box again, for ever. A
// held key repeats its press but is released once, so repeats do not count.
class KeyUpFilter final : public QObject {
 public:
  KeyUpFilter(QObject* parent, std::function<void()> keyUp) : QObject(parent), keyUp_(std::move(keyUp)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat()) pressed_.insert(key->key());
        break;
      }
      case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat() && pressed_.erase(key->key()) > 0) keyUp_();
        break;
      }
      case QEvent::FocusIn:
      case QEvent::FocusOut:
        // A key pressed before the box had the focus, or released after it lost it, is not the box's.
        pressed_.clear();
        break;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> keyUp_;
  std::set<int> pressed_;
};

QString helpFailure(const std::string& folder) {
  return QStringLiteral("Nie mogę otworzyć pliku: ") + platform::qt::displayName(folder) +
         QStringLiteral("/pomoc.htm");
}

}  // namespace

void frmMain::wireNavigationControls() {
  connect(Drive1, &DriveListBox::changed, this, [this] { Drive1_Change(); });
  Text4->installEventFilter(new KeyUpFilter(Text4, [this] { Text4_KeyUp(); }));
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
}

void frmMain::Drive1_Change() {
  entry(
      [this] {
        const std::string drive = Drive1->drive();
        Drive1->volumes().open(drive);
        Dir1->setPath(drive);
      },
      [this](const RunError&) {
        // Whatever stopped the change, the user hears the one thing a missing medium calls for.
        pump_();
        services_.boxes.MsgBox(QStringLiteral("Włóż dyskietkę"), QStringLiteral("Błąd"));
        // Back to the volume of the folder still shown. If that selection moves, the list raises
        // Drive1_Change again from here, which shows that volume's folder once more.
        reportErrors([this] { Drive1->setDrive(Dir1->path()); });
      });
}

void frmMain::Text4_KeyUp() {
  pump_();
  // The text as it stands, not trimmed or checked; an empty mask included.
  const std::string mask = QFile::encodeName(Text4->text()).toStdString();
  entry(
      [&] {
        list_.setPattern(mask);
        failedMaskRead_.reset();
      },
      [&](const RunError& error) {
        // A folder that keeps failing is reported once, until the folder or the mask changes: the
        // user has read the report, and a box for every key would make the box impossible to leave.
        auto attempt = std::make_pair(list_.path(), mask);
        if (failedMaskRead_ == attempt) return;
        failedMaskRead_ = std::move(attempt);
        services_.boxes.report(error);
      });
}

// The opener's exit comes long after the click has returned; its report waits for a running
// operation to end, and is dropped when the window has gone.
void frmMain::Command2_Click() {
  reportErrors([this] {
    const std::string folder = Dir1->path();
    services_.opener->openFolder(folder, [window = QPointer<frmMain>(this), folder](const std::string& how) {
      if (!window) return;
      window->whenIdle([window, folder, how] {
        if (window) window->services_.boxes.report(RunError(err::FileNotFound, folder, how));
      });
    });
  });
}

void frmMain::Command4_Click() {
  // The folder is joined with "/" whatever its last character: at the root the path reads
  // "//pomoc.htm", which still names the same file.
  const std::string folder = services_.programFolder();
  // A help page that cannot be shown is told in its own words, now or when the viewer fails later.
  entry(
      [&] {
        services_.opener->openDocument(
            folder + "/pomoc.htm", [window = QPointer<frmMain>(this), folder](const std::string&) {
              if (!window) return;
              window->whenIdle([window, folder] {
                if (window) window->services_.boxes.MsgBox(helpFailure(folder), QStringLiteral("Błąd"));
              });
            });
      },
      [&](const RunError& error) {
        // A help page that is there but cannot be shown says why: which program is missing.
        const bool pageMissing = error.file() == folder + "/pomoc.htm";
        QString text = helpFailure(folder);
        if (!pageMissing) text += QStringLiteral("\n\n") + platform::qt::displayName(error.detail());
        services_.boxes.MsgBox(text, QStringLiteral("Błąd"));
      });
}

}  // namespace skorvatin::ui
