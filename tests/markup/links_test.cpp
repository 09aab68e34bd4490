// Clicked links, the browser launch and the feed commands.
#include <gtest/gtest.h>

#include <mutex>

#include "../feeds/feed_test_support.h"
#include "markup/browser_launch.h"
#include "feeds/feed_commands.h"
#include "markup/feed_list_view.h"
#include "markup/requests.h"

namespace vrel {
namespace {

using test::Corpus;
using test::StoredItems;

const char kLiftoff[] = "http://liftoff.example/rss.xml";
const char kSlashdot[] = "http://slashdot.example/rss.rdf";

struct FakeLauncher : BrowserLauncher {
  bool Launch(const std::vector<std::string>& arguments) override {
    launches.push_back(arguments);
    return true;
  }
  std::vector<std::vector<std::string>> launches;
};

struct ViewRecorder : test::RecordingObserver {
  void ShowView(const XmlDoc& request) override { views.push_back(request.GetDocumentText()); }
  void LinkQueued() override { ++queued; }
  std::vector<std::string> views;
  int queued = 0;
};

struct Links : ::testing::Test, test::EngineFixture {
  Links() {
    engine.SetObserver(&recorder);
    EXPECT_TRUE(engine.MergeDownload(kLiftoff, Corpus("htmlparser2/RSS_Example.xml")));
    EXPECT_TRUE(engine.MergeDownload(kSlashdot, Corpus("rome/slashdot.xml")));
  }
  void Click(const std::string& markup) {
    XmlDoc link;
    link.SetDocumentText(markup);
    link.SetPositions(0, 0, 0);
    ASSERT_TRUE(link.FindElement(nullptr));
    handler.OnLinkClicked(link);
  }
  std::string Attribute(const char* address, const char* name) { return test::FeedAttribute(engine, address, name); }

  ViewRecorder recorder;
  FakeLauncher launcher;
  LinkHandler handler{engine, launcher};
};

TEST_F(Links, ItemLinkMarksVisitedOnceAndOpensEveryTime) {
  const test::StoredItem item = StoredItems(engine, kLiftoff)[0];
  const std::string link = ItemLink(item.link, "1", item.firstTime, item.seq) + "Star City</A>";
  Click(link);
  EXPECT_EQ(StoredItems(engine, kLiftoff)[0].visited, 1);
  EXPECT_EQ(recorder.queued, 1);
  const int listChanges = recorder.feedListChanges;
  EXPECT_TRUE(handler.OpenNextLink());
  EXPECT_FALSE(handler.OpenNextLink());
  Click(link);
  EXPECT_EQ(StoredItems(engine, kLiftoff)[0].visited, 1);
  EXPECT_EQ(recorder.feedListChanges, listChanges + 1);
  EXPECT_TRUE(handler.OpenNextLink());
  const std::vector<std::string> command = {"xdg-open", item.link};
  EXPECT_EQ(launcher.launches, (std::vector<std::vector<std::string>>{command, command}));
  // An item no longer stored still opens.
  Click("<A href=\"https://gone.example/\" feedid=\"1\" firsttime=\"x\" seq=\"9\">gone</A>");
  EXPECT_TRUE(handler.OpenNextLink());
  EXPECT_EQ(launcher.launches.back()[1], "https://gone.example/");
}

TEST_F(Links, LinksWithoutAddressAskForViews) {
  Click("<A feedid=\"2\">Slashdot</A>");
  Click("<A feedid=\"1\" type=\"NewOnly\">4</A>");
  Click("<A type=\"Errors\">error</A>");
  Click("<A type=\"FolderNew\" folder=\"A &amp; B\"><B>A &amp; B</B></A>");
  EXPECT_EQ(recorder.views, (std::vector<std::string>{"<NURL feedid=\"2\" type=\"Summary\"/>\r\n",
                                                      "<NURL feedid=\"1\" type=\"NewOnly\"/>\r\n",
                                                      "<NURL type=\"Errors\"/>\r\n",
                                                      "<NURL type=\"FolderNew\" folder=\"A &amp; B\"/>\r\n"}));
  EXPECT_EQ(recorder.queued, 0);
}

TEST_F(Links, OnlyWebAndMailAddressesReachABrowser) {
  for (const char* address : {"http://a.example/", "HTTPS://a.example/", "ftp://f.example/x", "mailto:ann@example.com"})
    EXPECT_TRUE(IsOpenableAddress(address)) << address;
  for (const char* address : {"javascript:alert(1)", "file:///etc/passwd", "data:text/html,x", "/usr/bin/xterm",
                              "xterm -e sh", "-e", "", "http//missing.colon"}) {
    EXPECT_FALSE(OpenAddress(engine, address, launcher)) << address;
  }
  EXPECT_TRUE(launcher.launches.empty());
  EXPECT_EQ(engine.StatusMessages().front(),
            "Not opened (only http, https, ftp and mailto addresses are): http//missing.colon");
  Click("<A href=\"javascript:alert(&quot;x&quot;)\">x</A>");
  EXPECT_FALSE(handler.OpenNextLink());
  EXPECT_TRUE(launcher.launches.empty());
  EXPECT_EQ(engine.StatusMessages().front(),
            "Not opened (only http, https, ftp and mailto addresses are): javascript:alert(\"x\")");

  ASSERT_TRUE(settings.SetInt("DefaultBrowser", 0));
  ASSERT_TRUE(engine.LoadSettings());
  EXPECT_TRUE(OpenAddress(engine, "http://a.example/", launcher));
  EXPECT_EQ(launcher.launches.back(), (std::vector<std::string>{"x-www-browser", "http://a.example/"}));
}

TEST_F(Links, FeedCommands) {
  EXPECT_EQ(ResolveFeed(engine, "2"), 2);
  EXPECT_EQ(ResolveFeed(engine, kLiftoff), 1);
  EXPECT_EQ(ResolveFeed(engine, "7"), 0);

  EXPECT_TRUE(UpdateFeedNow(engine, 2));
  EXPECT_FALSE(UpdateFeedNow(engine, 7));
  EXPECT_EQ(engine.DownloadScheduler().QueuedRequests(), 1u);
  ASSERT_TRUE(ApplyFeedSettings(engine, 1, {"", "", false, "", "Rockets"}));
  EXPECT_EQ(UpdateFolderNow(engine, "Rockets"), 1);
  EXPECT_EQ(UpdateFolderNow(engine, "rockets"), 0);
  EXPECT_EQ(engine.DownloadScheduler().QueuedRequests(), 2u);

  EXPECT_TRUE(MarkAsRead(engine, 1));
  EXPECT_FALSE(MarkAsRead(engine, 1));
  EXPECT_EQ(Attribute(kLiftoff, "viewed"), Attribute(kLiftoff, "arrivetime"));
  EXPECT_EQ(MarkAllAsRead(engine), 1);
  EXPECT_EQ(MarkAllAsRead(engine), 0);

  EXPECT_FALSE(DeleteFeed(engine, 7));
  {
    std::lock_guard lock(engine.Lock());
    EXPECT_EQ(engine.RecentFeeds(), (std::vector<int>{1, 2}));
  }
  EXPECT_TRUE(DeleteFeed(engine, 1));
  EXPECT_EQ(Attribute(kLiftoff, "uri"), "(no feed)");
  EXPECT_EQ(RenderFeedList(engine).find("Liftoff"), std::string::npos);
  std::lock_guard lock(engine.Lock());
  EXPECT_EQ(engine.RecentFeeds(), (std::vector<int>{2}));
}

TEST_F(Links, ModifyAppliesTheDialogsRules) {
  EXPECT_FALSE(ApplyFeedSettings(engine, 1, {"", "whenever", false, ""}));
  EXPECT_EQ(Attribute(kLiftoff, "title"), "Liftoff News");
  EXPECT_TRUE(ApplyFeedSettings(engine, 1, {"Liftoff & Co", "5 minutes", false, ""}));
  EXPECT_EQ(Attribute(kLiftoff, "title"), "Liftoff & Co");
  EXPECT_EQ(Attribute(kLiftoff, "period"), "20 minutes");
  EXPECT_TRUE(ApplyFeedSettings(engine, 1, {"", "2 days", false, ""}));
  EXPECT_EQ(Attribute(kLiftoff, "period"), "2 days");
  EXPECT_EQ(StoredItems(engine, kLiftoff).size(), 4u);
  EXPECT_FALSE(ApplyFeedSettings(engine, 9, {"T", "1 hour", false, ""}));
  EXPECT_FALSE(HasScrapeSettings(engine, 1));

  const int page = [&] {
    std::lock_guard lock(engine.Lock());
    return engine.Database().AddFeed("http://page.example/", "Page", "HTML");
  }();
  ASSERT_TRUE(HasScrapeSettings(engine, page));
  const std::string items = ScrapeItemsFromList(CurrentScrapeItems(engine, page), "Last Trade:~lasttrade;Volume");
  EXPECT_TRUE(ApplyFeedSettings(engine, page, {"", "", true, items}));
  EXPECT_EQ(CurrentScrapeItems(engine, page).find("<items>"), 0u);
  EXPECT_NE(CurrentScrapeItems(engine, page).find("search=\"Last Trade:\""), std::string::npos);
}

}  // namespace
}  // namespace vrel
