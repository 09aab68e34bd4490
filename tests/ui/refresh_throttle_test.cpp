#include "ui/refresh_throttle.h"

#include <QTest>

#include "ui_test_support.h"

using vrel::ui::RefreshThrottle;

class RefreshThrottleTest : public QObject {
  Q_OBJECT

 private slots:
  // Merges finishing every 10 ms for a second rebuild the list about four
  // times, and once more after the last.
  void AtMostOneRefreshPerSpacingAndAlwaysOneAfterTheLast() {
    using namespace std::chrono_literals;
    RefreshThrottle throttle(250ms);
    const RefreshThrottle::Clock::time_point start{};
    int refreshes = 0;
    for (auto now = start; now < start + 1s; now += 10ms) {
      if (throttle.TakeOwed(now)) ++refreshes;
      if (throttle.Request(now)) ++refreshes;
    }
    QCOMPARE(refreshes, 4);
    const auto owed = throttle.OwedAt();
    QVERIFY(owed.has_value());
    QVERIFY(!throttle.TakeOwed(*owed - 1ms));
    QVERIFY(throttle.TakeOwed(*owed));
    QVERIFY(!throttle.OwedAt());
    // Quiet for a while: the next request runs at once.
    QVERIFY(throttle.Request(*owed + 1s));
  }
};

int vrel::test::RunRefreshThrottleTests(int argc, char** argv) {
  RefreshThrottleTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "refresh_throttle_test.moc"
