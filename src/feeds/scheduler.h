// The download scheduler. The front end calls Tick every 500 ms; a tick polls
// the running download, or, when none runs, starts the next one: the first
// queued request, else the first feed that is due. One download runs at a
// time. A finished download goes to its merge (XML feeds) or to the scrape
// merge (web pages); a failure is shown in the status line, booked on its
// feed and added to StatusMessages.
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
  bool httpFallback = false;  // https:// typed without a scheme: http:// when https is refused
};

inline constexpr int kTickMilliseconds = 500;
inline constexpr int kTicksPerMinute = 60000 / kTickMilliseconds;
// A failing feed gets this many automatic attempts, then waits for an Update.
inline constexpr int kMaxAutoAttempts = 15;
// From this many failures in a row on, the connection itself is suspect.
inline constexpr int kSuspectFailures = 3;

class Scheduler {
 public:
  // DownloadState: idle, or busy with an XML document or a web page.
  enum StateFlag : int { kIdle = 1, kBusy = 2, kXml = 4, kWebPage = 8 };

  // downloads null: the scheduler makes a Downloader of its own when it
  // first needs one.
  Scheduler(NewsEngine& engine, DownloadSource* downloads);
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  void Tick();

  // Requests wait in the queue, first in first out, and go before every
  // scheduled feed. Requests without an address are dropped.
  void Queue(DownloadRequest request);
  // Update Now; false when no feed has that identifier.
  bool QueueFeed(int feedId);
  // Update All, in database order.
  void QueueAllFeeds();
  void ClearQueue() { queue_.clear(); }
  // Ends the running download without booking anything.
  void StopDownload();

  // Hands a finished download to its merge, or books it as a failure, and
  // shows the outcome in the status line. True when it was merged. The
  // scheduler's own downloads end here, and so do those that front ends run
  // side by side.
  bool Complete(const DownloadRequest& request, const DownloadResult& result);

  DownloadSource& Downloads();
  // Starts the download of a request, conditional when the feed's stored
  // copy came with an ETag or Last-Modified. Front ends that run downloads
  // side by side start them here too.
  std::unique_ptr<Download> StartDownload(const DownloadRequest& request);

  int DownloadState() const { return state_; }
  const DownloadRequest& Current() const { return current_; }
  size_t QueuedRequests() const { return queue_.size(); }
  int ConsecutiveFailures() const { return failures_; }
  bool LastDownloadFailed() const { return failures_ > 0; }

 private:
  void PollDownload();
  void StartNext();
  void Begin(DownloadRequest request, const std::string& statusLine);
  std::optional<DownloadRequest> DiscoveredFeed(const DownloadRequest& request, const DownloadResult& result);
  bool MergeXml(const std::string& address, const DownloadResult& result, std::string& detail);
  void NoteSuccess(const DownloadRequest& request, const DownloadResult& result);
  void NoteRefusal(const std::string& address, const DownloadResult& result);
  DownloadRequest DueFeed();
  void IdleWithoutWork();
  void SaveIfDue();
  void BookFailure(const std::string& address, std::string_view detail);

  NewsEngine& engine_;
  DownloadSource* downloads_;
  std::unique_ptr<DownloadSource> ownDownloads_;
  std::unique_ptr<Download> download_;
  int state_ = kIdle;
  DownloadRequest current_;
  std::deque<DownloadRequest> queue_;
  int failures_ = 0;  // consecutive; 0 after any success
  std::time_t failureRunStart_ = 0;
  int refreshCountdown_ = kTicksPerMinute;
  std::time_t lastSave_;
  std::string lastSaveError_;
};

// The request that downloads a FEED of the database: its title and "uri", a
// web page when its "type" is "HTML".
DownloadRequest FeedRequest(const XmlDoc& database, int feed);

// Requests for every FEED of the database, in database order. The caller
// holds the database lock.
std::vector<DownloadRequest> AllFeedRequests(XmlDoc& database);

}  // namespace vrel
