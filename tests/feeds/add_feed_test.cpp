#include "feeds/add_feed.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <mutex>
#include <string>

#include "feed_test_support.h"
#include "feeds/news_engine.h"
#include "feeds/scrape.h"
#include "xml/xml_doc.h"

namespace vrel {
namespace {

using test::EngineFixture;
using test::FeedAttribute;
using test::ReadFile;
using test::TempDir;

std::string ItemsText(const std::string& list, XmlDoc items = XmlDoc()) {
  ParseScrapeList(list, items);
  return items.GetDocumentText();
}

XmlDoc Items(const std::string& text) {
  XmlDoc doc;
  doc.SetDocumentText(text);
  return doc;
}

std::string FeedText(NewsEngine& engine, const std::string& address) {
  std::lock_guard lock(engine.Lock());
  if (!engine.Database().FindFeedByUri(address)) return "(no feed)";
  XmlDoc& db = engine.Database().Document();
  return db.GetSubDocument(db.GetCurrentPosition());
}

TEST(AddText, TellsFeedsScrapeRequestsAndTheScreenSaverCommandApart) {
  AddInput input = ReadAddText("scrape(Last Trade:~lasttrade)http://quotes/");
  EXPECT_FALSE(input.installScreenSaver);
  EXPECT_EQ(input.request.address, "http://quotes/");
  EXPECT_EQ(input.request.scrapeList, "Last Trade:~lasttrade");
  EXPECT_TRUE(input.request.webPage);
  EXPECT_EQ(input.request.title, "");

  // Only the backslash before a ")" goes; the others are the list parser's.
  input = ReadAddText("scrape(a\\) b\\;c;d\\)\\)e)http://x/(y)");
  EXPECT_EQ(input.request.scrapeList, "a) b\\;c;d))e");
  EXPECT_EQ(input.request.address, "http://x/(y)");

  input = ReadAddText("scrape(no end http://x/");
  EXPECT_EQ(input.request.address, "scrape(no end http://x/");
  EXPECT_FALSE(input.request.webPage);
  input = ReadAddText("scrape(a)");
  EXPECT_EQ(input.request.address, "");
  EXPECT_TRUE(input.request.webPage);
  input = ReadAddText("scrape()");  // too short for a scrape request
  EXPECT_EQ(input.request.address, "scrape()");
  EXPECT_FALSE(input.request.webPage);

  EXPECT_TRUE(ReadAddText("copyscr").installScreenSaver);
  EXPECT_TRUE(ReadAddText("CopyScr").installScreenSaver);
  EXPECT_FALSE(ReadAddText("COPYSCR ").installScreenSaver);
  input = ReadAddText("http://feeds/rss");
  EXPECT_EQ(input.request.address, "http://feeds/rss");
  EXPECT_FALSE(input.request.webPage);
  EXPECT_EQ(input.request.scrapeList, "");
}

TEST(AddText, AnAddressWithoutSchemeIsAWebAddressUnlessItNamesAFile) {
  for (const char* typed : {"example.org/feed.xml", "127.0.0.1:8080/f.xml", "localhost"}) {
    const AddInput input = ReadAddText(typed);
    EXPECT_EQ(input.request.address, std::string("https://") + typed);
    EXPECT_TRUE(input.request.httpFallback) << typed;
  }
  const AddInput scrape = ReadAddText("scrape(Price:)example.org/quotes");
  EXPECT_EQ(scrape.request.address, "https://example.org/quotes");
  EXPECT_TRUE(scrape.request.httpFallback);
  TempDir dir;
  const std::string file = dir.File("feed.xml", "<rss/>");
  // Paths, files and addresses with a scheme stay as typed.
  for (const std::string& typed : {file, dir.path() + "/missing.xml", std::string("./feed.xml"),
                                   std::string("http://example.org/"), std::string("ftp://example.org/f")}) {
    const AddInput input = ReadAddText(typed);
    EXPECT_EQ(input.request.address, typed);
    EXPECT_FALSE(input.request.httpFallback) << typed;
  }
}

TEST(AddText, QueuesTheDownloadButNeverAnEmptyAddress) {
  EngineFixture f;
  EXPECT_TRUE(AddFeedInput(f.engine, "http://feeds/rss"));
  EXPECT_FALSE(AddFeedInput(f.engine, "scrape(a)"));
  EXPECT_EQ(AddFeedInput(f.engine, "").Message(), "no address to download");
  EXPECT_EQ(f.engine.DownloadScheduler().QueuedRequests(), 1u);
}

TEST(ScrapeList, NamesItemsFromLettersAndDigits) {
  EXPECT_EQ(ItemsText("Last Trade:~lasttrade;Volume~2day;Bid~-bid;Ask~!?;  \t;Open;"
                      "\xC3\xA9t\xC3\xA9~\xC3\xA9t\xC3\xA9x"),
            "<items>\r\n"
            "<lasttrade search=\"Last Trade:\"/>\r\n"
            "<item_2day search=\"Volume\"/>\r\n"
            "<bid search=\"Bid\"/>\r\n"
            "<item search=\"Ask\"/>\r\n"
            "<item search=\"Open\"/>\r\n"
            "<tx search=\"\xC3\xA9t\xC3\xA9\"/>\r\n"
            "</items>\r\n");
  // Backslashes escape ";", "~" and themselves; a second "~" is dropped; a
  // trailing backslash stands for itself; leading blanks of the search go.
  EXPECT_EQ(ItemsText(" \r\na\\;b\\~c\\\\d~x~y;e\\"),
            "<items>\r\n<xy search=\"a;b~c\\d\"/>\r\n<item search=\"e\\\"/>\r\n</items>\r\n");
  XmlDoc empty;
  EXPECT_EQ(ParseScrapeList("  ;;", empty), 0);
  EXPECT_EQ(empty.GetDocumentText(), "<items/>\r\n");
}

TEST(ScrapeList, KeepsTheValuesOfMatchingItems) {
  const XmlDoc old = Items(
      "<items><price search=\"Price:\">42</price><item search=\"Bid\">7</item>"
      "<vol search=\"Volume\">1000</vol><item search=\"Ask\">9</item></items>");
  XmlDoc items = old;
  EXPECT_EQ(ParseScrapeList("Price:~cost;Traded~vol;Ask;Gone~gone", items), 4);
  EXPECT_EQ(items.GetDocumentText(),
            "<items>\r\n<cost search=\"Price:\">42</cost>\r\n<vol search=\"Traded\">1000</vol>\r\n"
            "<item search=\"Ask\">9</item>\r\n<gone search=\"Gone\"/>\r\n</items>\r\n");
  // An unnamed item matches by its search text only, never by the name "item".
  items = old;
  ParseScrapeList("Other", items);
  EXPECT_EQ(items.GetDocumentText(), "<items>\r\n<item search=\"Other\"/>\r\n</items>\r\n");
}

TEST(ExtractValue, TakesTheFirstTextAfterTheSearchText) {
  const std::string page = "<tr><td>Last Trade:</td><td><b>&nbsp;42.50 </b></td></tr>";
  EXPECT_EQ(ExtractValue(page, "Last Trade:"), "42.50");
  EXPECT_EQ(ExtractValue(page, "Missing"), "");
  EXPECT_EQ(ExtractValue("Price: 5", "Price:"), "");  // at the very start of the page
  EXPECT_EQ(ExtractValue("Price: 5 and Price: 6", "Price:"), " 6");
  EXPECT_EQ(ExtractValue("x Price: a > b <i>", "Price:"), "a > b");
  EXPECT_EQ(ExtractValue("x Price:<b \n>&nbsp; </b> 7\r\n", "Price:"), " 7\r\n");  // end of page: untrimmed
  EXPECT_EQ(ExtractValue("x Price:<b", "Price:"), "");
}

TEST(ScrapeMerge, CreatesTheFeedOnceAndRefreshesItsValues) {
  EngineFixture f;
  const std::string page = "<p>Price: <b>10</b> Volume: <i>300</i></p>";
  ASSERT_TRUE(MergeScrapedPage(f.engine, "http://shop/", "Price:~price;Volume:~volume;Bid", page));
  EXPECT_EQ(FeedText(f.engine, "http://shop/"),
            "<FEED uri=\"http://shop/\" type=\"HTML\" title=\"Web Page 1\" feedid=\"1\" arrivetime=\"" + f.Stamp() +
                "\">\r\n<items>\r\n<price search=\"Price:\">10</price>\r\n<volume search=\"Volume:\">300</volume>\r\n"
                "<item search=\"Bid\"/>\r\n</items>\r\n</FEED>\r\n");
  EXPECT_EQ(f.engine.RecentFeeds(), std::vector<int>{1});
  EXPECT_EQ(f.observer.notifications.size(), 1u);

  // The same address again: no second feed, and the new list is ignored.
  f.Advance(60);
  ASSERT_TRUE(MergeScrapedPage(f.engine, "http://shop/", "Other", "<p>Price: <b>11</b></p>"));
  const std::string text = FeedText(f.engine, "http://shop/");
  EXPECT_NE(text.find("<price search=\"Price:\">11</price>"), std::string::npos) << text;
  EXPECT_NE(text.find("<volume search=\"Volume:\">300</volume>"), std::string::npos) << text;
  EXPECT_EQ(text.find("Other"), std::string::npos);
  EXPECT_EQ(FeedAttribute(f.engine, "http://shop/", "arrivetime"), f.Stamp());
}

TEST(ScrapeMerge, APageWithoutValuesStillArrivesAndEndsTheRetries) {
  EngineFixture f;
  ASSERT_FALSE(MergeScrapedPage(f.engine, "http://new/", "Price:", "<p>nothing</p>"));
  EXPECT_EQ(FeedAttribute(f.engine, "http://new/", "title"), "Web Page 1");  // kept, for the failure to be booked on
  ASSERT_TRUE(MergeScrapedPage(f.engine, "http://shop/", "Price:", "<p>Price: 1</p>"));
  {
    std::lock_guard lock(f.engine.Lock());
    ASSERT_TRUE(f.engine.Database().FindFeedByUri("http://shop/"));
    f.engine.Database().Document().SetAttribute("failedtime", f.Stamp());
    f.engine.Database().Document().SetAttribute("numattempts", "3");
  }
  f.Advance(60);
  EXPECT_FALSE(MergeScrapedPage(f.engine, "http://shop/", "", "<p>moved</p>"));
  EXPECT_EQ(FeedAttribute(f.engine, "http://shop/", "arrivetime"), f.Stamp());
  EXPECT_EQ(FeedAttribute(f.engine, "http://shop/", "failedtime"), "");
  EXPECT_EQ(FeedAttribute(f.engine, "http://shop/", "numattempts"), "");
  EXPECT_NE(FeedText(f.engine, "http://shop/").find(">1</item>"), std::string::npos);  // the old value stays
  EXPECT_EQ(f.engine.RecentFeeds(), std::vector<int>{2});
}

// Runs a test with HOME pointing elsewhere.
class HomeIn {
 public:
  explicit HomeIn(const std::string& home) : previous_(getenv("HOME") ? getenv("HOME") : "") {
    setenv("HOME", home.c_str(), 1);
  }
  ~HomeIn() { setenv("HOME", previous_.c_str(), 1); }

 private:
  std::string previous_;
};

// A stand-in for the tray program, executable.
std::string FakeTrayProgram(const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  test::WriteFile(path, "#!/bin/sh\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

TEST(ScreenSaver, TheTrayProgramIsInstalledInTheUsersBinFolder) {
  EngineFixture f;
  HomeIn home(f.dir.path());
  const std::string target = f.dir.Path(".local/bin/brackenfold News Reader.scr");
  const std::string program = FakeTrayProgram(f.dir.Path("bin/vrel"));
  ASSERT_TRUE(InstallScreenSaver(f.engine, program));
  EXPECT_EQ(ReadFile(target), ReadFile(program));
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);
  EXPECT_EQ(f.engine.StatusLine(), "<A type=\"Errors\">Copied</A> to " + target);
  EXPECT_EQ(f.engine.StatusMessages().front(),
            "COPYSCR\r\n" + FormatUserDateTime(f.now) + "\r\nCopied " + program + " to " + target +
                "\r\nTo list it in XScreenSaver, add this line to the programs: list in ~/.xscreensaver:\r\n"
                "&quot;brackenfold News&quot; &quot;" + target + "&quot; -root");
  // Again over the installed copy.
  EXPECT_TRUE(InstallScreenSaver(f.engine, program));
  EXPECT_FALSE(std::filesystem::exists(target + ".part"));
  EXPECT_EQ(f.engine.DownloadScheduler().QueuedRequests(), 0u);
}

// vrel-cli must install vrel, never itself: it finds vrel beside it, as
// installed or in the build tree, and refuses when there is none.
TEST(ScreenSaver, TheTrayProgramIsFoundBesideTheCommandLine) {
  TempDir dir;
  const std::string installed = FakeTrayProgram(dir.Path("usr/bin/vrel"));
  EXPECT_EQ(FindTrayProgram(dir.Path("usr/bin/vrel-cli")), installed);
  EXPECT_EQ(FindTrayProgram(installed), installed);
  const std::string built = FakeTrayProgram(dir.Path("build/src/app/vrel"));
  EXPECT_EQ(FindTrayProgram(dir.Path("build/src/cli/vrel-cli")), built);
  EXPECT_EQ(FindTrayProgram(dir.Path("elsewhere/vrel-cli")), "");

  EngineFixture f;
  HomeIn home(f.dir.path());
  const Outcome refused = AddFeedInput(f.engine, "CopyScr");  // the test program has no vrel beside it
  EXPECT_FALSE(refused);
  EXPECT_NE(refused.Message().find("the tray program vrel"), std::string::npos) << refused.Message();
  EXPECT_FALSE(std::filesystem::exists(f.dir.Path(".local/bin/brackenfold News Reader.scr")));
}

TEST(ScreenSaver, ACopyThatFailsIsReported) {
  EngineFixture f;
  HomeIn home(f.dir.path());
  const std::string program = FakeTrayProgram(f.dir.Path("bin/vrel"));
  test::WriteFile(f.dir.Path(".local"), "a file where the folder belongs");
  const std::string target = f.dir.Path(".local/bin/brackenfold News Reader.scr");
  EXPECT_FALSE(InstallScreenSaver(f.engine, program));
  const std::string line = f.engine.StatusLine();
  EXPECT_EQ(line.rfind("<A type=\"Errors\">Copy error</A> ", 0), 0u) << line;
  const std::string error = line.substr(line.find("</A> ") + 5);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(f.engine.StatusMessages().front(), "COPYSCR\r\n" + FormatUserDateTime(f.now) + "\r\nAttempted to copy " +
                                                   program + " to " + target + "\r\n" + error);
}

}  // namespace
}  // namespace vrel
