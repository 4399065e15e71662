#include <QApplication>

#include "platform/posix_folder.h"
#include "platform/program_folder.h"
#include "platform/qt/message_box.h"
#include "skorvatin/version.h"
#include "ui/frm_main.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(skorvatin::version::kApplicationName));
  QApplication::setApplicationVersion(QString::fromUtf8(skorvatin::version::kDisplayVersion));
  QApplication::setDesktopFileName(QStringLiteral("skorvatin"));
  QApplication::setWindowIcon(skorvatin::ui::frmMain::programIcon());

  skorvatin::platform::qt::QtMessageBox boxes;
  skorvatin::platform::PosixFolders folders;
  skorvatin::ui::frmMain window({&skorvatin::platform::programFolder, boxes, folders});
  boxes.setOwner(&window);
  window.centreOnScreen();
  window.show();
  return app.exec();
}
