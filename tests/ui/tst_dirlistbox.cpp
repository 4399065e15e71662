// The folder list, the drive list and the desktop opener on a real temporary tree.
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "engine/run_error.h"
#include "platform/posix_folder.h"
#include "platform/qt/desktop_opener.h"
#include "platform/volumes.h"
#include "support/window_fixture.h"
#include "ui/dir_list_box.h"
#include "ui/drive_list_box.h"

using skorvatin::RunError;
using skorvatin::platform::Volume;
using skorvatin::testing::FakeVolumes;
using skorvatin::ui::DirListBox;
using skorvatin::ui::DriveListBox;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> texts(const QListWidget& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.count(); ++i) out.push_back(list.item(i)->text().toStdString());
  return out;
}

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

std::vector<std::string> tail(const std::vector<std::string>& all, int from) {
  return {all.begin() + from, all.end()};
}

}  // namespace

class TestNavigationControls : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    // Not QTemporaryDir: it cannot remove a folder whose name is not UTF-8.
    std::string pattern = (fs::temp_directory_path() / "tst_dirlistbox-XXXXXX").string();
    QVERIFY(mkdtemp(pattern.data()) != nullptr);
    root_ = pattern;
    for (const char* name : {"b", "A", "Z", "ą", ".ukryty", "A/wewnątrz", "\xff"})
      fs::create_directory(root_ + "/" + name);
    std::ofstream(root_ + "/plik.txt") << "x";
    fs::create_directory_symlink(root_ + "/b", root_ + "/łącze");
    fs::create_symlink(root_ + "/plik.txt", root_ + "/do_pliku");
    fs::create_symlink(root_ + "/nie_ma", root_ + "/zerwane");
  }

  void cleanup() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void showsPathRowsThenVisibleSubfoldersInListOrder() {
    DirListBox dir(folders_, root_);
    dir.setPath(root_);
    const auto paths = dir.rowPaths();
    const int pathRows = dir.pathRowCount();
    QCOMPARE(paths.front(), std::string("/"));
    QCOMPARE(paths[static_cast<std::size_t>(pathRows - 1)], root_);
    QCOMPARE(dir.currentRow(), pathRows - 1);
    // Folders and links to folders, case ignored, Polish letters after Latin, stray bytes last;
    // files, a link to a file, a broken link and the hidden folder are not shown.
    QCOMPARE(tail(texts(dir), pathRows), (std::vector<std::string>{"A", "b", "Z", "ą", "łącze", "\\xFF"}));
    QCOMPARE(tail(paths, pathRows),
             (std::vector<std::string>{root_ + "/A", root_ + "/b", root_ + "/Z", root_ + "/ą",
                                       root_ + "/łącze", root_ + "/\xff"}));
    // The folder was read a second time: its rows still carry the open folder along the path and
    // the closed one below it.
    auto look = [&](int row) { return dir.item(row)->icon().pixmap(16, 16).toImage(); };
    QVERIFY(!look(0).isNull() && look(0) != look(pathRows));
    for (int row = 1; row < dir.count(); ++row) QCOMPARE(look(row), look(row < pathRows ? 0 : pathRows));
  }

  void pathRowsNameEachLevelOnce() {
    DirListBox dir(folders_, root_);
    dir.setPath(root_ + "//A/wewnątrz/");
    QCOMPARE(dir.path(), root_ + "/A/wewnątrz");
    const auto paths = dir.rowPaths();
    QCOMPARE(dir.pathRowCount(), static_cast<int>(paths.size()));  // no subfolders below
    QCOMPARE(texts(dir).back(), std::string("wewnątrz"));
    QCOMPARE(paths[paths.size() - 2], root_ + "/A");
    QCOMPARE(texts(dir).front(), std::string("/"));
  }

  void doubleClickOpensASubfolderAndSignalsOnce() {
    DirListBox dir(folders_, root_);
    dir.resize(300, 600);
    dir.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dir));
    dir.setPath(root_);
    QSignalSpy changed(&dir, &DirListBox::changed);
    QListWidgetItem* a = dir.item(dir.pathRowCount());
    QCOMPARE(a->text(), QStringLiteral("A"));
    dir.scrollToItem(a);
    // A real double-click starts with a plain press and release, which the view needs to see.
    const QPoint at = dir.visualItemRect(a).center();
    QTest::mouseClick(dir.viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(dir.path(), root_);  // one click only selects
    QTest::mouseDClick(dir.viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(dir.path(), root_ + "/A");
    QCOMPARE(changed.count(), 1);
    QCOMPARE(texts(dir).back(), std::string("wewnątrz"));
  }

  void enterOpensTheCurrentRowAndPathRowsGoUp() {
    DirListBox dir(folders_, root_);
    dir.setPath(root_ + "/A/wewnątrz");
    QSignalSpy changed(&dir, &DirListBox::changed);
    dir.setCurrentRow(dir.pathRowCount() - 3);  // the temporary folder itself
    QTest::keyClick(&dir, Qt::Key_Return);
    QCOMPARE(dir.path(), root_);
    dir.setCurrentRow(dir.pathRowCount());  // its first subfolder, "A"
    QTest::keyClick(&dir, Qt::Key_Enter);
    QCOMPARE(dir.path(), root_ + "/A");
    QCOMPARE(changed.count(), 2);
  }

  void folderNamedWithoutUtf8OpensByItsBytes() {
    DirListBox dir(folders_, root_);
    dir.setPath(root_);
    dir.openRow(dir.count() - 1);
    QCOMPARE(dir.path(), root_ + "/\xff");
  }

  void settingTheShownFolderRereadsWithoutSignal() {
    DirListBox dir(folders_, root_);
    dir.setPath(root_);
    QSignalSpy changed(&dir, &DirListBox::changed);
    fs::create_directory(root_ + "/nowy");
    dir.setPath(root_);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(texts(dir)[static_cast<std::size_t>(dir.pathRowCount()) + 2], std::string("nowy"));
  }

  void unreadableFolderKeepsTheFolderAndItsRows_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::newRow("removed") << QStringLiteral("b") << 76;
    QTest::newRow("no permission") << QStringLiteral("Z") << 70;
    QTest::newRow("a file, not a folder") << QStringLiteral("plik.txt") << 76;
  }
  void unreadableFolderKeepsTheFolderAndItsRows() {
    QFETCH(QString, name);
    QFETCH(int, number);
    const std::string target = root_ + "/" + name.toStdString();
    if (name == QStringLiteral("b")) fs::remove(target);
    if (name == QStringLiteral("Z")) {
      if (geteuid() == 0) QSKIP("root reads a folder whatever its permission bits say");
      chmod(target.c_str(), 0);
    }
    DirListBox dir(folders_, root_);
    dir.setPath(root_);
    const auto before = dir.rowPaths();
    QSignalSpy changed(&dir, &DirListBox::changed);
    try {
      dir.setPath(target);
      QFAIL("no error");
    } catch (const RunError& error) {
      QCOMPARE(error.number(), number);
      QCOMPARE(error.file(), target);
    }
    chmod(target.c_str(), 0755);
    QCOMPARE(dir.path(), root_);
    QCOMPARE(dir.rowPaths(), before);
    QCOMPARE(changed.count(), 0);
  }

  void userOpeningAVanishedFolderGoesToTheReporter() {
    std::vector<int> reported;
    DirListBox dir(folders_, root_, [&](const std::function<void()>& procedure) {
      try {
        procedure();
      } catch (const RunError& e) {
        reported.push_back(e.number());
      }
    });
    fs::remove(root_ + "/Z");
    dir.openRow(dir.pathRowCount() + 2);
    QCOMPARE(reported, std::vector<int>{76});
    QCOMPARE(dir.path(), root_);
  }

  void startsWhereItIsToldAndRefusesRelativePaths() {
    DirListBox dir(folders_, root_ + "/A");
    QCOMPARE(dir.path(), root_ + "/A");
    QCOMPARE(texts(dir).back(), std::string("wewnątrz"));
    QVERIFY_THROWS_EXCEPTION(RunError, dir.setPath("A/wewnątrz"));
    QCOMPARE(dir.path(), root_ + "/A");
  }

  void driveListShowsMountPointsAndLabels() {
    auto fake = std::make_shared<FakeVolumes>();
    fake->volumes = {{"/", "ext4", "/dev/sda2", {}},
                     {"/home", "ext4", "/dev/sda3", "Dom"},
                     {"/media/ola/Mój dysk", "vfat", "/dev/sdb1", "ZDJĘCIA"}};
    DriveListBox drives(fake, "/");
    QCOMPARE(drives.count(), 3);
    QCOMPARE(drives.itemText(0), QStringLiteral("/"));
    QCOMPARE(drives.itemText(1), QStringLiteral("/home [Dom]"));
    QCOMPARE(drives.itemText(2), QStringLiteral("/media/ola/Mój dysk [ZDJĘCIA]"));
    QCOMPARE(drives.drive(), std::string("/"));
  }

  void setDriveSelectsTheVolumeHoldingAFolder_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("drive");
    QTest::addColumn<int>("emissions");
    QTest::newRow("folder in home") << QStringLiteral("/home/ola/zdjęcia") << QStringLiteral("/home") << 1;
    QTest::newRow("the mount point") << QStringLiteral("/home") << QStringLiteral("/home") << 1;
    QTest::newRow("same volume as before") << QStringLiteral("/etc") << QStringLiteral("/") << 0;
    QTest::newRow("prefix that is no component") << QStringLiteral("/homeless") << QStringLiteral("/") << 0;
    QTest::newRow("removable") << QStringLiteral("/media/usb/a") << QStringLiteral("/media/usb") << 1;
  }
  void setDriveSelectsTheVolumeHoldingAFolder() {
    QFETCH(QString, path);
    QFETCH(QString, drive);
    QFETCH(int, emissions);
    auto fake = std::make_shared<FakeVolumes>();
    fake->volumes = {{"/", {}, {}, {}}, {"/home", {}, {}, {}}, {"/media/usb", {}, {}, {}}};
    DriveListBox drives(fake, "/");
    QSignalSpy changed(&drives, &DriveListBox::changed);
    drives.setDrive(path.toStdString());
    QCOMPARE(QString::fromStdString(drives.drive()), drive);
    QCOMPARE(changed.count(), emissions);
  }

  void startsOnTheVolumeOfItsStartFolder() {
    auto fake = std::make_shared<FakeVolumes>();
    fake->volumes = {{"/", {}, {}, {}}, {root_, {}, {}, {}}, {"/xyz", {}, {}, {}}};
    DriveListBox drives(fake, root_ + "/A");
    QCOMPARE(drives.drive(), root_);
  }

  void rereadingVolumesKeepsTheSelectionQuietly() {
    auto fake = std::make_shared<FakeVolumes>();
    fake->volumes = {{"/", {}, {}, {}}, {"/media/usb", {}, {}, {}}};
    DriveListBox drives(fake, "/");
    drives.setDrive("/media/usb");
    QSignalSpy changed(&drives, &DriveListBox::changed);
    fake->volumes = {{"/", {}, {}, {}}, {"/media/aparat", {}, {}, {}}, {"/media/usb", {}, {}, {}}};
    drives.refreshVolumes();
    QCOMPARE(drives.drive(), std::string("/media/usb"));
    fake->volumes = {{"/", {}, {}, {}}};
    drives.refreshVolumes();
    QCOMPARE(drives.drive(), std::string("/"));
    QCOMPARE(changed.count(), 0);
  }

  // The help page is handed over only when it is there; an opener that cannot start is refused at
  // once, and one that starts and then fails is told later, from the event loop.
  void documentOpensOnlyWhenItIsThereAndAViewerStarts_data() {
    QTest::addColumn<QString>("viewer");
    QTest::addColumn<QString>("document");
    QTest::addColumn<bool>("started");
    QTest::addColumn<QString>("failure");
    QTest::newRow("page there, viewer works") << u("/bin/true") << u("pomoc.htm") << true << QString();
    QTest::newRow("page missing") << u("/bin/true") << u("nie-ma.htm") << false << QString();
    QTest::newRow("a folder is no page") << u("/bin/true") << u("A") << false << QString();
    QTest::newRow("no viewer at all") << u("brak-otwieracza") << u("pomoc.htm") << false << QString();
    QTest::newRow("viewer starts, then fails")
        << u("/bin/false") << u("pomoc.htm") << true << u("/bin/false zakończył pracę z kodem 1");
  }
  void documentOpensOnlyWhenItIsThereAndAViewerStarts() {
    QFETCH(QString, viewer);
    QFETCH(QString, document);
    QFETCH(bool, started);
    QFETCH(QString, failure);
    std::ofstream(root_ + "/pomoc.htm") << "<html></html>";
    const QString program = viewer.startsWith(u("/")) ? viewer : QString::fromStdString(root_ + "/") + viewer;
    skorvatin::platform::qt::XdgOpener opener(program);
    // The watch over a started opener belongs to the application until the opener is reaped.
    const auto watches = QCoreApplication::instance()->children().size();
    QStringList failures;
    bool opened = true;
    try {
      opener.openDocument(root_ + "/" + document.toStdString(),
                          [&](const std::string& how) { failures.append(QString::fromStdString(how)); });
    } catch (const RunError&) {
      opened = false;
    }
    QCOMPARE(opened, started);
    QTRY_COMPARE(QCoreApplication::instance()->children().size(), watches);
    QCOMPARE(failures, failure.isEmpty() ? QStringList() : QStringList{failure});
    if (!started) return;
    skorvatin::platform::qt::XdgOpener missing(QString::fromStdString(root_ + "/brak-otwieracza"));
    QVERIFY_THROWS_EXCEPTION(RunError, missing.openFolder(root_, {}));
  }

 private:
  skorvatin::platform::PosixFolders folders_;
  std::string root_;
};

QTEST_MAIN(TestNavigationControls)
#include "tst_dirlistbox.moc"
