#include "ui/news_notice.h"

#include <QTest>

#include "ui_test_support.h"

using namespace std::chrono_literals;
using vrel::FeedNews;
using vrel::ui::ComposeNotice;
using vrel::ui::NewsNotice;
using vrel::ui::NoticeGrouper;

class NewsNoticeTest : public QObject {
  Q_OBJECT

 private slots:
  // (Several feeds and the longer texts: desktop_notices_test.)
  void OneNewItemIsCountedInTheSingular() {
    const NewsNotice notice = ComposeNotice({FeedNews{4, "Harbour", 1, {"one"}}});
    QCOMPARE(notice.summary, std::string("Harbour"));
    QCOMPARE(notice.body, std::string("1 new item\none"));
    QCOMPARE(notice.feedId, 4);
  }

  // The window opens with the first feed and does not move with later ones.
  void FeedsWithinTheWindowMakeOneNotification() {
    NoticeGrouper grouper(1s);
    const NoticeGrouper::Clock::time_point start{};
    QVERIFY(grouper.Add(1, start));
    QVERIFY(!grouper.Add(2, start + 600ms));
    QVERIFY(!grouper.Add(1, start + 900ms));
    QVERIFY(!grouper.TakeDue(start + 999ms));
    const auto due = grouper.TakeDue(start + 1s);
    QVERIFY(due);
    QCOMPARE(due->feeds, (std::vector<int>{1, 2}));
    QCOMPARE(due->replacesId, 0u);
    QVERIFY(!grouper.DueAt());
    QVERIFY(!grouper.TakeDue(start + 5s));
  }

  // The old notification closing while its replacement is on its way
  // leaves the replacement's feeds alone.
  void ALateCloseOfTheReplacedNotificationKeepsTheNewFeeds() {
    NoticeGrouper grouper(1s);
    NoticeGrouper::Clock::time_point now{};
    grouper.Add(1, now);
    grouper.Showing(grouper.TakeDue(now += 1s)->feeds);
    grouper.Posted(7);
    grouper.Add(2, now += 10s);
    const auto replacing = grouper.TakeDue(now += 1s);
    QCOMPARE(replacing->feeds, (std::vector<int>{1, 2}));
    QCOMPARE(replacing->replacesId, 7u);
    grouper.Showing(replacing->feeds);
    grouper.Closed(7);
    grouper.Posted(7);
    QCOMPARE(grouper.FeedOf(7), 1);
    grouper.Add(3, now);
    grouper.Clear();
    QVERIFY(!grouper.TakeDue(now += 1s));
  }
};

int vrel::test::RunNewsNoticeTests(int argc, char** argv) {
  NewsNoticeTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "news_notice_test.moc"
