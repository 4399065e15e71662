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
#include "platform/fd.h"

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
    pidFd_.reset(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
    if (pidFd_.valid()) {
      auto* notifier = new QSocketNotifier(pidFd_.get(), QSocketNotifier::Read, this);
      connect(notifier, &QSocketNotifier::activated, this, &ExitWatch::check);
    } else {
      // A kernel without process descriptors: look now and then instead.
      auto* timer = new QTimer(this);
      connect(timer, &QTimer::timeout, this, &ExitWatch::check);
      timer->start(200);
    }
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
  Fd pidFd_;
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
void XdgOpener::start(const std::string& path, Failed failed) const {
  QByteArray program = QFile::encodeName(program_);
  QByteArray url = fileUrlOf(path).toLatin1();
  std::vector<char*> argv{program.data(), url.data(), nullptr};

  posix_spawnattr_t attributes;
  if (const int e = posix_spawnattr_init(&attributes); e != 0)
    throw RunError::fromErrno(e, program.toStdString());
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  // A child that kept this process's blocked signals would be deaf to a log-out's SIGTERM: no
  // start without the attributes that clear them.
  const bool prepared = posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
                        posix_spawnattr_setsigdefault(&attributes, &all) == 0 &&
                        posix_spawnattr_setflags(
                            &attributes, static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                            POSIX_SPAWN_SETSID)) == 0;
  pid_t pid = 0;
  const int started =
      prepared ? posix_spawnp(&pid, program.constData(), nullptr, &attributes, argv.data(), environ) : EINVAL;
  (void)posix_spawnattr_destroy(&attributes);  // nothing to free that matters
  // Without an opener there is nothing the window can do but say which program is missing.
  if (started == ENOENT) {
    throw RunError(err::FileNotFound, program.toStdString(),
                   "nie ma programu " + program.toStdString() + " (pakiet xdg-utils)");
  }
  if (started != 0) throw RunError::fromErrno(started, program.toStdString());
  new ExitWatch(pid, program.toStdString(), std::move(failed));
}

void XdgOpener::openFolder(const std::string& folder, Failed failed) {
  start(folder, std::move(failed));
}

void XdgOpener::openDocument(const std::string& file, Failed failed) {
  // The opener starts happily for a file that is not there and then fails out of sight, so the
  // file is checked here: it must open for reading and be a file, not a folder.
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) throw RunError::fromErrno(errno, file);
  struct stat st {};
  const bool regular = fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode);
  fd.reset();
  if (!regular) throw RunError(err::FileNotFound, file, "to nie jest plik");
  start(file, std::move(failed));
}

}  // namespace skorvatin::platform::qt
