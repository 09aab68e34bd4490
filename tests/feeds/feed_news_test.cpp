#include "feeds/feed_news.h"

#include <gtest/gtest.h>

#include <mutex>

#include "feed_test_support.h"

namespace vrel {
namespace {

std::string RssOf(std::initializer_list<const char*> titles) {
  std::string text = "<rss version=\"2.0\"><channel><title>Harbour &amp; Town</title>";
  for (const char* title : titles) text += std::string("<item><title>") + title + "</title></item>";
  return text + "</channel></rss>";
}

FeedNews NewsOf(NewsEngine& engine, const char* address) {
  std::lock_guard lock(engine.Lock());
  if (!engine.Database().FindFeedByUri(address)) return {};
  return ReadFeedNews(engine.Database().Document(), 3);
}

TEST(FeedNews, CountsTheNewItemsAndNamesTheFirstThree) {
  test::EngineFixture f;
  ASSERT_TRUE(f.engine.MergeDownload("http://a/", RssOf({"old one", "old two"})));
  {
    std::lock_guard lock(f.engine.Lock());
    ASSERT_TRUE(f.engine.Database().FindFeedByUri("http://a/"));
    f.engine.Database().Document().SetAttribute("viewed", f.Stamp());
  }
  f.Advance(60);
  ASSERT_TRUE(f.engine.MergeDownload("http://a/", RssOf({"old one", "new 1", "new 2", "old two", "new 3", "new 4"})));

  const FeedNews news = NewsOf(f.engine, "http://a/");
  EXPECT_EQ(news.feedId, 1);
  EXPECT_EQ(news.title, "Harbour & Town");
  EXPECT_EQ(news.newItems, 4);
  EXPECT_EQ(news.firstTitles, (std::vector<std::string>{"new 1", "new 2", "new 3"}));
}

}  // namespace
}  // namespace vrel
