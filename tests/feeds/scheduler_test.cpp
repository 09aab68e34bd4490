#include "feeds/scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "feed_test_support.h"
#include "feeds/news_engine.h"
#include "feeds/time_stamp.h"

namespace vrel {
namespace {

using test::FeedAttribute;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// A transfer of the fake source; the test decides when and how it ends.
struct FakeTransfer {
  std::string address;
  DownloadKind kind = DownloadKind::XmlDocument;
  bool finished = false;
  bool aborted = false;
  DownloadResult result;
};

class FakeDownload final : public Download {
 public:
  explicit FakeDownload(std::shared_ptr<FakeTransfer> transfer) : transfer_(std::move(transfer)) {}
  ~FakeDownload() override { Abort(); }
  bool Poll() override { return transfer_->finished; }
  const DownloadResult& Result() const override { return transfer_->result; }
  void Abort() override {
    if (transfer_->finished) return;
    transfer_->finished = transfer_->aborted = true;
    transfer_->result.error = "download aborted";
  }

 private:
  std::shared_ptr<FakeTransfer> transfer_;
};

class FakeDownloads final : public DownloadSource {
 public:
  std::unique_ptr<Download> Start(const std::string& address, DownloadKind kind) override {
    auto transfer = std::make_shared<FakeTransfer>();
    transfer->address = address;
    transfer->kind = kind;
    transfers.push_back(transfer);
    return std::make_unique<FakeDownload>(transfers.back());
  }
  std::vector<std::string> Addresses() const {
    std::vector<std::string> addresses;
    for (const auto& transfer : transfers) addresses.push_back(transfer->address);
    return addresses;
  }
  void Succeed(const std::string& text) {
    transfers.back()->finished = true;
    transfers.back()->result.ok = true;
    transfers.back()->result.text = text;
  }
  void Fail(const std::string& error) {
    transfers.back()->finished = true;
    transfers.back()->result.error = error;
  }
  // Ends the unfinished transfer of address.
  void Finish(const std::string& address, DownloadResult result) {
    for (const auto& transfer : transfers) {
      if (transfer->address != address || transfer->finished) continue;
      transfer->finished = true;
      transfer->result = std::move(result);
      return;
    }
    ADD_FAILURE() << "no transfer of " << address << " runs";
  }
  std::vector<std::string> Unfinished() const {
    std::vector<std::string> addresses;
    for (const auto& transfer : transfers)
      if (!transfer->finished) addresses.push_back(transfer->address);
    return addresses;
  }

  std::vector<std::shared_ptr<FakeTransfer>> transfers;
};

DownloadResult Feed(const std::string& text) {
  DownloadResult result;
  result.ok = true;
  result.text = text;
  return result;
}

DownloadResult Failed(const std::string& error) {
  DownloadResult result;
  result.error = error;
  return result;
}

// The most transfers that run at once, in all and to one host.
struct Crowding {
  size_t all = 0;
  size_t oneHost = 0;
};
Crowding CrowdingOf(const std::vector<std::string>& running) {
  std::map<std::string, size_t> perHost;
  for (const std::string& address : running) ++perHost[HostOf(address)];
  Crowding crowding{running.size(), 0};
  for (const auto& [host, count] : perHost) crowding.oneHost = std::max(crowding.oneHost, count);
  return crowding;
}

struct StatusRecorder : test::RecordingObserver {
  void StatusLineChanged(const std::string& text) override { statusLines.push_back(text); }
  std::vector<std::string> statusLines;
};

std::string Rss(const std::string& item) {
  return "<rss version=\"2.0\"><channel><title>Feed</title><item><title>" + item + "</title></item></channel></rss>";
}

// The rules of each feed, one download at a time; the tests of downloads
// side by side follow further down.
class SchedulerTest : public testing::Test {
 protected:
  SchedulerTest() {
    engine.SetObserver(&observer);
    scheduler.SetLimits({1, 1});
  }

  // Adds a FEED with the given attributes after "uri", "title" and "feedid".
  int AddFeed(const std::string& uri, std::vector<std::pair<const char*, std::string>> attributes = {}) {
    std::lock_guard lock(engine.Lock());
    const int id = engine.Database().AddFeed(uri, "Title of " + uri);
    for (const auto& [name, value] : attributes) engine.Database().Document().SetAttribute(name, value);
    return id;
  }
  std::string Attribute(const std::string& uri, const char* name) { return FeedAttribute(engine, uri, name); }
  void SetAttribute(const std::string& uri, const char* name, const std::string& value) {
    std::lock_guard lock(engine.Lock());
    ASSERT_TRUE(engine.Database().FindFeedByUri(uri));
    engine.Database().Document().SetAttribute(name, value);
  }
  std::string Ago(int seconds) const { return FormatTimeStamp(now - seconds); }

  // The download that runs now, after a tick when none ran; empty when
  // none runs.
  std::string Started() {
    if (scheduler.Idle()) scheduler.Tick();
    return scheduler.Idle() ? "" : scheduler.Running().back().address;
  }
  // Lets the running download end with text; the scheduler takes it at
  // once, as the download component's wake-up makes it do.
  void SucceedWith(const std::string& text) {
    downloads.Succeed(text);
    scheduler.Poll();
  }
  void FailWith(const std::string& error) {
    downloads.Fail(error);
    scheduler.Poll();
  }
  // The start of a failure message: the address as a link and the time.
  std::string Link(const std::string& address) const { return LinkAt(address, now); }
  static std::string LinkAt(const std::string& address, std::time_t time) {
    return "<A href=\"" + address + "\">" + address + "</A>\r\n" + FormatUserDateTime(time);
  }

  std::time_t now = ToTime({2024, 3, 1, 9, 0, 0});
  MemorySettingsStore settings;
  StatusRecorder observer;
  FakeDownloads downloads;
  NewsEngine engine{settings, [this] { return now; }, &downloads};
  Scheduler& scheduler = engine.DownloadScheduler();
};

TEST_F(SchedulerTest, ANewFeedIsDownloadedOnTheFirstIdleTickAndMerged) {
  AddFeed("http://a/");
  EXPECT_TRUE(scheduler.Idle());
  EXPECT_EQ(Started(), "http://a/");
  EXPECT_EQ(downloads.transfers[0]->kind, DownloadKind::XmlDocument);
  EXPECT_EQ(scheduler.Running().front().title, "Title of http://a/");
  EXPECT_EQ(engine.StatusLine(), "downloading Title of http://a/");
  scheduler.Tick();  // not finished yet
  EXPECT_EQ(scheduler.Running().size(), 1u);

  SucceedWith(Rss("one"));
  EXPECT_EQ(engine.StatusLine(), "Ready");
  EXPECT_TRUE(scheduler.Idle());
  EXPECT_EQ(Attribute("http://a/", "arrivetime"), Ago(0));
  EXPECT_EQ(test::StoredItems(engine, "http://a/").size(), 1u);
  EXPECT_EQ(Started(), "");  // downloaded now, so not due for 12 hours
  now += 12 * 3600 + 1;
  EXPECT_EQ(Started(), "http://a/");
}

TEST_F(SchedulerTest, AFeedIsDueOnceItsPeriodHasPassed) {
  AddFeed("http://hourly/", {{"period", "1 hour"}, {"arrivetime", Ago(3600)}});
  AddFeed("http://short/", {{"period", "5 minutes"}, {"arrivetime", Ago(19 * 60)}});  // at least 20 minutes
  AddFeed("http://bad/", {{"arrivetime", "20240301 09000"}});  // 14 characters: no valid time
  EXPECT_EQ(Started(), "http://bad/");
  SucceedWith(Rss("x"));
  EXPECT_EQ(Started(), "");
  now += 1;
  EXPECT_EQ(Started(), "http://hourly/");
  SucceedWith(Rss("x"));
  now += 60;
  EXPECT_EQ(Started(), "http://short/");
}

TEST_F(SchedulerTest, FailingFeedsAreRetriedAtGrowingSpacingsUpToFifteenTimes) {
  AddFeed("http://four/", {{"failedtime", Ago(20 * 60)}, {"numattempts", "4"}});
  EXPECT_EQ(Started(), "http://four/");
  EXPECT_EQ(Attribute("http://four/", "numattempts"), "5");
  FailWith("HTTP error 500 Internal Server Error");
  EXPECT_EQ(engine.StatusLine(), "<A type=\"Errors\">error</A> http://four/");
  EXPECT_EQ(engine.StatusMessages().front(),
            Link("http://four/") + " (5 auto attempts)\r\nHTTP error 500 Internal Server Error");
  EXPECT_EQ(Attribute("http://four/", "failedtime"), Ago(0));

  now += 20 * 60;
  EXPECT_EQ(Started(), "");  // five attempts: an hour apart
  now += 40 * 60 - 1;
  EXPECT_EQ(Started(), "");
  now += 1;
  EXPECT_EQ(Started(), "http://four/");
  EXPECT_EQ(Attribute("http://four/", "numattempts"), "6");
  scheduler.StopDownloads();

  SetAttribute("http://four/", "numattempts", "10");
  SetAttribute("http://four/", "failedtime", Ago(0));
  now += 24 * 3600 - 1;
  EXPECT_EQ(Started(), "");  // ten attempts: a day apart
  now += 1;
  EXPECT_EQ(Started(), "http://four/");
  scheduler.StopDownloads();

  SetAttribute("http://four/", "numattempts", "15");
  now += 30 * 24 * 3600;
  EXPECT_EQ(Started(), "");  // no more automatic attempts
  EXPECT_TRUE(scheduler.QueueFeed(1));
  EXPECT_FALSE(scheduler.QueueFeed(2));
  EXPECT_EQ(Started(), "http://four/");
  EXPECT_EQ(Attribute("http://four/", "numattempts"), "15");  // an Update is no automatic attempt
  SucceedWith(Rss("back"));
  EXPECT_EQ(Attribute("http://four/", "failedtime"), "");
  EXPECT_EQ(Attribute("http://four/", "numattempts"), "");
}

TEST_F(SchedulerTest, ThreeFailuresInARowSuspectTheConnection) {
  for (const char* uri : {"http://a/", "http://b/", "http://c/"}) AddFeed(uri);
  const std::time_t firstFailure = now;
  for (const char* uri : {"http://a/", "http://b/", "http://c/"}) {
    EXPECT_EQ(Started(), uri);
    FailWith("Could not resolve host");
    now += 60;
  }
  EXPECT_EQ(scheduler.ConsecutiveFailures(), 3);
  const std::vector<std::string> messages = engine.StatusMessages();
  EXPECT_EQ(messages[1], LinkAt("http://b/", firstFailure + 60) + "\r\nCould not resolve host");
  const std::string warning = "\r\nMay be disconnected from Internet (3 consecutive download failures since " +
                              FormatUserDateTime(firstFailure) + ")";
  EXPECT_NE(messages[0].find(warning + "\r\nCould not resolve host"), std::string::npos) << messages[0];

  // Retries while the connection is suspect do not count against the feeds.
  now += 15 * 60;
  EXPECT_EQ(Started(), "http://a/");
  EXPECT_EQ(Attribute("http://a/", "numattempts"), "");
  FailWith("Could not resolve host");
  EXPECT_NE(engine.StatusMessages()[0].find("(4 consecutive download failures since " +
                                            FormatUserDateTime(firstFailure) + ")"),
            std::string::npos);

  EXPECT_EQ(Started(), "http://b/");
  SucceedWith(Rss("x"));
  EXPECT_EQ(scheduler.ConsecutiveFailures(), 0);
  EXPECT_EQ(Started(), "http://c/");
  EXPECT_EQ(Attribute("http://c/", "numattempts"), "1");
  FailWith("Could not resolve host");
  EXPECT_EQ(engine.StatusMessages()[0].find("May be disconnected"), std::string::npos);
}

TEST_F(SchedulerTest, QueuedRequestsGoFirstInTheirOrder) {
  AddFeed("http://a/");
  AddFeed("http://b/", {{"arrivetime", Ago(0)}});
  AddFeed("http://c/");
  EXPECT_EQ(Started(), "http://a/");
  scheduler.QueueAllFeeds();  // while a download runs
  scheduler.Queue({"", "http://added/", "", false});
  scheduler.Queue({"", "", "", false});  // nothing to download
  EXPECT_EQ(scheduler.QueuedRequests(), 4u);
  AddFeed("http://d/");  // due, but scheduled feeds wait for the queue
  SucceedWith(Rss("a"));
  for (const char* uri : {"http://a/", "http://b/", "http://c/", "http://added/", "http://d/"}) {
    EXPECT_EQ(Started(), uri);
    SucceedWith(Rss("x"));
  }
  EXPECT_EQ(engine.StatusLine(), "Ready");
  EXPECT_EQ(Started(), "");
  EXPECT_EQ(Attribute("http://added/", "title"), "Feed");
}

TEST_F(SchedulerTest, AWebPageIsPolledUntilItsSourceIsThere) {
  scheduler.Queue({"", "http://shop/", "Price:~price", true});
  EXPECT_EQ(Started(), "http://shop/");
  EXPECT_EQ(downloads.transfers[0]->kind, DownloadKind::WebPage);
  EXPECT_TRUE(scheduler.Running().front().webPage);
  EXPECT_EQ(engine.StatusLine(), "downloading http://shop/");
  for (int i = 0; i < 3; ++i) scheduler.Tick();
  EXPECT_EQ(scheduler.Running().size(), 1u);
  SucceedWith("<html><td>Price:</td><td><b>&nbsp;42 </b></td></html>");
  EXPECT_EQ(engine.StatusLine(), "Ready");
  EXPECT_EQ(Attribute("http://shop/", "type"), "HTML");

  // A page without the values is "no items", listed with the page's start.
  const std::string page = "<html>\r\n<p>" + std::string(200, 'x') + "</p></html>";
  scheduler.Queue({"", "http://other/", "Price:", true});
  EXPECT_EQ(Started(), "http://other/");
  SucceedWith(page);
  EXPECT_EQ(engine.StatusLine(), "<A type=\"Errors\">no items</A> http://other/");
  EXPECT_EQ(engine.StatusMessages().front(), Link("http://other/") + "\r\nhtml>\r\np>" + std::string(139, 'x'));
  EXPECT_EQ(Attribute("http://other/", "failedtime"), Ago(0));  // the new feed stays, failing
}

TEST_F(SchedulerTest, AFailureForAnAddressThatIsNoFeedIsListedButBookedNowhere) {
  AddFeed("http://kept/", {{"arrivetime", Ago(0)}});
  const std::string odd = "http://x/?a=1&b=\"<2>\"";
  scheduler.Queue({"", odd, "", false});
  EXPECT_EQ(Started(), odd);
  EXPECT_EQ(engine.StatusLine(), "downloading http://x/?a=1&amp;b=&quot;&lt;2&gt;&quot;");
  FailWith("HTTP error 404 Not Found");
  const std::string escaped = "http://x/?a=1&amp;b=&quot;&lt;2&gt;&quot;";
  EXPECT_EQ(engine.StatusLine(), "<A type=\"Errors\">error</A> " + escaped);
  EXPECT_EQ(engine.StatusMessages().front(), Link(escaped) + "\r\nHTTP error 404 Not Found");
  EXPECT_EQ(Attribute(odd, "uri"), "(no feed)");
  EXPECT_EQ(Attribute("http://kept/", "failedtime"), "");

  // A download that is no feed document: the parser's reason is the detail.
  scheduler.Queue({"", "http://page/", "", false});
  EXPECT_EQ(Started(), "http://page/");
  SucceedWith("<html><body></html>");
  EXPECT_NE(engine.StatusMessages().front().find("\r\nnot well-formed XML: "), std::string::npos)
      << engine.StatusMessages().front();
  EXPECT_EQ(Attribute("http://page/", "uri"), "(no feed)");
  EXPECT_GE(observer.feedListChanges, 2);
}

TEST_F(SchedulerTest, AFeedWithoutAddressDoesNotHoldUpTheOthers) {
  AddFeed("");
  AddFeed("http://b/");
  EXPECT_EQ(Started(), "http://b/");
}

TEST_F(SchedulerTest, AChangeOfDataFileDropsTheQueueAndTheRunningDownload) {
  TempDir dir;
  engine.OpenDataFile(dir.Path("one.xml"));
  AddFeed("http://a/");
  const std::string other = dir.Path("two.xml");
  WriteFile(other, "<FEEDSTATUS><FEED uri=\"http://z/\" arrivetime=\"" + Ago(0) + "\"/></FEEDSTATUS>");
  EXPECT_EQ(Started(), "http://a/");
  scheduler.QueueAllFeeds();
  ASSERT_TRUE(engine.ChangeDataFile(other));
  EXPECT_TRUE(downloads.transfers[0]->aborted);
  EXPECT_TRUE(scheduler.Idle());
  EXPECT_EQ(scheduler.QueuedRequests(), 0u);
  EXPECT_EQ(engine.StatusLine(), "Ready");
  EXPECT_TRUE(engine.StatusMessages().empty());
  EXPECT_EQ(Started(), "");
}

TEST_F(SchedulerTest, IdleTicksRefreshTheListEachMinuteAndSaveAtMostOnceAMinute) {
  TempDir dir;
  const std::string path = dir.Path("feeds.xml");
  engine.OpenDataFile(path);
  AddFeed("http://a/", {{"arrivetime", Ago(0)}});
  const int changes = observer.feedListChanges;
  for (int i = 1; i < kTicksPerMinute; ++i) scheduler.Tick();
  EXPECT_EQ(observer.feedListChanges, changes);
  scheduler.Tick();
  EXPECT_EQ(observer.feedListChanges, changes + 1);
  EXPECT_EQ(ReadFile(path), "");  // the clock has not moved

  now += 60;
  scheduler.Tick();
  engine.WaitForSave();
  EXPECT_NE(ReadFile(path).find("uri=\"http://a/\""), std::string::npos);
  SetAttribute("http://a/", "title", "Renamed");
  now += 59;
  scheduler.Tick();
  engine.WaitForSave();
  EXPECT_EQ(ReadFile(path).find("Renamed"), std::string::npos);
  now += 1;
  scheduler.Tick();
  engine.WaitForSave();
  EXPECT_NE(ReadFile(path).find("Renamed"), std::string::npos);
}

TEST_F(SchedulerTest, ASaveThatKeepsFailingIsReportedOnce) {
  TempDir dir;
  engine.OpenDataFile(dir.Path("missing/feeds.xml"));
  AddFeed("http://a/", {{"arrivetime", Ago(0)}});
  for (int minute = 0; minute < 3; ++minute) {
    now += 60;
    scheduler.Tick();
    engine.WaitForSave();
  }
  ASSERT_EQ(engine.StatusMessages().size(), 1u);
  EXPECT_NE(engine.StatusMessages()[0].find("cannot save"), std::string::npos) << engine.StatusMessages()[0];
}

// Downloads side by side, with the limits of the tray program.
class ParallelSchedulerTest : public SchedulerTest {
 protected:
  ParallelSchedulerTest() { scheduler.SetLimits({}); }

  // Ends every running download with a feed, and each one started after
  // them, until none runs; returns how many ended, after checking the
  // limits whenever the scheduler has started what it could.
  size_t FinishAll() {
    size_t ended = 0;
    while (!downloads.Unfinished().empty()) {
      const Crowding crowding = CrowdingOf(downloads.Unfinished());
      EXPECT_LE(crowding.all, 8u);
      EXPECT_LE(crowding.oneHost, 2u);
      downloads.Finish(downloads.Unfinished().front(), Feed(Rss("x")));
      scheduler.Poll();
      ++ended;
    }
    return ended;
  }
};

TEST_F(ParallelSchedulerTest, EightRunAtOnceAndNeverMoreThanTwoToOneHost) {
  std::vector<std::string> addresses;
  for (const char* host : {"a", "b", "c", "d", "e", "f"})
    for (int i = 1; i <= 3; ++i) addresses.push_back("http://" + std::string(host) + "/" + std::to_string(i));
  for (const std::string& address : addresses) AddFeed(address);
  scheduler.Tick();
  EXPECT_EQ(downloads.Unfinished(), (std::vector<std::string>{"http://a/1", "http://a/2", "http://b/1", "http://b/2",
                                                              "http://c/1", "http://c/2", "http://d/1", "http://d/2"}));
  EXPECT_EQ(engine.StatusLine(), "downloading 8 feeds (10 to go)");
  // A finished download makes room at once, for the first feed that fits.
  downloads.Finish("http://a/1", Feed(Rss("x")));
  scheduler.Poll();
  EXPECT_EQ(downloads.Unfinished().back(), "http://a/3");
  EXPECT_EQ(engine.StatusLine(), "downloading 8 feeds (9 to go)");

  EXPECT_EQ(FinishAll(), addresses.size() - 1);
  EXPECT_EQ(downloads.transfers.size(), addresses.size());  // each feed once
  for (const std::string& address : addresses) EXPECT_EQ(Attribute(address, "arrivetime"), Ago(0)) << address;
  EXPECT_EQ(engine.StatusLine(), "Ready");
}

TEST_F(ParallelSchedulerTest, TheQueueGoesBeforeDueFeeds) {
  AddFeed("http://due/1");
  AddFeed("http://due/2");
  for (const char* host : {"p", "q", "r", "s"})
    for (int i = 1; i <= 2; ++i) scheduler.Queue({"", "http://" + std::string(host) + "/" + std::to_string(i), "", false});
  scheduler.Queue({"", "http://p/3", "", false});  // its host is full: it waits, and due feeds may not take its place
  scheduler.Tick();
  const std::vector<std::string> running = downloads.Unfinished();
  EXPECT_EQ(running.size(), 8u);
  EXPECT_EQ(CrowdingOf(running).oneHost, 2u);
  EXPECT_EQ(std::count(running.begin(), running.end(), "http://due/1"), 0);
  downloads.Finish("http://p/1", Feed(Rss("x")));
  scheduler.Poll();
  EXPECT_EQ(downloads.Unfinished().back(), "http://p/3");
  downloads.Finish("http://q/1", Feed(Rss("x")));
  scheduler.Poll();
  EXPECT_EQ(downloads.Unfinished().back(), "http://due/1");
}

TEST_F(ParallelSchedulerTest, AFailureAmongParallelDownloadsIsBookedOnItsOwnFeed) {
  for (const char* address : {"http://a/", "http://b/", "http://c/"}) AddFeed(address);
  scheduler.Tick();
  ASSERT_EQ(downloads.Unfinished().size(), 3u);
  downloads.Finish("http://b/", Failed("HTTP error 500 Internal Server Error"));
  downloads.Finish("http://c/", Feed(Rss("c")));
  EXPECT_TRUE(scheduler.Poll());  // one merge at a time: the front end calls again
  EXPECT_FALSE(scheduler.Poll());
  EXPECT_EQ(engine.StatusLine(), "downloading Title of http://a/");
  downloads.Finish("http://a/", Feed(Rss("a")));
  scheduler.Poll();
  EXPECT_EQ(Attribute("http://b/", "failedtime"), Ago(0));
  EXPECT_EQ(Attribute("http://a/", "failedtime"), "");
  EXPECT_EQ(Attribute("http://c/", "failedtime"), "");
  EXPECT_EQ(Attribute("http://b/", "arrivetime"), "");
  EXPECT_EQ(test::StoredItems(engine, "http://a/").size(), 1u);
  ASSERT_EQ(engine.StatusMessages().size(), 1u);
  EXPECT_EQ(engine.StatusMessages().front(), Link("http://b/") + "\r\nHTTP error 500 Internal Server Error");
  EXPECT_EQ(scheduler.ConsecutiveFailures(), 0);  // a and c came after it
  EXPECT_EQ(engine.StatusLine(), "Ready");  // the last one's outcome
}

// A writer of data file snapshots that the test lets go on.
class HeldWriter {
 public:
  Outcome Write(const DataFileSnapshot& snapshot) {
    std::unique_lock lock(mutex_);
    ++writes_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
    return FeedDatabase::WriteSnapshot(snapshot);
  }
  void WaitForWrites(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return writes_ >= count; });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  int Writes() {
    std::lock_guard lock(mutex_);
    return writes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int writes_ = 0;
  bool released_ = false;
};

TEST(BackgroundSave, TheMinuteSaveWaitsWhileTheFileIsBeingWrittenAndExitKeepsTheNewest) {
  TempDir dir;
  const std::string path = dir.Path("feeds.xml");
  std::time_t now = ToTime({2024, 3, 1, 9, 0, 0});
  MemorySettingsStore settings;
  HeldWriter writer;
  NewsEngine engine(settings, [&] { return now; }, nullptr,
                    [&](const DataFileSnapshot& snapshot) { return writer.Write(snapshot); });
  engine.OpenDataFile(path);
  ASSERT_TRUE(engine.MergeDownload("http://a/", Rss("first")));
  now += 60;
  engine.DownloadScheduler().Tick();
  writer.WaitForWrites(1);
  ASSERT_TRUE(engine.MergeDownload("http://b/", Rss("second")));
  now += 60;
  engine.DownloadScheduler().Tick();  // the first write still runs: no second one
  EXPECT_EQ(writer.Writes(), 1);

  // Exit while the first write runs: the exit save waits for it, then
  // writes what came since.
  std::thread exitSave([&] { EXPECT_TRUE(engine.Save()); });
  writer.Release();
  exitSave.join();
  EXPECT_NE(ReadFile(path).find("http://b/"), std::string::npos);
  EXPECT_FALSE(engine.Database().Document().IsModified());
}

}  // namespace
}  // namespace vrel
