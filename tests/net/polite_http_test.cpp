#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/download.h"
#include "download_wait.h"
#include "served_test.h"

namespace vrel {
namespace {

using test::Await;
using test::PercentEncode;
using test::QuickOptions;

constexpr auto kXml = DownloadKind::XmlDocument;

class PoliteHttpTest : public test::ServedTest {
 protected:
  DownloadResult Fetch(const std::string& address, const Validators& validators = {}) {
    return Await(*downloader.StartConditional(address, kXml, validators));
  }

  Downloader downloader{QuickOptions()};
};

TEST_F(PoliteHttpTest, AnETagSentBackGetsNotModifiedWithoutABody) {
  const DownloadResult first = Fetch(Url("/conditional/etag"));
  ASSERT_TRUE(first.ok) << first.error;
  EXPECT_FALSE(first.notModified);
  EXPECT_EQ(first.etag, "\"v1\"");
  EXPECT_NE(first.text.find("<rss"), std::string::npos);

  const DownloadResult again = Fetch(Url("/conditional/etag"), {first.etag, first.lastModified});
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_TRUE(again.notModified);
  EXPECT_EQ(again.httpStatus, 304);
  EXPECT_EQ(again.text, "");
  EXPECT_EQ(again.etag, "\"v1\"");

  const DownloadResult changed = Fetch(Url("/conditional/etag"), {"\"v0\"", ""});
  ASSERT_TRUE(changed.ok);
  EXPECT_FALSE(changed.notModified);
  EXPECT_NE(changed.text.find("<rss"), std::string::npos);
}

TEST_F(PoliteHttpTest, ALastModifiedSentBackGetsNotModified) {
  const DownloadResult first = Fetch(Url("/conditional/date"));
  ASSERT_TRUE(first.ok) << first.error;
  EXPECT_EQ(first.etag, "");
  EXPECT_EQ(first.lastModified, "Sat, 01 Jun 2024 10:00:00 GMT");

  const DownloadResult again = Fetch(Url("/conditional/date"), {"", first.lastModified});
  EXPECT_TRUE(again.ok && again.notModified);
  EXPECT_EQ(again.text, "");
}

TEST_F(PoliteHttpTest, ValidatorsWithLineBreaksAreNotSent) {
  // A hand-edited data file must not be able to add headers of its own.
  const DownloadResult result = Fetch(Url("/conditional/etag"), {"\"v1\"\r\nX-Injected: 1", ""});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_FALSE(result.notModified);
}

TEST_F(PoliteHttpTest, APlainRequestNeverCountsAsNotModified) {
  const DownloadResult result = Await(*downloader.Start(Url("/echo?status=304"), kXml));
  EXPECT_FALSE(result.notModified);
}

TEST_F(PoliteHttpTest, PermanentRedirectsAtTheStartOfTheChainGiveTheNewAddress) {
  const DownloadResult moved = Fetch(Url("/moved/3"));  // 308, 301, 308
  ASSERT_TRUE(moved.ok) << moved.error;
  EXPECT_EQ(moved.permanentUrl, Url("/moved/0"));
  EXPECT_EQ(moved.finalUrl, Url("/moved/0"));

  const DownloadResult temporary = Fetch(Url("/redirect/2"));
  ASSERT_TRUE(temporary.ok);
  EXPECT_EQ(temporary.permanentUrl, "");

  // Permanent, then temporary: only the permanent step counts.
  const DownloadResult mixed = Fetch(Url("/echo?status=301&location=" + PercentEncode("/redirect/1")));
  ASSERT_TRUE(mixed.ok) << mixed.error;
  EXPECT_EQ(mixed.permanentUrl, Url("/redirect/1"));
  EXPECT_EQ(mixed.finalUrl, Url("/redirect/0"));

  const DownloadResult failed = Fetch(Url("/echo?status=301&location=" + PercentEncode("/status/404")));
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.permanentUrl, "");
}

TEST_F(PoliteHttpTest, GoneAndRetryAfterAreReported) {
  const DownloadResult gone = Fetch(Url("/status/410"));
  EXPECT_FALSE(gone.ok);
  EXPECT_EQ(gone.httpStatus, 410);
  EXPECT_EQ(gone.retryAfterSeconds, -1);

  const DownloadResult busy = Fetch(Url("/echo?status=429&retry=120"));
  EXPECT_FALSE(busy.ok);
  EXPECT_EQ(busy.httpStatus, 429);
  EXPECT_EQ(busy.retryAfterSeconds, 120);

  const DownloadResult down = Fetch(Url("/echo?status=503&retry=9999999"));
  EXPECT_EQ(down.retryAfterSeconds, kMaxRetryAfterSeconds);

  // Only 429 and 503 ask to wait.
  EXPECT_EQ(Fetch(Url("/echo?status=200&retry=120")).retryAfterSeconds, -1);
  // Any answer may say how long it stays fresh.
  EXPECT_EQ(Fetch(Url("/echo?cache=public,%20max-age%3D600")).freshSeconds, 600);
  EXPECT_EQ(Fetch(Url("/echo")).freshSeconds, 0);
}

TEST(FreshLifetime, MaxAgeGoesBeforeExpiresAndNoCacheAsksNothing) {
  const std::time_t now = 1717236000;  // Sat, 01 Jun 2024 10:00:00 GMT
  const char* inAnHour = "Sat, 01 Jun 2024 11:00:00 GMT";
  EXPECT_EQ(ParseFreshLifetime("public, max-age=600", "", "", now), 600);
  EXPECT_EQ(ParseFreshLifetime(" Max-Age = \"90\" ", inAnHour, "", now), 90);
  EXPECT_EQ(ParseFreshLifetime("max-age=600, no-cache", "", "", now), 0);
  EXPECT_EQ(ParseFreshLifetime("no-store", inAnHour, "", now), 0);
  EXPECT_EQ(ParseFreshLifetime("max-age=99999999999", "", "", now), kMaxRetryAfterSeconds);
  EXPECT_EQ(ParseFreshLifetime("max-age=-5", "", "", now), 0);
  EXPECT_EQ(ParseFreshLifetime("s-maxage=600", "", "", now), 0);
  EXPECT_EQ(ParseFreshLifetime("", inAnHour, "", now), 3600);
  // Counted on the server's own clock when it sent one.
  EXPECT_EQ(ParseFreshLifetime("", inAnHour, "Sat, 01 Jun 2024 10:30:00 GMT", now), 1800);
  EXPECT_EQ(ParseFreshLifetime("", "0", "", now), 0);
  EXPECT_EQ(ParseFreshLifetime("", "", "", now), 0);
}

TEST(RetryAfter, ReadsSecondsAndDates) {
  const std::time_t now = 1717236000;  // Sat, 01 Jun 2024 10:00:00 GMT
  EXPECT_EQ(ParseRetryAfter("120", now), 120);
  EXPECT_EQ(ParseRetryAfter(" 0 ", now), 0);
  EXPECT_EQ(ParseRetryAfter("99999999999999999999", now), kMaxRetryAfterSeconds);
  EXPECT_EQ(ParseRetryAfter("Sat, 01 Jun 2024 11:00:00 GMT", now), 3600);
  EXPECT_EQ(ParseRetryAfter("Fri, 31 May 2024 10:00:00 GMT", now), 0);  // already past
  EXPECT_EQ(ParseRetryAfter("Sun, 09 Jun 2024 10:00:00 GMT", now), kMaxRetryAfterSeconds);
  EXPECT_EQ(ParseRetryAfter("", now), -1);
  EXPECT_EQ(ParseRetryAfter("soon", now), -1);
  EXPECT_EQ(ParseRetryAfter("-5", now), -1);
}

TEST(ResolveUrl, ResolvesRelativeAndKeepsAbsoluteReferences) {
  EXPECT_EQ(ResolveUrl("http://h/a/b.html", "feed.xml"), "http://h/a/feed.xml");
  EXPECT_EQ(ResolveUrl("http://h/a/b.html", "/feed.xml"), "http://h/feed.xml");
  EXPECT_EQ(ResolveUrl("http://h/a/b.html", "../x?y=1"), "http://h/x?y=1");
  EXPECT_EQ(ResolveUrl("https://h/a/", "//other/feed"), "https://other/feed");
  EXPECT_EQ(ResolveUrl("http://h/a/", "https://o/f.json"), "https://o/f.json");
  EXPECT_EQ(ResolveUrl("not a url", "x"), "");
}

// The most requests the server saw at once for key, from count downloads
// started together.
int PeakRequests(Downloader& downloader, const std::string& url, int count) {
  std::vector<std::unique_ptr<Download>> downloads;
  for (int i = 0; i < count; ++i) downloads.push_back(downloader.Start(url, kXml));
  int peak = 0;
  for (auto& download : downloads) {
    const DownloadResult result = Await(*download);
    EXPECT_TRUE(result.ok) << result.error;
    peak = std::max(peak, std::atoi(result.text.c_str()));
  }
  return peak;
}

TEST_F(PoliteHttpTest, AtMostTwoConnectionsGoToOneHost) {
  EXPECT_EQ(PeakRequests(downloader, Url("/busy/limited"), 5), 2);
  // The same downloads without the limit do run side by side, so the
  // check above can tell.
  DownloadOptions unlimited = QuickOptions();
  unlimited.maxTransfersPerHost = 0;
  Downloader greedy(unlimited);
  EXPECT_GT(PeakRequests(greedy, Url("/busy/unlimited"), 5), 2);
}

// Two transfers hang on the host; the third waits for one of them to end,
// and its time-out runs only from when it starts.
TEST_F(PoliteHttpTest, ATransferWaitingForItsHostIsTimedFromItsStart) {
  using namespace std::chrono_literals;
  DownloadOptions options = QuickOptions();
  options.transferTimeout = 600ms;
  Downloader downloader(options);
  const auto first = downloader.Start(Url("/hang"), kXml);
  const auto second = downloader.Start(Url("/hang"), kXml);
  const auto waiting = downloader.Start(Url("/redirect/0"), kXml);
  const DownloadResult result = Await(*waiting);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_FALSE(Await(*first).ok);
  EXPECT_FALSE(Await(*second).ok);
}

TEST_F(PoliteHttpTest, TheOwnerHearsOfEachEndAndAHugeHeaderIsNamed) {
  std::atomic<int> ends{0};
  downloader.SetFinishedListener([&ends] { ++ends; });
  EXPECT_EQ(Fetch(Url("/huge-header")).error, "response header too large");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (ends == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_EQ(ends, 1);
  downloader.SetFinishedListener({});
  EXPECT_TRUE(Fetch(Url("/redirect/0")).ok);
  EXPECT_EQ(ends, 1);
}

TEST_F(PoliteHttpTest, AJsonFeedArrivesAsRss) {
  const std::string feed =
      R"({"version":"https://jsonfeed.org/version/1.1","title":"J","items":[{"id":"1","content_text":"x"}]})";
  for (const char* type : {"application/feed+json", "application/json"}) {
    const DownloadResult result = Fetch(Echo(feed, type));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.convertedFromJsonFeed) << type;
    EXPECT_TRUE(result.text.starts_with("<?xml")) << result.text;
    EXPECT_NE(result.text.find("<title>J</title>"), std::string::npos);
  }
  // Other JSON, and JSON Feeds fetched as web pages, stay as they are.
  EXPECT_EQ(Fetch(Echo(R"({"version":1})", "application/json")).text, R"({"version":1})");
  const DownloadResult page = Await(*downloader.Start(Echo(feed, "application/feed+json"), DownloadKind::WebPage));
  EXPECT_EQ(page.text, feed);

  const DownloadResult broken = Fetch(Echo("{\"version\":", "application/feed+json"));
  EXPECT_FALSE(broken.ok);
  EXPECT_EQ(broken.error, "the JSON Feed is not valid JSON");
}

}  // namespace
}  // namespace vrel
