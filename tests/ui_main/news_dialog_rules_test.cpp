// The main dialog's rules that need no running dialog: the title, where the
// controls go, and the feed context menu.
#include <QAction>
#include <QMenu>
#include <QTest>
#include <vector>

#include "ui/about_box.h"
#include "ui/news_dialog.h"

using namespace vrel::ui;

namespace {

vrel::XmlDoc Link(const std::string& markup) {
  vrel::XmlDoc link;
  link.SetDocumentText(markup);
  link.SetPositions(0, 0, 0);
  link.FindElement(nullptr);
  return link;
}

std::vector<int> Commands(const FeedMenuModel& menu) {
  std::vector<int> commands;
  for (const FeedMenuEntry& entry : menu.entries) commands.push_back(entry.command);
  return commands;
}

bool Enabled(const FeedMenuModel& menu, int command) {
  for (const FeedMenuEntry& entry : menu.entries)
    if (entry.command == command) return entry.enabled;
  return false;
}

}  // namespace

class NewsDialogRulesTest : public QObject {
  Q_OBJECT

 private slots:
  void titleShowsThreeNumbersAndBetaUnlessTheThirdIsZero_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("title");
    QTest::newRow("release version") << "1,2,1,7" << "brackenfold News Reader 1.2.1 Beta";
    QTest::newRow("third number 0") << "1,2,0,5" << "brackenfold News Reader 1.2";
    QTest::newRow("longer numbers") << "10,20,30,40" << "brackenfold News Reader 10.20.30 Beta";
    QTest::newRow("third number 05") << "3,1,05,2" << "brackenfold News Reader 3.1";
    QTest::newRow("no second separator") << "1,2" << "brackenfold News Reader ";
    QTest::newRow("no separator") << "7" << "brackenfold News Reader ";
    // A beta without a fourth number has no version to show, only the mark.
    QTest::newRow("no third separator") << "1,2,3" << "brackenfold News Reader  Beta";
  }
  void titleShowsThreeNumbersAndBetaUnlessTheThirdIsZero() {
    QFETCH(QString, version);
    QFETCH(QString, title);
    QCOMPARE(WindowTitle(version), title);
  }

  void aboutBoxShowsTheWholeVersion() {
    QCOMPARE(AboutVersion("1,2,1,7"), QString("1.2.1.7 Beta"));
    QCOMPARE(AboutVersion("1,2,0,5"), QString("1.2.0.5"));
    QCOMPARE(AboutVersion("1,2"), QString("1.2"));
  }

  void layoutPlacesButtonsRightAndTheFeedListBelow() {
    const MainLayout layout = LayOutMainDialog(QSize(400, 300), QSize(80, 24), QSize(70, 22), 14);
    QCOMPARE(layout.add, QRect(314, 6, 80, 24));
    QCOMPARE(layout.menu, QRect(324, 33, 70, 22));
    // The address box ends 6 pixels left of "Add", its bottom at H + 16.
    QCOMPARE(layout.address, QRect(6, 6, 302, 24));
    QCOMPARE(layout.status, QRect(6, 36, 302, 19));
    QCOMPARE(layout.feeds, QRect(6, 61, 388, 233));
  }

  void layoutOfATinyWindowHasNoNegativeSizes() {
    const MainLayout layout = LayOutMainDialog(QSize(60, 40), QSize(80, 24), QSize(80, 24), 14);
    for (const QRect& rect : {layout.address, layout.status, layout.feeds}) {
      QVERIFY(rect.width() >= 0);
      QVERIFY(rect.height() >= 0);
    }
    QCOMPARE(layout.address.width(), 0);
    QCOMPARE(layout.feeds.height(), 0);
  }

  void feedMenuHasItsItemsInOrder() {
    const FeedMenuModel menu = BuildFeedMenu(Link("<A feedid=\"3\" newcount=\"2\" unviewed=\"5\">News</A>"));
    const std::vector<int> expected = {kCmdFeedMarkAsRead, 0, kCmdFeedView, kCmdFeedViewBrief, kCmdFeedUpdateNow,
                                       kCmdFeedModify, kCmdFeedDelete, 0, kCmdFeedViewNew, kCmdFeedViewBriefNew};
    QCOMPARE(Commands(menu), expected);
    QCOMPARE(menu.entries[0].text, QString("Mark As Read"));
    QCOMPARE(menu.entries[8].text, QString("&View New"));
    for (const FeedMenuEntry& entry : menu.entries) QVERIFY(entry.enabled);
    QCOMPARE(menu.defaultCommand, int(kCmdFeedView));
  }

  void feedWithoutCountsGreysReadAndNewCommands() {
    const FeedMenuModel menu = BuildFeedMenu(Link("<A feedid=\"3\">News</A>"));
    QVERIFY(!Enabled(menu, kCmdFeedMarkAsRead));
    QVERIFY(!Enabled(menu, kCmdFeedViewNew));
    QVERIFY(!Enabled(menu, kCmdFeedViewBriefNew));
    QVERIFY(Enabled(menu, kCmdFeedView));
    QVERIFY(Enabled(menu, kCmdFeedDelete));
    QCOMPARE(menu.defaultCommand, int(kCmdFeedView));
  }

  void unviewedItemsEnableOnlyMarkAsRead() {
    const FeedMenuModel menu = BuildFeedMenu(Link("<A feedid=\"3\" newcount=\"0\" unviewed=\"4\">News</A>"));
    QVERIFY(Enabled(menu, kCmdFeedMarkAsRead));
    QVERIFY(!Enabled(menu, kCmdFeedViewNew));
    QVERIFY(!Enabled(menu, kCmdFeedViewBriefNew));
  }

  void newCountLinkEnablesNewCommandsAndDefaultsToViewNew() {
    const FeedMenuModel menu = BuildFeedMenu(Link("<A feedid=\"3\" type=\"NewOnly\">(2)</A>"));
    QVERIFY(Enabled(menu, kCmdFeedMarkAsRead));
    QVERIFY(Enabled(menu, kCmdFeedViewNew));
    QVERIFY(Enabled(menu, kCmdFeedViewBriefNew));
    QCOMPARE(menu.defaultCommand, int(kCmdFeedViewNew));
  }

  void errorsLinkHasNoMenu() {
    QVERIFY(BuildFeedMenu(Link("<A type=\"Errors\" newcount=\"3\">Errors</A>")).entries.empty());
  }

  void folderHeadingOffersTheFolderCommands() {
    const FeedMenuModel menu = BuildFeedMenu(Link("<A type=\"FolderNew\" folder=\"Tech\"><B>Tech</B></A>"));
    QCOMPARE(Commands(menu), (std::vector<int>{kCmdFolderMarkAllAsRead, kCmdFolderUpdateNow}));
    QCOMPARE(menu.entries[0].text, QString("Mark All As Read"));
    QCOMPARE(menu.entries[1].text, QString("Update Now"));
    QVERIFY(Enabled(menu, kCmdFolderMarkAllAsRead));
    QVERIFY(Enabled(menu, kCmdFolderUpdateNow));
  }

  void popupShowsGreyingAndTheDefaultItem() {
    const FeedMenuModel model = BuildFeedMenu(Link("<A feedid=\"3\" type=\"NewOnly\" unviewed=\"0\">(1)</A>"));
    const std::unique_ptr<QMenu> menu = MakeFeedMenu(model, nullptr);
    QCOMPARE(menu->actions().size(), qsizetype(model.entries.size()));
    QVERIFY(menu->defaultAction());
    QCOMPARE(menu->defaultAction()->text(), QString("&View New"));
    QCOMPARE(menu->defaultAction()->data().toInt(), int(kCmdFeedViewNew));
    QVERIFY(menu->actions()[1]->isSeparator());

    const std::unique_ptr<QMenu> plain = MakeFeedMenu(BuildFeedMenu(Link("<A feedid=\"4\">x</A>")), nullptr);
    QCOMPARE(plain->defaultAction()->text(), QString("&View"));
    QVERIFY(!plain->actions()[0]->isEnabled());
    QVERIFY(!plain->actions()[8]->isEnabled());
    QVERIFY(plain->actions()[2]->isEnabled());
  }
};

QTEST_MAIN(NewsDialogRulesTest)
#include "news_dialog_rules_test.moc"
