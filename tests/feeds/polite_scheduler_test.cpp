// The scheduler with servers that answer conditional requests, move feeds,
// refuse them, or send a web page that names the feed.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "feed_test_support.h"
#include "feeds/add_feed.h"
#include "feeds/asked_schedule.h"
#include "feeds/news_engine.h"
#include "feeds/scheduler.h"
#include "feeds/time_stamp.h"

namespace vrel {
namespace {

using test::FeedAttribute;
using test::StoredItems;

// A source whose downloads end when the test says, with the result it gives.
class ScriptedDownloads final : public DownloadSource {
 public:
  struct Started {
    std::string address;
    DownloadKind kind;
    Validators validators;
  };

  std::unique_ptr<Download> Start(const std::string& address, DownloadKind kind) override {
    return StartConditional(address, kind, {});
  }
  std::unique_ptr<Download> StartConditional(const std::string& address, DownloadKind kind,
                                             const Validators& validators) override {
    started.push_back({address, kind, validators});
    return std::make_unique<Scripted>(*this);
  }

  std::vector<Started> started;
  std::unique_ptr<DownloadResult> next;  // the running download's outcome, once set

 private:
  class Scripted final : public Download {
   public:
    explicit Scripted(ScriptedDownloads& source) : source_(source) {}
    bool Poll() override { return source_.next != nullptr; }
    const DownloadResult& Result() const override { return *source_.next; }
    void Abort() override {}

   private:
    ScriptedDownloads& source_;
  };
};

DownloadResult Ok(const std::string& text) {
  DownloadResult result;
  result.ok = true;
  result.httpStatus = 200;
  result.text = text;
  return result;
}

DownloadResult Refused(long status, int64_t retryAfter = -1) {
  DownloadResult result;
  result.httpStatus = status;
  result.error = "HTTP error " + std::to_string(status);
  result.retryAfterSeconds = retryAfter;
  return result;
}

DownloadResult NotModified(const std::string& etag = {}) {
  DownloadResult result;
  result.ok = true;
  result.httpStatus = 304;
  result.notModified = true;
  result.etag = etag;
  return result;
}

const std::string kFeed =
    "<rss version=\"2.0\"><channel><title>Feed</title>"
    "<item><title>One</title><link>http://a/1</link></item>"
    "<item><title>Two</title><link>http://a/2</link></item></channel></rss>";

class PoliteSchedulerTest : public testing::Test {
 protected:
  PoliteSchedulerTest() {
    engine.SetObserver(&observer);
    scheduler.SetLimits({1, 1});  // the scripted source runs one download at a time
  }

  // Ticks until a download runs and lets it end with result.
  void Download(DownloadResult result) {
    downloads.next.reset();
    scheduler.Tick();
    ASSERT_FALSE(scheduler.Idle()) << "nothing was due";
    downloads.next = std::make_unique<DownloadResult>(std::move(result));
    scheduler.Tick();
  }
  // Whether an idle tick starts a download now.
  bool Due() {
    const size_t before = downloads.started.size();
    scheduler.Tick();
    const bool started = downloads.started.size() > before;
    scheduler.StopDownloads();
    return started;
  }
  std::string Attribute(const char* name, const std::string& uri = "http://a/") {
    return FeedAttribute(engine, uri, name);
  }
  int AddFeed(const std::string& uri) {
    std::lock_guard lock(engine.Lock());
    return engine.Database().AddFeed(uri, "A");
  }
  void SetPeriod(const std::string& period) {
    std::lock_guard lock(engine.Lock());
    ASSERT_TRUE(engine.Database().FindFeedByUri("http://a/"));
    engine.Database().Document().SetAttribute("period", period);
  }
  std::string AskedNote() {
    std::lock_guard lock(engine.Lock());
    if (!engine.Database().FindFeedByUri("http://a/")) return "no feed";
    XmlDoc& db = engine.Database().Document();
    return AskedWaitNote(db, db.GetCurrentPosition(), now);
  }
  std::string LatestMessage() const { return engine.StatusMessages().empty() ? "" : engine.StatusMessages().front(); }

  std::time_t now = ToTime({2024, 3, 1, 9, 0, 0});
  MemorySettingsStore settings;
  test::RecordingObserver observer;
  ScriptedDownloads downloads;
  NewsEngine engine{settings, [this] { return now; }, &downloads};
  Scheduler& scheduler = engine.DownloadScheduler();
};

TEST_F(PoliteSchedulerTest, ValidatorsAreStoredAndSentBack) {
  AddFeed("http://a/");
  DownloadResult first = Ok(kFeed);
  first.etag = "\"v1\"";
  first.lastModified = "Sat, 01 Jun 2024 10:00:00 GMT";
  Download(first);
  EXPECT_EQ(downloads.started[0].validators.etag, "");  // nothing stored yet
  EXPECT_EQ(Attribute("etag"), "\"v1\"");
  EXPECT_EQ(Attribute("lastmodified"), "Sat, 01 Jun 2024 10:00:00 GMT");

  ASSERT_TRUE(scheduler.QueueFeed(1));
  Download(Ok(kFeed));  // the server stopped sending validators
  EXPECT_EQ(downloads.started[1].validators.etag, "\"v1\"");
  EXPECT_EQ(downloads.started[1].validators.lastModified, "Sat, 01 Jun 2024 10:00:00 GMT");
  EXPECT_EQ(Attribute("etag"), "");
  EXPECT_EQ(Attribute("lastmodified"), "");
}

TEST_F(PoliteSchedulerTest, NotModifiedMergesTheStoredCopyAsAnUnchangedDownload) {
  AddFeed("http://a/");
  DownloadResult first = Ok(kFeed);
  first.etag = "\"v1\"";
  Download(first);
  const auto items = StoredItems(engine, "http://a/");
  ASSERT_EQ(items.size(), 2u);
  {
    std::lock_guard lock(engine.Lock());
    ASSERT_TRUE(engine.Database().FindFeedByUri("http://a/"));
    XmlDoc& db = engine.Database().Document();
    db.SetAttribute("viewed", db.GetAttribute("arrivetime"));  // the user read it
    db.SetAttribute("failedtime", FormatTimeStamp(now));
    db.SetAttribute("numattempts", "3");
  }
  now += 13 * 3600;
  Download(NotModified());
  EXPECT_EQ(scheduler.ConsecutiveFailures(), 0);
  EXPECT_EQ(engine.StatusLine(), "Ready");
  EXPECT_EQ(StoredItems(engine, "http://a/"), items);
  EXPECT_EQ(Attribute("arrivetime"), FormatTimeStamp(now));
  EXPECT_EQ(Attribute("viewed"), FormatTimeStamp(now));  // still read
  EXPECT_EQ(Attribute("failedtime"), "");
  EXPECT_EQ(Attribute("numattempts"), "");
  EXPECT_EQ(Attribute("etag"), "\"v1\"");  // kept: the 304 did not repeat it
}

TEST_F(PoliteSchedulerTest, NoValidatorsAreSentWithoutAStoredCopyOrForWebPages) {
  {
    std::lock_guard lock(engine.Lock());
    engine.Database().AddFeed("http://a/", "A");
    engine.Database().Document().SetAttribute("etag", "\"v1\"");  // but no stored copy
    engine.Database().AddFeed("http://page/", "P", "HTML");
    engine.Database().Document().SetAttribute("etag", "\"v2\"");
  }
  ASSERT_TRUE(scheduler.QueueFeed(1));
  Download(NotModified());
  EXPECT_EQ(downloads.started[0].validators.etag, "");
  ASSERT_TRUE(scheduler.QueueFeed(2));
  Download(Ok("<p>no values</p>"));
  EXPECT_EQ(downloads.started[1].kind, DownloadKind::WebPage);
  EXPECT_EQ(downloads.started[1].validators.etag, "");
}

TEST_F(PoliteSchedulerTest, NotModifiedWithNothingStoredIsAFailure) {
  DownloadRequest request;
  request.address = "http://x/";
  scheduler.Queue(request);
  Download(NotModified());
  EXPECT_TRUE(scheduler.LastDownloadFailed());
  EXPECT_NE(LatestMessage().find("no copy of the feed is stored"), std::string::npos);
}

TEST_F(PoliteSchedulerTest, APermanentRedirectMovesTheFeed) {
  AddFeed("http://a/");
  DownloadResult moved = Ok(kFeed);
  moved.permanentUrl = moved.finalUrl = "http://b/";
  Download(moved);
  EXPECT_EQ(Attribute("feedid", "http://b/"), "1");
  EXPECT_EQ(Attribute("feedid", "http://a/"), "(no feed)");
  EXPECT_EQ(LatestMessage().find("<A href=\"http://a/\">http://a/</A> moved permanently to "
                                 "<A href=\"http://b/\">http://b/</A>"),
            0u)
      << LatestMessage();

  // A temporary redirect changes nothing.
  ASSERT_TRUE(scheduler.QueueFeed(1));
  DownloadResult temporary = Ok(kFeed);
  temporary.finalUrl = "http://c/";
  Download(temporary);
  EXPECT_EQ(Attribute("feedid", "http://b/"), "1");
}

TEST_F(PoliteSchedulerTest, AMoveOntoAnotherFeedsAddressKeepsBothFeeds) {
  AddFeed("http://a/");
  AddFeed("http://b/");
  ASSERT_TRUE(scheduler.QueueFeed(1));
  DownloadResult moved = Ok(kFeed);
  moved.permanentUrl = "http://b/";
  Download(moved);
  EXPECT_EQ(Attribute("feedid", "http://a/"), "1");
  EXPECT_EQ(Attribute("feedid", "http://b/"), "2");
  EXPECT_NE(LatestMessage().find("this one keeps its own"), std::string::npos);
}

// The Add box never makes a second copy of a listed feed: not for its own
// address, nor for one that moved to it for good.
TEST_F(PoliteSchedulerTest, AnAddedFeedTheListHasIsSaidToBeThere) {
  AddFeed("http://b/");
  ASSERT_TRUE(AddFeedInput(engine, "http://b/"));
  EXPECT_EQ(scheduler.QueuedRequests(), 0u);
  EXPECT_EQ(engine.StatusLine(), "Already in the list: A");

  ASSERT_TRUE(AddFeedInput(engine, "http://old/"));
  DownloadResult moved = Ok(kFeed);
  moved.permanentUrl = moved.finalUrl = "http://b/";
  Download(moved);
  EXPECT_EQ(Attribute("feedid", "http://old/"), "(no feed)");
  EXPECT_EQ(StoredItems(engine, "http://b/").size(), 2u);
  EXPECT_EQ(engine.StatusLine(), "Already in the list: A");
  EXPECT_NE(LatestMessage().find("That feed is in the list already"), std::string::npos) << LatestMessage();
}

TEST_F(PoliteSchedulerTest, ValidatorsWithControlCharactersAreNotKept) {
  AddFeed("http://a/");
  DownloadResult first = Ok(kFeed);
  first.etag = "\"v1\"\x1b]0;owned\x07";
  first.lastModified = "Sat, 01 Jun 2024 10:00:00 GMT";
  Download(first);
  EXPECT_EQ(Attribute("etag"), "");
  EXPECT_EQ(Attribute("lastmodified"), "Sat, 01 Jun 2024 10:00:00 GMT");
}

TEST_F(PoliteSchedulerTest, AGoneFeedGetsNoMoreAutomaticDownloads) {
  AddFeed("http://a/");
  Download(Refused(410));
  EXPECT_EQ(Attribute("numattempts"), "15");
  EXPECT_EQ(Attribute("failedtime"), FormatTimeStamp(now));
  EXPECT_NE(LatestMessage().find("gone for good"), std::string::npos);
  now += 10 * 86400;
  EXPECT_FALSE(Due());

  // Update still tries, and a success brings the feed back.
  ASSERT_TRUE(scheduler.QueueFeed(1));
  Download(Ok(kFeed));
  EXPECT_EQ(Attribute("numattempts"), "");
  EXPECT_EQ(Attribute("failedtime"), "");
}

TEST_F(PoliteSchedulerTest, RetryAfterPostponesTheNextAutomaticAttempt) {
  AddFeed("http://a/");
  Download(Refused(429, 7200));
  EXPECT_EQ(Attribute("retryafter"), FormatTimeStamp(now + 7200));
  EXPECT_EQ(Attribute("failedtime"), FormatTimeStamp(now));  // booked as a failure
  EXPECT_NE(LatestMessage().find("asks to wait"), std::string::npos);
  now += 3600;  // the 15-minute retry spacing has passed, the server's wait has not
  EXPECT_FALSE(Due());
  now += 3601;
  EXPECT_TRUE(Due());

  // A success forgets the wait.
  ASSERT_TRUE(scheduler.QueueFeed(1));
  Download(Ok(kFeed));
  EXPECT_EQ(Attribute("retryafter"), "");
}

TEST_F(PoliteSchedulerTest, AServiceUnavailableWithoutRetryAfterIsAnOrdinaryFailure) {
  AddFeed("http://a/");
  Download(Refused(503));
  EXPECT_EQ(Attribute("retryafter"), "");
  EXPECT_EQ(Attribute("failedtime"), FormatTimeStamp(now));
  now += 15 * 60;
  EXPECT_TRUE(Due());
}

// A feed whose channel asks how often it is read.
std::string Asking(const std::string& asks) {
  return "<rss version=\"2.0\" xmlns:sy=\"http://purl.org/rss/1.0/modules/syndication/\"><channel>"
         "<title>Feed</title>" + asks + "<item><title>One</title><link>http://a/1</link></item></channel></rss>";
}

TEST_F(PoliteSchedulerTest, TheFeedAndItsServerOnlyEverLengthenThePeriodAndAtMostToADay) {
  AddFeed("http://a/");
  SetPeriod("1 hour");
  Download(Ok(Asking("<ttl>180</ttl>")));
  EXPECT_EQ(Attribute("askedperiod"), "10800");
  EXPECT_EQ(AskedNote(), "next download not before 12:00: the feed asks for 3 hours");
  now += 3601;
  EXPECT_FALSE(Due());
  ASSERT_TRUE(scheduler.QueueFeed(1));
  Download(NotModified());  // an Update goes at once, and the stored copy still asks
  EXPECT_EQ(Attribute("askedperiod"), "10800");
  now += 10799;
  EXPECT_FALSE(Due());
  now += 2;
  EXPECT_TRUE(Due());

  // A ttl shorter than the period changes nothing.
  ASSERT_TRUE(scheduler.QueueFeed(1));
  Download(Ok(Asking("<ttl>5</ttl>")));
  EXPECT_EQ(AskedNote(), "");
  now += 3601;
  EXPECT_TRUE(Due());

  DownloadResult fresh = Ok(Asking(""));
  fresh.freshSeconds = 2 * 3600;
  ASSERT_TRUE(scheduler.QueueFeed(1));
  Download(fresh);
  EXPECT_EQ(Attribute("askedperiod"), "");
  EXPECT_NE(AskedNote().find(": the server asks for 2 hours"), std::string::npos);
  now += 3601;
  EXPECT_FALSE(Due());
  now += 3600;
  EXPECT_TRUE(Due());

  // Weekly is heeded for a day only.
  ASSERT_TRUE(scheduler.QueueFeed(1));
  Download(Ok(Asking("<sy:updatePeriod> weekly </sy:updatePeriod><sy:updateFrequency>1</sy:updateFrequency>")));
  EXPECT_EQ(Attribute("freshfor"), "");
  now += 86399;
  EXPECT_FALSE(Due());
  now += 1;
  EXPECT_TRUE(Due());
}

TEST_F(PoliteSchedulerTest, SkippedHoursAndDaysWaitForTheFirstHourAllowed) {
  AddFeed("http://a/");
  SetPeriod("1 hour");
  const std::time_t periodEnd = now + 3600;
  std::tm utc{};
  gmtime_r(&periodEnd, &utc);
  const int first = utc.tm_hour, second = (utc.tm_hour + 1) % 24;
  Download(Ok(Asking("<skipHours><hour>" + std::to_string(first) + "</hour><hours>" + std::to_string(second) +
                     "</hours><hour>noon</hour></skipHours>")));
  const std::time_t allowed = periodEnd - periodEnd % 3600 + 2 * 3600;
  now = periodEnd + 1;
  EXPECT_FALSE(Due());
  const std::string hours = std::to_string(std::min(first, second)) + ", " + std::to_string(std::max(first, second));
  EXPECT_NE(AskedNote().find(": the feed skips the hours " + hours + " (UTC)"), std::string::npos) << AskedNote();
  now = allowed - 1;
  EXPECT_FALSE(Due());
  now = allowed;
  EXPECT_TRUE(Due());

  // A feed that skips every day is still read once a day; old examples'
  // spellings count too.
  ASSERT_TRUE(scheduler.QueueFeed(1));
  Download(Ok(Asking("<skipdays><day>Monday</day><day>tuesday</day><days>Wednesday</days><day>Thursday</day>"
                     "<day>Friday</day><day>Saturday</day><day>Sunday</day></skipdays>")));
  EXPECT_EQ(Attribute("skiphours"), "");
  EXPECT_EQ(Attribute("skipdays"), "Sunday Monday Tuesday Wednesday Thursday Friday Saturday");
  now += 86399;
  EXPECT_FALSE(Due());
  now += 1;
  EXPECT_TRUE(Due());
}

const std::string kPage =
    "<!DOCTYPE html><html><head><title>Blog</title>"
    "<!-- <link rel=\"alternate\" type=\"application/rss+xml\" href=\"/commented\"> -->"
    "<link rel=\"stylesheet\" href=\"/s.css\">"
    "<link rel=\"alternate\" type=\"application/atom+xml\" href=\"feeds/atom.xml\">"
    "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"http://other/rss\">"
    "</head><body>Hello</body></html>";

TEST_F(PoliteSchedulerTest, AnAddedPageIsReplacedByTheFeedItNames) {
  ASSERT_TRUE(AddFeedInput(engine, "http://blog/home/index.html"));
  scheduler.Tick();
  DownloadResult page = Ok(kPage);
  page.contentType = "text/html; charset=utf-8";
  page.finalUrl = "http://blog/home/index.html";
  downloads.next = std::make_unique<DownloadResult>(page);
  scheduler.Tick();
  ASSERT_EQ(downloads.started.size(), 2u);
  EXPECT_EQ(downloads.started[1].address, "http://blog/home/feeds/atom.xml");
  ASSERT_EQ(scheduler.Running().size(), 1u);  // at once, so vrel-cli add waits for it
  EXPECT_FALSE(scheduler.Running().front().webPage);
  EXPECT_EQ(engine.StatusLine(), "found feed http://blog/home/feeds/atom.xml, downloading");
  EXPECT_EQ(LatestMessage().find("Found feed <A href=\"http://blog/home/feeds/atom.xml\">"), 0u);

  downloads.next = std::make_unique<DownloadResult>(Ok(kFeed));
  scheduler.Tick();
  EXPECT_EQ(Attribute("title", "http://blog/home/feeds/atom.xml"), "Feed");
  EXPECT_EQ(Attribute("title", "http://blog/home/index.html"), "(no feed)");
}

TEST_F(PoliteSchedulerTest, OnlyTheAddBoxLooksForFeedsInPages) {
  AddFeed("http://blog/");
  DownloadResult page = Ok(kPage);
  page.contentType = "text/html";
  Download(page);  // an Update of a feed that became a page
  EXPECT_EQ(downloads.started.size(), 1u);
}

TEST_F(PoliteSchedulerTest, APageWithoutFeedLinksFailsAsBefore) {
  ASSERT_TRUE(AddFeedInput(engine, "http://blog/"));
  scheduler.Tick();
  DownloadResult page = Ok("<html><head><title>x</title></head><body><p>broken<br></body></html>");
  page.contentType = "text/html";
  downloads.next = std::make_unique<DownloadResult>(page);
  scheduler.Tick();
  EXPECT_EQ(downloads.started.size(), 1u);
  EXPECT_TRUE(scheduler.Idle());
  EXPECT_TRUE(scheduler.LastDownloadFailed());
}

}  // namespace
}  // namespace vrel
