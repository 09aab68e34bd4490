#include "net/json_feed.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/xml_doc.h"

namespace vrel {
namespace {

// The content of every element named name in the RSS document, in order.
std::vector<std::string> Contents(const std::string& rss, const char* name) {
  XmlDoc doc;
  EXPECT_TRUE(doc.SetDocumentText(rss)) << doc.GetResultText() << "\n" << rss;
  std::vector<std::string> contents;
  // A freshly parsed document numbers its elements in document order.
  for (int n = 1; n < doc.GetHighWaterMark(); ++n)
    if (doc.GetElementName(n) == name) contents.push_back(doc.GetContent(n));
  return contents;
}

std::string Convert(const std::string& json, const std::string& contentType = "application/feed+json") {
  const JsonFeedConversion conversion = ConvertJsonFeed(json, contentType);
  EXPECT_TRUE(conversion.isJsonFeed);
  EXPECT_EQ(conversion.error, "");
  return conversion.rss;
}

TEST(JsonFeed, Version11ItemsBecomeRssItems) {
  const std::string rss = Convert(R"({
    "version": "https://jsonfeed.org/version/1.1",
    "title": "Tom & Jerry's <News>",
    "home_page_url": "https://example.org/",
    "description": "About things",
    "authors": [{"name": "Feed Author"}],
    "items": [
      {"id": "https://example.org/1", "url": "https://example.org/1", "title": "First",
       "content_html": "<p>Hello <b>world</b></p>", "content_text": "Hello world",
       "date_published": "2024-06-01T10:00:00+02:00",
       "authors": [{"name": "Ann"}, {"name": "Bob"}, {"url": "https://nameless/"}],
       "tags": ["one", "two & three"]},
      {"id": "2", "external_url": "https://elsewhere/2", "content_text": "a < b",
       "date_published": "2024-02-30T10:00:00Z"}
    ]})");
  EXPECT_EQ(Contents(rss, "rss").size(), 1u);
  EXPECT_EQ(Contents(rss, "title"), (std::vector<std::string>{"Tom & Jerry's <News>", "First"}));
  EXPECT_EQ(Contents(rss, "link"),
            (std::vector<std::string>{"https://example.org/", "https://example.org/1", "https://elsewhere/2"}));
  EXPECT_EQ(Contents(rss, "description"),
            (std::vector<std::string>{"About things", "<p>Hello <b>world</b></p>", "a < b"}));
  // An impossible date is left out rather than passed on.
  EXPECT_EQ(Contents(rss, "pubDate"), (std::vector<std::string>{"Sat, 01 Jun 2024 10:00:00 +0200"}));
  // An item without authors takes the feed's.
  EXPECT_EQ(Contents(rss, "author"), (std::vector<std::string>{"Ann, Bob", "Feed Author"}));
  EXPECT_EQ(Contents(rss, "category"), (std::vector<std::string>{"one", "two & three"}));
  EXPECT_EQ(Contents(rss, "guid"), (std::vector<std::string>{"https://example.org/1", "2"}));
}

TEST(JsonFeed, Version10AuthorAndNumericIdsAreRead) {
  const std::string rss = Convert(R"({"version":"https://jsonfeed.org/version/1","title":"Old",
    "items":[{"id":42,"summary":"Only a summary","author":{"name":"Carl"}},
             {"id":true,"title":"Odd id"}, "not an item"]})",
                                  "application/json");
  EXPECT_EQ(Contents(rss, "guid"), (std::vector<std::string>{"42"}));
  EXPECT_EQ(Contents(rss, "author"), (std::vector<std::string>{"Carl"}));
  EXPECT_EQ(Contents(rss, "description"), (std::vector<std::string>{"Only a summary"}));
  EXPECT_EQ(Contents(rss, "item").size(), 2u);
}

TEST(JsonFeed, WrongTypesAreSkippedNotTrusted) {
  const std::string rss = Convert(R"({"version":"https://jsonfeed.org/version/1.1","title":7,
    "items":[{"title":["x"],"tags":"solo","authors":{"name":"not a list"},"date_published":5}]})");
  EXPECT_EQ(Contents(rss, "item").size(), 1u);
  EXPECT_TRUE(Contents(rss, "title").empty());
  EXPECT_TRUE(Contents(rss, "category").empty());
  EXPECT_TRUE(Contents(rss, "pubDate").empty());
}

TEST(JsonFeed, OnlyJsonFeedsAreTaken) {
  EXPECT_FALSE(ConvertJsonFeed("<rss/>", "text/xml").isJsonFeed);
  EXPECT_FALSE(ConvertJsonFeed(R"({"version":"2.0"})", "application/json").isJsonFeed);
  EXPECT_FALSE(ConvertJsonFeed(R"({"version":"https://jsonfeed.org/version/1.1")", "").isJsonFeed);
  EXPECT_TRUE(ConvertJsonFeed(R"( {"version":"https://jsonfeed.org/version/1.1"})", "").isJsonFeed);

  // Served as a JSON Feed but not readable as one: an error, not a guess.
  const JsonFeedConversion broken = ConvertJsonFeed("[1,2", "application/feed+json; charset=utf-8");
  EXPECT_TRUE(broken.isJsonFeed);
  EXPECT_EQ(broken.error, "the JSON Feed is not valid JSON");
  const JsonFeedConversion unversioned = ConvertJsonFeed(R"({"items":[]})", "Application/Feed+JSON");
  EXPECT_TRUE(unversioned.isJsonFeed);
  EXPECT_NE(unversioned.error, "");
}

TEST(JsonFeed, DeepNestingIsReadWithoutExhaustingTheStack) {
  const size_t depth = 200000;
  const std::string nested = std::string(depth, '[') + std::string(depth, ']');
  const std::string rss =
      Convert(R"({"version":"https://jsonfeed.org/version/1.1","items":[{"title":"t","x":)" + nested + "}]}");
  EXPECT_EQ(Contents(rss, "title"), (std::vector<std::string>{"t"}));
  EXPECT_NE(ConvertJsonFeed(std::string(depth, '['), "application/feed+json").error, "");
}

TEST(JsonFeed, DatesBecomeRfc822) {
  EXPECT_EQ(Rfc822FromRfc3339("2024-06-01T10:00:00Z"), "Sat, 01 Jun 2024 10:00:00 +0000");
  EXPECT_EQ(Rfc822FromRfc3339("2000-01-01t00:00:00.123456-05:30"), "Sat, 01 Jan 2000 00:00:00 -0530");
  EXPECT_EQ(Rfc822FromRfc3339("2024-02-29T23:59:60+00:00"), "Thu, 29 Feb 2024 23:59:60 +0000");
  EXPECT_EQ(Rfc822FromRfc3339("1969-12-31T12:00:00Z"), "Wed, 31 Dec 1969 12:00:00 +0000");
  EXPECT_EQ(Rfc822FromRfc3339("2023-02-29T10:00:00Z"), "");  // not a leap year
  EXPECT_EQ(Rfc822FromRfc3339("2024-13-01T10:00:00Z"), "");
  EXPECT_EQ(Rfc822FromRfc3339("2024-06-01T24:00:00Z"), "");
  EXPECT_EQ(Rfc822FromRfc3339("2024-06-01T10:00:00"), "");  // no zone
  EXPECT_EQ(Rfc822FromRfc3339("2024-06-01T10:00:00+0200"), "");
  EXPECT_EQ(Rfc822FromRfc3339("2024-06-01"), "");
  EXPECT_EQ(Rfc822FromRfc3339(""), "");
}

}  // namespace
}  // namespace vrel
