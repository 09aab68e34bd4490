#include "feeds/feed_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "feed_test_support.h"
#include "feeds/feed_merge.h"

namespace vrel {
namespace {

using test::Corpus;

// A downloaded document with its cursor on the root.
XmlDoc Download(const std::string& text) {
  XmlDoc doc;
  const Outcome parsed = ParseDownload(text, doc);
  EXPECT_TRUE(parsed) << parsed.Message();
  return doc;
}

struct Item {
  std::string title, link, date, author, category, comments, description;
};

std::vector<Item> ReadAll(XmlDoc& doc, const std::string& url = "http://example.com/feed/rss.xml") {
  FeedReader reader = FeedReader::ForDownload(doc, url);
  std::vector<Item> items;
  while (reader.NextItem()) {
    reader.ReadItem(FieldAll);
    EXPECT_EQ(doc.GetCurrentPosition(), reader.ItemPosition());
    items.push_back({reader.Title(), reader.Link(), reader.Date(), reader.Author(), reader.Category(),
                     reader.Comments(), reader.Description()});
  }
  return items;
}

std::vector<Item> ReadAll(const std::string& text, const std::string& url = "http://example.com/feed/rss.xml") {
  XmlDoc doc = Download(text);
  return ReadAll(doc, url);
}

std::vector<std::string> Fields(const std::vector<Item>& items, std::string Item::*field) {
  std::vector<std::string> values;
  for (const Item& item : items) values.push_back(item.*field);
  return values;
}

std::vector<std::string> Titles(const std::vector<Item>& items) { return Fields(items, &Item::title); }

TEST(TextHelpers, StripTags) {
  EXPECT_EQ(StripTags("a<br/>b<BR>c<br />d<xhtml:br/>e"), "a b c d e");
  EXPECT_EQ(StripTags("<b>bold</b> and <i>it</i>alic."), "bold and italic.");
  EXPECT_EQ(StripTags("x<p class=\"c\">y<P>z"), "x y z");
  EXPECT_EQ(StripTags("ends in a tag<b>"), "ends in a tag");
  EXPECT_EQ(StripTags("<bright>x<pre>y"), "xy");  // only BR and P themselves become blanks
  EXPECT_EQ(StripTags("a<!-- x > y -->b<?pi?>c<!DOCTYPE d>"), "abc");
  // A "<" that starts no tag is text.
  EXPECT_EQ(StripTags("1 < 2, a <3 b, a<>b, x < y > z"), "1 < 2, a <3 b, a<>b, x < y > z");
  EXPECT_EQ(StripTags("no end <here and more"), "no end <here and more");
  EXPECT_EQ(StripTags("<"), "<");
}

TEST(TextHelpers, CollapseWhitespace) {
  std::string text = " \t a  \r\n b\tc \n";
  CollapseWhitespace(text);
  EXPECT_EQ(text, "a b c");
  text = " \r\n\t ";
  CollapseWhitespace(text);
  EXPECT_EQ(text, "");
}

TEST(TextHelpers, MakeExcerpt) {
  EXPECT_EQ(MakeExcerpt("  <b>Short</b>\r\ntext  ", 40), "Short text");
  EXPECT_EQ(MakeExcerpt(std::string(100, 'x'), 40), std::string(40, 'x') + "...");
  EXPECT_EQ(MakeExcerpt("abcd efgh", 5), "abcd...");  // the cut drops trailing blanks
  // A line break is a blank, and white space collapses.
  EXPECT_EQ(MakeExcerpt("the\nway\r\nof  \t all", 40), "the way of all");
  EXPECT_EQ(MakeExcerpt("AT&amp;T caf&eacute; &lt;b&gt;", 40), "AT&T caf\u00E9 <b>");
  // Counted in characters, and never cut inside one.
  EXPECT_EQ(MakeExcerpt("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 3), "\xC3\xA9\xC3\xA9\xC3\xA9...");
  EXPECT_EQ(MakeExcerpt("\xC3\xA9\xC3\xA9\xC3\xA9", 3), "\xC3\xA9\xC3\xA9\xC3\xA9");
}

struct FormatCase {
  const char* text;
  const char* name;
  int bits;
};

TEST(FeedReader, RecognisesTheFormatByTheRootElement) {
  const FormatCase cases[] = {
      {"<rss version='2.0'><channel/></rss>", "RSS 2.0", FormatRss},
      {"<rss version='0.91'><channel/></rss>", "RSS 0.91", FormatRss091},
      {"<rss><channel/></rss>", "RSS ", FormatRss},
      {"<rdf:RDF xmlns='http://purl.org/rss/1.0/'><channel/></rdf:RDF>", "RSS http://purl.org/rss/1.0/", FormatRdf},
      {"<feed version='0.3'><title/></feed>", "ATOM", FormatAtom},
      {"<Feed><title/></Feed>", "Feed", FormatGeneric},
      {"<RSS version='2.0'><channel/></RSS>", "RSS", FormatGeneric},
      {"<ArrayOfMessageBrief><M/></ArrayOfMessageBrief>", "ArrayOfMessageBrief", FormatMessageBrief},
      {"<ArrayOfArticleBrief><A/></ArrayOfArticleBrief>", "ArrayOfArticleBrief", FormatArticleBrief},
      {"<news><a/></news>", "news", FormatGeneric},
  };
  for (const FormatCase& c : cases) {
    XmlDoc doc = Download(c.text);
    const FeedReader reader = FeedReader::ForDownload(doc, "http://example.com/x");
    EXPECT_EQ(reader.FormatName(), c.name) << c.text;
    EXPECT_EQ(reader.FormatBits(), c.bits) << c.text;
  }
}

TEST(FeedReader, BaseUrlIsSchemeHostAndFirstSlash) {
  XmlDoc doc = Download("<news><a/></news>");
  EXPECT_EQ(FeedReader::ForDownload(doc, "http://host.example/a/b.xml").BaseUrl(), "http://host.example/");
  EXPECT_EQ(FeedReader::ForDownload(doc, "https://host.example/a/b.xml").BaseUrl(), "https://host.example/");
  EXPECT_EQ(FeedReader::ForDownload(doc, "http://host.example").BaseUrl(), "http://host.example");
  EXPECT_EQ(FeedReader::ForDownload(doc, "/tmp/feeds/a.xml").BaseUrl(), "/tmp/feeds/a.xml");
  EXPECT_EQ(FeedReader::ForDownload(doc, "dir/a.xml").BaseUrl(), "dir/");
}

TEST(FeedReader, Rss2ItemFields) {
  const auto items = ReadAll(
      "<rss version='2.0' xmlns:slash='s' xmlns:dc='d'><channel><title>T</title>"
      "<item><title> A  &lt;b&gt;bold&lt;/b&gt;\r\n title </title><link>http://e.com/1</link><guid>g1</guid>"
      "<pubDate>Mon, 01 Jan 2024</pubDate><subject>S</subject><category>C</category>"
      "<author>au@e.com</author><dc:creator>DC</dc:creator><slash:comments>3</slash:comments>"
      "<description>&lt;p&gt;Text&lt;/p&gt;</description></item>"
      "<item><title>B</title><guid>g2</guid><category>C2</category><dc:creator>DC2</dc:creator>"
      "<slash:comments>0</slash:comments></item>"
      "</channel></rss>");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].title, "A bold title");
  EXPECT_EQ(items[0].link, "http://e.com/1");
  EXPECT_EQ(items[0].date, "Mon, 01 Jan 2024");
  EXPECT_EQ(items[0].category, "S");
  EXPECT_EQ(items[0].author, "au@e.com");
  EXPECT_EQ(items[0].comments, "3");
  EXPECT_EQ(items[0].description, "<p>Text</p>");
  EXPECT_EQ(items[1].link, "http://example.com/feed/g2");  // a guid is a permalink unless it says not
  EXPECT_EQ(items[1].category, "C2");
  EXPECT_EQ(items[1].author, "DC2");
  EXPECT_EQ(items[1].comments, "");
}

TEST(FeedReader, Rss091ItemsHaveNoDateCategoryCommentsOrAuthor) {
  const auto items = ReadAll(
      "<rss version='0.91'><channel><item><title>A</title><link>L</link><pubDate>D</pubDate>"
      "<category>C</category><author>W</author><slash:comments>4</slash:comments></item></channel></rss>");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].title, "A");
  EXPECT_EQ(items[0].link, "http://example.com/feed/L");
  EXPECT_EQ(items[0].date + items[0].category + items[0].author + items[0].comments, "");
}

TEST(FeedReader, ItemsThatFollowTheChannelAreReadAtTheRootLevel) {
  // RSS 1.0 keeps its items beside the channel.
  const auto rdf = ReadAll(
      "<rdf:RDF xmlns='http://purl.org/rss/1.0/' xmlns:dc='d'><channel><title>C</title><items/></channel>"
      "<item><title>one</title><link>L1</link><dc:date>2024-01-01</dc:date><dc:subject>S</dc:subject>"
      "<dc:creator>W</dc:creator></item><item><title>two</title></item></rdf:RDF>");
  ASSERT_EQ(rdf.size(), 2u);
  EXPECT_EQ(rdf[0].date, "2024-01-01");
  EXPECT_EQ(rdf[0].category, "S");
  EXPECT_EQ(rdf[0].author, "W");
  EXPECT_EQ(rdf[1].title, "two");
  // With items on both levels, the ones after the channel are the feed's items.
  const auto both = ReadAll(
      "<rss version='2.0'><channel><item><title>inner</title></item></channel>"
      "<item><title>outer</title></item></rss>");
  EXPECT_EQ(Titles(both), std::vector<std::string>{"outer"});
  const auto inner = ReadAll("<rss version='2.0'><channel><item><title>in</title></item></channel></rss>");
  EXPECT_EQ(Titles(inner), std::vector<std::string>{"in"});
}

TEST(FeedReader, UntitledItemsBorrowFromTheDescriptionOrTheDate) {
  const std::string longText(100, 'd');
  const auto items = ReadAll("<rss version='2.0'><channel>"
                             "<item><description>" + longText + "</description></item>"
                             "<item><title>  </title><pubDate>Tue, 2 Jan 2024</pubDate></item>"
                             "<item><link>x</link></item>"
                             "</channel></rss>");
  EXPECT_EQ(Titles(items), (std::vector<std::string>{std::string(40, 'd') + "...", "Tue, 2 Jan 2024", "Untitled"}));
  // The description's line breaks and runs of blanks are one blank each.
  EXPECT_EQ(ReadAll(Corpus("feed-rs/rss_2.0_spec_1.xml"))[0].title, "Joshua Allen: Who loves namespaces?");
}

TEST(FeedReader, AtomLinksAndAuthors) {
  const auto items = ReadAll(
      "<feed><entry><title>a</title><link href='http://e.com/'/><link href='http://e.com/p.html'/>"
      "<author><name>One</name><name>Two</name></author></entry>"
      "<entry><title>b</title><link href='http://e.com/p.htm'/><link href='http://e.com/plain'/>"
      "<author><name>Solo</name></author></entry>"
      "<entry><title>c</title><link rel='x'/><author/></entry>"
      // The alternate link goes before self, edit, enclosure, replies and related.
      "<entry><link rel='self' href='http://e.com/self'/><link rel='edit' href='http://e.com/edit'/>"
      "<link rel='alternate' href='http://e.com/page'/><link rel='alternate' href='http://e.com/page.html'/></entry>"
      "<entry><link rel='enclosure' href='http://e.com/a.mp3'/><link href='http://e.com/b'/>"
      "<link rel='replies' href='http://e.com/c'/></entry>"
      // Without one, an id that is a web address, then any other link.
      "<entry><link rel='self' href='http://e.com/s'/><id> https://e.com/id </id></entry>"
      "<entry><link rel='related' href='http://e.com/r'/><id>tag:e.com,2024:1</id></entry>"
      "<entry><id>urn:uuid:1</id></entry></feed>");
  EXPECT_EQ(Fields(items, &Item::link), (std::vector<std::string>{"http://e.com/p.html", "http://e.com/p.htm", "", "http://e.com/page.html",
                                             "http://e.com/b", "https://e.com/id", "http://e.com/r", ""}));
  EXPECT_EQ(items[0].author, "One...");
  EXPECT_EQ(items[1].author, "Solo");
  EXPECT_EQ(items[2].author, "");
}

TEST(FeedReader, AtomDatesAndDescriptions) {
  // Atom 0.3 as the classic rules read it: "created" and "content" first.
  const auto atom03 = ReadAll(Corpus("rome/atom_0.3.xml"));
  ASSERT_EQ(atom03.size(), 2u);
  EXPECT_EQ(atom03[0].title, "atom_0.3.feed.entry[0].title");
  EXPECT_EQ(atom03[0].link, "http://example.com/feed/atom_0.3.feed.entry[0].link^href");
  EXPECT_EQ(atom03[0].date, "2000-01-01T02:00:00Z");
  EXPECT_EQ(atom03[0].author, "atom_0.3.feed.entry[0].author.name");
  EXPECT_EQ(atom03[0].description, "atom_0.3.feed.entry[0].content[0]");
  // Atom 1.0 has no "created": the date comes from "published", then "updated".
  const auto atom10 = ReadAll(Corpus("newsboat/atom10_1.xml"));
  ASSERT_EQ(atom10.size(), 3u);
  EXPECT_EQ(atom10[0].title, "A gentle introduction to Atom testing");
  EXPECT_EQ(atom10[0].date, "2008-12-30T20:04:15Z");
  EXPECT_EQ(atom10[0].author, "A Person");
  EXPECT_EQ(atom10[2].link, "http://example.com/atom_testing.html");
  EXPECT_EQ(atom10[2].author, "Person A");
  const auto fallbacks = ReadAll(
      "<feed><entry><title>u</title><updated>U</updated><summary>S</summary></entry>"
      "<entry><title>i</title><modified>M</modified><issued>I</issued></entry></feed>");
  EXPECT_EQ(fallbacks[0].date, "U");
  EXPECT_EQ(fallbacks[0].description, "S");
  EXPECT_EQ(fallbacks[1].date, "I");
}

TEST(FeedReader, WebServiceArrays) {
  const std::string messages =
      "<ArrayOfMessageBrief>"
      "<MessageBrief><Subject>Hello  there</Subject><Title>not this</Title><URL>/lounge/1.aspx</URL>"
      "<Author>&lt;b&gt;Ann&lt;/b&gt;</Author><Date>2024-01-05</Date><MsgBoardName>Lounge</MsgBoardName>"
      "<MsgsInThread>5</MsgsInThread><Description>D</Description></MessageBrief>"
      "<MessageBrief><Subject>abs</Subject><URL>http://other.example/x</URL><MsgsInThread>1</MsgsInThread>"
      "</MessageBrief>"
      "<MessageBrief><Subject>none</Subject></MessageBrief>"
      "</ArrayOfMessageBrief>";
  const auto items = ReadAll(messages, "http://svc.example/service.asmx/GetLatestLoungeBrief");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].title, "Hello there");
  EXPECT_EQ(items[0].link, "http://svc.example/lounge/1.aspx");
  EXPECT_EQ(items[0].author, "Ann");
  EXPECT_EQ(items[0].date, "2024-01-05");
  EXPECT_EQ(items[0].category, "Lounge");
  EXPECT_EQ(items[0].comments, "4");
  EXPECT_EQ(items[0].description, "D");
  EXPECT_EQ(items[1].link, "http://other.example/x");
  EXPECT_EQ(items[1].comments, "");
  EXPECT_EQ(items[2].link, "http://svc.example/");

  const auto articles = ReadAll(
      "<ArrayOfArticleBrief><ArticleBrief><Title>Art</Title><Subject>no</Subject><URL>rel/a.aspx</URL>"
      "<Updated>2024-02-02</Updated><MsgBoardName>no</MsgBoardName></ArticleBrief></ArrayOfArticleBrief>",
      "https://svc.example/ws/GetLatestArticleBrief");
  ASSERT_EQ(articles.size(), 1u);
  EXPECT_EQ(articles[0].title, "Art");
  EXPECT_EQ(articles[0].link, "https://svc.example/rel/a.aspx");
  EXPECT_EQ(articles[0].date, "2024-02-02");
  EXPECT_EQ(articles[0].category, "");
}

TEST(FeedReader, GenericDocumentsYieldEveryLeafInDocumentOrder) {
  const auto simple = ReadAll("<a><b>x</b><c><d>y</d></c></a>");
  ASSERT_EQ(Titles(simple), (std::vector<std::string>{"b", "d"}));
  EXPECT_EQ(simple[0].description, "x");
  EXPECT_EQ(simple[1].description, "y");
  EXPECT_EQ(simple[1].link + simple[1].date, "");

  XmlDoc deep = Download("<r><a><b/></a><c/><d><e><f/></e><g/></d></r>");
  FeedReader reader = FeedReader::ForDownload(deep, "file:///x");
  std::vector<std::string> names;
  while (reader.NextItem()) names.push_back(deep.GetTagName());
  EXPECT_EQ(names, (std::vector<std::string>{"b", "c", "f", "g"}));
  EXPECT_FALSE(reader.NextItem());  // the walk stays ended
  reader.ResetItems();
  EXPECT_TRUE(reader.NextItem());
  EXPECT_EQ(deep.GetTagName(), "b");
}

TEST(FeedReader, AStoredFeedWithoutCopyHasNoItemsAndTheWalkStaysInIt) {
  XmlDoc db;
  ASSERT_TRUE(db.SetDocumentText("<FEEDSTATUS><FEED uri='u1' title='T'/><FEED uri='u2'><x><y/></x></FEED></FEEDSTATUS>"));
  db.SetPositions(0, 0, 0);
  ASSERT_TRUE(db.FindElement("/FEEDSTATUS/FEED"));
  const int feed = db.GetCurrentPosition();
  FeedReader reader = FeedReader::ForStoredFeed(db);
  EXPECT_EQ(reader.FormatName(), "");
  EXPECT_EQ(reader.FormatBits(), FormatGeneric);
  EXPECT_EQ(reader.FeedTitle(), "T");
  EXPECT_EQ(reader.Url(), "u1");
  EXPECT_FALSE(reader.NextItem());
  EXPECT_EQ(db.GetParentPosition(), feed);
}

TEST(FeedTitle, ComesFromTheChannelOrTheRoot) {
  const auto title = [](const std::string& text, const std::string& url = "http://e.com/f") {
    XmlDoc doc = Download(text);
    return DownloadedFeedTitle(doc, url);
  };
  EXPECT_EQ(title("<rss><channel><title>Chan</title></channel><title>Root</title></rss>"), "Chan");
  EXPECT_EQ(title("<rss><channel><link/></channel><title>Root</title></rss>"), "rss");
  EXPECT_EQ(title("<feed><title>Atom &amp; co</title><entry/></feed>"), "Atom & co");
  EXPECT_EQ(title("<news><a/></news>"), "news");
  const std::string host = std::string("http://") + kWebServiceHost + "/ws.asmx/";
  EXPECT_EQ(title("<ArrayOfMessageBrief><M/></ArrayOfMessageBrief>", host + "GetLatestLoungeBrief"),
            "Code Project Lounge");
  EXPECT_EQ(title("<ArrayOfMessageBrief><M/></ArrayOfMessageBrief>", host + "GetLatestCommentsBrief"),
            "Code Project Comments");
  EXPECT_EQ(title("<ArrayOfArticleBrief><A/></ArrayOfArticleBrief>", host + "GetLatestArticleBrief"),
            "Code Project Articles");
  EXPECT_EQ(title("<ArrayOfArticleBrief><A/></ArrayOfArticleBrief>", host + "GetLatestLoungeBrief"),
            "ArrayOfArticleBrief");
  EXPECT_EQ(title("<ArrayOfMessageBrief><M/></ArrayOfMessageBrief>", "http://elsewhere/GetLatestLoungeBrief"),
            "ArrayOfMessageBrief");
}

TEST(FeedText, HtmlIsDecodedOnceAndFieldsAreTrimmed) {
  XmlDoc doc = Download(
      "<rss version='2.0'><channel><title> <![CDATA[ Chan &amp; co ]]>\n</title>"
      "<item><title>\n <![CDATA[ America&#8217;s <b>AT&amp;T</b> caf&eacute;&nbsp;]]> </title>"
      "<author> <![CDATA[ Ann &amp; Bob ]]> </author><category>\n  News  </category>"
      "<description>&lt;p&gt;1 &amp;lt; 2&lt;/p&gt;</description></item></channel></rss>");
  EXPECT_EQ(DownloadedFeedTitle(doc, "http://e.com/f"), "Chan & co");
  const auto items = ReadAll(doc);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].title, "America\u2019s AT&T caf\u00E9\u00A0");
  EXPECT_EQ(items[0].author, "Ann & Bob");
  EXPECT_EQ(items[0].category, "News");
  EXPECT_EQ(MakeExcerpt(items[0].description, 40), "1 < 2");
  const auto feedTitle = [](const std::string& file) {
    XmlDoc corpus = Download(Corpus(file));
    return DownloadedFeedTitle(corpus, "http://e.com/f");
  };
  EXPECT_EQ(feedTitle("feed-rs/rss_2.0_anchorfm.xml"), "It\u2019s Not Always Special");  // CDATA with a blank
  EXPECT_EQ(feedTitle("gofeed/issue_305_bare_ampersand.xml"), "Fish & Chips & more <3");
}

TEST(FeedText, LoneAngleBracketsAndDtdEntitiesAreText) {
  const auto rss091 = ReadAll(Corpus("newsboat/rss091_1.xml"));
  ASSERT_EQ(rss091.size(), 1u);
  EXPECT_EQ(rss091[0].title, "1 < 2");
  EXPECT_EQ(MakeExcerpt(rss091[0].description, 80),
            "1 < 2, 3 < 4. In HTML, starts a bold phrase and you start a link with <a href=");
  // RSS 0.91's DTD declares the HTML entities, which the document then uses.
  XmlDoc declared = Download(
      "<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" "
      "\"http://my.netscape.com/publish/formats/rss-0.91.dtd\">"
      "<rss version=\"0.91\"><channel><title>Caf&eacute; &amp; Cr&egrave;me</title>"
      "<item><title>Caf&eacute;</title><link>http://e.com/1</link><description>D&eacute;j&agrave; vu</description>"
      "</item></channel></rss>");
  EXPECT_EQ(DownloadedFeedTitle(declared, "http://e.com/f"), "Caf\u00E9 & Cr\u00E8me");
  const auto items = ReadAll(declared);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].title, "Caf\u00E9");
  EXPECT_EQ(MakeExcerpt(items[0].description, 40), "D\u00E9j\u00E0 vu");
}

TEST(FeedText, DoubleEncodedTextIsRepaired) {
  const auto items = ReadAll(Corpus("kurtmckee-feedparser/bozo_double-encoded-html.xml"));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(MakeExcerpt(items[0].description, 40), "\u2026");
  EXPECT_EQ(ReadAll("<rss><channel><item><category>Caf\u00C3\u00A9</category></item></channel></rss>")[0].category,
            "Caf\u00E9");
}

TEST(FeedText, AtomTextConstructsOfEveryType) {
  const auto items = ReadAll(
      "<feed xmlns='http://www.w3.org/2005/Atom'>"
      "<entry><title type='xhtml'><div xmlns='http://www.w3.org/1999/xhtml'>Less: <em>&lt;</em> &amp; <b>more</b>"
      "</div></title><content type='xhtml'><div xmlns='http://www.w3.org/1999/xhtml'><p>One</p><p>Two &amp; "
      "<i>three</i></p></div></content><updated>2024-01-01</updated></entry>"
      "<entry><title type='html'>&lt;b&gt;Bold&lt;/b&gt; &amp;amp; caf&amp;eacute;</title>"
      "<summary type='html'>&lt;p&gt;S&lt;/p&gt;</summary></entry>"
      "<entry><title type='text'>Fix &lt;br&gt; handling &amp;amp; more</title><content src='http://e.com/x'/>"
      "<summary>plain &lt;i&gt;</summary></entry></feed>");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].title, "Less: < & more");
  EXPECT_EQ(MakeExcerpt(items[0].description, 40), "One Two & three");
  EXPECT_EQ(items[1].title, "Bold & caf\u00E9");
  EXPECT_EQ(MakeExcerpt(items[1].description, 40), "S");
  EXPECT_EQ(items[2].title, "Fix <br> handling & more");  // plain text: no tags in it
  EXPECT_EQ(MakeExcerpt(items[2].description, 40), "plain <i>");
}

TEST(FeedText, AtomEntryDocumentsAndPrefixedAtom) {
  XmlDoc entry = Download(Corpus("feed-rs/atom_entry_1.xml"));
  EXPECT_EQ(FeedReader::ForDownload(entry, "http://e.com/e").FormatBits(), FormatAtom);
  const auto entries = ReadAll(entry);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].title, "Specifications");
  EXPECT_EQ(entries[0].author, "S. A. Khuba");
  EXPECT_EQ(entries[0].date, "2009-08-31T18:55:12.569Z");

  XmlDoc prefixed = Download(
      "<a:feed xmlns:a='http://www.w3.org/2005/Atom'><a:title>P</a:title><a:link href='http://p.example/b/'/>"
      "<a:entry><a:title>Prefixed</a:title><a:link rel='alternate' href='e1'/><a:author><a:name>N</a:name>"
      "</a:author><a:updated>U</a:updated></a:entry></a:feed>");
  EXPECT_EQ(DownloadedFeedTitle(prefixed, "http://e.com/f"), "P");
  const auto items = ReadAll(prefixed);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].title, "Prefixed");
  EXPECT_EQ(items[0].link, "http://p.example/b/e1");
  EXPECT_EQ(items[0].author + items[0].date, "NU");
  // Without the Atom namespace they are any XML.
  for (const char* text : {"<entry><title>x</title></entry>", "<b:feed xmlns:b='urn:other'><b:entry/></b:feed>"}) {
    XmlDoc other = Download(text);
    EXPECT_EQ(FeedReader::ForDownload(other, "http://e.com/x").FormatBits(), FormatGeneric) << text;
  }
}

TEST(FeedReader, RelativeLinksAreResolved) {
  // xml:base on the feed, on entries and on links, absolute and relative.
  const auto based = ReadAll(Corpus("rome/atom_1.0_b.xml"));
  ASSERT_GT(based.size(), 8u);
  for (const Item& item : based) EXPECT_EQ(item.link, "http://example.org/tests/base/result.html") << item.title;
  // Else against the channel's link, else against the feed's own address.
  const auto rss = ReadAll(
      "<rss version='2.0'><channel><link> http://site.example/blog/ </link>"
      "<item><title>1</title><link>post/1</link></item>"
      "<item xml:base='http://other.example/x/'><title>2</title><link>y</link></item>"
      "<item><title>3</title><link>//cdn.example/z?a=1&amp;b=2</link></item>"
      "<item><title>4</title><guid isPermaLink='false'>abc</guid></item>"
      "<item><title>5</title><link>mailto:a@e.com</link></item></channel></rss>");
  EXPECT_EQ(Fields(rss, &Item::link), (std::vector<std::string>{"http://site.example/blog/post/1", "http://other.example/x/y",
                                                                "http://cdn.example/z?a=1&b=2", "abc", "mailto:a@e.com"}));
  EXPECT_EQ(ReadAll("<rss version='2.0'><channel><item><link>../a</link></item></channel></rss>",
                    "https://h.example/f/rss.xml")[0].link,
            "https://h.example/a");
  // A feed read from a file has nothing to resolve against: the link stays
  // relative, and no browser is ever asked to open it.
  EXPECT_EQ(ReadAll("<rss version='2.0'><channel><item><link>a</link></item></channel></rss>", "/tmp/f.xml")[0].link,
            "a");
}

// Every well-formed RSS, RSS 1.0 and Atom feed of the corpus yields the items
// that the corpus counted for it, but for one whose items hold another item.
TEST(FeedReader, CorpusFeedsYieldTheirItems) {
  std::istringstream manifest(Corpus("MANIFEST.tsv"));
  std::string line;
  std::getline(manifest, line);
  int checked = 0;
  while (std::getline(manifest, line)) {
    std::vector<std::string> columns;
    std::istringstream fields(line);
    for (std::string column; std::getline(fields, column, '\t');) columns.push_back(column);
    const std::string& file = columns[0];
    const std::string& root = columns[8];
    if (columns[17] != "yes" || (root != "rss" && root != "RDF" && root != "feed")) continue;
    XmlDoc doc;
    if (!doc.LoadFile(std::string(VREL_CORPUS_DIR) + "/" + file)) continue;  // encodings the engine does not read
    doc.SetPositions(0, 0, 0);
    doc.FindElement(nullptr);
    FeedReader reader = FeedReader::ForDownload(doc, "http://example.com/" + file);
    int items = 0;
    while (reader.NextItem()) ++items;
    EXPECT_EQ(items, std::stoi(columns[15]) - (file == "rome/ep1_v4a.xml")) << file;
    EXPECT_NE(reader.FormatBits(), FormatGeneric) << file;
    ++checked;
  }
  EXPECT_GT(checked, 100);
}

}  // namespace
}  // namespace vrel
