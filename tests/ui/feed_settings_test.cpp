// Modify Feed Settings with its summary and scrape list, Scrape Settings and Find.
#include <QAccessible>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "edit/widget/text_edit.h"
#include "feeds/time_stamp.h"
#include "markup/widget/markup_view.h"
#include "ui/feed_settings_dlg.h"
#include "ui/feed_settings_text.h"
#include "ui/find_dlg.h"
#include "ui/scrape_settings_dlg.h"
#include "ui_test_support.h"

using vrel::XmlDoc;
using vrel::SearchRequest;
using namespace vrel::ui;

namespace {

const char kRssFeed[] =
    "<FEED feedid=\"1\" title=\"Chan\" uri=\"http://chan.example/\" period=\"90 min\">"
    "<rss version=\"2.0\"><channel><title>Chan</title>"
    "<item><title>A &amp; B</title><description>&lt;b&gt;bold&lt;/b&gt; text</description><guid/></item>"
    "</channel></rss></FEED>";

const char kPageFeed[] =
    "<FEED feedid=\"2\" title=\"Quotes\" uri=\"http://quotes.example/\" type=\"HTML\" period=\"2 hours\">"
    "<items><lasttrade search=\"Last;Trade\"/><volume search=\"Vol~ume\"></volume><path search=\"C:\\dir\"/></items>"
    "</FEED>";

const char kNewFeed[] = "<FEED feedid=\"3\" title=\"New\" uri=\"http://new.example/\" period=\"12 hours\"/>";

XmlDoc Doc(const char* text) {
  XmlDoc doc;
  doc.SetDocumentText(text);
  return doc;
}

// Runs action on the modal dialog that the next call opens, once it is up.
void WithNextModal(const std::function<void(QDialog&)>& action) {
  QTimer::singleShot(0, [action] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) action(*dialog);
  });
}

std::string FeedAttribute(vrel::NewsEngine& engine, int feedId, const char* name) {
  std::lock_guard lock(engine.Lock());
  engine.Database().FindFeedById(feedId);
  return engine.Database().Document().GetAttribute(name);
}

}  // namespace

class FeedSettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void summaryListsTheLeavesWithText() {
    XmlDoc feed = Doc(kRssFeed);
    QCOMPARE(FeedSummaryMarkup(feed, 0),
             std::string("<B>Type:</B> RSS 2.0 <FONT color=\"100,100,100\">(4 data elements)</FONT>\r\n"
                         "<B>title:</B> Chan\r\n"
                         "<B>title:</B> A &amp; B\r\n"
                         "<B>description:</B> bold text\r\n"));
  }

  void theSummarySaysWhyTheFeedIsReadLessOften() {
    XmlDoc feed = Doc(
        "<FEED feedid=\"1\" title=\"Chan\" uri=\"http://chan.example/\" period=\"1 hour\" "
        "arrivetime=\"20240301 090000\" askedperiod=\"7200\"><rss version=\"2.0\"><channel><title>Chan</title>"
        "<ttl>120</ttl></channel></rss></FEED>");
    const std::time_t arrived = vrel::ToTime({2024, 3, 1, 9, 0, 0});
    const std::string summary = FeedSummaryMarkup(feed, arrived + 60);
    QVERIFY2(summary.find("</FONT>\r\nnext download not before 11:00: the feed asks for 2 hours\r\n<B>title:</B>") !=
                 std::string::npos,
             summary.c_str());
    QVERIFY(FeedSummaryMarkup(feed, arrived + 7201).find("next download") == std::string::npos);
  }

  void aPageFeedWithEmptyValuesShowsOnlyItsCount() {
    XmlDoc feed = Doc(kPageFeed);
    QCOMPARE(FeedSummaryMarkup(feed, 0),
             std::string("<B>Type:</B> items <FONT color=\"100,100,100\">(3 data elements)</FONT>\r\n"));
  }

  void fieldsAndTheScrapeButtonFollowTheFeed() {
    CFeedSettingsDlg rss(Doc(kRssFeed));
    QCOMPARE(rss.TitleEdit()->Text(), std::string("Chan"));
    QCOMPARE(rss.ScheduleEdit()->Text(), std::string("90 minutes"));
    QVERIFY(rss.ScrapeButton()->isHidden());
    QVERIFY(rss.Summary()->Text().find("(4 data elements)") != std::string::npos);

    CFeedSettingsDlg page(Doc(kPageFeed));
    QCOMPARE(page.ScheduleEdit()->Text(), std::string("2 hours"));
    QVERIFY(!page.ScrapeButton()->isHidden());

    CFeedSettingsDlg never(Doc(kNewFeed));
    QCOMPARE(never.TitleEdit()->Text(), std::string());
    QCOMPARE(never.ScheduleEdit()->Text(), std::string());
    QVERIFY(!never.ScrapeButton()->isHidden());
  }

  void scrapeListEscapesAndComesBackUnchanged() {
    CFeedSettingsDlg dialog(Doc(kPageFeed));
    const std::string list = dialog.ScrapeText();
    QCOMPARE(list, std::string("Last\\;Trade~lasttrade;\r\nVol\\~ume~volume;\r\nC:\\\\dir~path"));
    const std::string summary = dialog.Summary()->Text();
    WithNextModal([](QDialog& scrape) { scrape.accept(); });
    dialog.ScrapeButton()->click();
    QVERIFY(dialog.ScrapeChanged());
    QCOMPARE(dialog.ScrapeText(), list);
    QCOMPARE(dialog.Summary()->Text(), summary);
  }

  void aNewScrapeListReplacesTheItems() {
    CFeedSettingsDlg dialog(Doc(kNewFeed));
    WithNextModal([](QDialog& scrape) {
      static_cast<CScrapeSettingsDlg&>(scrape).Edit()->SetText("Volume~vol;Price");
      scrape.accept();
    });
    dialog.ScrapeButton()->click();
    QVERIFY(dialog.ScrapeChanged());
    QCOMPARE(dialog.ScrapeText(), std::string("Volume~vol;\r\nPrice~item"));
    QVERIFY(dialog.Summary()->Text().find("(2 data elements)") != std::string::npos);
    QVERIFY(dialog.Result().items.find("<items>") == 0);

    // Cancel changes nothing.
    CFeedSettingsDlg other(Doc(kPageFeed));
    WithNextModal([](QDialog& scrape) { scrape.reject(); });
    other.ScrapeButton()->click();
    QVERIFY(!other.ScrapeChanged());
  }

  void applyingSchedulesAndTitles() {
    vrel::test::UiEngine ui;
    const int feed = ui.AddRssFeed();
    const std::string title = FeedAttribute(ui.engine, feed, "title");
    QVERIFY(!title.empty());
    auto modify = [&](const std::string& newTitle, const std::string& schedule) {
      WithNextModal([&](QDialog& dialog) {
        auto& settings = static_cast<CFeedSettingsDlg&>(dialog);
        settings.TitleEdit()->SetText(newTitle);
        settings.ScheduleEdit()->SetText(schedule);
        settings.accept();
      });
      return CFeedSettingsDlg::Modify(ui.engine, feed, nullptr);
    };
    QVERIFY(modify("", "1 day"));
    QCOMPARE(FeedAttribute(ui.engine, feed, "period"), std::string("1 day"));
    QCOMPARE(FeedAttribute(ui.engine, feed, "title"), title);
    QVERIFY(modify("", "5 minutes"));
    QCOMPARE(FeedAttribute(ui.engine, feed, "period"), std::string("20 minutes"));
    QVERIFY(!modify("", "soon"));
    QCOMPARE(FeedAttribute(ui.engine, feed, "period"), std::string("20 minutes"));
    QVERIFY(modify("My Feed", "soon"));
    QCOMPARE(FeedAttribute(ui.engine, feed, "title"), std::string("My Feed"));

    // Cancel applies nothing; a feed that is gone opens no dialog.
    WithNextModal([](QDialog& dialog) { dialog.reject(); });
    QVERIFY(!CFeedSettingsDlg::Modify(ui.engine, feed, nullptr));
    QVERIFY(!CFeedSettingsDlg::Modify(ui.engine, 99, nullptr));
  }

  void folderBoxShowsChangesAndClearsTheFolder() {
    vrel::test::UiEngine ui;
    const int feed = ui.AddRssFeed();
    QVERIFY(ApplyFeedSettings(ui.engine, feed, {"", "", false, "", "News & \"Views\""}));
    std::string shown;
    auto modify = [&](const std::string& folder) {
      WithNextModal([&](QDialog& dialog) {
        auto& settings = static_cast<CFeedSettingsDlg&>(dialog);
        shown = settings.FolderEdit()->Text();
        settings.FolderEdit()->SetText(folder);
        settings.accept();
      });
      return CFeedSettingsDlg::Modify(ui.engine, feed, nullptr);
    };
    QVERIFY(modify(" World / Europe "));
    QCOMPARE(shown, std::string("News & \"Views\""));
    QCOMPARE(FeedAttribute(ui.engine, feed, "folder"), std::string("World/Europe"));
    QVERIFY(modify(""));
    QCOMPARE(FeedAttribute(ui.engine, feed, "folder"), std::string());
  }

  // Tab goes down the fields, then down the buttons; the labels name the boxes.
  void focusFollowsTheLayoutAndLabelsNameTheBoxes() {
    CFeedSettingsDlg dialog(Doc(kPageFeed));
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    dialog.TitleEdit()->setFocus();
    QStringList stops;
    for (int i = 0; i < 6; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      stops << QAccessible::queryAccessibleInterface(QApplication::focusWidget())->text(QAccessible::Name);
    }
    // The summary shows no link, so it is no stop: back to the title.
    QCOMPARE(stops, (QStringList{"Schedule", "Folder", "OK", "Cancel", "Scrape...", "Title"}));

    // Escape in the multi-line scrape list keeps the dialog and what was typed.
    CScrapeSettingsDlg scrape("a~b");
    scrape.show();
    QTest::keyClicks(scrape.Edit(), ";c~d");
    QTest::keyClick(scrape.Edit(), Qt::Key_Escape);
    QVERIFY(scrape.isVisible());
    QCOMPARE(scrape.Edit()->Text(), std::string(";c~da~b"));
  }

  void scrapeAndFindDialogsHandBackTheirText() {
    CScrapeSettingsDlg scrape("a~b");
    QCOMPARE(scrape.Edit()->Text(), std::string("a~b"));
    scrape.Edit()->SetText("c~d");
    scrape.reject();
    QCOMPARE(scrape.Text(), std::string("a~b"));
    scrape.accept();
    QCOMPARE(scrape.Text(), std::string("c~d"));

    CFindDlg find;
    find.show();  // Enter goes to the default button only when it can be seen
    QTest::keyClicks(find.Edit(), "rocket");
    QTest::keyClick(find.Edit(), Qt::Key_Return);
    QCOMPARE(find.result(), int(QDialog::Accepted));
    QCOMPARE(find.Text(), std::string("rocket"));
    QCOMPARE(SearchRequest(find.Text()).GetDocumentText(),
             std::string("<NURL type=\"Search\" search=\"rocket\"/>\r\n"));
    QCOMPARE(SearchRequest("a\"<b").GetDocumentText(),
             std::string("<NURL type=\"Search\" search=\"a&quot;&lt;b\"/>\r\n"));
  }
};

int vrel::test::RunFeedSettingsTests(int argc, char** argv) {
  FeedSettingsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "feed_settings_test.moc"
