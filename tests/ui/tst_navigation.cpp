// The window's folder navigation, mask box, file manager, help page and exit, on a real
// temporary tree, with the desktop opener, the volumes and the message box faked.
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
#include <set>

#include "engine/run_error.h"
#include "platform/posix_folder.h"
#include "platform/qt/desktop_opener.h"
#include "platform/volumes.h"
#include "support/window_fixture.h"
#include "ui/dir_list_box.h"
#include "ui/drive_list_box.h"
#include "ui/frm_main.h"

using skorvatin::RunError;
using skorvatin::platform::Volume;
using skorvatin::ui::frmMain;
namespace fs = std::filesystem;

namespace {

class RecordingOpener final : public skorvatin::platform::qt::DesktopOpener {
 public:
  void openFolder(const std::string& folder) override { folders.push_back(folder); }
  bool openDocument(const std::string& file) override {
    documents.push_back(file);
    return documentOpens;
  }
  std::vector<std::string> folders;
  std::vector<std::string> documents;
  bool documentOpens = false;
};

// Volumes as a test lays them out; the ones named in `unreadable` fail to open as a stick
// pulled out does.
class FakeVolumes final : public skorvatin::platform::VolumeService {
 public:
  std::vector<Volume> list() override { return volumes; }
  void open(const std::string& mountPoint) override {
    opened.push_back(mountPoint);
    if (unreadable.count(mountPoint)) throw RunError(skorvatin::err::DiskNotReady, mountPoint);
  }
  std::vector<Volume> volumes{{"/", {}, {}, {}}};
  std::set<std::string> unreadable;
  std::vector<std::string> opened;
};

// The window over a program folder of the test's choice.
struct Harness {
  explicit Harness(std::string programFolder,
                   std::shared_ptr<skorvatin::platform::qt::DesktopOpener> desktop = nullptr,
                   std::shared_ptr<FakeVolumes> fakeVolumes = std::make_shared<FakeVolumes>())
      : opener(desktop ? desktop : std::make_shared<RecordingOpener>()), volumes(std::move(fakeVolumes)) {
    window = std::make_unique<frmMain>(skorvatin::ui::FrmMainServices{
        [programFolder] { return programFolder; }, messageBox, errors, folders, opener, volumes});
  }

  QStringList listed() const {
    QStringList out;
    const QAbstractItemModel* model = window->File1->model();
    for (int i = 0; i < model->rowCount(); ++i) out.append(model->index(i, 0).data().toString());
    return out;
  }
  RecordingOpener& recorder() { return static_cast<RecordingOpener&>(*opener); }

  skorvatin::testing::RecordingMessageBox messageBox;
  skorvatin::testing::RecordingErrorReport errors;
  skorvatin::platform::PosixFolders folders;
  std::shared_ptr<skorvatin::platform::qt::DesktopOpener> opener;
  std::shared_ptr<FakeVolumes> volumes;
  std::unique_ptr<frmMain> window;
};

void touch(const std::string& path) {
  std::ofstream(path) << path;
}

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

  void startUpShowsTheProgramFolderUnderStarDotStar() {
    Harness h(root_);
    QCOMPARE(h.window->Dir1->path(), root_);
    QCOMPARE(h.window->Text4->text(), QStringLiteral("*.*"));
    QCOMPARE(h.listed(), (QStringList{QStringLiteral("lato.jpg"), QStringLiteral("README"),
                                      QStringLiteral("x"), QStringLiteral("xy"), QStringLiteral("xyz"),
                                      QStringLiteral("xyzw"), QStringLiteral("xyzwv")}));
    QVERIFY(h.errors.reports.empty());
  }

  void openingASubfolderMovesTheFileListAndKeepsTheMask() {
    Harness h(root_);
    h.window->Text4->selectAll();
    QTest::keyClicks(h.window->Text4, QStringLiteral("*.jpg"));
    QCOMPARE(h.listed(), QStringList{QStringLiteral("lato.jpg")});
    auto* dir = h.window->Dir1;
    dir->openRow(dir->pathRowCount());  // "zdjęcia", the only subfolder
    QCOMPARE(dir->path(), root_ + "/zdjęcia");
    QCOMPARE(h.listed(), QStringList{QStringLiteral("morze.jpg")});
  }

  void fiveTypedCharactersApplyFiveMasksInTurn() {
    Harness h(root_);
    h.window->Text4->selectAll();
    QTest::keyClick(h.window->Text4, Qt::Key_Backspace);
    QStringList seen;
    for (const char c : std::string("xyzwv")) {
      QTest::keyClick(h.window->Text4, c);
      seen.append(h.listed().join(QLatin1Char('|')));
    }
    QCOMPARE(seen, (QStringList{QStringLiteral("x"), QStringLiteral("xy"), QStringLiteral("xyz"),
                                QStringLiteral("xyzw"), QStringLiteral("xyzwv")}));
  }

  void keysThatChangeNoTextRereadUnderTheSameMask_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("left arrow") << int(Qt::Key_Left);
    QTest::newRow("shift") << int(Qt::Key_Shift);
    QTest::newRow("ctrl") << int(Qt::Key_Control);
  }
  void keysThatChangeNoTextRereadUnderTheSameMask() {
    QFETCH(int, key);
    Harness h(root_);
    h.window->Text4->selectAll();
    QTest::keyClicks(h.window->Text4, QStringLiteral("*.jpg"));
    touch(root_ + "/nowe.jpg");
    touch(root_ + "/nowe.txt");
    QCOMPARE(h.listed(), QStringList{QStringLiteral("lato.jpg")});
    QTest::keyClick(h.window->Text4, static_cast<Qt::Key>(key));
    QCOMPARE(h.window->Text4->text(), QStringLiteral("*.jpg"));
    QCOMPARE(h.listed(), (QStringList{QStringLiteral("lato.jpg"), QStringLiteral("nowe.jpg")}));
  }

  void backspaceToEmptyAppliesTheEmptyMask() {
    Harness h(root_);
    h.window->Text4->selectAll();
    QTest::keyClicks(h.window->Text4, QStringLiteral("xy"));
    QCOMPARE(h.listed(), QStringList{QStringLiteral("xy")});
    QTest::keyClick(h.window->Text4, Qt::Key_Backspace);
    QCOMPARE(h.listed(), QStringList{QStringLiteral("x")});
    QTest::keyClick(h.window->Text4, Qt::Key_Backspace);
    QCOMPARE(h.window->Text4->text(), QString());
    QCOMPARE(h.listed().size(), 7);  // the empty mask: every file that is not hidden
  }

  void textSetWithoutAKeyReleaseWaitsForTheNextOne() {
    Harness h(root_);
    h.window->Text4->setText(QStringLiteral("*.jpg"));  // as a paste with the mouse would
    QCOMPARE(h.listed().size(), 7);
    QTest::keyClick(h.window->Text4, Qt::Key_End);
    QCOMPARE(h.listed(), QStringList{QStringLiteral("lato.jpg")});
  }

  void unreadableVolumeAsksForTheDiskAndGoesBackToTheFoldersVolume() {
    // The program folder lies on a volume of its own; the stick the user picks cannot be opened.
    auto volumes = std::make_shared<FakeVolumes>();
    volumes->volumes = {{"/", {}, {}, {}}, {"/media/pendrive", {}, {}, {}}, {root_, {}, {}, {}}};
    volumes->unreadable = {"/media/pendrive"};
    Harness h(root_ + "/zdjęcia", nullptr, volumes);
    auto* drives = h.window->Drive1;
    drives->setCurrentIndex(drives->findText(QStringLiteral("/media/pendrive")));
    QCOMPARE(h.messageBox.shown, QStringList{QStringLiteral("Błąd: Włóż dyskietkę")});
    QCOMPARE(drives->drive(), root_);
    // The list put back raised the change again, which opened that volume and showed its folder.
    QCOMPARE(volumes->opened, (std::vector<std::string>{"/media/pendrive", root_}));
    QCOMPARE(h.window->Dir1->path(), root_);
    QCOMPARE(h.listed().size(), 7);
    QVERIFY(h.errors.reports.empty());
  }

  void pickingAReadableVolumeShowsItsRootFolder() {
    auto volumes = std::make_shared<FakeVolumes>();
    volumes->volumes = {{"/", {}, {}, {}}, {root_ + "/zdjęcia", {}, {}, {}}};
    Harness h(root_, nullptr, volumes);
    h.window->Drive1->setCurrentIndex(1);
    QCOMPARE(h.window->Dir1->path(), root_ + "/zdjęcia");
    QCOMPARE(h.listed(), (QStringList{QStringLiteral("morze.jpg"), QStringLiteral("opis.txt")}));
    QVERIFY(h.messageBox.shown.isEmpty());
  }

  void folderThatCannotBeOpenedIsReportedAndTheListStays() {
    Harness h(root_);
    fs::remove_all(root_ + "/zdjęcia");
    h.window->Dir1->openRow(h.window->Dir1->pathRowCount());
    QCOMPARE(h.errors.reports.size(), std::size_t{1});
    QCOMPARE(h.errors.reports[0].number, 53);
    QCOMPARE(h.errors.reports[0].file, root_ + "/zdjęcia");
    QCOMPARE(h.window->Dir1->path(), root_);
    QCOMPARE(h.listed().size(), 7);
  }

  void fileManagerGetsTheFolderAsOneIntactArgument_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("spaces") << QStringLiteral("Moje zdjęcia z wakacji");
    QTest::newRow("quotes") << QStringLiteral("a 'b' \"c\"");
    QTest::newRow("shell") << QStringLiteral("x; rm -rf $(pwd) `id`");
    QTest::newRow("leading dash") << QStringLiteral("--help");
  }
  void fileManagerGetsTheFolderAsOneIntactArgument() {
    QFETCH(QString, name);
    const std::string folder = root_ + "/" + name.toStdString();
    fs::create_directory(folder);
    Harness h(root_);
    h.window->Dir1->setPath(folder);
    QTest::mouseClick(h.window->Command2, Qt::LeftButton);
    QCOMPARE(h.recorder().folders, std::vector<std::string>{folder});
    QVERIFY(h.errors.reports.empty());
  }

  void fileManagerThatCannotStartIsReported() {
    Harness h(root_,
              std::make_shared<skorvatin::platform::qt::XdgOpener>(QStringLiteral("/nie/ma/otwieracza")));
    QTest::mouseClick(h.window->Command2, Qt::LeftButton);
    QCOMPARE(h.errors.reports.size(), std::size_t{1});
    QCOMPARE(h.errors.reports[0].number, 53);
  }

  void helpPageOpensOnlyWhenItIsThere() {
    // The real opener with a viewer that always starts: only the missing page can fail.
    auto viewer = std::make_shared<skorvatin::platform::qt::XdgOpener>(QStringLiteral("/bin/true"));
    Harness h(root_, viewer);
    QTest::mouseClick(h.window->Command4, Qt::LeftButton);
    QCOMPARE(h.messageBox.shown, QStringList{QStringLiteral("Błąd: Nie mogę otworzyć pliku: ") +
                                             tmp_->path() + QStringLiteral("/pomoc.htm")});
    touch(root_ + "/pomoc.htm");
    QTest::mouseClick(h.window->Command4, Qt::LeftButton);
    QCOMPARE(h.messageBox.shown.size(), 1);
  }

  void helpPathAtTheRootHoldsTwoSlashes() {
    Harness h("/");
    QTest::mouseClick(h.window->Command4, Qt::LeftButton);
    QCOMPARE(h.recorder().documents, std::vector<std::string>{"//pomoc.htm"});
    QCOMPARE(h.messageBox.shown, QStringList{QStringLiteral("Błąd: Nie mogę otworzyć pliku: //pomoc.htm")});
  }

  void koniecEndsAtOnceWithTheMaskNotYetApplied_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Koniec") << QStringLiteral("button");
    QTest::newRow("Esc") << QStringLiteral("escape");
    QTest::newRow("close box") << QStringLiteral("close");
  }
  void koniecEndsAtOnceWithTheMaskNotYetApplied() {
    QFETCH(QString, how);
    Harness h(root_);
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    h.window->Text4->setText(QStringLiteral("*.jpg"));
    if (how == QStringLiteral("button")) QTest::mouseClick(h.window->Command3, Qt::LeftButton);
    if (how == QStringLiteral("escape")) QTest::keyClick(h.window.get(), Qt::Key_Escape);
    if (how == QStringLiteral("close")) h.window->close();
    QVERIFY(!h.window->isVisible());
    // The one window closed is the last one, and closing it ends the event loop.
    QVERIFY(h.window->testAttribute(Qt::WA_QuitOnClose));
    QVERIFY(QGuiApplication::quitOnLastWindowClosed());
    QCOMPARE(h.listed().size(), 7);  // the typed mask never reached the list
  }

 private:
  std::unique_ptr<QTemporaryDir> tmp_;
  std::string root_;
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
