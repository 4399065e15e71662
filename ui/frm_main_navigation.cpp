// The drive list, the mask box and the three buttons beside the renaming work: "Expolator",
// "Pomoc" and "Koniec" (the last one lives with the window's closing in frm_main.cpp).
#include <QEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "platform/qt/desktop_opener.h"
#include "platform/volumes.h"
#include "ui/dir_list_box.h"
#include "ui/drive_list_box.h"
#include "ui/frm_main.h"

namespace skorvatin::ui {

namespace {

// The mask box's KeyUp: every key released in the box, whatever it is. A held key repeats its
// press but is released once, so the repeats the window system reports as releases do not count.
class KeyUpFilter final : public QObject {
 public:
  KeyUpFilter(QObject* parent, std::function<void()> keyUp) : QObject(parent), keyUp_(std::move(keyUp)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyRelease && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) keyUp_();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> keyUp_;
};

QString decoded(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

}  // namespace

void frmMain::wireNavigationControls() {
  if (!services_.opener) services_.opener = std::make_shared<platform::qt::XdgOpener>();
  if (services_.volumes) Drive1->setVolumeService(services_.volumes);
  // A folder the user opens in the list and cannot be read is reported like any stopped procedure.
  Dir1->setErrorReporter([this](const RunError& error) { services_.errorReport.report(error); });
  connect(Drive1, &DriveListBox::changed, this, [this] { Drive1_Change(); });
  Text4->installEventFilter(new KeyUpFilter(Text4, [this] { Text4_KeyUp(); }));
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
}

void frmMain::Drive1_Change() {
  try {
    const std::string drive = Drive1->drive();
    Drive1->volumes().open(drive);
    Dir1->setPath(drive);
  } catch (const RunError&) {
    // Whatever stopped the change, the user hears the one thing a missing medium calls for.
    pump_();
    services_.messageBox.MsgBox(QStringLiteral("Włóż dyskietkę"), QStringLiteral("Błąd"));
    // Back to the volume of the folder still shown. If that selection moves, the list raises
    // Drive1_Change again from here, which shows that volume's folder once more.
    reportErrors([this] { Drive1->setDrive(Dir1->path()); });
  }
}

void frmMain::Text4_KeyUp() {
  pump_();
  // The text as it stands, not trimmed or checked; an empty mask included.
  reportErrors([this] { list_.setPattern(QFile::encodeName(Text4->text()).toStdString()); });
}

void frmMain::Command2_Click() {
  reportErrors([this] { services_.opener->openFolder(Dir1->path()); });
}

void frmMain::Command4_Click() {
  reportErrors([this] {
    // The folder is joined with "/" whatever its last character: at the root the path reads
    // "//pomoc.htm", which still names the same file.
    if (services_.opener->openDocument(services_.programFolder() + "/pomoc.htm")) return;
    services_.messageBox.MsgBox(QStringLiteral("Nie mogę otworzyć pliku: ") +
                                    decoded(services_.programFolder()) + QStringLiteral("/pomoc.htm"),
                                QStringLiteral("Błąd"));
  });
}

}  // namespace skorvatin::ui
