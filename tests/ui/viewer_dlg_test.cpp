// The viewer: its history, its keys and the requests it sends on.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>

#include <algorithm>

#include "ui/viewer_dlg.h"
#include "ui/viewer_history.h"
#include "ui_test_support.h"

using vrel::MakeRequest;
using vrel::XmlDoc;
using namespace vrel::ui;

class ViewerTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<vrel::test::UiEngine> ui_;
  std::unique_ptr<CThreadDlgOwner> owner_;
  std::string feed_;

  CViewerDlg& Viewer() { return static_cast<CViewerDlg&>(*owner_->Dialog()); }

  // Posts the request through the owner, as every window does.
  void Show(const XmlDoc& request) {
    owner_->PostDoc(request, TDM_SHOW);
    QCoreApplication::processEvents();
  }

  std::string Text(const char* type) { return MakeRequest(feed_, type).GetDocumentText(); }

  // Clicks the first link that has (or has not) an address.
  void ClickFirstLink(bool withAddress) {
    const auto& links = Viewer().Display()->Layout().links;
    const auto link = std::find_if(links.begin(), links.end(), [withAddress](const auto& piece) {
      return (piece.text.find("href=") != std::string::npos) == withAddress;
    });
    QVERIFY(link != links.end());
    const QPoint centre((link->left + link->right) / 2, (link->top + link->bottom) / 2);
    QTest::mouseClick(Viewer().Display()->viewport(), Qt::LeftButton, {}, centre);
  }

  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(Viewer().Display(), key, modifiers);
  }

 private slots:
  void init() {
    ui_ = std::make_unique<vrel::test::UiEngine>();
    feed_ = std::to_string(ui_->AddRssFeed());
    owner_ = std::make_unique<CThreadDlgOwner>();
    QVERIFY(owner_->Start([this](CThreadDlgOwner& owner) { return new CViewerDlg(owner, ui_->engine, ui_->links); }));
  }

  void cleanup() {
    owner_.reset();
    ui_.reset();
  }

  void hiddenUntilTheFirstRequest() {
    Viewer().show();
    QVERIFY(!Viewer().isVisible());
    Show(MakeRequest(feed_, "Summary"));
    QVERIFY(Viewer().isVisible());
    QVERIFY(Viewer().isEnabled());
    QVERIFY(Viewer().Display()->Text().find("Liftoff") != std::string::npos);
    Key(Qt::Key_Escape);
    QVERIFY(!Viewer().isVisible());
    // The history outlives hiding; the next request shows the window again.
    Show(MakeRequest(feed_, "Brief"));
    QVERIFY(Viewer().isVisible());
    QCOMPARE(Viewer().History().Entries().size(), size_t{2});
  }

  void theSameRequestTwiceIsOneEntryRenderedTwice() {
    Show(MakeRequest(feed_, "Summary"));
    const std::string before = Viewer().Display()->Text();
    {
      std::lock_guard lock(ui_->engine.Lock());
      ui_->engine.Database().FindFeedById(feed_);
      ui_->engine.Database().Document().SetAttribute("title", "Renamed Feed");
    }
    Show(MakeRequest(feed_, "Summary"));
    QCOMPARE(Viewer().History().Entries().size(), size_t{1});
    QVERIFY(Viewer().Display()->Text() != before);
    QVERIFY(Viewer().Display()->Text().find("Renamed Feed") != std::string::npos);
  }

  void aNewRequestAfterBackDropsTheForwardEntries() {
    Show(MakeRequest(feed_, "Summary"));
    Show(MakeRequest(feed_, "Brief"));
    Show(MakeRequest(feed_, "NewOnly"));
    Key(Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(Viewer().History().Current(), Text("Brief"));
    Key(Qt::Key_Backspace);
    QCOMPARE(Viewer().History().Current(), Text("Summary"));
    Key(Qt::Key_Backspace);  // at the first entry: nothing
    QCOMPARE(Viewer().History().CurrentIndex(), 0);
    Key(Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(Viewer().History().Current(), Text("Brief"));
    Key(Qt::Key_Left, Qt::AltModifier);

    Show(MakeRequest(feed_, "BriefNewOnly"));
    QCOMPARE(Viewer().History().Entries(), (std::vector<std::string>{Text("Summary"), Text("BriefNewOnly")}));
    QCOMPARE(Viewer().History().CurrentIndex(), 1);
    Key(Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(Viewer().History().CurrentIndex(), 1);
  }

  void refreshKeepsTheScrollPositionBackStartsAtTheTop() {
    Show(MakeRequest(feed_, "Brief"));
    Show(MakeRequest(feed_, "Summary"));
    Viewer().resize(300, 120);
    Viewer().Display()->viewport()->repaint();
    QVERIFY(Viewer().Display()->ContentHeight() > 200);
    Viewer().Display()->ScrollBy(80);
    const int scrolled = Viewer().Display()->ScrollPosition();
    QVERIFY(scrolled > 0);
    Key(Qt::Key_F5);
    QCOMPARE(Viewer().Display()->ScrollPosition(), scrolled);
    QCOMPARE(Viewer().History().Entries().size(), size_t{2});
    Key(Qt::Key_Backspace);
    QCOMPARE(Viewer().Display()->ScrollPosition(), 0);
  }

  void itemDetailsOpenInTheViewerItself() {
    Show(MakeRequest(feed_, "Summary"));
    const std::string link = vrel::ItemLink("http://liftoff.example/item", feed_, "20240301 090000", "3");
    Viewer().LoadLink(QString::fromStdString(link + "Star City</A>"));
    const std::unique_ptr<QMenu> menu = Viewer().CreateLinkMenu();
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), qsizetype{2});
    QCOMPARE(actions[0]->text(), QString("&Copy Shortcut"));
    QCOMPARE(actions[1]->text(), QString("&Item Details"));
    actions[1]->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(Viewer().History().Entries().size(), size_t{2});
    QCOMPARE(Viewer().History().Current(),
             "<NURL feedid=\"" + feed_ + "\" type=\"ItemDetails\" firsttime=\"20240301 090000\" seq=\"3\"" +
                 " href=\"http://liftoff.example/item\"/>\r\n");

    // A link that names no item offers only the shortcut.
    Viewer().LoadLink("<A feedid=\"" + QString::fromStdString(feed_) + "\" type=\"Brief\">Brief</A>");
    QCOMPARE(Viewer().CreateLinkMenu()->actions().size(), qsizetype{1});
  }

  void theFirstRequestShowsAtThePlacementWithTheFocus() {
    owner_ = std::make_unique<CThreadDlgOwner>();
    owner_->SetRect({30, 40, 530, 440});
    QVERIFY(owner_->Start([this](CThreadDlgOwner& owner) { return new CViewerDlg(owner, ui_->engine, ui_->links); }));
    Show(MakeRequest(feed_, "Summary"));
    QCOMPARE(Viewer().geometry(), QRect(30, 40, 500, 400));
    // Always the user's own request: the viewer is activated and takes the keys.
    QVERIFY(!Viewer().testAttribute(Qt::WA_ShowWithoutActivating));
    QTRY_VERIFY(Viewer().Display()->hasFocus());
    QCOMPARE(QApplication::activeWindow(), &Viewer());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!Viewer().isVisible());
  }

  void rightClickOffersTheLinkMenuAndCopiesTheAddress() {
    Show(MakeRequest(feed_, "Brief"));
    Viewer().Display()->viewport()->repaint();
    const auto& links = Viewer().Display()->Layout().links;
    const auto item = std::find_if(links.begin(), links.end(),
                                   [](const auto& link) { return link.text.find("href=") != std::string::npos; });
    QVERIFY(item != links.end());
    const QPoint centre((item->left + item->right) / 2, (item->top + item->bottom) / 2);
    QTest::mouseClick(Viewer().Display()->viewport(), Qt::RightButton, {}, centre);
    QWidget* popup = QApplication::activePopupWidget();
    QVERIFY(popup != nullptr);
    popup->close();
    QVERIFY(!Viewer().Link().GetAttribute("href").empty());
    Viewer().CopyShortcut();
    QCOMPARE(QApplication::clipboard()->text().toStdString(), Viewer().Link().GetAttribute("href"));
  }

  void leftClicksGoToTheLinkHandler() {
    Show(MakeRequest(feed_, "Brief"));
    Viewer().Display()->viewport()->repaint();
    ClickFirstLink(true);
    QVERIFY(ui_->links.OpenNextLink());
    QCOMPARE(ui_->launcher.launches.size(), size_t{1});
    QVERIFY(ui_->launcher.launches[0].back().find(Viewer().Link().GetAttribute("href")) != std::string::npos);
    ClickFirstLink(false);
    QCOMPARE(ui_->recorder.views.size(), size_t{1});
    QVERIFY(!ui_->links.OpenNextLink());
  }
};

class ViewerHistoryTest : public QObject {
  Q_OBJECT

 private slots:
  void emptyHistoryMovesNowhere() {
    ViewerHistory history;
    QVERIFY(!history.Back());
    QVERIFY(!history.Forward());
    QCOMPARE(history.Current(), std::string());
    history.Record("a");
    QVERIFY(!history.Back());
    QVERIFY(!history.Forward());
    QCOMPARE(history.Current(), std::string("a"));
  }

  void recordingTheCurrentEntryAgainAfterBackKeepsForward() {
    ViewerHistory history;
    history.Record("a");
    history.Record("b");
    QVERIFY(history.Back());
    history.Record("a");
    QCOMPARE(history.Entries(), (std::vector<std::string>{"a", "b"}));
    QVERIFY(history.Forward());
    QCOMPARE(history.Current(), std::string("b"));
  }
};

int vrel::test::RunViewerTests(int argc, char** argv) {
  ViewerTest viewer;
  ViewerHistoryTest history;
  return QTest::qExec(&viewer, argc, argv) + QTest::qExec(&history, argc, argv);
}

#include "viewer_dlg_test.moc"
