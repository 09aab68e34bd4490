#include "feeds/feed_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "feed_test_support.h"
#include "feeds/news_engine.h"

namespace vrel {
namespace {

using test::Corpus;
using test::EngineFixture;
using test::FeedAttribute;
using test::StoredItem;
using test::StoredItems;

std::string CopyOf(const std::string& text) {
  XmlDoc doc;
  const Outcome parsed = ParseDownload(text, doc);
  EXPECT_TRUE(parsed) << parsed.Message();
  return MergeItemHistory(doc, "http://e.com/", nullptr, "20240101 000000").text;
}

// The download text without its first item.
std::string WithoutFirstItem(const std::string& text) {
  XmlDoc doc;
  const Outcome parsed = ParseDownload(text, doc);
  EXPECT_TRUE(parsed) << parsed.Message();
  FeedReader reader = FeedReader::ForDownload(doc, "http://e.com/");
  EXPECT_TRUE(reader.NextItem());
  EXPECT_TRUE(doc.RemoveElement());
  return doc.GetDocumentText();
}

ItemCounts Counts(NewsEngine& engine, const std::string& address) {
  std::lock_guard lock(engine.Lock());
  EXPECT_TRUE(engine.Database().FindFeedByUri(address));
  return CountItems(engine.Database().Document());
}

void SetFeedAttribute(NewsEngine& engine, const std::string& address, const char* name, const std::string& value) {
  std::lock_guard lock(engine.Lock());
  ASSERT_TRUE(engine.Database().FindFeedByUri(address));
  engine.Database().Document().SetAttribute(name, value);
}

void MarkRead(NewsEngine& engine, const std::string& address) {
  SetFeedAttribute(engine, address, "viewed", FeedAttribute(engine, address, "arrivetime"));
}

// Sets an attribute on the stored item number index (from 0) of a feed.
void SetItemAttribute(NewsEngine& engine, const std::string& address, int index, const char* name,
                      const std::string& value) {
  std::lock_guard lock(engine.Lock());
  ASSERT_TRUE(engine.Database().FindFeedByUri(address));
  XmlDoc& db = engine.Database().Document();
  FeedReader reader = FeedReader::ForStoredFeed(db);
  for (int i = 0; i <= index; ++i) ASSERT_TRUE(reader.NextItem());
  db.SetAttribute(reader.ItemPosition(), name, value);
}

std::string Rss(const std::string& items) { return "<rss version=\"2.0\"><channel><title>Hand</title>" + items + "</channel></rss>"; }
std::string RssItem(const std::string& title, const std::string& link) {
  return "<item><title>" + title + "</title><link>" + link + "</link></item>";
}

TEST(CleanCopy, KeepsElementsAttributesAndLeafTextOnly) {
  EXPECT_EQ(CopyOf("<?xml version=\"1.0\"?>\n<!-- c -->\n<rss version='2.0' q=\"a&quot;b'c\">\n"
                   "  <channel> loose text <title>One &amp; &lt;two&gt;</title>\n"
                   "    <description>two\nlines</description><!-- gone --><?pi gone?>\n"
                   "    <x><![CDATA[cdata <b>x</b>]]></x><empty/><e2></e2>\n"
                   "  </channel>\n</rss>\n"),
            "<rss version=\"2.0\" q=\"a&quot;b&apos;c\">\r\n"
            "<channel>\r\n"
            "<title>One &amp; &lt;two&gt;</title>\r\n"
            "<description><![CDATA[two\nlines]]></description>\r\n"
            "<x><![CDATA[cdata <b>x</b>]]></x>\r\n"
            "<empty/>\r\n"
            "<e2/>\r\n"
            "</channel>\r\n"
            "</rss>\r\n");
}

TEST(CleanCopy, CDataThatHoldsItsOwnEndMarkerStaysReadable) {
  XmlDoc doc;
  ASSERT_TRUE(ParseDownload("<a><b>x]]&gt;y\nz</b></a>", doc));
  const std::string copy = MergeItemHistory(doc, "u", nullptr, "20240101 000000").text;
  EXPECT_EQ(CopyOf("<a><y> <![CDATA[z]]></y></a>").find("<y><![CDATA["), 5u);  // white space before it does not count
  XmlDoc back;
  ASSERT_TRUE(back.SetDocumentText(copy)) << copy;
  ASSERT_TRUE(back.FindElement("/a/b"));
  EXPECT_EQ(back.GetContent(back.GetCurrentPosition()), "x]]>y\nz");
}

TEST(ParseDownload, RefusesWhatCannotBeStored) {
  XmlDoc doc;
  const Outcome unclosed = ParseDownload("<rss><channel></rss>", doc);
  EXPECT_FALSE(unclosed);
  EXPECT_NE(unclosed.Message().find("not well-formed"), std::string::npos) << unclosed.Message();
  EXPECT_EQ(ParseDownload("<rss version='2.0'>only text</rss>", doc).Message(),
            "the root element <rss> has no child element");
  EXPECT_FALSE(ParseDownload("", doc));
}

// One feed of each format through the sequence of downloads a reader sees:
// first download, an added item, unread and read feeds.
class MergeSequence : public ::testing::TestWithParam<const char*> {};

TEST_P(MergeSequence, CarriesItemHistoryAcrossDownloads) {
  EngineFixture f;
  const std::string address = std::string("http://feeds.example/") + GetParam();
  const std::string full = Corpus(GetParam());
  const std::string older = WithoutFirstItem(full);

  // First download: every item new, stamped with the merge time, numbered.
  const std::string t1 = f.Stamp();
  ASSERT_TRUE(f.engine.MergeDownload(address, older));
  const std::vector<StoredItem> first = StoredItems(f.engine, address);
  ASSERT_FALSE(first.empty());
  std::set<std::pair<std::string, std::string>> keys;
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].firstTime, t1);
    EXPECT_EQ(first[i].seq, std::to_string(i + 1));
    EXPECT_EQ(first[i].visited, 0);
    keys.insert({first[i].title, first[i].link});
  }
  ASSERT_EQ(keys.size(), first.size()) << "the sequence needs distinct items";
  EXPECT_EQ(FeedAttribute(f.engine, address, "arrivetime"), t1);
  EXPECT_EQ(FeedAttribute(f.engine, address, "viewed"), "");
  EXPECT_EQ(FeedAttribute(f.engine, address, "feedid"), "1");
  EXPECT_EQ(Counts(f.engine, address).newItems, static_cast<int>(first.size()));

  // Read, then a download with one more item at the top: only that one is new.
  MarkRead(f.engine, address);
  EXPECT_EQ(Counts(f.engine, address).newItems, 0);
  const std::string t2 = f.Advance(3600);
  ASSERT_TRUE(f.engine.MergeDownload(address, full));
  const std::vector<StoredItem> second = StoredItems(f.engine, address);
  ASSERT_EQ(second.size(), first.size() + 1);
  EXPECT_EQ(second[0].firstTime, t2);
  EXPECT_EQ(second[0].seq, "1");
  EXPECT_EQ(std::vector<StoredItem>(second.begin() + 1, second.end()), first);
  EXPECT_EQ(FeedAttribute(f.engine, address, "arrivetime"), t2);
  EXPECT_EQ(FeedAttribute(f.engine, address, "viewed"), t1);
  EXPECT_EQ(Counts(f.engine, address).newItems, 1);

  // The same download on an unread feed: arrival moves on, the news stays.
  const std::string t3 = f.Advance(3600);
  ASSERT_TRUE(f.engine.MergeDownload(address, full));
  EXPECT_EQ(StoredItems(f.engine, address), second);
  EXPECT_EQ(FeedAttribute(f.engine, address, "arrivetime"), t3);
  EXPECT_EQ(FeedAttribute(f.engine, address, "viewed"), t1);
  EXPECT_EQ(Counts(f.engine, address).newItems, 1);

  // The same download on a read feed keeps it read.
  MarkRead(f.engine, address);
  const std::string t4 = f.Advance(3600);
  ASSERT_TRUE(f.engine.MergeDownload(address, full));
  EXPECT_EQ(FeedAttribute(f.engine, address, "arrivetime"), t4);
  EXPECT_EQ(FeedAttribute(f.engine, address, "viewed"), t4);
  EXPECT_EQ(Counts(f.engine, address).newItems, 0);
  EXPECT_EQ(Counts(f.engine, address).items, static_cast<int>(second.size()));
}

INSTANTIATE_TEST_SUITE_P(CorpusFeeds, MergeSequence,
                         ::testing::Values("rust-rss/rss091.xml", "rome/rss_0.92.xml", "rome/test1.xml",
                                           "rome/slashdot.xml", "laminas-feed/laut.de-rdf.xml", "rome/atom_0.3.xml",
                                           "rome/atom_1.0_b.xml", "laminas-feed/h-online.com-atom10.xml"));

TEST(Merge, WebServiceArrayCarriesHistory) {
  EngineFixture f;
  const std::string address = std::string("http://") + kWebServiceHost + "/ws.asmx/GetLatestArticleBrief";
  const auto brief = [](const std::string& title, const std::string& url) {
    return "<ArticleBrief><Title>" + title + "</Title><URL>" + url + "</URL></ArticleBrief>";
  };
  const std::string head = "<?xml version=\"1.0\"?>\n<ArrayOfArticleBrief xmlns=\"http://ws.example/\">";
  ASSERT_TRUE(f.engine.MergeDownload(address, head + brief("A", "/a") + brief("B", "/b") + "</ArrayOfArticleBrief>"));
  EXPECT_EQ(FeedAttribute(f.engine, address, "title"), "Code Project Articles");
  const std::string t1 = f.Stamp();
  const std::string t2 = f.Advance(60);
  ASSERT_TRUE(f.engine.MergeDownload(address, head + brief("C", "/c") + brief("A", "/a") + brief("B", "/b") +
                                                  "</ArrayOfArticleBrief>"));
  const std::vector<StoredItem> items = StoredItems(f.engine, address);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0], (StoredItem{"C", std::string("http://") + kWebServiceHost + "/c", t2, "1", 0}));
  EXPECT_EQ(items[1].firstTime + " " + items[1].seq, t1 + " 1");
  EXPECT_EQ(items[2].firstTime + " " + items[2].seq, t1 + " 2");
}

TEST(Merge, EqualTitleAndLinkTakeTheFirstStoredItem) {
  EngineFixture f;
  const std::string address = "http://dup.example/rss";
  ASSERT_TRUE(f.engine.MergeDownload(address, Rss(RssItem("A", "l") + RssItem("A", "l") + RssItem("B", "l"))));
  SetItemAttribute(f.engine, address, 1, "visited", "1");
  SetItemAttribute(f.engine, address, 1, "seq", "9");
  const std::string t1 = f.Stamp();
  const std::string t2 = f.Advance(60);
  ASSERT_TRUE(f.engine.MergeDownload(
      address, Rss(RssItem("A", "l") + RssItem("A", "other") + RssItem("A", "l") + RssItem("A", "l"))));
  const std::vector<StoredItem> items = StoredItems(f.engine, address);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0], (StoredItem{"A", "http://dup.example/l", t1, "1", 0}));  // relative links are resolved
  EXPECT_EQ(items[1], (StoredItem{"A", "http://dup.example/other", t2, "1", 0}));
  EXPECT_EQ(items[2], items[0]);
  EXPECT_EQ(items[3], items[0]);
}

// The matching must give what a scan from the first stored item gives.
TEST(Merge, MatchesLikeALinearScan) {
  EngineFixture f;
  const std::string address = "http://random.example/rss";
  std::mt19937 random(7);
  const auto randomFeed = [&](int titles, int links) {
    std::string items;
    for (int i = 0; i < 300; ++i)
      items += RssItem(std::string(1, static_cast<char>('a' + random() % titles)), std::to_string(random() % links));
    return Rss(items);
  };
  ASSERT_TRUE(f.engine.MergeDownload(address, randomFeed(4, 3)));
  for (int i = 0; i < 300; i += 7) SetItemAttribute(f.engine, address, i, "visited", "1");
  for (int i = 3; i < 300; i += 11) SetItemAttribute(f.engine, address, i, "firsttime", "");
  const std::vector<StoredItem> before = StoredItems(f.engine, address);
  const std::string now = f.Advance(60);
  ASSERT_TRUE(f.engine.MergeDownload(address, randomFeed(5, 4)));

  int counter = 1;
  for (const StoredItem& item : StoredItems(f.engine, address)) {
    StoredItem expected{item.title, item.link, now, "", 0};
    for (const StoredItem& old : before) {
      if (old.title != item.title || old.link != item.link) continue;
      expected = {item.title, item.link, old.firstTime.empty() ? now : old.firstTime, old.seq, old.visited ? 1 : 0};
      break;
    }
    if (expected.seq.empty()) expected.seq = std::to_string(counter++);
    EXPECT_EQ(item, expected);
  }
  EXPECT_GT(counter, 1);
}

TEST(Merge, GenericDocumentsAreStoredWithoutItemMarks) {
  EngineFixture f;
  const std::string address = "http://generic.example/news.xml";
  ASSERT_TRUE(f.engine.MergeDownload(address, Corpus("feedme/notfeed.xml")));
  const std::string t1 = f.Stamp();
  EXPECT_EQ(FeedAttribute(f.engine, address, "arrivetime"), t1);
  EXPECT_EQ(FeedAttribute(f.engine, address, "viewed"), t1);  // nothing new: a new generic feed is read
  EXPECT_EQ(FeedAttribute(f.engine, address, "title"), "news");
  const std::vector<StoredItem> items = StoredItems(f.engine, address);
  ASSERT_EQ(items.size(), 2u);
  for (const StoredItem& item : items) EXPECT_EQ(item.firstTime + item.seq, "");
  const ItemCounts counts = Counts(f.engine, address);
  EXPECT_EQ(counts.formatBits, FormatGeneric);
  EXPECT_EQ(counts.newItems, 0);
  const std::string t2 = f.Advance(60);
  ASSERT_TRUE(f.engine.MergeDownload(address, Corpus("feedme/notfeed.xml")));
  EXPECT_EQ(FeedAttribute(f.engine, address, "viewed"), t2);
}

// The text of an XHTML title lies between child elements; the stored copy
// keeps it, so the item reads the same there and stays the same item.
TEST(Merge, XhtmlTextIsStoredAsWritten) {
  EngineFixture f;
  const std::string address = "http://xhtml.example/atom";
  const std::string feed =
      "<feed xmlns='http://www.w3.org/2005/Atom'><title>X</title><entry><id>1</id>"
      "<title type='xhtml'><div xmlns='http://www.w3.org/1999/xhtml'>Less: <em>&lt;</em> &amp; <b>more</b></div></title>"
      "<link href='http://xhtml.example/1'/></entry></feed>";
  ASSERT_TRUE(f.engine.MergeDownload(address, feed));
  EXPECT_EQ(StoredItems(f.engine, address).at(0).title, "Less: < & more");
  MarkRead(f.engine, address);
  f.Advance(60);
  ASSERT_TRUE(f.engine.MergeDownload(address, feed));
  EXPECT_EQ(Counts(f.engine, address).newItems, 0);
}

TEST(Merge, StoredHistoryDetails) {
  EngineFixture f;
  const std::string address = "http://detail.example/rss";
  const std::string feed = Rss(RssItem("A", "a") + RssItem("B", "b") + RssItem("C", "c"));
  ASSERT_TRUE(f.engine.MergeDownload(address, feed));
  SetItemAttribute(f.engine, address, 0, "firsttime", "");
  SetItemAttribute(f.engine, address, 1, "visited", "1");
  SetFeedAttribute(f.engine, address, "failedtime", "20240301 080000");
  SetFeedAttribute(f.engine, address, "numattempts", "3");
  const std::string t1 = f.Stamp();
  const std::string t2 = f.Advance(60);
  ASSERT_TRUE(f.engine.MergeDownload(address, feed));
  const std::vector<StoredItem> items = StoredItems(f.engine, address);
  const std::string link = "http://detail.example/";
  EXPECT_EQ(items[0], (StoredItem{"A", link + "a", t2, "1", 0}));  // an empty firsttime becomes the merge time
  EXPECT_EQ(items[1], (StoredItem{"B", link + "b", t1, "2", 1}));  // visited is carried over
  EXPECT_EQ(items[2], (StoredItem{"C", link + "c", t1, "3", 0}));
  EXPECT_EQ(FeedAttribute(f.engine, address, "failedtime"), "");
  EXPECT_EQ(FeedAttribute(f.engine, address, "numattempts"), "");
  const ItemCounts counts = Counts(f.engine, address);
  EXPECT_EQ(counts.items, 3);
  EXPECT_EQ(counts.newItems, 2);  // the visited one is not new
}

TEST(Merge, MultiLineTextIsStoredAsCData) {
  EngineFixture f;
  ASSERT_TRUE(f.engine.MergeDownload(
      "http://cdata.example/", Rss("<item><title>T &amp; U</title><description>first\nsecond</description></item>")));
  std::lock_guard lock(f.engine.Lock());
  const std::string& text = f.engine.Database().Document().GetDocumentText();
  EXPECT_NE(text.find("<description><![CDATA[first\nsecond]]></description>"), std::string::npos) << text;
  EXPECT_NE(text.find("<title>T &amp; U</title>"), std::string::npos) << text;
}

// Controls raw and as references: a NUL, ESC and a bell.
TEST(Merge, ForbiddenControlsNeverReachTheDataFileAndItemsAreKnownAgain) {
  using namespace std::string_literals;
  EngineFixture f;
  const std::string address = "http://controls.example/";
  const std::string feed =
      "<rss version=\"2.0\"><channel><title>Bad\0title</title>"
      "<item note=\"x&#27;y\0z\"><title>A&#27;[2J\0B</title><link>http://a.example/&#7;</link></item>"
      "</channel></rss>"s;
  ASSERT_TRUE(f.engine.MergeDownload(address, feed));
  const std::string t1 = f.Stamp();
  {
    std::lock_guard lock(f.engine.Lock());
    const std::string& text = f.engine.Database().Document().GetDocumentText();
    EXPECT_EQ(std::count_if(text.begin(), text.end(), [](char c) { return c != '\r' && c != '\n' && c < 0x20 && c >= 0; }), 0)
        << text;
    EXPECT_NE(text.find("<title>A\xEF\xBF\xBD[2J\xEF\xBF\xBD" "B</title>"), std::string::npos) << text;
    EXPECT_NE(text.find("note=\"xyz\""), std::string::npos) << text;
  }
  EXPECT_EQ(FeedAttribute(f.engine, address, "title"), "Badtitle");
  f.Advance(60);
  ASSERT_TRUE(f.engine.MergeDownload(address, feed));
  EXPECT_EQ(StoredItems(f.engine, address).at(0).firstTime, t1);
}

TEST(Merge, FailureChangesNothing) {
  EngineFixture f;
  ASSERT_TRUE(f.engine.MergeDownload("http://ok.example/", Rss(RssItem("A", "a"))));
  const std::string before = [&] {
    std::lock_guard lock(f.engine.Lock());
    return f.engine.Database().Document().GetDocumentText();
  }();
  const int listChanges = f.observer.feedListChanges;
  const Outcome unclosed = f.engine.MergeDownload("http://ok.example/", "<rss><channel>");
  EXPECT_FALSE(unclosed);
  EXPECT_FALSE(unclosed.Message().empty());
  EXPECT_FALSE(f.engine.MergeDownload("http://ok.example/", "<rss/>"));
  EXPECT_FALSE(f.engine.MergeDownload("", Rss(RssItem("A", "a"))));
  std::lock_guard lock(f.engine.Lock());
  EXPECT_EQ(f.engine.Database().Document().GetDocumentText(), before);
  EXPECT_EQ(f.engine.RecentFeeds(), std::vector<int>{1});
  EXPECT_EQ(f.observer.feedListChanges, listChanges);
}

TEST(Merge, AFeedDeletedDuringItsDownloadComesBack) {
  EngineFixture f;
  ASSERT_TRUE(f.engine.MergeDownload("http://a.example/", Rss(RssItem("A", "a"))));
  ASSERT_TRUE(f.engine.MergeDownload("http://b.example/", Rss(RssItem("B", "b"))));
  {
    std::lock_guard lock(f.engine.Lock());
    ASSERT_TRUE(f.engine.Database().FindFeedByUri("http://a.example/"));
    f.engine.Database().Document().RemoveElement();
  }
  ASSERT_TRUE(f.engine.MergeDownload("http://a.example/", Rss(RssItem("A", "a"))));
  EXPECT_EQ(FeedAttribute(f.engine, "http://a.example/", "feedid"), "3");
  EXPECT_EQ(StoredItems(f.engine, "http://a.example/").size(), 1u);
}

}  // namespace
}  // namespace vrel
