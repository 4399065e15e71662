// The window's folder navigation, mask box, start folder, file manager, help page and exit, on a
// real temporary tree, with the desktop opener, the volumes and the boxes faked.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "engine/run_error.h"
#include "platform/posix_folder.h"
#include "platform/qt/desktop_opener.h"
#include "support/window_fixture.h"
#include "ui/command_line.h"
#include "ui/dir_list_box.h"
#include "ui/drive_list_box.h"
#include "ui/frm_main.h"

using skorvatin::RunError;
using skorvatin::testing::CurrentFolderScope;
using skorvatin::testing::FakeVolumes;
using skorvatin::testing::WindowSetup;
using skorvatin::testing::WindowUnderTest;
namespace fs = std::filesystem;

namespace {

void touch(const std::string& path) {
  std::ofstream(path) << path;
}

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

WindowSetup programIn(const std::string& folder) {
  WindowSetup setup;
  setup.programFolder = [folder] { return folder; };
  return setup;
}

const QStringList kRootFiles{u("lato.jpg"), u("README"), u("x"), u("xy"), u("xyz"), u("xyzw"), u("xyzwv")};

}  // namespace

class TestNavigation : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
    root_ = tmp_->path().toStdString();
    for (const char* name : {"x", "xy", "xyz", "xyzw", "xyzwv", "README", ".ukryty", "lato.jpg"})
      touch(root_ + "/" + name);
    fs::create_directory(root_ + "/zdjęcia");
    touch(root_ + "/zdjęcia/morze.jpg");
    touch(root_ + "/zdjęcia/opis.txt");
  }

  void cleanup() {
    // QTemporaryDir cannot remove names that are not UTF-8, nor enter a folder without permissions.
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(root_, ec))
      fs::permissions(e.path(), fs::perms::owner_all, ec);
    fs::remove_all(root_, ec);
  }

  void startUpShowsTheProgramFolderUnderStarDotStar() {
    WindowUnderTest t(programIn(root_));
    QCOMPARE(t.controls().Dir1->path(), root_);
    QCOMPARE(t.controls().Text4->text(), u("*.*"));
    QCOMPARE(t.listed(), kRootFiles);
    QVERIFY(t.boxes.reports.empty());
  }

  // A folder named on the command line comes first; a bad one is told and the usual rule follows:
  // the program starts in its own folder only when the user may rename files there, otherwise in
  // the folder it was started from. The help page stays beside the program.
  void startFolder_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("requested");
    QTest::addColumn<QString>("startsIn");
    QTest::newRow("a copy beside the photos") << u("kopia") << QString() << u("kopia");
    QTest::newRow("installed, read-only for the user") << u("tylko-do-odczytu") << QString() << u("zdjęcia");
    QTest::newRow("no longer there") << u("usunięty") << QString() << u("zdjęcia");
    QTest::newRow("a folder named") << u("kopia") << u("zdjęcia") << u("zdjęcia");
    QTest::newRow("a file named instead") << u("kopia") << u("lato.jpg") << u("kopia");
    QTest::newRow("a folder that is not there") << u("usunięty") << u("nie-ma") << u("zdjęcia");
  }
  void startFolder() {
    QFETCH(QString, program);
    QFETCH(QString, requested);
    QFETCH(QString, startsIn);
    const std::string programFolder = root_ + "/" + program.toStdString();
    if (program == u("tylko-do-odczytu")) {
      if (geteuid() == 0) QSKIP("root may write to a folder whatever its permission bits say");
      fs::create_directory(programFolder);
      fs::permissions(programFolder, fs::perms::owner_read | fs::perms::owner_exec);
    }
    if (program == u("kopia")) fs::create_directory(programFolder);
    CurrentFolderScope startedFrom(root_ + "/zdjęcia");
    WindowSetup setup = programIn(programFolder);
    if (!requested.isEmpty()) setup.requestedFolder = root_ + "/" + requested.toStdString();

    WindowUnderTest t(std::move(setup));

    QCOMPARE(t.controls().Dir1->path(), root_ + "/" + startsIn.toStdString());
    QVERIFY(t.boxes.reports.empty());
    const bool refused = !requested.isEmpty() && requested != startsIn;
    QCOMPARE(t.boxes.shown.size(), refused ? 1 : 0);
    if (refused) {
      QVERIFY2(
          t.boxes.shown.front().startsWith(u("Błąd: Nie mogę otworzyć folderu: ") +
                                           QString::fromStdString(root_ + "/" + requested.toStdString())),
          qPrintable(t.boxes.shown.front()));
    }
    QTest::mouseClick(t.controls().Command4, Qt::LeftButton);
    QCOMPARE(t.opener().documents, std::vector<std::string>{programFolder + "/pomoc.htm"});
  }

  // Arguments are read before any window exists. Qt's own options stay Qt's.
  void commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("folder");
    using A = skorvatin::ui::CommandLine::Action;
    const auto a = [](A action) { return static_cast<int>(action); };
    QTest::newRow("nothing") << QStringList{} << a(A::OpenWindow) << QString();
    QTest::newRow("relative") << QStringList{u("zdjęcia/lato")} << a(A::OpenWindow)
                              << u("/home/ala/zdjęcia/lato");
    QTest::newRow("absolute, trailing slash")
        << QStringList{u("/media/ala/CANON/")} << a(A::OpenWindow) << u("/media/ala/CANON");
    QTest::newRow("dots") << QStringList{u("../bob/./x/..")} << a(A::OpenWindow) << u("/home/bob");
    QTest::newRow("above the root") << QStringList{u("../../../..")} << a(A::OpenWindow) << u("/");
    QTest::newRow("dash name") << QStringList{u("./-dziwny")} << a(A::OpenWindow) << u("/home/ala/-dziwny");
    QTest::newRow("after --") << QStringList{u("--"), u("-dziwny")} << a(A::OpenWindow)
                              << u("/home/ala/-dziwny");
    QTest::newRow("Qt's options") << QStringList{u("-style"), u("fusion"), u("--platform=xcb"), u("-reverse"),
                                                 u("x")}
                                  << a(A::OpenWindow) << u("/home/ala/x");
    QTest::newRow("--help") << QStringList{u("--help")} << a(A::PrintHelp) << QString();
    QTest::newRow("-h after a folder") << QStringList{u("x"), u("-h")} << a(A::PrintHelp) << QString();
    QTest::newRow("--version") << QStringList{u("--version")} << a(A::PrintVersion) << QString();
    QTest::newRow("unknown option") << QStringList{u("--rekursywnie")} << a(A::RefuseUsage) << QString();
    QTest::newRow("--version with a typo")
        << QStringList{u("--version"), u("--hepl")} << a(A::RefuseUsage) << QString();
    QTest::newRow("two folders") << QStringList{u("a"), u("b")} << a(A::RefuseUsage) << QString();
    QTest::newRow("Qt option without its value")
        << QStringList{u("-style")} << a(A::RefuseUsage) << QString();
    QTest::newRow("lone dash") << QStringList{u("-")} << a(A::RefuseUsage) << QString();
  }
  void commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QString, folder);
    std::vector<std::string> args;
    for (const QString& a : arguments) args.push_back(a.toStdString());
    const skorvatin::ui::CommandLine line = skorvatin::ui::parseCommandLine(args, "/home/ala");
    QCOMPARE(static_cast<int>(line.action), action);
    QCOMPARE(QString::fromStdString(line.folder), folder);
    QCOMPARE(line.complaint.empty(),
             action != static_cast<int>(skorvatin::ui::CommandLine::Action::RefuseUsage));
  }

  // When the program's folder cannot be shown, the error is reported and both lists stay on the
  // folder the program was started from, from where the user can go on.
  void failedStartLeavesTheListsWhereTheProgramWasStarted_data() {
    QTest::addColumn<QString>("why");
    QTest::addColumn<int>("number");
    QTest::newRow("the program file's folder unknown") << u("unknown") << 75;
    QTest::newRow("the program's folder unreadable") << u("unreadable") << 70;
  }
  void failedStartLeavesTheListsWhereTheProgramWasStarted() {
    QFETCH(QString, why);
    QFETCH(int, number);
    WindowSetup setup;
    if (why == u("unknown")) {
      setup.programFolder = []() -> std::string {
        throw RunError(skorvatin::err::PathFileAccess, "/proc/self/exe");
      };
    } else {
      if (geteuid() == 0) QSKIP("root reads a folder whatever its permission bits say");
      // Writable and searchable, so the program would start there, but its names cannot be read.
      const std::string folder = root_ + "/bez-odczytu";
      fs::create_directory(folder);
      fs::permissions(folder, fs::perms::owner_write | fs::perms::owner_exec);
      setup.programFolder = [folder] { return folder; };
    }
    CurrentFolderScope startedFrom(root_);

    WindowUnderTest t(std::move(setup));

    QCOMPARE(t.boxes.reports.size(), std::size_t{1});
    QCOMPARE(t.boxes.reports[0].number, number);
    auto* dir = t.controls().Dir1;
    QCOMPARE(dir->path(), root_);
    QCOMPARE(t.listed(), kRootFiles);
    dir->openRow(dir->pathRowCount());  // "zdjęcia", the first subfolder
    QCOMPARE(t.listed(), (QStringList{u("morze.jpg"), u("opis.txt")}));
  }

  void openingASubfolderMovesTheFileListAndKeepsTheMask() {
    WindowUnderTest t(programIn(root_));
    const auto& c = t.controls();
    c.Text4->selectAll();
    QTest::keyClicks(c.Text4, u("*.jpg"));
    QCOMPARE(t.listed(), QStringList{u("lato.jpg")});
    c.Dir1->openRow(c.Dir1->pathRowCount());  // "zdjęcia", the only subfolder
    QCOMPARE(c.Dir1->path(), root_ + "/zdjęcia");
    QCOMPARE(t.listed(), QStringList{u("morze.jpg")});
  }

  void fiveTypedCharactersApplyFiveMasksInTurn() {
    WindowUnderTest t(programIn(root_));
    QLineEdit* mask = t.controls().Text4;
    mask->selectAll();
    QTest::keyClick(mask, Qt::Key_Backspace);
    QStringList seen;
    for (const char c : std::string("xyzwv")) {
      QTest::keyClick(mask, c);
      seen.append(t.listed().join(QLatin1Char('|')));
    }
    QCOMPARE(seen, (QStringList{u("x"), u("xy"), u("xyz"), u("xyzw"), u("xyzwv")}));
  }

  void keysThatChangeNoTextRereadUnderTheSameMask_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("left arrow") << int(Qt::Key_Left);
    QTest::newRow("shift") << int(Qt::Key_Shift);
    QTest::newRow("ctrl") << int(Qt::Key_Control);
  }
  void keysThatChangeNoTextRereadUnderTheSameMask() {
    QFETCH(int, key);
    WindowUnderTest t(programIn(root_));
    QLineEdit* mask = t.controls().Text4;
    mask->selectAll();
    QTest::keyClicks(mask, u("*.jpg"));
    touch(root_ + "/nowe.jpg");
    touch(root_ + "/nowe.txt");
    QCOMPARE(t.listed(), QStringList{u("lato.jpg")});
    QTest::keyClick(mask, static_cast<Qt::Key>(key));
    QCOMPARE(mask->text(), u("*.jpg"));
    QCOMPARE(t.listed(), (QStringList{u("lato.jpg"), u("nowe.jpg")}));
  }

  // A key release re-reads only when its press reached the mask box. Enter or Esc that close a
  // message box are pressed in the box and released in the mask box: that must not re-read.
  void keyReleaseCountsOnlyAfterItsPressInTheBox_data() {
    QTest::addColumn<QString>("pressedIn");
    QTest::addColumn<bool>("rereads");
    QTest::newRow("pressed in the mask box") << u("Text4") << true;
    QTest::newRow("pressed in a message box") << QString() << false;
    QTest::newRow("pressed in another box") << u("Text1") << false;
  }
  void keyReleaseCountsOnlyAfterItsPressInTheBox() {
    QFETCH(QString, pressedIn);
    QFETCH(bool, rereads);
    WindowUnderTest t(programIn(root_));
    QLineEdit* mask = t.controls().Text4;
    touch(root_ + "/nowe.txt");
    if (!pressedIn.isEmpty()) QTest::keyPress(t.window().findChild<QWidget*>(pressedIn), Qt::Key_Return);
    QTest::keyRelease(mask, Qt::Key_Return);
    QCOMPARE(t.listed().contains(u("nowe.txt")), rereads);
  }

  // A folder that has gone is reported at the first key, not at every key after it: Enter and Esc
  // that close the report are keys too. A new mask is a new attempt, and so is the same one after
  // a read that worked.
  void folderThatKeepsFailingIsReportedOnce() {
    WindowUnderTest t(programIn(root_));
    const auto& c = t.controls();
    c.Dir1->openRow(c.Dir1->pathRowCount());  // "zdjęcia"
    fs::remove_all(root_ + "/zdjęcia");
    std::vector<std::size_t> reports;
    const auto key = [&](Qt::Key k) {
      QTest::keyClick(c.Text4, k);
      reports.push_back(t.boxes.reports.size());
    };
    key(Qt::Key_End);
    key(Qt::Key_Return);
    key(Qt::Key_Home);
    key(Qt::Key_End);
    key(Qt::Key_A);  // "*.*a"
    key(Qt::Key_Left);
    QCOMPARE(reports, (std::vector<std::size_t>{1, 1, 1, 1, 2, 2}));
    fs::create_directory(root_ + "/zdjęcia");
    key(Qt::Key_Delete);  // "*.*" in a folder that is back
    fs::remove_all(root_ + "/zdjęcia");
    key(Qt::Key_End);
    QCOMPARE(reports, (std::vector<std::size_t>{1, 1, 1, 1, 2, 2, 2, 3}));
  }

  void backspaceToEmptyAppliesTheEmptyMask() {
    WindowUnderTest t(programIn(root_));
    QLineEdit* mask = t.controls().Text4;
    mask->selectAll();
    QTest::keyClicks(mask, u("xy"));
    QCOMPARE(t.listed(), QStringList{u("xy")});
    QTest::keyClick(mask, Qt::Key_Backspace);
    QCOMPARE(t.listed(), QStringList{u("x")});
    QTest::keyClick(mask, Qt::Key_Backspace);
    QCOMPARE(mask->text(), QString());
    QCOMPARE(t.listed().size(), 7);  // the empty mask: every file that is not hidden
  }

  void textSetWithoutAKeyReleaseWaitsForTheNextOne() {
    WindowUnderTest t(programIn(root_));
    QLineEdit* mask = t.controls().Text4;
    mask->setText(u("*.jpg"));  // as a paste with the mouse would
    QCOMPARE(t.listed().size(), 7);
    QTest::keyClick(mask, Qt::Key_End);
    QCOMPARE(t.listed(), QStringList{u("lato.jpg")});
  }

  // Names that are not UTF-8 show their stray bytes as \xNN in both lists.
  void namesThatAreNotUtf8ShowTheirStrayBytes() {
    touch(root_ + "/caf\xE9.jpg");
    fs::create_directory(root_ +
                         "/zdj\xEA"
                         "cia");
    WindowUnderTest t(programIn(root_));
    QVERIFY2(t.listed().contains(u("caf\\xE9.jpg")), qPrintable(t.listed().join(u("|"))));
    QStringList folders;
    for (int i = 0; i < t.controls().Dir1->count(); ++i) folders.append(t.controls().Dir1->item(i)->text());
    QVERIFY2(folders.contains(u("zdj\\xEAcia")), qPrintable(folders.join(u("|"))));
  }

  void unreadableVolumeAsksForTheDiskAndGoesBackToTheFoldersVolume() {
    // The program folder lies on a volume of its own; the stick the user picks cannot be opened.
    WindowSetup setup = programIn(root_ + "/zdjęcia");
    setup.volumes = std::make_shared<FakeVolumes>();
    setup.volumes->volumes = {{"/", {}, {}, {}}, {"/media/pendrive", {}, {}, {}}, {root_, {}, {}, {}}};
    setup.volumes->unreadable = {"/media/pendrive"};
    WindowUnderTest t(std::move(setup));
    auto* drives = t.controls().Drive1;
    drives->setCurrentIndex(drives->findText(u("/media/pendrive")));
    QCOMPARE(t.boxes.shown, QStringList{u("Błąd: Włóż dyskietkę")});
    QCOMPARE(drives->drive(), root_);
    // The list put back raised the change again, which opened that volume and showed its folder.
    QCOMPARE(t.volumes->opened, (std::vector<std::string>{"/media/pendrive", root_}));
    QCOMPARE(t.controls().Dir1->path(), root_);
    QCOMPARE(t.listed().size(), 7);
    QVERIFY(t.boxes.reports.empty());
  }

  void pickingAReadableVolumeShowsItsRootFolder() {
    WindowSetup setup = programIn(root_);
    setup.volumes = std::make_shared<FakeVolumes>();
    setup.volumes->volumes = {{"/", {}, {}, {}}, {root_ + "/zdjęcia", {}, {}, {}}};
    WindowUnderTest t(std::move(setup));
    t.controls().Drive1->setCurrentIndex(1);
    QCOMPARE(t.controls().Dir1->path(), root_ + "/zdjęcia");
    QCOMPARE(t.listed(), (QStringList{u("morze.jpg"), u("opis.txt")}));
    QVERIFY(t.boxes.shown.isEmpty());
  }

  void folderThatCannotBeOpenedIsReportedAndTheListStays() {
    WindowUnderTest t(programIn(root_));
    auto* dir = t.controls().Dir1;
    fs::remove_all(root_ + "/zdjęcia");
    dir->openRow(dir->pathRowCount());
    QCOMPARE(t.boxes.reports.size(), std::size_t{1});
    // A folder that is gone says so in Polish, not in the system's English.
    QCOMPARE(t.boxes.reports[0].number, skorvatin::err::PathNotFound);
    QCOMPARE(t.boxes.reports[0].file, root_ + "/zdjęcia");
    QVERIFY(t.boxes.reports[0].shownText.contains(u("folder nie istnieje")));
    QCOMPARE(dir->path(), root_);
    QCOMPARE(t.listed().size(), 7);
  }

  // The folder shown reaches the opener as it is; how the opener passes it on is the opener's own
  // test.
  void fileManagerGetsTheFolderShown() {
    const std::string folder = root_ + "/Moje zdjęcia; z wakacji";
    fs::create_directory(folder);
    WindowUnderTest t(programIn(root_));
    t.controls().Dir1->setPath(folder);
    QTest::mouseClick(t.controls().Command2, Qt::LeftButton);
    QCOMPARE(t.opener().folders, std::vector<std::string>{folder});
    QVERIFY(t.boxes.reports.empty());
  }

  void fileManagerThatCannotStartIsReported() {
    WindowSetup setup = programIn(root_);
    setup.opener = std::make_shared<skorvatin::platform::qt::XdgOpener>(u("/nie/ma/otwieracza"));
    WindowUnderTest t(std::move(setup));
    QTest::mouseClick(t.controls().Command2, Qt::LeftButton);
    QCOMPARE(t.boxes.reports.size(), std::size_t{1});
    QCOMPARE(t.boxes.reports[0].number, skorvatin::err::FileNotFound);
  }

  // An opener that starts and then exits without success is reported as one that could not find
  // its file; a failure that comes while an operation runs waits for the operation to end.
  void openerThatStartsButFailsIsReported_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("duringARun");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Expolator") << u("Command2") << false << u("Błąd 53");
    QTest::newRow("Pomoc") << u("Command4") << false << u("Błąd: Nie mogę otworzyć pliku: ");
    QTest::newRow("Expolator, during Numeruj") << u("Command2") << true << u("Błąd 53");
  }
  void openerThatStartsButFailsIsReported() {
    QFETCH(QString, button);
    QFETCH(bool, duringARun);
    QFETCH(QString, shown);
    WindowUnderTest t(programIn(root_));
    t.opener().documentOpens = true;
    QTest::mouseClick(t.window().findChild<QPushButton*>(button), Qt::LeftButton);
    const auto seen = [&] {
      QStringList all = t.boxes.shown;
      for (const auto& r : t.boxes.reports) all.append(r.shownText);
      return all;
    };
    QVERIFY(seen().isEmpty());

    QStringList seenDuringTheRun{u("-")};
    if (duringARun) {
      QMetaObject::invokeMethod(
          &t.window(),
          [&] {
            t.opener().failLater();
            seenDuringTheRun = seen();
          },
          Qt::QueuedConnection);
      QTest::mouseClick(t.controls().Command1, Qt::LeftButton);
      QCOMPARE(seenDuringTheRun, QStringList());
    } else {
      t.opener().failLater();
    }

    const QStringList after = seen();
    QCOMPARE(after.size(), 1);
    QVERIFY2(after[0].startsWith(shown), qPrintable(after[0]));
    if (button == u("Command2")) QCOMPARE(t.boxes.reports[0].file, root_);
    if (button == u("Command4")) QCOMPARE(after[0], shown + tmp_->path() + u("/pomoc.htm"));
  }

  // xdg-open may wait for the viewer it started. Closing the window must not kill it, and once it
  // ends it is reaped, not left a zombie.
  void openerOutlivesTheWindowAndIsReaped() {
    const std::string pidFile = root_ + "/pid";
    const std::string script = root_ + "/otwieracz.sh";
    std::ofstream(script) << "#!/bin/sh\necho $$ > '" << pidFile << ".part' && mv '" << pidFile << ".part' '"
                          << pidFile << "'\nexec sleep 60\n";
    fs::permissions(script, fs::perms::owner_all);
    {
      WindowSetup setup = programIn(root_);
      setup.opener = std::make_shared<skorvatin::platform::qt::XdgOpener>(QString::fromStdString(script));
      WindowUnderTest t(std::move(setup));
      QTest::mouseClick(t.controls().Command2, Qt::LeftButton);
      QTRY_VERIFY(fs::exists(pidFile));
    }
    pid_t pid = 0;
    std::ifstream(pidFile) >> pid;
    QVERIFY(pid > 0);
    const std::string proc = "/proc/" + std::to_string(pid);
    const auto state = [&] {
      std::ifstream stat(proc + "/stat");
      std::string line;
      std::getline(stat, line);
      const auto end = line.rfind(')');
      return end == std::string::npos || end + 2 >= line.size() ? '?' : line[end + 2];
    };
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    QVERIFY2(state() == 'S' || state() == 'R', "the opener did not survive the window");
    QCOMPARE(::kill(pid, SIGTERM), 0);
    QTRY_VERIFY2(!fs::exists(proc), "the opener was left a zombie");
  }

  void helpPageOpensOnlyWhenItIsThere() {
    // The real opener with a viewer that always starts: only the missing page can fail.
    WindowSetup setup = programIn(root_);
    setup.opener = std::make_shared<skorvatin::platform::qt::XdgOpener>(u("/bin/true"));
    WindowUnderTest t(std::move(setup));
    QTest::mouseClick(t.controls().Command4, Qt::LeftButton);
    QCOMPARE(t.boxes.shown,
             QStringList{u("Błąd: Nie mogę otworzyć pliku: ") + tmp_->path() + u("/pomoc.htm")});
    touch(root_ + "/pomoc.htm");
    QTest::mouseClick(t.controls().Command4, Qt::LeftButton);
    QCOMPARE(t.boxes.shown.size(), 1);
  }

  void helpPathAtTheRootHoldsTwoSlashes() {
    WindowUnderTest t(programIn("/"));
    QTest::mouseClick(t.controls().Command4, Qt::LeftButton);
    QCOMPARE(t.opener().documents, std::vector<std::string>{"//pomoc.htm"});
    QCOMPARE(t.boxes.shown, QStringList{u("Błąd: Nie mogę otworzyć pliku: //pomoc.htm")});
  }

  void koniecEndsAtOnceWithTheMaskNotYetApplied_data() {
    QTest::addColumn<bool>("button");
    QTest::newRow("Koniec") << true;
    QTest::newRow("close box") << false;
  }
  void koniecEndsAtOnceWithTheMaskNotYetApplied() {
    QFETCH(bool, button);
    WindowUnderTest t(programIn(root_));
    t.window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&t.window()));
    t.controls().Text4->setText(u("*.jpg"));
    if (button) {
      QTest::mouseClick(t.controls().Command3, Qt::LeftButton);
    } else {
      t.window().close();
    }
    QVERIFY(!t.window().isVisible());
    // The one window closed is the last one, and closing it ends the event loop.
    QVERIFY(t.window().testAttribute(Qt::WA_QuitOnClose));
    QVERIFY(QGuiApplication::quitOnLastWindowClosed());
    QCOMPARE(t.listed().size(), 7);  // the typed mask never reached the list
  }

 private:
  std::unique_ptr<QTemporaryDir> tmp_;
  std::string root_;
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
