#include "platform/qt/desktop_opener.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <vector>

#include "engine/run_error.h"

extern char** environ;

namespace skorvatin::platform::qt {

namespace {

// Waits, from the event loop, for one child to end, reaps it and says whether it failed. It
// belongs to the application, not to the window: closing the window neither kills the opener
// (QProcess would) nor leaves it unreaped while the program still runs. When the program ends
// first, the opener is handed to init, which reaps it.
class ExitWatch final : public QObject {
 public:
  ExitWatch(pid_t pid, std::string program, DesktopOpener::Failed failed)
      : QObject(QCoreApplication::instance()),
        pid_(pid),
        program_(std::move(program)),
        failed_(std::move(failed)) {
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidFd_ >= 0) {
      auto* notifier = new QSocketNotifier(pidFd_, QSocketNotifier::Read, this);
      connect(notifier, &QSocketNotifier::activated, this, &ExitWatch::check);
    } else {
      // A kernel without process descriptors: look now and then instead.
      auto* timer = new QTimer(this);
      connect(timer, &QTimer::timeout, this, &ExitWatch::check);
      timer->start(200);
    }
  }
  ~ExitWatch() override {
    if (pidFd_ >= 0) ::close(pidFd_);
  }

 private:
  void check() {
    if (ended_) return;
    int status = 0;
    const pid_t reaped = waitpid(pid_, &status, WNOHANG);
    if (reaped == 0 || (reaped < 0 && errno == EINTR)) return;
    ended_ = true;
    deleteLater();
    if (reaped != pid_ || !failed_) return;
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
      failed_(program_ + " zakończył pracę z kodem " + std::to_string(WEXITSTATUS(status)));
    } else if (WIFSIGNALED(status)) {
      failed_(program_ + " przerwany sygnałem " + std::to_string(WTERMSIG(status)));
    }
  }

  pid_t pid_;
  std::string program_;
  DesktopOpener::Failed failed_;
  int pidFd_ = -1;
  bool ended_ = false;
};

}  // namespace

QString fileUrlOf(const std::string& path) {
  const QByteArray encoded = QByteArray::fromStdString(path).toPercentEncoding("/");
  return QStringLiteral("file://") + QString::fromLatin1(encoded);
}

// posix_spawn hands the arguments straight to exec: no shell ever sees the name. The child gets
// an empty signal mask and default handlers whatever this process blocks for itself, and a
// session of its own, so a Ctrl+C in the terminal that started the program spares the viewer.
bool XdgOpener::start(const std::string& path, Failed failed) const {
  QByteArray program = QFile::encodeName(program_);
  QByteArray url = fileUrlOf(path).toLatin1();
  std::vector<char*> argv{program.data(), url.data(), nullptr};

  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return false;
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(
      &attributes, static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID));
  pid_t pid = 0;
  const int started = posix_spawnp(&pid, program.constData(), nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (started != 0) return false;
  new ExitWatch(pid, program.toStdString(), std::move(failed));
  return true;
}

void XdgOpener::openFolder(const std::string& folder, Failed failed) {
  if (!start(folder, std::move(failed)))
    throw RunError(err::FileNotFound, program_.toStdString(), "nie można uruchomić menedżera plików");
}

void XdgOpener::openDocument(const std::string& file, Failed failed) {
  // The opener starts happily for a file that is not there and then fails out of sight, so the
  // file is checked here: it must open for reading and be a file, not a folder.
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw RunError::fromErrno(errno, file);
  struct stat st {};
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (!regular) throw RunError(err::FileNotFound, file, "to nie jest plik");
  if (!start(file, std::move(failed)))
    throw RunError(err::FileNotFound, program_.toStdString(), "nie można uruchomić przeglądarki");
}

}  // namespace skorvatin::platform::qt
