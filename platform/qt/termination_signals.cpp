#include "platform/qt/termination_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace skorvatin::platform::qt {

namespace {

sigset_t terminationSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

void blockTerminationSignals() {
  const sigset_t set = terminationSet();
  // pthread_sigmask fails only for an unknown first argument.
  (void)pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  // Blocking again costs nothing and keeps this thread right even if main() forgot; the threads
  // Qt started before would still take the signals themselves, which blockTerminationSignals()
  // at the top of main() prevents.
  blockTerminationSignals();
  const sigset_t set = terminationSet();
  fd_.reset(signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
  if (!fd_.valid()) {
    // Without a signalfd the signals would stay blocked and unread: give them back their usual
    // effect rather than make the program deaf to them.
    (void)pthread_sigmask(SIG_UNBLOCK, &set, nullptr);  // fails only for an unknown first argument
    return;
  }
  notifier_ = new QSocketNotifier(fd_.get(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { readPending(); });
}

TerminationSignals::~TerminationSignals() {
  // Before the descriptor closes: a notifier must not watch a closed descriptor.
  if (notifier_ != nullptr) notifier_->setEnabled(false);
}

void TerminationSignals::readPending() {
  signalfd_siginfo info{};
  for (;;) {
    const ssize_t n = ::read(fd_.get(), &info, sizeof info);
    if (n == static_cast<ssize_t>(sizeof info)) {
      emit terminationRequested(static_cast<int>(info.ssi_signo));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return;  // EAGAIN: nothing more to read
  }
}

}  // namespace skorvatin::platform::qt
