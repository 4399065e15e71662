// Linked into the bench builds of the program's own main() and of a minimal Qt program; the
// program itself knows nothing of it. A start-up routine of the application object watches the
// event stream and, once the first window is on screen, reports the moment (CLOCK_MONOTONIC) and
// the memory high-water mark on stdout and ends the process.
//
// The program gets its usual arguments; SKORVATIN_PROBE_LIST=FOLDER in the environment has the
// probe move the folder list to FOLDER first and report once the file list has drawn its new
// entries. An option would not do: the program refuses options it does not know.
#include <time.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <fstream>
#include <string>

#ifdef SKORVATIN_PROBE_WINDOW
#include "ui/dir_list_box.h"
#endif

namespace {

long statusKilobytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  }
  return -1;
}

double monotonicNow() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// When the application object came up: what lies before it is loading and linking.
double applicationAt = 0;

[[noreturn]] void reportAndExit(const char* what) {
  std::printf("%s at=%.9f app=%.9f hwm_kb=%ld rss_kb=%ld\n", what, monotonicNow(), applicationAt,
              statusKilobytes("VmHWM"), statusKilobytes("VmRSS"));
  std::fflush(stdout);
  ::_exit(0);
}

class ShownProbe final : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && !shown_) {
      auto* window = qobject_cast<QWindow*>(watched);
      if (window != nullptr && window->isExposed()) {
        shown_ = true;
        // The expose is handled (and the window painted) after the filters have seen it.
        QTimer::singleShot(0, this, [this] { onShown(); });
      }
    } else if (event->type() == QEvent::Paint && view_ != nullptr && watched == view_->viewport() &&
               resetSeen_) {
      QTimer::singleShot(0, this, [] { reportAndExit("listed"); });
    }
    return false;
  }

 private:
  void onShown() {
    const QByteArray listed = qgetenv("SKORVATIN_PROBE_LIST");
    if (listed.isEmpty()) reportAndExit("shown");
#ifdef SKORVATIN_PROBE_WINDOW
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* dir = top->findChild<skorvatin::ui::DirListBox*>(QStringLiteral("Dir1"));
      view_ = top->findChild<QAbstractItemView*>(QStringLiteral("File1"));
      if (dir == nullptr || view_ == nullptr) continue;
      connect(view_->model(), &QAbstractItemModel::modelReset, this, [this] { resetSeen_ = true; });
      try {
        dir->setPath(listed.toStdString());
      } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
        std::fflush(stdout);
        ::_exit(1);
      }
      return;
    }
    std::printf("error: no window with Dir1 and File1\n");
    std::fflush(stdout);
    ::_exit(1);
#else
    reportAndExit("shown");
#endif
  }

  bool shown_ = false;
  bool resetSeen_ = false;
  QAbstractItemView* view_ = nullptr;
};

void installProbe() {
  applicationAt = monotonicNow();
  QCoreApplication::instance()->installEventFilter(new ShownProbe(QCoreApplication::instance()));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
