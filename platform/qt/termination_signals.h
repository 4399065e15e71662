#pragma once

#include <QObject>

#include "platform/fd.h"

class QSocketNotifier;

namespace skorvatin::platform::qt {

// SIGTERM, SIGHUP and SIGINT (log-out, a closed terminal, Ctrl+C) arrive as a Qt signal in the
// event loop instead of ending the process on the spot, so a running batch can wind down and
// finish its journal. They are read from a signalfd: no handler runs, nothing runs at an unsafe
// moment, and a signal that came before anyone listened is still read.

// Call first in main(), before QApplication exists. A signal goes to any thread that does not block
// it, and Qt starts threads of its own (D-Bus, the X connection) that inherit the blocking only
// from the thread that started them. The blocking is inherited through exec too: a child started
// with QProcess::start would need it lifted again; QProcess::startDetached, which the opener uses,
// starts its children with nothing blocked.
void blockTerminationSignals();

// Create once, after QApplication. Emits terminationRequested for each signal, in the order they came.
class TerminationSignals final : public QObject {
  Q_OBJECT
 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;

 signals:
  void terminationRequested(int signalNumber);

 private:
  void readPending();

  Fd fd_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace skorvatin::platform::qt
