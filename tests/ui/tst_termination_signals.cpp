// SIGTERM, SIGHUP and SIGINT sent to the whole process arrive through the event loop. The signals
// are blocked before the application object starts Qt's threads, as the program's main() does; a
// thread that missed the blocking would take the signal and end the test process.
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "platform/qt/termination_signals.h"

using skorvatin::platform::qt::TerminationSignals;

class TestTerminationSignals : public QObject {
  Q_OBJECT

 private slots:
  void signalArrivesInTheEventLoop_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("SIGINT") << SIGINT;
  }
  void signalArrivesInTheEventLoop() {
    QFETCH(int, signalNumber);
    TerminationSignals signals_;
    QSignalSpy spy(&signals_, &TerminationSignals::terminationRequested);
    QCOMPARE(::kill(::getpid(), signalNumber), 0);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), signalNumber);
  }

  // Sent between the top of main() and the listener's creation, say while the window is built.
  void signalSentBeforeTheListenerIsNotLost() {
    QCOMPARE(::kill(::getpid(), SIGTERM), 0);
    QTest::qWait(20);
    TerminationSignals signals_;
    QSignalSpy spy(&signals_, &TerminationSignals::terminationRequested);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), SIGTERM);
  }

  // The file manager and the help page are started this way; blocked there, log-out could not end them.
  void childStartedDetachedHasNothingBlocked() {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("mask"));
    QVERIFY(QProcess::startDetached(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"),
         QStringLiteral("grep SigBlk /proc/self/status > \"$0.tmp\" && mv \"$0.tmp\" \"$0\""), out}));
    QTRY_VERIFY(QFile::exists(out));
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("SigBlk:\t0000000000000000\n"));
  }
};

int main(int argc, char** argv) {
  skorvatin::platform::qt::blockTerminationSignals();
  QCoreApplication app(argc, argv);
  TestTerminationSignals test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_termination_signals.moc"
