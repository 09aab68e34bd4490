// The main dialog running under the offscreen platform: its keys, closing
// with and without ExitOnClose, life without a tray, the screen saver
// requests and what it saves at the end.
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <vector>

#include "edit/widget/text_edit.h"
#include "markup/widget/markup_view.h"
#include "net/download.h"
#include "ui/news_dialog.h"
#include "ui/viewer_dlg.h"

using namespace vrel;
using namespace vrel::ui;

namespace {

const char kFeedAddress[] = "http://liftoff.example/rss.xml";

std::string ReadCorpus(const char* name) {
  QFile file(QString(VREL_CORPUS_DIR) + "/" + name);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

// Every address downloads as the same corpus feed, at once.
class CorpusDownload : public Download {
 public:
  explicit CorpusDownload(const std::string& address) {
    result_.ok = true;
    result_.text = ReadCorpus("htmlparser2/RSS_Example.xml");
    result_.finalUrl = address;
  }
  bool Poll() override { return true; }
  const DownloadResult& Result() const override { return result_; }
  void Abort() override {}

 private:
  DownloadResult result_;
};

class CorpusSource : public DownloadSource {
 public:
  std::unique_ptr<Download> Start(const std::string& address, DownloadKind /*kind*/) override {
    addresses.push_back(address);
    return std::make_unique<CorpusDownload>(address);
  }
  std::vector<std::string> addresses;
};

// A desktop whose tray the test switches on and off.
class TestDialog : public NewsDialog {
 public:
  using NewsDialog::NewsDialog;
  bool trayAvailable = true;

 protected:
  bool SystemTrayAvailable() const override { return trayAvailable; }
};

// Whether the window was still minimised when it was hidden.
struct WindowStateAtHide : QObject {
  explicit WindowStateAtHide(QWidget& window) : window_(window) { window.installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Hide && !event->spontaneous()) {  // not the minimising itself
      hidden = true;
      minimisedWhenHidden = window_.isMinimized();
    }
    return false;
  }
  QWidget& window_;
  bool hidden = false;
  bool minimisedWhenHidden = false;
};

QAction* ActionFor(QMenu& menu, int command) {
  for (QAction* action : menu.actions())
    if (!action->isSeparator() && action->data().toInt() == command) return action;
  return nullptr;
}

CViewerDlg* VisibleViewer() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* viewer = qobject_cast<CViewerDlg*>(widget);
    if (viewer && viewer->isVisible()) return viewer;
  }
  return nullptr;
}

}  // namespace

class NewsDialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<MemorySettingsStore> store_;
  CorpusSource downloads_;
  std::unique_ptr<TestDialog> dialog_;

  QString DataFile() const { return dir_->filePath("feedstatus.xml"); }

  void Start(int exitOnClose, bool tray = true, NewsDialog::StartFlags flags = {}) {
    QVERIFY(store_->SetInt("ExitOnClose", exitOnClose).Ok());
    dialog_ = std::make_unique<TestDialog>(*store_, &downloads_);
    dialog_->trayAvailable = tray;
    dialog_->SetStartFlags(flags);
    dialog_->Initialise();
    dialog_->show();
  }

  // Stores one feed, as a finished download would, last seen long ago.
  void AddFeed() {
    const std::string feed = ReadCorpus("htmlparser2/RSS_Example.xml");
    QVERIFY(!feed.empty());
    NewsEngine& engine = dialog_->Engine();
    QVERIFY(engine.MergeDownload(kFeedAddress, feed));
    std::lock_guard lock(engine.Lock());
    QVERIFY(engine.Database().FindFeedById(1));
    engine.Database().Document().SetAttribute("viewed", "20000101 000000");
    engine.FeedListChanged();
  }

  // A second feed, never downloaded: its line is the plain link form.
  void AddOtherFeed() {
    NewsEngine& engine = dialog_->Engine();
    {
      std::lock_guard lock(engine.Lock());
      engine.Database().AddFeed("http://other.example/", "Other Feed");
    }
    engine.FeedListChanged();
  }

  std::string FeedAttribute(const char* name) {
    NewsEngine& engine = dialog_->Engine();
    std::lock_guard lock(engine.Lock());
    if (!engine.Database().FindFeedById(1)) return "(no feed)";
    return engine.Database().Document().GetAttribute(name);
  }

  template <typename Widget>
  Widget* Child() {
    return dialog_->findChild<Widget*>();
  }

  markup::MarkupView* StatusLine() {
    const QList<markup::MarkupView*> views = dialog_->findChildren<markup::MarkupView*>();
    return views.size() == 2 ? views[0] : nullptr;
  }
  markup::MarkupView* FeedList() {
    const QList<markup::MarkupView*> views = dialog_->findChildren<markup::MarkupView*>();
    return views.size() == 2 ? views[1] : nullptr;
  }

  // The feed list with the corpus feed (title and red new-count links) and
  // a second feed, shown and active.
  markup::MarkupView* ShowTwoFeeds() {
    Start(1);
    AddFeed();
    AddOtherFeed();
    dialog_->resize(500, 400);
    if (!QTest::qWaitForWindowExposed(dialog_.get())) return nullptr;
    QApplication::setActiveWindow(dialog_.get());
    // Rebuilds of the list come at most every 250 ms.
    const bool rebuilt =
        QTest::qWaitFor([this] { return FeedList()->Text().find("Other Feed") != std::string::npos; });
    return rebuilt ? FeedList() : nullptr;
  }

  // The entries of the popup menu that the next call opens, then closes it.
  static void ReadNextPopup(std::vector<FeedMenuEntry>& entries, QString& defaultText) {
    QTimer::singleShot(0, [&entries, &defaultText] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      for (QAction* action : menu->actions())
        if (!action->isSeparator()) entries.push_back({action->data().toInt(), action->text(), action->isEnabled()});
      defaultText = menu->defaultAction() ? menu->defaultAction()->text() : QString();
      menu->close();
    });
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    store_ = std::make_unique<MemorySettingsStore>();
    // The configured data file is used only when it exists.
    QFile empty(DataFile());
    QVERIFY(empty.open(QIODevice::WriteOnly));
    QVERIFY(store_->SetString("DataFile", DataFile().toStdString()).Ok());
  }

  void cleanup() {
    dialog_.reset();
    downloads_.addresses.clear();
    store_.reset();
    dir_.reset();
  }

  void f7AnywhereAsksTheViewerForNewItems() {
    Start(1);
    QSignalSpy views(dialog_.get(), &NewsDialog::viewRequested);
    FeedList()->setFocus();
    QTest::keyClick(FeedList(), Qt::Key_F7);
    QCOMPARE(views.size(), 1);
    QCOMPARE(views[0][0].toString().trimmed(), QString("<NURL type=\"ShowNew\"/>"));
    QTRY_VERIFY(VisibleViewer() != nullptr);
  }

  void shiftF7MarksEveryFeedReadWithoutOpeningAView() {
    Start(1);
    AddFeed();
    QVERIFY(FeedAttribute("viewed") != FeedAttribute("arrivetime"));
    QSignalSpy views(dialog_.get(), &NewsDialog::viewRequested);
    QTest::keyClick(Child<edit::TextEdit>(), Qt::Key_F7, Qt::ShiftModifier);
    QCOMPARE(FeedAttribute("viewed"), FeedAttribute("arrivetime"));
    QCOMPARE(views.size(), 0);
  }

  void pasteKeysFillTheAddressBoxFromTheFeedList() {
    Start(1);
    QApplication::clipboard()->setText("http://pasted.example/feed");
    FeedList()->setFocus();
    QTest::keyClick(FeedList(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(Child<edit::TextEdit>()->ToQString(), QString("http://pasted.example/feed"));
    Child<edit::TextEdit>()->SetText({});
    QTest::keyClick(FeedList(), Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(Child<edit::TextEdit>()->ToQString(), QString("http://pasted.example/feed"));
  }

  void enterInTheAddressBoxAddsTheFeedToTheList() {
    Start(1);
    edit::TextEdit* address = Child<edit::TextEdit>();
    address->setFocus();
    address->SetText(kFeedAddress);
    QTest::keyClick(address, Qt::Key_Return);
    QVERIFY(address->Text().empty());
    QTRY_VERIFY_WITH_TIMEOUT(FeedList()->Text().find("Liftoff News") != std::string::npos, 5000);
    QCOMPARE(downloads_.addresses, std::vector<std::string>{kFeedAddress});
  }

  void controlsFollowTheLayoutRule() {
    Start(1);
    dialog_->resize(500, 400);
    const QList<QPushButton*> buttons = dialog_->findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 2);
    const int textHeight = QFontMetrics(Child<edit::TextEdit>()->font()).height();
    const MainLayout expected = LayOutMainDialog(dialog_->size(), buttons[0]->size(), buttons[1]->size(), textHeight);
    QCOMPARE(buttons[0]->text(), QString("Add"));
    QCOMPARE(buttons[0]->geometry(), expected.add);
    QCOMPARE(buttons[1]->geometry(), expected.menu);
    QCOMPARE(Child<edit::TextEdit>()->geometry(), expected.address);
    QCOMPARE(FeedList()->geometry(), expected.feeds);
    QCOMPARE(FeedList()->geometry().bottom(), 400 - 6 - 1);
  }

  void feedLinksOpenViewsAndFeedCommandsActOnTheLink() {
    Start(1);
    AddFeed();
    dialog_->resize(500, 400);
    markup::MarkupView* list = FeedList();
    QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
    QVERIFY(list->Text().find("Liftoff News") != std::string::npos);
    list->viewport()->repaint();
    const auto& links = list->Layout().links;
    QVERIFY(!links.empty());
    const QPoint title((links[0].left + links[0].right) / 2, (links[0].top + links[0].bottom) / 2);

    QSignalSpy views(dialog_.get(), &NewsDialog::viewRequested);
    QSignalSpy clicks(list, &markup::MarkupView::linkClicked);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, title);
    QCOMPARE(clicks.size(), 1);
    QCOMPARE(views.size(), 1);
    QCOMPARE(views[0][0].toString().trimmed(), QString("<NURL feedid=\"1\" type=\"Summary\"/>"));

    // The feed commands act on the feed of the link last clicked.
    dialog_->RunCommand(kCmdFeedViewBrief);
    QCOMPARE(views.size(), 2);
    QCOMPARE(views[1][0].toString().trimmed(), QString("<NURL feedid=\"1\" type=\"Brief\"/>"));
    QVERIFY(FeedAttribute("viewed") != FeedAttribute("arrivetime"));
    dialog_->RunCommand(kCmdFeedMarkAsRead);
    QCOMPARE(FeedAttribute("viewed"), FeedAttribute("arrivetime"));
    dialog_->RunCommand(kCmdFeedDelete);
    QCOMPARE(FeedAttribute("viewed"), std::string("(no feed)"));
    QTRY_VERIFY(list->Text().find("Liftoff News") == std::string::npos);
  }

  // The box, "Add" and "Menu", then (the status line showing no link) every
  // link of the feed list in order; Enter asks for what a click asks for.
  void tabReachesEveryFeedLinkInOrderAndEnterOpensWhatAClickOpens() {
    markup::MarkupView* list = ShowTwoFeeds();
    QVERIFY(list);
    QCOMPARE(list->LinkCount(), 3);
    Child<edit::TextEdit>()->setFocus();
    QStringList stops;
    for (int i = 0; i < 5; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QWidget* focused = QApplication::focusWidget();
      stops << (focused == list ? "link " + list->LinkName(list->FocusedLink())
                                : QAccessible::queryAccessibleInterface(focused)->text(QAccessible::Name));
    }
    QCOMPARE(stops, (QStringList{"Add", "Menu", "link Liftoff News", "link " + list->LinkName(1), "link Other Feed"}));
    QCOMPARE(list->LinkName(1).toInt() > 0, true);  // the red count of new items

    QSignalSpy views(dialog_.get(), &NewsDialog::viewRequested);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(views.size(), 1);
    QCOMPARE(views[0][0].toString().trimmed(), QString("<NURL feedid=\"2\" type=\"Summary\"/>"));
    const QRect other = list->LinkRect(2);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, other.center());
    QCOMPARE(views.size(), 2);
    QCOMPARE(views[1][0], views[0][0]);
  }

  void shiftF10OpensTheFeedMenuWithItsGreyingAndDefault() {
    markup::MarkupView* list = ShowTwoFeeds();
    QVERIFY(list);
    list->setFocus();
    list->FocusLink(1);  // the red new-count link
    std::vector<FeedMenuEntry> entries;
    QString defaultText;
    ReadNextPopup(entries, defaultText);
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    QCOMPARE(defaultText, QString("&View New"));
    QCOMPARE(entries.size(), size_t{8});
    QVERIFY(std::all_of(entries.begin(), entries.end(), [](const FeedMenuEntry& entry) { return entry.enabled; }));

    entries.clear();
    list->FocusLink(2);  // a feed with nothing new
    ReadNextPopup(entries, defaultText);
    QTest::keyClick(list, Qt::Key_Menu);
    QCOMPARE(defaultText, QString("&View"));
    QCOMPARE(entries.size(), size_t{8});
    QCOMPARE(entries[0].text, QString("Mark As Read"));
    QVERIFY(!entries[0].enabled);
    QCOMPARE(entries[6].text, QString("&View New"));
    QVERIFY(!entries[6].enabled && !entries[7].enabled && entries[1].enabled);
  }

  // A screen reader sees a child per feed link named by the feed's title;
  // pressing it opens the view a click opens.
  void screenReadersSeeEachFeedLinkAndPressingItOpensTheView() {
    markup::MarkupView* list = ShowTwoFeeds();
    QVERIFY(list);
    QAccessibleInterface* feeds = QAccessible::queryAccessibleInterface(list);
    QCOMPARE(feeds->text(QAccessible::Name), QString("Feeds"));
    QCOMPARE(feeds->childCount(), 3);
    QCOMPARE(feeds->child(0)->text(QAccessible::Name), QString("Liftoff News"));
    QCOMPARE(feeds->child(2)->text(QAccessible::Name), QString("Other Feed"));
    QCOMPARE(feeds->child(2)->role(), QAccessible::Link);
    QCOMPARE(QAccessible::queryAccessibleInterface(Child<edit::TextEdit>())->text(QAccessible::Name),
             QString("Feed address"));
    QSignalSpy views(dialog_.get(), &NewsDialog::viewRequested);
    feeds->child(0)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(views.size(), 1);
    QCOMPARE(views[0][0].toString().trimmed(), QString("<NURL feedid=\"1\" type=\"Summary\"/>"));
  }

  void theStatusLinesErrorLinkOpensTheStatusMessages() {
    Start(1);
    dialog_->Engine().AddStatusMessage("http://broken.example/ could not be read");
    dialog_->Engine().SetStatusLine("<A type=\"Errors\">error</A> http://broken.example/");
    markup::MarkupView* status = StatusLine();
    QTRY_COMPARE(status->LinkCount(), 1);
    QSignalSpy views(dialog_.get(), &NewsDialog::viewRequested);
    QTest::mouseClick(status->viewport(), Qt::LeftButton, {}, status->LinkRect(0).center());
    QCOMPARE(views.size(), 1);
    QCOMPARE(views[0][0].toString().trimmed(), QString("<NURL type=\"Errors\"/>"));
  }

  void escapeInTheViewerHidesTheViewerNotTheDialog() {
    markup::MarkupView* list = ShowTwoFeeds();
    QVERIFY(list);
    QSignalSpy finished(dialog_.get(), &QDialog::finished);
    list->setFocus();
    list->FocusLink(0);
    QTest::keyClick(list, Qt::Key_Return);
    QTRY_VERIFY(VisibleViewer() != nullptr);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(VisibleViewer()->Display()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(VisibleViewer() == nullptr);
    QVERIFY(dialog_->isVisible());
    QCOMPARE(finished.size(), 0);
  }

  void closeWithExitOnCloseEndsTheDialogAndSavesTheFeeds() {
    Start(1);
    AddFeed();
    QSignalSpy finished(dialog_.get(), &QDialog::finished);
    dialog_->close();
    QCOMPARE(finished.size(), 1);
    dialog_.reset();
    QFile saved(DataFile());
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll().contains(kFeedAddress));
    QVERIFY(store_->Read("MainWindow").has_value());
  }

  void closeAndEscapeWithoutExitOnCloseHideInTheTray() {
    Start(0);
    QSignalSpy finished(dialog_.get(), &QDialog::finished);
    dialog_->close();
    QVERIFY(!dialog_->isVisible());
    dialog_->ShowFromTray();
    QVERIFY(dialog_->isVisible());
    QTest::keyClick(dialog_.get(), Qt::Key_Escape);
    QVERIFY(!dialog_->isVisible());
    QCOMPARE(finished.size(), 0);
    dialog_->RunCommand(kCmdExit);
    QCOMPARE(finished.size(), 1);
  }

  void escapeWithExitOnCloseEndsTheDialog() {
    Start(1);
    QSignalSpy finished(dialog_.get(), &QDialog::finished);
    QTest::keyClick(dialog_.get(), Qt::Key_Escape);
    QCOMPARE(finished.size(), 1);
  }

  // The dialog is withdrawn as a normal window, never as an iconified one
  // (which a window manager may leave as an empty frame on the screen).
  void minimisingHidesInTheTray() {
    Start(1);
    WindowStateAtHide spy(*dialog_);
    dialog_->showMinimized();
    QTRY_VERIFY(!dialog_->isVisible());
    QVERIFY(spy.hidden);
    QVERIFY(!spy.minimisedWhenHidden);
    dialog_->ShowFromTray();
    QVERIFY(dialog_->isVisible());
    QVERIFY(!dialog_->isMinimized());
  }

  void withoutATrayCloseAndMinimiseOnlyMinimise() {
    Start(0, false);
    QSignalSpy finished(dialog_.get(), &QDialog::finished);
    dialog_->close();
    QVERIFY(dialog_->isVisible());
    QVERIFY(dialog_->isMinimized());
    dialog_->ShowFromTray();
    dialog_->showMinimized();
    QTest::qWait(50);
    QVERIFY(dialog_->isVisible());
    QCOMPARE(finished.size(), 0);
  }

  // A second start or a click on the tray brings back a dialog that is
  // only covered by another window, as well as a hidden one.
  void laterStartsAndTheTrayRaiseACoveredDialog() {
    Start(0);
    QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    dialog_->OnInterProcessRequest(0, 0);  // a plain later start
    QTRY_VERIFY(dialog_->isActiveWindow());
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    // A tray that speaks StatusNotifierItem sends a single activation only.
    auto* tray = Child<QSystemTrayIcon>();
    QVERIFY(tray);
    emit tray->activated(QSystemTrayIcon::Trigger);
    QTRY_VERIFY(dialog_->isActiveWindow());
    dialog_->hide();
    emit tray->activated(QSystemTrayIcon::Trigger);
    QTRY_VERIFY(dialog_->isVisible());
  }

  // Without a tray its menu cannot be reached: its commands join the main menu.
  void withoutATrayTheMainMenuHasTheTraysCommands() {
    Start(1, false);
    std::unique_ptr<QMenu> menu = dialog_->BuildMainMenu();
    QVERIFY(ActionFor(*menu, kCmdExit));
    QVERIFY(ActionFor(*menu, kCmdResetWindowPositions));
    dialog_->trayAvailable = true;
    menu = dialog_->BuildMainMenu();
    QVERIFY(!ActionFor(*menu, kCmdExit));
  }

  void trayIconAppearsWhenATrayComesLater() {
    Start(0, false);
    QSystemTrayIcon* tray = Child<QSystemTrayIcon>();
    QVERIFY(tray);
    QVERIFY(!tray->isVisible());
    QCOMPARE(tray->toolTip(), QString("brackenfold News Reader"));
    dialog_->trayAvailable = true;
    QTRY_VERIFY_WITH_TIMEOUT(tray->isVisible(), 3000);
  }

  // The tip and the badge follow the feed list: counted after a merge,
  // gone again once everything is read.
  void trayIconShowsTheNewCountAfterAMerge() {
    Start(1);
    QSystemTrayIcon* tray = Child<QSystemTrayIcon>();
    QVERIFY(tray);
    const qint64 plainIcon = tray->icon().cacheKey();
    AddFeed();
    QTRY_VERIFY(tray->toolTip().startsWith("brackenfold News Reader\n"));
    QVERIFY(tray->toolTip().endsWith(" new items in 1 feed"));
    QVERIFY(tray->icon().cacheKey() != plainIcon);
    dialog_->RunCommand(kCmdMarkAllAsRead);
    QTRY_COMPARE(tray->toolTip(), QString("brackenfold News Reader"));
    QCOMPARE(tray->icon().cacheKey(), dialog_->windowIcon().cacheKey());
  }

  void statusMessagesEntryIsGreyedWhileThereAreNone() {
    Start(1);
    std::unique_ptr<QMenu> menu = dialog_->BuildMainMenu();
    QVERIFY(!ActionFor(*menu, kCmdStatusMessages)->isEnabled());
    QVERIFY(ActionFor(*menu, kCmdShowNew)->isEnabled());
    dialog_->Engine().AddStatusMessage("no items");
    menu = dialog_->BuildMainMenu();
    QVERIFY(ActionFor(*menu, kCmdStatusMessages)->isEnabled());
  }

  void hiddenStartStaysHiddenUntilNewsDialog() {
    NewsDialog::StartFlags flags;
    flags.hiddenStart = true;
    Start(1, true, flags);
    QVERIFY(!dialog_->isVisible());
    dialog_->RunCommand(kCmdNewsDialog);
    QVERIFY(dialog_->isVisible());
  }

  void closingAConfigurationRequestHidesAndReleasesTheWaiter() {
    NewsDialog::StartFlags flags;
    flags.saverRequest = kSaverConfigure;
    Start(1, true, flags);
    QSignalSpy released(dialog_.get(), &NewsDialog::releaseWaitDialog);
    QSignalSpy finished(dialog_.get(), &QDialog::finished);
    dialog_->hide();
    dialog_->OnInterProcessRequest('N', 77);
    QVERIFY(dialog_->isVisible());
    dialog_->close();
    QVERIFY(!dialog_->isVisible());
    QCOMPARE(finished.size(), 0);
    QCOMPARE(released.size(), 1);
    QCOMPARE(released[0][0].toLongLong(), 77);
    QCOMPARE(dialog_->SaverRequest(), 0);
  }

  void aNewerWaiterReleasesTheOlderOne() {
    Start(1);
    QSignalSpy released(dialog_.get(), &NewsDialog::releaseWaitDialog);
    dialog_->OnInterProcessRequest('S', 0);
    dialog_->OnInterProcessRequest('N', 10);
    dialog_->OnInterProcessRequest('N', 11);
    QCOMPARE(released.size(), 1);
    QCOMPARE(released[0][0].toLongLong(), 10);
    // Leaving the screen saver ends the second start's wait, not the program.
    QSignalSpy finished(dialog_.get(), &QDialog::finished);
    dialog_->OnScreenSaverEnded({});
    QCOMPARE(released.size(), 2);
    QCOMPARE(released[1][0].toLongLong(), 11);
    QTest::qWait(20);
    QCOMPARE(finished.size(), 0);
    QVERIFY(!dialog_->FinishRequest(kSaverRun));
  }

  void screenSaverStartEndsTheProgramUnlessAFeedWasPicked() {
    NewsDialog::StartFlags flags;
    flags.hiddenStart = true;
    flags.saverRequest = kSaverRun | kSaverEndApplication;
    Start(0, true, flags);
    QSignalSpy finished(dialog_.get(), &QDialog::finished);
    dialog_->OnScreenSaverEnded({});
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY(dialog_->IsExiting());
  }

  void pickedFeedStaysInTheTrayAndOpensItsSummary() {
    NewsDialog::StartFlags flags;
    flags.hiddenStart = true;
    flags.saverRequest = kSaverRun | kSaverEndApplication;
    Start(1, true, flags);
    QSignalSpy finished(dialog_.get(), &QDialog::finished);
    QSignalSpy views(dialog_.get(), &NewsDialog::viewRequested);
    dialog_->OnScreenSaverEnded("1");
    QTest::qWait(20);
    QCOMPARE(finished.size(), 0);
    QCOMPARE(views.size(), 1);
    QCOMPARE(views[0][0].toString().trimmed(), QString("<NURL feedid=\"1\" type=\"Summary\"/>"));
    QCOMPARE(dialog_->SaverRequest(), 0);
  }
};

QTEST_MAIN(NewsDialogTest)
#include "news_dialog_test.moc"
