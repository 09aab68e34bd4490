// The download scheduler. Up to eight downloads run side by side, at most
// two to one host: queued requests first (the Add box, Update, Update All),
// then the feeds that are due. Each feed keeps its own rules: the due test,
// the spacing and count of automatic retries, the bookkeeping of failures.
// A finished download goes to its merge (XML feeds) or to the scrape merge
// (web pages); a failure is booked on its feed and added to StatusMessages.
//
// The front end calls Tick every 500 ms (the due scan, the minute's save,
// the list refresh while idle) and Poll as soon as the download component
// says a transfer has ended (SetWakeUp), so that a merge never waits for
// the next tick.
//
// Downloads of stored feeds are conditional (ETag, Last-Modified); a feed
// that moved permanently takes its new address, one that is gone (410) gets
// no more automatic attempts, and one whose server asks to wait (429, 503
// with Retry-After) is not asked again before then. An address typed into
// the Add box that leads to an HTML page is replaced by the feed the page
// names.
#pragma once

#include <cstddef>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/download.h"

namespace vrel {

class NewsEngine;
class XmlDoc;

struct DownloadRequest {
  std::string title;       // shown while it downloads; the address when empty
  std::string address;
  std::string scrapeList;  // only requests from the Add box carry one
  bool webPage = false;
  // An address typed into the Add box: when it leads to an HTML page, the
  // feed the page names is downloaded instead.
  bool discoverFeed = false;
  // Typed into the Add box (or found from what was): a feed the list has
  // already is said to be there.
  bool fromAddBox = false;
  bool httpFallback = false;  // https:// typed without a scheme: http:// when https is refused
};

struct SchedulerLimits {
  size_t downloads = 8;  // side by side
  size_t perHost = 2;    // to one host (scheme, host and port)
};

inline constexpr int kTickMilliseconds = 500;
inline constexpr int kTicksPerMinute = 60000 / kTickMilliseconds;
// A failing feed gets this many automatic attempts, then waits for an Update.
inline constexpr int kMaxAutoAttempts = 15;
// From this many failures in a row on, the connection itself is suspect.
inline constexpr int kSuspectFailures = 3;

class Scheduler {
 public:
  // downloads null: the scheduler makes a Downloader of its own when it
  // first needs one.
  Scheduler(NewsEngine& engine, DownloadSource* downloads);
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  void SetLimits(const SchedulerLimits& limits) { limits_ = limits; }
  // Whether feeds that are due are downloaded by themselves (the tray
  // program, vrel-cli run) or only what was queued (vrel-cli add, update).
  void SetAutomatic(bool automatic) { automatic_ = automatic; }
  // wakeUp is called on the download component's thread when a transfer
  // ends; it should make the front end call Poll on its own thread soon.
  // An empty one stops the calls.
  void SetWakeUp(std::function<void()> wakeUp);

  // The 500 ms timer: a Poll, the minute's save, the list refresh while
  // idle. Returns what Poll returns.
  bool Tick();
  // Hands a finished download to its merge or books its failure, then
  // starts what the limits allow. One at a time, so that a front end can
  // paint between merges: true when more finished downloads wait, and the
  // front end should call again soon.
  bool Poll();

  // Requests wait in the queue, first in first out, and go before every
  // scheduled feed. Requests without an address are dropped.
  void Queue(DownloadRequest request);
  // Update Now; false when no feed has that identifier.
  bool QueueFeed(int feedId);
  // Update All, in database order.
  void QueueAllFeeds();
  void ClearQueue() { queue_.clear(); }
  // Ends the running downloads without booking anything.
  void StopDownloads();

  DownloadSource& Downloads();

  bool Idle() const { return running_.empty(); }
  // The requests being downloaded, in the order they started.
  std::vector<DownloadRequest> Running() const;
  size_t QueuedRequests() const { return queue_.size(); }
  int ConsecutiveFailures() const { return failures_; }
  bool LastDownloadFailed() const { return failures_ > 0; }

 private:
  struct RunningDownload {
    DownloadRequest request;
    std::string host;
    std::string line;  // the status line while it runs alone
    std::unique_ptr<Download> download;
  };

  // Handles what finished and starts what fits; countDue on the tick only.
  bool Advance(bool countDue);
  bool HandleFinished();
  void StartWhatFits(bool countDue);
  bool StartFromQueue();
  void StartDueFeeds(bool countDue);
  bool HostHasRoom(const std::string& host) const;
  bool IsRunning(const std::string& address) const;
  void Begin(DownloadRequest request, std::string line = {});
  std::unique_ptr<Download> StartDownload(const DownloadRequest& request);
  std::optional<DownloadRequest> DiscoveredFeed(const DownloadRequest& request, const DownloadResult& result);
  bool Complete(const DownloadRequest& request, const DownloadResult& result);
  bool MergeXml(const std::string& address, const DownloadResult& result, std::string& detail);
  void NoteSuccess(const DownloadRequest& request, const std::string& target, const DownloadResult& result);
  void NoteRefusal(const std::string& address, const DownloadResult& result);
  void BookFailure(const std::string& address, std::string_view detail);
  void ShowProgress();
  void IdleWithoutWork();
  void SaveIfDue();

  NewsEngine& engine_;
  DownloadSource* downloads_;
  std::unique_ptr<DownloadSource> ownDownloads_;
  SchedulerLimits limits_;
  bool automatic_ = true;
  std::vector<RunningDownload> running_;
  std::deque<DownloadRequest> queue_;
  size_t dueWaiting_ = 0;  // due feeds waiting to start, as of the last tick
  std::string outcomeLine_;  // the status line the last finished download left
  int failures_ = 0;  // consecutive; 0 after any success
  std::time_t failureRunStart_ = 0;
  int refreshCountdown_ = kTicksPerMinute;
  std::time_t lastSave_;
};

// The request that downloads a FEED of the database: its title and "uri", a
// web page when its "type" is "HTML".
DownloadRequest FeedRequest(const XmlDoc& database, int feed);

// Requests for every FEED of the database, in database order. The caller
// holds the database lock.
std::vector<DownloadRequest> AllFeedRequests(XmlDoc& database);

}  // namespace vrel
