#include "bench/window_bench.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <stdexcept>

#include "bench/engine_contenders.h"
#include "engine/file_list.h"
#include "platform/posix_folder.h"
#include "platform/qt/desktop_opener.h"
#include "platform/qt/error_report.h"
#include "platform/qt/message_box.h"
#include "platform/volumes.h"
#include "ui/dir_list_box.h"
#include "ui/frm_main.h"

namespace skorvatin::bench {

namespace {

// One application object for the whole run, never destroyed: taking it down at exit, after the
// window's statics, is not worth the risk in a program that ends right after.
QApplication& application() {
  static int argc = 1;
  static char name[] = "skorvatin_bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = nullptr;
  if (app == nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app = new QApplication(argc, argv);
  }
  return *app;
}

// A box would wait for a user who is not there: note it and let the bench fail.
class NoMessageBox final : public platform::qt::MessageBox {
 public:
  void MsgBox(const QString& text, const QString&) override { seen += text.toStdString(); }
  void report(const RunError& error) override { seen += platform::qt::errorReportText(error).toStdString(); }
  bool ask(const QString& text, const QString&) override {
    seen += text.toStdString();
    return false;
  }
  std::string seen;
};

// Knows when the file list has drawn itself after its model was last reset.
class ViewWatch final : public QObject {
 public:
  explicit ViewWatch(QListView& view) : view_(view) {
    view.viewport()->installEventFilter(this);
    connect(view.model(), &QAbstractItemModel::modelReset, this, [this] {
      drawnSinceReset_ = false;
      ++resets_;
    });
  }

  // Lets events run until the view has drawn what its model holds now.
  void waitUntilDrawn() {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!drawnSinceReset_) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      if (Clock::now() > deadline) throw std::runtime_error("the file list did not redraw within 30 s");
    }
  }
  int resets() const { return resets_; }
  // The next paint, whatever causes it (a scroll), counts as the view being drawn.
  void expectPaint() { drawnSinceReset_ = false; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == view_.viewport() && event->type() == QEvent::Paint) drawnSinceReset_ = true;
    return false;
  }

 private:
  QListView& view_;
  bool drawnSinceReset_ = true;
  int resets_ = 0;
};

void drain() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace

void benchWindow(Report& report, bool quick, BenchFolder& folder, const std::string& fs, int n) {
  std::fprintf(stderr, "bench: window, n=%d, %s\n", n, fs.c_str());
  application();
  NoMessageBox boxes;
  platform::PosixFolders folders;
  const std::string folderPath = folder.path();
  BenchJournal journal(folderPath.substr(0, folderPath.rfind('/')));
  ui::frmMain window({[folderPath] { return folderPath; },
                      boxes,
                      folders,
                      journal.store(),
                      std::make_shared<platform::qt::XdgOpener>(),
                      std::make_shared<platform::SystemVolumes>(),
                      [folderPath] { return folderPath; },
                      [](const std::string&) { return true; },
                      {}});
  window.show();
  if (!QTest::qWaitForWindowExposed(&window))
    throw std::runtime_error("the window did not come up offscreen");
  QListView* view = window.controls().File1;
  QLineEdit* mask = window.controls().Text4;
  QPushButton* numberButton = window.controls().Command1;
  ViewWatch watch(*view);
  auto check = [&](const char* what) {
    if (!boxes.seen.empty())
      throw std::runtime_error(std::string(what) + ": the window reported " + boxes.seen);
    if (view->model()->rowCount() != n) {
      throw std::runtime_error(std::string(what) + ": the view shows " +
                               std::to_string(view->model()->rowCount()) + " rows, not " + std::to_string(n));
    }
  };
  // The mask box counts a release only after its press reached the box; the press is sent ahead,
  // outside the measured time.
  auto pressKey = [&] { QTest::keyPress(mask, Qt::Key_End); };
  auto releaseKey = [&] {
    const int before = watch.resets();
    QTest::keyRelease(mask, Qt::Key_End);
    if (watch.resets() == before) throw std::runtime_error("a key release in Text4 did not re-read the list");
    watch.waitUntilDrawn();
  };
  ui::DirListBox* dir1 = window.controls().Dir1;
  auto rereadWindow = [&](bool byKey) {
    if (byKey) {
      pressKey();
      releaseKey();
      return;
    }
    // Away and back again: each move re-reads the file list.
    const std::string here = dir1->path();
    dir1->setPath("/");
    dir1->setPath(here);
    watch.waitUntilDrawn();
  };
  drain();
  watch.waitUntilDrawn();
  check("start");

  FileList list(folders);
  list.setPath(folder.path());
  const int resetsBefore = watch.resets();
  pressKey();
  QTest::keyRelease(mask, Qt::Key_End);
  if (watch.resets() == resetsBefore) {
    std::fprintf(stderr, "bench: a key release in Text4 does not re-read the list yet: not measured\n");
    report.addMetric(
        {"keyrelease_to_view", n, fs, 0, 0, 0, false, "", "NOT MEASURED: Text4 has no key-release handler"});
  } else {
    watch.waitUntilDrawn();
    const std::vector<Contender> keyContenders{
        {"window: key release in Text4 to list drawn", releaseKey,
         [&] {
           drain();
           pressKey();
         }},
        {"engine list read \"*.*\" alone", [&] { list.refresh(); }, [&] { drain(); }},
    };
    const auto keySamples = alternate(keyContenders, quick ? 3 : 15);
    check("key release");
    for (std::size_t i = 0; i < keyContenders.size(); ++i) {
      report.addRow(n, fs, keyContenders[i].name, "ms", keySamples[i]);
    }
    report.addMetric({"keyrelease_to_view", n, fs, keySamples[0].median(), keySamples[1].median(),
                      n == 32767 && fs == "tmpfs" ? 2.0 : 0, false, "", "window / engine list read alone"});
  }
  // Until the mask box re-reads, the folder list is the way to make the window re-read.
  const bool keyRereads = watch.resets() != resetsBefore;

  // Scrolling the whole list to its last row and back, each end drawn: rows of one height let the
  // view place row 32767 without measuring the rows before it.
  const std::vector<Contender> scrollContenders{
      {"window: File1 scrolled to its end and back, drawn",
       [&] {
         watch.expectPaint();
         view->scrollToBottom();
         watch.waitUntilDrawn();
         watch.expectPaint();
         view->scrollToTop();
         watch.waitUntilDrawn();
       },
       [&] { drain(); }},
  };
  if (view->verticalScrollBar()->maximum() > 0) {  // a list that fits its view does not scroll
    const auto scrollSamples = alternate(scrollContenders, quick ? 3 : 15);
    check("scroll");
    report.addRow(n, fs, scrollContenders[0].name, "ms", scrollSamples[0]);
  }

  const std::vector<Contender> clickContenders{
      {"window: click Numeruj to new names drawn",
       [&] {
         QTest::mouseClick(numberButton, Qt::LeftButton);
         watch.waitUntilDrawn();
       },
       [&] {
         folder.rebuild();
         rereadWindow(keyRereads);
         drain();
       }},
      {"engine numbering run alone", [&] { engineNumbering(list, {false}, &journal.store()); },
       [&] {
         folder.rebuild();
         list.setPath(folder.path());
         drain();
       }},
  };
  const auto clickSamples = alternate(clickContenders, quick ? 1 : 5);
  check("click");
  const QString first = view->model()->index(0, 0).data().toString();
  if (!first.startsWith(QStringLiteral("Plik"))) {
    throw std::runtime_error("after the click the list starts with " + first.toStdString());
  }
  for (std::size_t i = 0; i < clickContenders.size(); ++i) {
    report.addRow(n, fs, clickContenders[i].name, "ms", clickSamples[i]);
  }
  report.addMetric({"click_to_renamed_view", n, fs, clickSamples[0].median(), clickSamples[1].median(),
                    n == 32767 && fs == "tmpfs" ? 1.3 : 0, false, "", "window / engine numbering run alone"});
  folder.rebuild();
}

}  // namespace skorvatin::bench
