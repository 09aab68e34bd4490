// The feed list, the feed and item views and the digest over corpus feeds
// merged into a database.
#include <gtest/gtest.h>

#include <mutex>

#include "../feeds/feed_test_support.h"
#include "feeds/feed_commands.h"
#include "feeds/feed_reader.h"
#include "markup/digest.h"
#include "markup/feed_list_view.h"
#include "markup/feed_views.h"
#include "markup/markup_terminal.h"
#include "markup/requests.h"

namespace vrel {
namespace {

using test::Corpus;
using test::EngineFixture;
using test::StoredItems;

const char kLiftoff[] = "http://liftoff.example/rss.xml";
const char kSlashdot[] = "http://slashdot.example/rss.rdf";

// The corpus feed with one more item at the front of its channel.
std::string LiftoffWith(const std::string& item) {
  std::string text = Corpus("htmlparser2/RSS_Example.xml");
  const size_t at = text.find("<item>");
  return text.insert(at, item);
}

const char kFreshItem[] =
    "<item><title>Fresh Launch</title><link>http://liftoff.example/fresh</link>"
    "<author>ann@example.com</author><slash:comments>2</slash:comments><description>Countdown</description></item>";

std::string Count(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return std::to_string(count);
}

struct Views : ::testing::Test, EngineFixture {
  // Liftoff merged, read, then downloaded again with one new item 90 minutes later.
  void MergeLiftoffWithNews() {
    ASSERT_TRUE(engine.MergeDownload(kLiftoff, Corpus("htmlparser2/RSS_Example.xml")));
    Advance(3600);
    MarkRead(kLiftoff);
    ASSERT_TRUE(engine.MergeDownload(kLiftoff, LiftoffWith(kFreshItem)));
    Advance(90 * 60);
  }
  void MarkRead(const char* address) {
    std::lock_guard lock(engine.Lock());
    ASSERT_TRUE(engine.Database().FindFeedByUri(address));
    XmlDoc& db = engine.Database().Document();
    db.SetAttribute("viewed", db.GetAttribute("arrivetime"));
  }
  std::string View(const char* type, const std::string& feedId = "1") {
    return RenderRequest(engine, MakeRequest(feedId, type).GetDocumentText());
  }
  void SetFeedAttribute(const char* address, const char* name, const std::string& value) {
    std::lock_guard lock(engine.Lock());
    ASSERT_TRUE(engine.Database().FindFeedByUri(address));
    engine.Database().Document().SetAttribute(name, value);
  }
  std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 2) {
      end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }
};

TEST(AgeRule, ShortAndLongForms) {
  EXPECT_EQ(FormatAge(59.99 / 1440, AgeForm::Short), "59 min");
  EXPECT_EQ(FormatAge(1.5 / 24, AgeForm::Short), "1.5 hrs");
  EXPECT_EQ(FormatAge(1.5, AgeForm::Short), "1.5 days");
  EXPECT_EQ(FormatAge(1.5 / 24, AgeForm::Long), "1.5 hours");
  EXPECT_EQ(FormatAge(1.0 / 1440, AgeForm::Long), "1 minute");
  EXPECT_EQ(FormatAge(0, AgeForm::Long), "0 minutes");
  // A hair below a whole hour still counts as the hour.
  EXPECT_EQ(FormatAge(1.0 / 24 - 1e-9, AgeForm::Short), "1.0 hrs");
}

TEST_F(Views, FeedListLinesFollowCountsAgeAndFailures) {
  MergeLiftoffWithNews();
  {
    std::lock_guard lock(engine.Lock());
    engine.Database().AddFeed("http://never.example/", "Never");
  }
  EXPECT_EQ(RenderFeedList(engine),
            "<A feedid=\"1\" newcount=\"1\"><B>Liftoff News</B></A> <A feedid=\"1\" type=\"NewOnly\">"
            "<FONT color=\"250,0,0\"><B>1</B></FONT></A> /5 (1.5 hrs)\r\n"
            "<A feedid=\"2\">Never</A> 0 ()\r\n");
  SetFeedAttribute(kLiftoff, "failedtime", Stamp());
  EXPECT_EQ(Lines(RenderFeedList(engine))[0], "<A feedid=\"1\" newcount=\"1\"><B>Liftoff News</B></A> 5 (1.5 hrs)");
  MarkRead(kLiftoff);
  EXPECT_EQ(Lines(RenderFeedList(engine))[0], "<A feedid=\"1\">Liftoff News</A> 5 (1.5 hrs)");
}

TEST_F(Views, FeedListTotalsOnlyTheFeedsWithNewItems) {
  MergeLiftoffWithNews();
  {
    std::lock_guard lock(engine.Lock());
    engine.Database().AddFeed("http://never.example/", "Never");
  }
  const NewItemTotals totals = BuildFeedList(engine).newTotals;
  EXPECT_EQ(totals.items, 1);
  EXPECT_EQ(totals.feeds, 1);
  MarkRead(kLiftoff);
  EXPECT_EQ(BuildFeedList(engine).newTotals.items, 0);
}

TEST(TrayTexts, BadgeStopsAtNinetyNineAndTipCountsItemsAndFeeds) {
  EXPECT_EQ(NewCountBadge(0), "");
  EXPECT_EQ(NewCountBadge(1), "1");
  EXPECT_EQ(NewCountBadge(99), "99");
  EXPECT_EQ(NewCountBadge(100), "99+");
  EXPECT_EQ(NewCountBadge(1000), "99+");
  EXPECT_EQ(TrayTip({0, 0}), "brackenfold News Reader");
  EXPECT_EQ(TrayTip({1, 1}), "brackenfold News Reader\n1 new item in 1 feed");
  EXPECT_EQ(TrayTip({12, 3}), "brackenfold News Reader\n12 new items in 3 feeds");
  EXPECT_EQ(TrayTip({2, 1}), "brackenfold News Reader\n2 new items in 1 feed");
}

TEST_F(Views, UnviewedWebPageFeedIsBoldUntilRead) {
  {
    std::lock_guard lock(engine.Lock());
    engine.Database().AddFeed("http://page.example/", "Page", "HTML");
    engine.Database().Document().SetAttribute("arrivetime", Stamp());
  }
  EXPECT_EQ(RenderFeedList(engine), "<A feedid=\"1\" unviewed=\"1\"><B>Page</B></A> 0 (0 min)\r\n");
  MarkRead("http://page.example/");
  EXPECT_EQ(RenderFeedList(engine), "<A feedid=\"1\">Page</A> 0 (0 min)\r\n");
}

TEST_F(Views, FourVariantsOfAFeedWithNewAndOldItems) {
  MergeLiftoffWithNews();
  const std::string summary = View("Summary");
  const std::vector<std::string> lines = Lines(summary);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], "<A feedid=\"1\"><B>Liftoff News</B></A>");
  EXPECT_EQ(lines[1].rfind("Downloaded: ", 0), 0u);
  EXPECT_NE(lines[1].find(" (every 12 hours)"), std::string::npos);
  EXPECT_EQ(lines[2], std::string("<B><A href=\"") + kLiftoff + "\">" + kLiftoff + "</A></B>");
  EXPECT_EQ(lines[3].rfind("<FONT color=\"100,100,100\">RSS 2.0 link: http://liftoff.msfc.nasa.gov/ description: ", 0),
            0u);
  EXPECT_NE(lines[3].find("</FONT> (5 items)"), std::string::npos);
  // Only the fresh item is new, and its author shows because the authors vary.
  EXPECT_EQ(Count(summary, ">New</FONT>"), "1");
  EXPECT_NE(summary.find("Fresh Launch</A> (2) ann@example.com <B><FONT color=\"255,0,0\">New</FONT></B>\r\n"
                         "<SMALL>Countdown</SMALL>\r\n"),
            std::string::npos);

  const std::string newOnly = View("NewOnly");
  EXPECT_EQ(Lines(newOnly)[0], "<A feedid=\"1\"><B>Liftoff News</B></A> <B><FONT color=\"255,0,0\">1 New</FONT></B>");
  EXPECT_EQ(Count(newOnly, "<A href="), "2");  // the address line and the one new item
  EXPECT_EQ(newOnly.find(">New</FONT>"), std::string::npos);

  const std::string brief = View("Brief");
  EXPECT_EQ(brief.find("Downloaded:"), std::string::npos);
  EXPECT_EQ(brief.find("<SMALL>"), std::string::npos);
  EXPECT_EQ(Count(brief, "\r\n"), "6");

  EXPECT_EQ(Count(View("BriefNewOnly"), "\r\n"), "2");
  MarkRead(kLiftoff);
  EXPECT_EQ(View("BriefNewOnly"), "");
  EXPECT_EQ(View("NewOnly"), "");
}

TEST_F(Views, FeedAndUserTextIsEscaped) {
  const std::string hostile =
      "<rss version=\"2.0\"><channel><title>T</title>"
      "<copyright>&amp;lt;A href=\"javascript:evil\"&amp;gt;click&amp;lt;/A&amp;gt;</copyright><item>"
      "<title>AT&amp;T 5 &gt; 4 \"x\"</title>"
      "<link>http://x.example/\" type=\"Errors</link></item></channel></rss>";
  ASSERT_TRUE(engine.MergeDownload("http://x.example/feed", hostile));
  SetFeedAttribute("http://x.example/feed", "title", "AT&T < 5 \"x\"");
  EXPECT_NE(RenderFeedList(engine).find("<B>AT&amp;T &lt; 5 \"x\"</B></A>"), std::string::npos);
  const std::string view = View("Summary");
  EXPECT_NE(view.find("copyright: &lt;A href=\"javascript:evil\"&gt;click&lt;/A&gt;"), std::string::npos);
  EXPECT_EQ(view.find("<A href=\"javascript"), std::string::npos);
  EXPECT_NE(view.find("<A href=\"http://x.example/&quot; type=&quot;Errors\" feedid=\"1\""), std::string::npos);
  EXPECT_NE(view.find(">AT&amp;T 5 &gt; 4 \"x\"</A>"), std::string::npos);
  // Decoded for display, the texts read as written.
  const std::string shown = MarkupToTerminal(view, false);
  EXPECT_NE(shown.find("copyright: <A href=\"javascript:evil\">click</A>"), std::string::npos);
  EXPECT_NE(shown.find("AT&T 5 > 4 \"x\""), std::string::npos);

  XmlDoc search = MakeRequest({}, "Search");
  search.SetAttribute("search", "<b>");
  EXPECT_EQ(RenderRequest(engine, search.GetDocumentText()), "0 matches for \"&lt;b&gt;\"\r\n");
}

// Feed text reaches every view as its author meant it: decoded once,
// escaped once, on one line.
TEST_F(Views, FeedTextReadsAsWritten) {
  const std::string feed =
      "<!DOCTYPE rss SYSTEM \"http://my.netscape.com/publish/formats/rss-0.91.dtd\">"
      "<rss version=\"0.91\"><channel><title> Caf&eacute; &amp;amp; co </title><link>http://cafe.example/</link>"
      "<item><title>America&amp;#8217;s AT&amp;amp;T caf&eacute;</title><link>news/1</link>"
      "<description>One way&lt;br&gt;of\nwriting&amp;nbsp;it</description></item>"
      "<item><title>1 &lt; 2</title><link>news/2</link></item></channel></rss>";
  ASSERT_TRUE(engine.MergeDownload("http://cafe.example/rss", feed));
  EXPECT_NE(RenderFeedList(engine).find(">Caf\u00E9 &amp; co</B></A>"), std::string::npos) << RenderFeedList(engine);
  const std::string view = View("Summary");
  EXPECT_NE(view.find("<A href=\"http://cafe.example/news/1\" feedid=\"1\""), std::string::npos) << view;
  EXPECT_NE(view.find(">America\u2019s AT&amp;T caf\u00E9</A>"), std::string::npos) << view;
  EXPECT_NE(view.find("<SMALL>One way of writing\u00A0it</SMALL>"), std::string::npos) << view;
  EXPECT_NE(view.find(">1 &lt; 2</A>"), std::string::npos) << view;
  EXPECT_NE(MarkupToTerminal(View("BriefNewOnly"), false).find("America\u2019s AT&T caf\u00E9\n1 < 2\n"),
            std::string::npos);
  XmlDoc digest;
  ASSERT_TRUE(BuildDigest(engine, digest, "", [] { return 0; }));
  const std::string text = digest.GetDocumentText();
  EXPECT_NE(text.find("<FEED title=\"Caf\u00E9 &amp; co\""), std::string::npos) << text;
  EXPECT_NE(text.find("<title>America\u2019s AT&amp;T caf\u00E9</title>"), std::string::npos) << text;
  EXPECT_NE(text.find("<title>1 &lt; 2</title>"), std::string::npos) << text;
}

TEST(SearchHit, SnippetAroundTheMatch) {
  EXPECT_FALSE(FindSearchHit("Star City", "moon").found);
  EXPECT_EQ(FindSearchHit("Star City", "star city").snippet, "<B>Star City</B>");
  const std::string text = "abcdefghijklmnopqrstuvwxy needle and a long tail that goes on and on and on";
  EXPECT_EQ(FindSearchHit(text, "NEEDLE").snippet,
            "...ghijklmnopqrstuvwxy <B>needle</B> and a long tail that goes on...");
  EXPECT_EQ(FindSearchHit("white  space\r\n collapses", "space").snippet, "white <B>space</B> collapses");
  EXPECT_EQ(FindSearchHit("x > y & z", "Y").snippet, "x &gt; <B>y</B> &amp; z");
}

TEST_F(Views, SearchResultsAndItemDetails) {
  MergeLiftoffWithNews();
  XmlDoc search = MakeRequest({}, "Search");
  search.SetAttribute("search", "  star city ");
  const std::string results = RenderRequest(engine, search.GetDocumentText());
  const std::vector<test::StoredItem> items = StoredItems(engine, kLiftoff);
  ASSERT_EQ(items.size(), 5u);
  const test::StoredItem& star = items[1];
  EXPECT_EQ(results, "1 match for \"star city\"\r\n" + ItemLink(star.link, "1", star.firstTime, star.seq) +
                         "Star City</A>\r\n<B>Star City</B>\r\n");

  XmlDoc details = MakeRequest("1", "ItemDetails");
  details.SetAttribute("firsttime", items[0].firstTime);
  details.SetAttribute("seq", items[0].seq);
  details.SetAttribute("href", items[0].link);
  const std::vector<std::string> lines = Lines(RenderRequest(engine, details.GetDocumentText()));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "<B><A href=\"http://liftoff.example/fresh\">http://liftoff.example/fresh</A></B>");
  EXPECT_NE(lines[1].find(" (1.5 hours ago) <B><FONT color=\"255,0,0\">New</FONT></B>"), std::string::npos);
  EXPECT_EQ(lines[2], "<B>Feed:</B> <A feedid=\"1\">Liftoff News</A> <FONT color=\"100,100,100\">RSS 2.0</FONT>");
  EXPECT_EQ(lines[3], "<B>title:</B> Fresh Launch");

  details.SetAttribute("seq", "999");
  EXPECT_EQ(RenderRequest(engine, details.GetDocumentText()), "");
}

TEST_F(Views, RequestTypesAndMissingFeeds) {
  MergeLiftoffWithNews();
  engine.AddStatusMessage("first\r\n");
  engine.AddStatusMessage("second");
  EXPECT_EQ(View("Errors", ""), "second\r\n\r\nfirst\r\n\r\n");
  EXPECT_EQ(View("ShowNew", ""), View("BriefNewOnly") + "\r\n");
  EXPECT_EQ(View("Summary", "99"), "");
  EXPECT_EQ(View("summary"), "");
  EXPECT_EQ(View("Bogus"), "");
  EXPECT_EQ(RenderRequest(engine, "not a request"), "");
}

TEST_F(Views, ShowNewOrdersByLatestDownload) {
  ASSERT_TRUE(engine.MergeDownload(kLiftoff, Corpus("htmlparser2/RSS_Example.xml")));
  Advance(60);
  ASSERT_TRUE(engine.MergeDownload(kSlashdot, Corpus("rome/slashdot.xml")));
  const std::string all = View("ShowNew", "");
  EXPECT_LT(all.find("<A feedid=\"2\">"), all.find("<A feedid=\"1\">"));
  MarkRead(kSlashdot);
  EXPECT_EQ(all.find("<A feedid=\"1\">") - all.find("<A feedid=\"1\">"), 0u);
  EXPECT_EQ(View("ShowNew", "").find("<A feedid=\"2\">"), std::string::npos);
}

TEST_F(Views, FoldersFollowTheOtherFeedsUnderBoldHeadings) {
  ASSERT_TRUE(engine.MergeDownload(kLiftoff, Corpus("htmlparser2/RSS_Example.xml")));
  ASSERT_TRUE(engine.MergeDownload(kSlashdot, Corpus("rome/slashdot.xml")));
  {
    std::lock_guard lock(engine.Lock());
    engine.Database().AddFeed("http://never.example/", "Never");
  }
  const FeedList flat = BuildFeedList(engine);
  SetFeedAttribute(kLiftoff, "folder", "Tech & \"Co\" <1>");
  SetFeedAttribute("http://never.example/", "folder", "alpha");
  const FeedList grouped = BuildFeedList(engine);
  const std::vector<std::string> lines = Lines(grouped.markup);
  ASSERT_EQ(lines.size(), 5u) << grouped.markup;
  EXPECT_EQ(lines[0], Lines(flat.markup)[1]);
  EXPECT_EQ(lines[1], "<A type=\"FolderNew\" folder=\"alpha\"><B>alpha</B></A> 0");
  EXPECT_EQ(lines[2], "    " + Lines(flat.markup)[2]);
  EXPECT_EQ(lines[3],
            "<A type=\"FolderNew\" folder=\"Tech &amp; &quot;Co&quot; &lt;1&gt;\"><B>Tech &amp; \"Co\" &lt;1&gt;</B></A> "
            "<FONT color=\"250,0,0\"><B>4</B></FONT> /4");
  EXPECT_EQ(lines[4], "    " + Lines(flat.markup)[0]);
  // Headings are no feeds: the tray's totals stay those of the feeds.
  EXPECT_EQ(grouped.newTotals.items, flat.newTotals.items);
  EXPECT_EQ(grouped.newTotals.feeds, flat.newTotals.feeds);
}

TEST_F(Views, FolderNewShowsTheNewItemsOfThatFolderOnly) {
  ASSERT_TRUE(engine.MergeDownload(kLiftoff, Corpus("htmlparser2/RSS_Example.xml")));
  ASSERT_TRUE(engine.MergeDownload(kSlashdot, Corpus("rome/slashdot.xml")));
  SetFeedAttribute(kLiftoff, "folder", "Space/Launches");
  const std::string request = FolderNewRequest("Space/Launches").GetDocumentText();
  EXPECT_EQ(request, "<NURL type=\"FolderNew\" folder=\"Space/Launches\"/>\r\n");
  EXPECT_EQ(RenderRequest(engine, request), View("BriefNewOnly") + "\r\n");
  EXPECT_EQ(RenderRequest(engine, FolderNewRequest("Space").GetDocumentText()), "");
  EXPECT_EQ(RenderRequest(engine, FolderNewRequest("").GetDocumentText()), "");
  EXPECT_EQ(MarkFolderAsRead(engine, "Space/Launches"), 1);
  EXPECT_EQ(RenderRequest(engine, request), "");
  EXPECT_NE(View("ShowNew", ""), "");
}

TEST_F(Views, ChannelImageOfAnRdfFeed) {
  ASSERT_TRUE(engine.MergeDownload(kSlashdot, Corpus("rome/slashdot.xml")));
  const std::string summary = View("Summary");
  EXPECT_NE(summary.find(" Image: http://images.slashdot.org/topics/topicslashdot.gif</FONT>"), std::string::npos)
      << summary;
}

struct Digest : Views {
  int Next(XmlDoc& digest, const std::string& previous) {
    if (!BuildDigest(engine, digest, previous, [this] { return randoms.empty() ? 0 : Take(); })) return 0;
    digest.SetPositions(0, 0, 0);
    return digest.FindElement("DIGEST") && digest.FindChildElement("FEED") ? LeadingInt(digest.GetChildAttribute("feedid"))
                                                                            : -1;
  }
  int Take() {
    const int value = randoms.front();
    randoms.erase(randoms.begin());
    return value;
  }
  std::vector<int> randoms;
};

TEST_F(Digest, RecentFeedsFirstThenShuffledWithoutRepeatingTheLast) {
  ASSERT_TRUE(engine.MergeDownload(kLiftoff, Corpus("htmlparser2/RSS_Example.xml")));
  ASSERT_TRUE(engine.MergeDownload(kSlashdot, Corpus("rome/slashdot.xml")));
  ASSERT_TRUE(engine.MergeDownload("http://earth.example/", Corpus("rome/usgs-gov-earthquakes-all-hour-atom.xml")));
  XmlDoc digest;
  EXPECT_EQ(Next(digest, ""), 3);
  EXPECT_EQ(Next(digest, "3"), 2);
  EXPECT_EQ(Next(digest, "2"), 1);
  // Refill: one number is discarded, then entry i swaps with 3 * r / 32767 (clamped):
  // [1,2,3] -> [3,2,1]; the last (1) was shown last, so it swaps with entry 0: [1,2,3].
  randoms = {0, 32767, 10923, 32767};
  EXPECT_EQ(Next(digest, "1"), 3);
  EXPECT_TRUE(randoms.empty());
  EXPECT_EQ(Next(digest, "3"), 2);
  EXPECT_EQ(Next(digest, "2"), 1);
}

TEST_F(Digest, OneFeedComesBackAndItemsAreDescribed) {
  ASSERT_TRUE(engine.MergeDownload(kLiftoff, LiftoffWith(kFreshItem)));
  Advance(7200);
  XmlDoc digest;
  EXPECT_EQ(Next(digest, "1"), 1);
  EXPECT_EQ(Next(digest, "1"), 1);
  const std::string text = digest.GetDocumentText();
  EXPECT_NE(text.find("<FEED title=\"Liftoff News\" feedid=\"1\""), std::string::npos);
  EXPECT_NE(text.find("<title>Fresh Launch (2)</title><time>newly downloaded 2.0 hours ago</time>"
                      "<other>ann@example.com</other>"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("<title>Star City</title><time>Tue, 03 Jun 2003 09:39:21 GMT, newly downloaded"),
            std::string::npos);
  EXPECT_EQ(Count(text, "<item "), "5");

  std::lock_guard lock(engine.Lock());
  engine.RecentFeeds() = {42};
  EXPECT_FALSE(BuildDigest(engine, digest, "", [] { return 0; }));
}

TEST(TerminalText, LinksBoldAndColours) {
  const std::string markup =
      "<A feedid=\"1\"><B>AT&amp;T</B></A> <FONT color=\"250,0,0\">3</FONT> &#233;\r\n";
  EXPECT_EQ(MarkupToTerminal(markup, false), "AT&T 3 \xC3\xA9\n");
  EXPECT_EQ(MarkupToTerminal(markup, true), "\033[1mAT&T\033[0m \033[38;2;250;0;0m3\033[0m \xC3\xA9\n");
  EXPECT_EQ(MarkupToTerminal("<B>cut <FONT color=\"1,2,3\">off", true),
            "\033[1mcut \033[38;2;1;2;3moff\033[0m");
}

TEST(TerminalText, OnlyItsOwnStylingEscapes) {
  // Raw and as references: CSI, OSC 8, a bell, C1 CSI, DEL, NUL; tab and line feed stay.
  const std::string feedText = "a\033[2J&#27;]8;;http://x/&#27;\\&#7;&#155;1m&#127;\t\xC2\xA0\x01z\r\n";
  EXPECT_EQ(MarkupToTerminal("<B>" + feedText + "</B>", true), "\033[1ma[2J]8;;http://x/\\1m\t\xC2\xA0z\n\033[0m");
  EXPECT_EQ(TerminalText(std::string("x\0\r\ny", 5), true), "x\r\ny");
}

}  // namespace
}  // namespace vrel
