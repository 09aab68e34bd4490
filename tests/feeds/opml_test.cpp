#include "feeds/opml.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "feed_test_support.h"
#include "feeds/news_engine.h"

namespace vrel {
namespace {

using test::EngineFixture;
using test::WriteFile;

using Feeds = std::vector<std::pair<std::string, std::string>>;  // uri, title

Feeds FeedsOf(NewsEngine& engine) {
  std::lock_guard lock(engine.Lock());
  Feeds feeds;
  XmlDoc& db = engine.Database().Document();
  db.SetPositions(0, 0, 0);
  if (!db.FindElement(nullptr)) return feeds;
  while (db.FindChildElement("FEED")) feeds.emplace_back(db.GetChildAttribute("uri"), db.GetChildAttribute("title"));
  return feeds;
}

const char kNested[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<opml version="2.0">
  <head><title>Subscriptions</title></head>
  <body>
    <outline text="Tech">
      <outline type="rss" text="Ignored text" title="First &amp; Best" xmlUrl="http://a/rss?x=1&amp;y=2"/>
      <outline text="Deeper">
        <outline type="rss" text="Second" xmlUrl="http://b/atom"/>
      </outline>
    </outline>
    <outline type="rss" xmlUrl="http://c/"/>
    <outline text="Twice" xmlUrl="http://b/atom"/>
    <outline text="Known" xmlUrl="http://known/"/>
    <outline text="Just a folder"/>
  </body>
</opml>
)";

TEST(Opml, ImportAddsNestedFeedsThatAreNewAsNotYetDownloaded) {
  EngineFixture f;
  {
    std::lock_guard lock(f.engine.Lock());
    f.engine.Database().AddFeed("http://known/", "Known already");
  }
  const std::string path = f.dir.Path("subscriptions.opml");
  WriteFile(path, kNested);
  const Outcome imported = ImportOpmlFile(f.engine, path);
  EXPECT_TRUE(imported);
  EXPECT_EQ(imported.Message(), "Imported " + path + ": 3 feeds added, 2 already present");
  EXPECT_EQ(FeedsOf(f.engine), (Feeds{{"http://known/", "Known already"},
                                      {"http://a/rss?x=1&y=2", "First & Best"},
                                      {"http://b/atom", "Second"},
                                      {"http://c/", "http://c/"}}));
  EXPECT_EQ(test::FeedAttribute(f.engine, "http://b/atom", "feedid"), "3");
  EXPECT_EQ(test::FeedAttribute(f.engine, "http://b/atom", "arrivetime"), "");
  EXPECT_GT(f.observer.feedListChanges, 0);
}

TEST(Opml, ImportTakesOnlyWebAndLocalAddresses) {
  EngineFixture f;
  const std::string path = f.dir.Path("hostile.opml");
  WriteFile(path,
            "<opml version=\"2.0\"><body>"
            "<outline text=\"Script\" xmlUrl=\"javascript:alert(1)\"/>"
            "<outline text=\"Data\" xmlUrl=\"data:text/xml,&lt;rss/&gt;\"/>"
            "<outline text=\"Broken\" xmlUrl=\"http://a/&#10;Injected: 1\"/>"
            "<outline text=\"Nul\" xmlUrl=\"http://a/&#1;\"/>"
            "<outline text=\"Local&#27;[2J\" xmlUrl=\"file:///srv/feeds/local.xml\"/>"
            "<outline text=\"Path\" xmlUrl=\"/srv/feeds/other.xml\"/>"
            "<outline text=\"Web\" xmlUrl=\"HTTPS://b/feed\"/>"
            "</body></opml>");
  const Outcome imported = ImportOpmlFile(f.engine, path);
  EXPECT_EQ(imported.Message(), "Imported " + path +
                                    ": 3 feeds added, 0 already present, 4 refused (not an http, https or local address)");
  EXPECT_EQ(FeedsOf(f.engine), (Feeds{{"file:///srv/feeds/local.xml", "Local[2J"},
                                      {"/srv/feeds/other.xml", "Path"},
                                      {"HTTPS://b/feed", "Web"}}));
}

TEST(Opml, DeeplyNestedOutlinesAreAllFound) {
  EngineFixture f;
  std::string body;
  const int depth = 50000;
  for (int i = 0; i < depth; ++i) body += "<outline text=\"f\" xmlUrl=\"http://f/" + std::to_string(i) + "\">";
  for (int i = 0; i < depth; ++i) body += "</outline>";
  const std::string path = f.dir.Path("deep.opml");
  WriteFile(path, "<opml version=\"2.0\"><body>" + body + "</body></opml>");
  const Outcome imported = ImportOpmlFile(f.engine, path);
  EXPECT_EQ(imported.Message(), "Imported " + path + ": " + std::to_string(depth) + " feeds added, 0 already present");
  EXPECT_EQ(FeedsOf(f.engine).size(), size_t(depth));
  EXPECT_EQ(FeedsOf(f.engine).back().first, "http://f/" + std::to_string(depth - 1));
}

TEST(Opml, ABrokenOrForeignFileAddsNothing) {
  EngineFixture f;
  const std::string broken = f.dir.Path("broken.opml");
  WriteFile(broken, "<opml><body><outline xmlUrl=\"http://a/\"/><outline xmlUrl=\"http://b/\"></body>");
  Outcome result = ImportOpmlFile(f.engine, broken);
  EXPECT_FALSE(result);
  EXPECT_TRUE(result.Message().starts_with("Cannot import " + broken + ": ")) << result.Message();
  EXPECT_GT(result.Message().size(), ("Cannot import " + broken + ": ").size());
  EXPECT_TRUE(FeedsOf(f.engine).empty());

  const std::string rss = f.dir.Path("feed.xml");
  WriteFile(rss, "<rss version=\"2.0\"><channel><title>x</title></channel></rss>");
  result = ImportOpmlFile(f.engine, rss);
  EXPECT_FALSE(result);
  EXPECT_EQ(result.Message(), "Cannot import " + rss + ": the root element is \"rss\", not \"opml\"");

  result = ImportOpmlFile(f.engine, f.dir.Path("missing.opml"));
  EXPECT_FALSE(result);
  EXPECT_TRUE(FeedsOf(f.engine).empty());
}

TEST(Opml, ExportedFeedsImportAsTheyWere) {
  EngineFixture source;
  {
    std::lock_guard lock(source.engine.Lock());
    FeedDatabase& database = source.engine.Database();
    database.AddFeed("http://a/rss?x=1&y=2", "Tom & \"Jerry\" <News>");
    database.AddFeed("http://page/", "Web Page 2", "HTML");
    database.AddFeed("http://b/atom", "Ünïcode");
  }
  const std::string path = source.dir.Path("out.opml");
  const Outcome exported = ExportOpmlFile(source.engine, path);
  ASSERT_TRUE(exported) << exported.Message();
  EXPECT_EQ(exported.Message(), "Exported 2 feeds to " + path + " (1 web page feed left out)");
  EXPECT_NE(test::ReadFile(path).find("<opml version=\"2.0\">"), std::string::npos);

  EngineFixture target;
  const Outcome imported = ImportOpmlFile(target.engine, path);
  ASSERT_TRUE(imported) << imported.Message();
  EXPECT_EQ(FeedsOf(target.engine),
            (Feeds{{"http://a/rss?x=1&y=2", "Tom & \"Jerry\" <News>"}, {"http://b/atom", "Ünïcode"}}));
}

using Folders = std::vector<std::pair<std::string, std::string>>;  // uri, folder

Folders FoldersOf(NewsEngine& engine) {
  std::lock_guard lock(engine.Lock());
  Folders folders;
  XmlDoc& db = engine.Database().Document();
  ForEachFeed(db, [&] { folders.emplace_back(db.GetAttribute("uri"), db.GetAttribute("folder")); });
  return folders;
}

const char kFolders[] = R"(<opml version="2.0"><body>
  <outline text="Loose" xmlUrl="http://loose/"/>
  <outline text=" Tom &amp; &quot;Jerry&quot; ">
    <outline text="Alpha" xmlUrl="http://alpha/"/>
    <outline title="Inner">
      <outline text="Beta" xmlUrl="http://beta/"/>
      <outline text="Empty inside"/>
    </outline>
  </outline>
  <outline text="AC/DC"><outline text="Gamma" xmlUrl="http://gamma/"/></outline>
  <outline text="Empty"/>
  <outline text="Only empty ones"><outline text="Nothing"/></outline>
</body></opml>
)";

TEST(Opml, FoldersSurviveImportMergeSaveLoadAndExport) {
  EngineFixture source;
  const std::string opml = source.dir.Path("folders.opml");
  WriteFile(opml, kFolders);
  ASSERT_TRUE(ImportOpmlFile(source.engine, opml));
  const Folders imported{{"http://loose/", ""},
                         {"http://alpha/", "Tom & \"Jerry\""},
                         {"http://beta/", "Tom & \"Jerry\"/Inner"},
                         {"http://gamma/", "AC/DC"}};
  EXPECT_EQ(FoldersOf(source.engine), imported);
  // A download replaces the stored copy, never the feed's own settings.
  ASSERT_TRUE(source.engine.MergeDownload("http://beta/", test::Corpus("htmlparser2/RSS_Example.xml")));
  const std::string data = source.dir.Path("feeds.xml");
  ASSERT_TRUE(source.engine.Database().MoveTo(data));

  EngineFixture loaded;
  ASSERT_TRUE(loaded.engine.LoadDataFile(data));
  EXPECT_EQ(FoldersOf(loaded.engine), imported);
  const std::string exported = loaded.dir.Path("out.opml");
  ASSERT_TRUE(ExportOpmlFile(loaded.engine, exported));
  const std::string text = test::ReadFile(exported);
  EXPECT_NE(text.find("    <outline text=\"Tom &amp; &quot;Jerry&quot;\" title=\"Tom &amp; &quot;Jerry&quot;\">\n"
                      "      <outline type=\"rss\" text=\"Alpha\" title=\"Alpha\" xmlUrl=\"http://alpha/\"/>\n"
                      "      <outline text=\"Inner\" title=\"Inner\">\n"
                      "        <outline type=\"rss\" text=\"Beta\" title=\"Beta\" xmlUrl=\"http://beta/\"/>\n"
                      "      </outline>\n"
                      "    </outline>\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("<outline text=\"AC\" title=\"AC\">\n      <outline text=\"DC\" title=\"DC\">"), std::string::npos);

  // Folders come after the loose feeds and sort without regard to case.
  EngineFixture again;
  ASSERT_TRUE(ImportOpmlFile(again.engine, exported));
  EXPECT_EQ(FoldersOf(again.engine), (Folders{imported[0], imported[3], imported[1], imported[2]}));
}

TEST(Opml, AnExportThatCannotBeWrittenSaysSo) {
  EngineFixture f;
  const Outcome result = ExportOpmlFile(f.engine, f.dir.Path("no/such/folder/out.opml"));
  EXPECT_FALSE(result);
  EXPECT_TRUE(result.Message().starts_with("Cannot export to ")) << result.Message();
}

}  // namespace
}  // namespace vrel
