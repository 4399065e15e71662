#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "platform/journal_folder.h"
#include "platform/posix_folder.h"
#include "platform/program_folder.h"
#include "platform/qt/desktop_opener.h"
#include "platform/qt/message_box.h"
#include "platform/qt/termination_signals.h"
#include "platform/volumes.h"
#include "skorvatin/version.h"
#include "ui/command_line.h"
#include "ui/frm_main.h"

int main(int argc, char* argv[]) {
  using skorvatin::ui::CommandLine;
  const CommandLine line = skorvatin::ui::parseCommandLine(
      std::vector<std::string>(argv + std::min(argc, 1), argv + argc), skorvatin::platform::currentFolder());
  switch (line.action) {
    case CommandLine::Action::PrintHelp:
      std::cout << skorvatin::ui::usageText();
      return EXIT_SUCCESS;
    case CommandLine::Action::PrintVersion:
      std::cout << skorvatin::version::kApplicationName << ' ' << skorvatin::version::kDisplayVersion << '\n';
      return EXIT_SUCCESS;
    case CommandLine::Action::RefuseUsage:
      std::cerr << "skorvatin: " << line.complaint << "\n\n" << skorvatin::ui::usageText();
      return 2;
    case CommandLine::Action::OpenWindow:
      break;
  }
  // Debian's libdbus aborts the whole process on a failed internal check, which a desktop can set
  // off by taking the accessibility bus away while the program starts: a renamer must not die for
  // the sake of a screen reader's connection. With the variable at 0 libdbus only warns. Set before
  // Qt (and libdbus through it) starts, and only where the user has not chosen otherwise.
  // setenv fails only without memory for the variable, and then libdbus keeps its default.
  (void)::setenv("DBUS_FATAL_WARNINGS", "0", 0);
  // Before Qt starts its threads, which would otherwise take the signals meant for the event loop.
  skorvatin::platform::qt::blockTerminationSignals();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(skorvatin::version::kApplicationName));
  QApplication::setApplicationVersion(QString::fromUtf8(skorvatin::version::kDisplayVersion));
  QApplication::setDesktopFileName(QStringLiteral("skorvatin"));
  QApplication::setWindowIcon(skorvatin::ui::frmMain::programIcon());
  // The window is Polish; so are the text boxes' own menus where Qt's Polish strings are installed.
  QTranslator qtStrings;
  if (qtStrings.load(QLocale(QLocale::Polish), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtStrings);
  }

  skorvatin::platform::qt::QtMessageBox boxes;
  skorvatin::platform::PosixFolders folders;
  const std::unique_ptr<skorvatin::JournalStore> journal = skorvatin::platform::userJournal();
  skorvatin::ui::frmMain window({&skorvatin::platform::programFolder, boxes, folders, *journal,
                                 std::make_shared<skorvatin::platform::qt::XdgOpener>(),
                                 std::make_shared<skorvatin::platform::SystemVolumes>(),
                                 &skorvatin::platform::currentFolder, &skorvatin::platform::isOwnFolder,
                                 line.folder});
  boxes.setOwner(&window);
  skorvatin::platform::qt::TerminationSignals termination;
  QObject::connect(&termination, &skorvatin::platform::qt::TerminationSignals::terminationRequested, &window,
                   [&window] { window.endOnRequest(); });
  window.centreOnScreen();
  window.show();
  // Once the window is there to be seen, batches that a previous run left unfinished are offered.
  QTimer::singleShot(0, &window, [&window] { window.offerRecovery(); });
  return app.exec();
}
