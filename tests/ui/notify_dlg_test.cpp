// The notification window: its queue, countdown, pinning and links.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>

#include "ui/notify_dlg.h"
#include "ui/viewer_dlg.h"
#include "ui_test_support.h"

using vrel::MakeRequest;
using vrel::XmlDoc;
using namespace vrel::ui;

class NotifyTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<vrel::test::UiEngine> ui_;
  std::unique_ptr<CThreadDlgOwner> viewerOwner_;
  std::unique_ptr<CThreadDlgOwner> owner_;
  std::string feed_;
  std::string otherFeed_;

  CNotifyDlg& Notify() { return static_cast<CNotifyDlg&>(*owner_->Dialog()); }

  void Start(int seconds) {
    ui_ = std::make_unique<vrel::test::UiEngine>(seconds);
    feed_ = std::to_string(ui_->AddRssFeed());
    {
      std::lock_guard lock(ui_->engine.Lock());
      otherFeed_ = std::to_string(ui_->engine.Database().AddFeed("http://other.example/", "Other Feed"));
    }
    viewerOwner_ = std::make_unique<CThreadDlgOwner>();
    QVERIFY(viewerOwner_->Start(
        [this](CThreadDlgOwner& owner) { return new CViewerDlg(owner, ui_->engine, ui_->links); }));
    owner_ = std::make_unique<CThreadDlgOwner>();
    QVERIFY(owner_->Start([this](CThreadDlgOwner& owner) {
      return new CNotifyDlg(owner, ui_->engine, ui_->links, *viewerOwner_);
    }));
  }

  void Post(const XmlDoc& doc, int code) {
    owner_->PostDoc(doc, code);
    QCoreApplication::processEvents();
  }

  void Notify(const std::string& feed) { Post(MakeRequest(feed, "BriefNewOnly"), TDM_SHOW); }

  XmlDoc Clear() {
    XmlDoc clear;
    clear.AddElement("CMD", "CLEAR");
    return clear;
  }

  // Whether the window shows the brief view of the feed with this title.
  bool Shows(const char* title) { return Notify().Display()->Text().find(title) != std::string::npos; }

  void Ticks(int count) {
    for (int i = 0; i < count; ++i) Notify().Tick();
  }

 private slots:
  void cleanup() {
    owner_.reset();
    viewerOwner_.reset();
    ui_.reset();
  }

  void notificationsFollowEachOtherForTheSetSeconds() {
    Start(3);
    QCOMPARE(Notify().windowTitle(), QString("Notification Window"));
    Notify().show();
    QVERIFY(!Notify().isVisible());

    Notify(feed_);
    Notify(otherFeed_);
    Notify(feed_);
    QVERIFY(Notify().isVisible());
    QVERIFY(Notify().testAttribute(Qt::WA_ShowWithoutActivating));
    QVERIFY(Shows("Liftoff"));
    QCOMPARE(Notify().QueuedCount(), 2);
    QCOMPARE(Notify().windowTitle(), QString("Notification Window ...3"));
    Ticks(2);
    QCOMPARE(Notify().windowTitle(), QString("Notification Window ...1"));
    QVERIFY(Shows("Liftoff"));
    Ticks(1);
    QVERIFY(Shows("Other Feed"));
    QCOMPARE(Notify().windowTitle(), QString("Notification Window ...3"));
    Ticks(3);
    QVERIFY(Shows("Liftoff"));
    QCOMPARE(Notify().QueuedCount(), 0);
    Ticks(3);
    QVERIFY(!Notify().isVisible());
    QCOMPARE(Notify().windowTitle(), QString("Notification Window"));
    Ticks(5);  // nothing up: the ticks change nothing
    QVERIFY(!Notify().isVisible());
  }

  void oneSecondShowsTheCountdownOneForOneTick() {
    Start(1);
    Notify(feed_);
    Notify(otherFeed_);
    QCOMPARE(Notify().windowTitle(), QString("Notification Window ...1"));
    Ticks(1);
    QVERIFY(Shows("Other Feed"));
    QCOMPARE(Notify().windowTitle(), QString("Notification Window ...1"));
    Ticks(1);
    QVERIFY(!Notify().isVisible());
  }

  void pinningKeepsTheWindowUpUntilTheNextNotification() {
    Start(2);
    Notify(feed_);
    Notify(otherFeed_);
    // Showing the window never pins it; clicking into it does.
    QCOMPARE(Notify().SecondsLeft(), 2);
    QTest::mouseClick(Notify().Display()->viewport(), Qt::LeftButton, {}, QPoint(150, 60));
    QCOMPARE(Notify().SecondsLeft(), 0);
    QCOMPARE(Notify().QueuedCount(), 0);
    QCOMPARE(Notify().windowTitle(), QString("Notification Window"));
    Ticks(10);
    QVERIFY(Notify().isVisible());
    QVERIFY(Shows("Liftoff"));
    // The next one replaces the pinned one at once, with a fresh countdown.
    Notify(otherFeed_);
    QVERIFY(Shows("Other Feed"));
    QCOMPARE(Notify().SecondsLeft(), 2);
  }

  void clearDropsTheQueueButNotTheNotificationOnScreen() {
    Start(2);
    Notify(feed_);
    Notify(otherFeed_);
    Notify(otherFeed_);
    Post(Clear(), TDM_CLEAR);
    QCOMPARE(Notify().QueuedCount(), 0);
    QVERIFY(Shows("Liftoff"));
    Ticks(1);
    QCOMPARE(Notify().windowTitle(), QString("Notification Window ...1"));
    Ticks(1);
    QVERIFY(!Notify().isVisible());
  }

  void aShrunkWindowReappearsAtItsLargerRectangle() {
    Start(1);
    Notify(feed_);
    Notify().setGeometry(40, 50, 320, 180);
    Ticks(1);
    QVERIFY(!Notify().isVisible());
    Notify(feed_);
    QCOMPARE(Notify().geometry(), QRect(40, 50, 320, 180));
    Notify().resize(50, 100);
    Ticks(1);
    QCOMPARE(Notify().ShowRect(), QRect(40, 50, 320, 180));
    Notify(feed_);
    QCOMPARE(Notify().geometry(), QRect(40, 50, 320, 180));

    // Moved while hidden ("Reset Window Positions"): it shows up there.
    Ticks(1);
    owner_->SetPosition({100, 120, 400, 300});
    QCoreApplication::processEvents();
    Notify(feed_);
    QCOMPARE(Notify().geometry(), QRect(100, 120, 300, 180));
  }

  void userCloseAndEscapeHide() {
    Start(5);
    Notify(feed_);
    Notify().close();
    QVERIFY(!Notify().isVisible());
    QVERIFY(owner_->Dialog() != nullptr);
    Notify(feed_);
    QTest::keyClick(&Notify(), Qt::Key_Escape);
    QVERIFY(!Notify().isVisible());
    QVERIFY(owner_->Dialog() != nullptr);
  }

  // Shown by a download it leaves the keyboard alone; the user's Tab
  // enters it at its first link, and that pins it.
  void tabEntersTheDisplayAtItsFirstLinkAndPins() {
    Start(5);
    Notify(feed_);
    QVERIFY(Notify().testAttribute(Qt::WA_ShowWithoutActivating));
    QCOMPARE(Notify().Display()->focusPolicy(), Qt::ClickFocus);
    QVERIFY(!Notify().Display()->hasFocus());
    QVERIFY(Notify().Display()->LinkCount() > 0);
    QCOMPARE(Notify().SecondsLeft(), 5);
    QApplication::setActiveWindow(&Notify());
    QTest::keyClick(&Notify(), Qt::Key_Tab);
    QVERIFY(Notify().Display()->hasFocus());
    QCOMPARE(Notify().Display()->FocusedLink(), 0);
    QCOMPARE(Notify().SecondsLeft(), 0);
  }

  void itemDetailsOpenInTheViewer() {
    Start(5);
    Notify(feed_);
    Notify().LoadLink(QString::fromStdString(vrel::ItemLink("http://liftoff.example/a", feed_, "20240301 090000", "1") +
                                             "A</A>"));
    const std::unique_ptr<QMenu> menu = Notify().CreateLinkMenu();
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), qsizetype{2});
    actions[1]->trigger();
    QCoreApplication::processEvents();
    auto& viewer = static_cast<CViewerDlg&>(*viewerOwner_->Dialog());
    QCOMPARE(viewer.History().Entries().size(), size_t{1});
    QVERIFY(viewer.History().Current().find("type=\"ItemDetails\"") != std::string::npos);
    QVERIFY(viewer.isVisible());
    QTRY_VERIFY(viewer.Display()->hasFocus());
  }
};

int vrel::test::RunNotifyTests(int argc, char** argv) {
  NotifyTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "notify_dlg_test.moc"
