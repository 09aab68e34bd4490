#include <QSignalSpy>
#include <QTest>
#include <csignal>

#include "app/exit_signals.h"

class ExitSignalsTest : public QObject {
  Q_OBJECT

 private slots:
  void TermAndIntArriveAsOneRequestEachInTheEventLoop() {
    vrel::app::ExitSignals signals_;
    QVERIFY(signals_.Installed());
    QSignalSpy spy(&signals_, &vrel::app::ExitSignals::exitRequested);
    std::raise(SIGTERM);
    // The handler only notes the signal; nothing happens outside the loop.
    QCOMPARE(spy.count(), 0);
    QTRY_COMPARE(spy.count(), 1);
    std::raise(SIGINT);
    QTRY_COMPARE(spy.count(), 2);
  }

  void SeveralSignalsBeforeTheLoopRunsGiveOneRequest() {
    vrel::app::ExitSignals signals_;
    QSignalSpy spy(&signals_, &vrel::app::ExitSignals::exitRequested);
    std::raise(SIGTERM);
    std::raise(SIGTERM);
    std::raise(SIGINT);
    QTRY_COMPARE(spy.count(), 1);
    QTest::qWait(50);
    QCOMPARE(spy.count(), 1);
  }
};

QTEST_GUILESS_MAIN(ExitSignalsTest)
#include "exit_signals_test.moc"
