#include "feeds/feed_discovery.h"

#include <gtest/gtest.h>

#include <string>

namespace vrel {
namespace {

const std::string kPage = "http://site/blog/post.html";

std::string Head(const std::string& links) { return "<html><head>" + links + "</head><body>text</body></html>"; }

TEST(FeedDiscovery, TheFirstFeedLinkWinsResolvedAgainstThePage) {
  EXPECT_EQ(FindFeedLink(Head("<link rel=\"alternate\" type=\"application/rss+xml\" href=\"feed.xml\">"
                              "<link rel=\"alternate\" type=\"application/atom+xml\" href=\"/atom\">"),
                         kPage),
            "http://site/blog/feed.xml");
  EXPECT_EQ(FindFeedLink(Head("<LINK REL='Alternate' TYPE='Application/Atom+XML; charset=utf-8' HREF='/atom'>"), kPage),
            "http://site/atom");
  EXPECT_EQ(
      FindFeedLink(Head("<link type=application/feed+json rel=\"home alternate\" href=https://j/f.json />"), kPage),
      "https://j/f.json");
  EXPECT_EQ(FindFeedLink(Head("<link rel=\"alternate\" type=\"application/rss+xml\" href=\"?a=1&amp;b=2\">"), kPage),
            "http://site/blog/post.html?a=1&b=2");
}

TEST(FeedDiscovery, OtherLinksAndHiddenMarkupAreNotFeeds) {
  EXPECT_EQ(FindFeedLink(Head("<link rel=\"alternate\" type=\"text/html\" href=\"/fr/\">"
                              "<link rel=\"stylesheet\" type=\"application/rss+xml\" href=\"/no\">"
                              "<link rel=\"alternates\" type=\"application/rss+xml\" href=\"/no\">"
                              "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"  \">"
                              "<!-- <link rel=\"alternate\" type=\"application/rss+xml\" href=\"/commented\"> -->"
                              "<script>var s = '<link rel=\"alternate\" type=\"application/rss+xml\" href=\"/js\">';"
                              "</SCRIPT>"),
                         kPage),
            "");
  EXPECT_EQ(FindFeedLink("", kPage), "");
  EXPECT_EQ(FindFeedLink("<link rel=\"alternate\" type=\"application/rss+xml\" href=\"/unended", kPage), "");
}

TEST(FeedDiscovery, ABaseElementMovesRelativeLinks) {
  EXPECT_EQ(FindFeedLink(Head("<base href=\"http://cdn/x/\">"
                              "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"rss\">"),
                         kPage),
            "http://cdn/x/rss");
  EXPECT_EQ(FindFeedLink(Head("<base href=\"/root/\">"
                              "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"rss\">"),
                         kPage),
            "http://site/root/rss");
}

TEST(FeedDiscovery, APageFromTheNetworkLeadsOnlyToWebAddresses) {
  const std::string links = "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"file:///dev/zero\">"
                            "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"javascript:x()\">"
                            "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"https://ok/rss\">";
  EXPECT_EQ(FindFeedLink(Head(links), kPage), "https://ok/rss");
  EXPECT_EQ(FindFeedLink(Head("<base href=\"file:///etc/\">"
                              "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"passwd\">"),
                         kPage),
            "");
  EXPECT_EQ(FindFeedLink(Head(links), "file:///home/me/page.html"), "file:///dev/zero");
}

TEST(FeedDiscovery, PagesAreToldFromFeeds) {
  EXPECT_TRUE(LooksLikeHtmlPage("<!DOCTYPE html><p>x", ""));
  EXPECT_TRUE(LooksLikeHtmlPage("<?xml version=\"1.0\"?><!-- c --><html xmlns=\"x\"></html>", "text/xml"));
  EXPECT_TRUE(LooksLikeHtmlPage("<head><title>t</title></head>", "text/html; charset=utf-8"));
  EXPECT_FALSE(LooksLikeHtmlPage("<rss version=\"2.0\"></rss>", "text/html"));  // a feed served carelessly
  EXPECT_FALSE(LooksLikeHtmlPage("<feed><link rel=\"alternate\" type=\"application/atom+xml\"/></feed>", "text/html"));
  EXPECT_FALSE(LooksLikeHtmlPage("<head><title>t</title></head>", "application/xml"));
  EXPECT_FALSE(LooksLikeHtmlPage("", ""));
}

}  // namespace
}  // namespace vrel
