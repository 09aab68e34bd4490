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
  void OneFeedIsNamedWithItsCountAndFirstTitles() {
    const NewsNotice notice = ComposeNotice({FeedNews{4, "Harbour", 5, {"one", "two", "three"}}});
    QCOMPARE(notice.summary, std::string("Harbour"));
    QCOMPARE(notice.body, std::string("5 new items\none\ntwo\nthree"));
    QCOMPARE(notice.feedId, 4);
    QCOMPARE(ComposeNotice({FeedNews{4, "Harbour", 1, {"one"}}}).body, std::string("1 new item\none"));
  }

  void SeveralFeedsAreCountedTogetherAndOpenTheFirst() {
    const NewsNotice notice =
        ComposeNotice({FeedNews{9, "A", 2, {"a1", "a2"}}, FeedNews{3, "B", 6, {"b1", "b2", "b3"}}});
    QCOMPARE(notice.summary, std::string("8 new items in 2 feeds"));
    QCOMPARE(notice.body, std::string("a1\na2\nb1"));
    QCOMPARE(notice.feedId, 9);
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

  // While a notification is up the next replaces it and covers its feeds;
  // once closed, the next stands alone.
  void TheNotificationUpIsReplacedUntilClosed() {
    NoticeGrouper grouper(1s);
    NoticeGrouper::Clock::time_point now{};
    grouper.Add(1, now);
    grouper.Showing(grouper.TakeDue(now += 1s)->feeds);
    grouper.Posted(7);
    QCOMPARE(grouper.FeedOf(7), 1);
    QCOMPARE(grouper.FeedOf(8), 0);

    QVERIFY(grouper.Add(2, now += 10s));
    const auto replacing = grouper.TakeDue(now += 1s);
    QCOMPARE(replacing->feeds, (std::vector<int>{1, 2}));
    QCOMPARE(replacing->replacesId, 7u);
    grouper.Showing(replacing->feeds);
    grouper.Closed(7);  // the old one closing while the new one is on its way
    grouper.Posted(7);
    QCOMPARE(grouper.FeedOf(7), 1);

    grouper.Closed(7);
    QCOMPARE(grouper.FeedOf(7), 0);
    grouper.Add(3, now += 10s);
    const auto alone = grouper.TakeDue(now += 1s);
    QCOMPARE(alone->feeds, (std::vector<int>{3}));
    QCOMPARE(alone->replacesId, 0u);

    grouper.Add(4, now);
    grouper.Clear();
    QVERIFY(!grouper.TakeDue(now += 1s));
  }
};

int vrel::test::RunNewsNoticeTests(int argc, char** argv) {
  NewsNoticeTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "news_notice_test.moc"
