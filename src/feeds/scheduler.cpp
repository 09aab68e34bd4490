#include "feeds/scheduler.h"

#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <utility>

#include "feeds/feed_discovery.h"
#include "feeds/news_engine.h"
#include "feeds/markup_text.h"
#include "feeds/scrape.h"
#include "feeds/status_texts.h"
#include "feeds/time_stamp.h"

namespace vrel {

namespace {

constexpr std::time_t kSaveInterval = 60;
// The spacing of automatic retries after attempts failed attempts.
std::time_t RetrySpacing(int attempts) {
  if (attempts < 5) return 15 * 60;
  if (attempts < 10) return 60 * 60;
  return 24 * 60 * 60;
}

// Seconds since a stamp; empty when the stamp is no valid time.
std::optional<std::time_t> SecondsSince(std::string_view stamp, std::time_t now) {
  const std::optional<TimeStamp> time = ParseTimeStamp(stamp);
  if (!time) return std::nullopt;
  return now - ToTime(*time);
}

// The position of the stored copy of the database's current FEED; 0 when
// it has none yet.
int StoredCopy(XmlDoc& db) {
  const int feed = db.GetCurrentPosition();
  db.SetPositions(db.GetParentPosition(), feed, 0);
  return db.FindChildElement(nullptr) ? db.GetChildPosition() : 0;
}

// What to send for a conditional download of the feed at address: nothing
// unless a copy is stored that a 304 answer could stand for.
Validators StoredValidators(NewsEngine& engine, const std::string& address) {
  std::lock_guard lock(engine.Lock());
  FeedDatabase& database = engine.Database();
  if (!database.FindFeedByUri(address)) return {};
  XmlDoc& db = database.Document();
  Validators validators{db.GetAttribute("etag"), db.GetAttribute("lastmodified")};
  return StoredCopy(db) != 0 ? validators : Validators{};
}

std::string StoredCopyText(NewsEngine& engine, const std::string& address) {
  std::lock_guard lock(engine.Lock());
  FeedDatabase& database = engine.Database();
  if (!database.FindFeedByUri(address)) return {};
  const int copy = StoredCopy(database.Document());
  return copy != 0 ? database.Document().GetSubDocument(copy) : std::string();
}

void SetOrRemoveAttribute(XmlDoc& db, int element, const char* name, const std::string& value) {
  if (value.empty()) {
    db.RemoveAttribute(element, name);
  } else {
    db.SetAttribute(element, name, value);
  }
}

bool IsGone(const DownloadResult& result) { return result.httpStatus == 410; }

// A 429 or 503 answer that said when to ask again.
bool AsksToWait(const DownloadResult& result) {
  return (result.httpStatus == 429 || result.httpStatus == 503) && result.retryAfterSeconds >= 0;
}

// What a server that refuses a feed for good, or for a while, adds to the
// failure message.
std::string RefusalDetail(const DownloadResult& result, std::time_t now) {
  if (IsGone(result)) return GoneDetail();
  if (AsksToWait(result)) return WaitDetail(now + static_cast<std::time_t>(result.retryAfterSeconds));
  return {};
}

}  // namespace

DownloadRequest FeedRequest(const XmlDoc& database, int feed) {
  DownloadRequest request;
  request.title = database.GetAttribute(feed, "title");
  request.address = database.GetAttribute(feed, "uri");
  request.webPage = database.GetAttribute(feed, "type") == "HTML";
  return request;
}

std::vector<DownloadRequest> AllFeedRequests(XmlDoc& database) {
  std::vector<DownloadRequest> requests;
  database.SetPositions(0, 0, 0);
  if (!database.FindElement(nullptr)) return requests;
  while (database.FindChildElement("FEED")) requests.push_back(FeedRequest(database, database.GetChildPosition()));
  return requests;
}

Scheduler::Scheduler(NewsEngine& engine, DownloadSource* downloads)
    : engine_(engine), downloads_(downloads), lastSave_(engine.CurrentTime()) {}

Scheduler::~Scheduler() = default;

DownloadSource& Scheduler::Downloads() {
  if (!downloads_) {
    ownDownloads_ = std::make_unique<Downloader>();
    downloads_ = ownDownloads_.get();
  }
  return *downloads_;
}

void Scheduler::Queue(DownloadRequest request) {
  if (!request.address.empty()) queue_.push_back(std::move(request));
}

bool Scheduler::QueueFeed(int feedId) {
  std::lock_guard lock(engine_.Lock());
  if (!engine_.Database().FindFeedById(feedId)) return false;
  const XmlDoc& db = engine_.Database().Document();
  Queue(FeedRequest(db, db.GetCurrentPosition()));
  return true;
}

void Scheduler::QueueAllFeeds() {
  std::lock_guard lock(engine_.Lock());
  for (DownloadRequest& request : AllFeedRequests(engine_.Database().Document())) Queue(std::move(request));
}

void Scheduler::Tick() {
  if (state_ & kBusy) {
    PollDownload();
  } else {
    SaveIfDue();
    StartNext();
  }
}

void Scheduler::PollDownload() {
  if (!download_->Poll()) return;
  const DownloadResult result = download_->Result();
  download_.reset();
  const DownloadRequest finished = std::exchange(current_, {});
  state_ = kIdle;
  if (std::optional<DownloadRequest> feed = DiscoveredFeed(finished, result)) {
    const std::string statusLine = FoundFeedLine(feed->address);
    Begin(std::move(*feed), statusLine);
    return;
  }
  Complete(finished, result);
}

void Scheduler::StartNext() {
  DownloadRequest next;
  if (!queue_.empty()) {
    next = std::move(queue_.front());
    queue_.pop_front();
  } else {
    next = DueFeed();
  }
  if (next.address.empty()) {
    IdleWithoutWork();
    return;
  }
  const std::string statusLine = DownloadingLine(next.title.empty() ? next.address : next.title);
  Begin(std::move(next), statusLine);
}

void Scheduler::Begin(DownloadRequest request, const std::string& statusLine) {
  current_ = std::move(request);
  download_ = StartDownload(current_);
  state_ = kBusy | (current_.webPage ? kWebPage : kXml);
  engine_.SetStatusLine(statusLine);
}

std::unique_ptr<Download> Scheduler::StartDownload(const DownloadRequest& request) {
  if (request.httpFallback)
    return Downloads().StartWithHttpFallback(request.address, request.webPage ? DownloadKind::WebPage : DownloadKind::XmlDocument);
  if (request.webPage) return Downloads().Start(request.address, DownloadKind::WebPage);
  return Downloads().StartConditional(request.address, DownloadKind::XmlDocument,
                                      StoredValidators(engine_, request.address));
}

// The feed that an HTML page downloaded for the Add box names, announced in
// StatusMessages; none when the download was no such page or names no feed.
std::optional<DownloadRequest> Scheduler::DiscoveredFeed(const DownloadRequest& request,
                                                         const DownloadResult& result) {
  if (!request.discoverFeed || request.webPage || !result.ok || result.notModified ||
      !LooksLikeHtmlPage(result.text, result.contentType))
    return std::nullopt;
  const std::string page = result.finalUrl.empty() ? request.address : result.finalUrl;
  DownloadRequest feed;
  feed.address = FindFeedLink(result.text, page);
  if (feed.address.empty() || feed.address == request.address) return std::nullopt;
  engine_.AddStatusMessage(FoundFeedMessage(feed.address, page, engine_.CurrentTime()));
  return feed;
}

// The first feed in database order that is due: never downloaded, or its
// period has passed since its last download, and, while it fails, its retry
// spacing has passed too. An empty request when no feed is due.
DownloadRequest Scheduler::DueFeed() {
  const std::time_t now = engine_.CurrentTime();
  std::lock_guard lock(engine_.Lock());
  XmlDoc& db = engine_.Database().Document();
  db.SetPositions(0, 0, 0);
  if (!db.FindElement(nullptr)) return {};
  while (db.FindChildElement("FEED")) {
    const int feed = db.GetChildPosition();
    // A feed without an address could never be downloaded, and as the first
    // due feed it would keep every feed behind it waiting.
    if (db.GetAttribute(feed, "uri").empty()) continue;
    if (const auto sinceArrival = SecondsSince(db.GetAttribute(feed, "arrivetime"), now)) {
      std::string period = db.GetAttribute(feed, "period");
      int64_t seconds = 0;
      ReadDuration(period, seconds);
      if (*sinceArrival <= seconds) continue;
    }
    // The server asked not to be asked again before then.
    if (const auto sinceRetry = SecondsSince(db.GetAttribute(feed, "retryafter"), now); sinceRetry && *sinceRetry < 0)
      continue;
    if (const auto sinceFailure = SecondsSince(db.GetAttribute(feed, "failedtime"), now)) {
      const int attempts = LeadingInt(db.GetAttribute(feed, "numattempts"));
      if (attempts >= kMaxAutoAttempts || *sinceFailure < RetrySpacing(attempts)) continue;
      // While the connection itself is suspect, attempts do not count
      // against the feed.
      if (failures_ < kSuspectFailures) db.SetAttributeInt(feed, "numattempts", attempts + 1);
    }
    return FeedRequest(db, feed);
  }
  return {};
}

// Keeps the ages in the feed list current while nothing downloads.
void Scheduler::IdleWithoutWork() {
  if (--refreshCountdown_ > 0) return;
  refreshCountdown_ = kTicksPerMinute;
  engine_.FeedListChanged();
}

// A crash loses at most a minute of changes. A save that keeps failing is
// reported once, not every minute.
void Scheduler::SaveIfDue() {
  const std::time_t now = engine_.CurrentTime();
  if (now >= lastSave_ && now - lastSave_ < kSaveInterval) return;
  lastSave_ = now;
  std::string error;
  {
    std::lock_guard lock(engine_.Lock());
    if (!engine_.Database().Path().empty())
      if (const Outcome saved = engine_.SaveIfModified(); !saved) error = saved.Message();
  }
  if (!error.empty() && error != lastSaveError_) engine_.AddStatusMessage(error);
  lastSaveError_ = error;
}

void Scheduler::StopDownload() {
  if (!(state_ & kBusy)) return;
  download_.reset();  // aborts the transfer
  state_ = kIdle;
  current_ = {};
  engine_.SetStatusLine("Ready");
}

bool Scheduler::Complete(const DownloadRequest& request, const DownloadResult& result) {
  const char* problem = "error";
  std::string detail;
  bool merged = false;
  if (!result.ok) {
    detail = MarkupAttribute(result.error + RefusalDetail(result, engine_.CurrentTime()));
  } else if (request.webPage) {
    merged = MergeScrapedPage(engine_, request.address, request.scrapeList, result.text);
    if (!merged) {
      problem = "no items";
      detail = PageExcerpt(result.text);
    }
  } else {
    merged = MergeXml(request.address, result, detail);
  }
  if (merged) {
    NoteSuccess(request, result);
    failures_ = 0;
    engine_.SetStatusLine("Ready");
    return true;
  }
  BookFailure(request.address, detail);
  NoteRefusal(request.address, result);
  engine_.SetStatusLine(ProblemLine(problem, request.address));
  return false;
}

// A 304 answer merges the stored copy, as a download that brought nothing
// new would.
bool Scheduler::MergeXml(const std::string& address, const DownloadResult& result, std::string& detail) {
  std::string stored;
  if (result.notModified) {
    stored = StoredCopyText(engine_, address);
    if (stored.empty()) {
      detail = "the server answered 304 Not Modified, but no copy of the feed is stored";
      return false;
    }
  }
  const Outcome merged = engine_.MergeDownload(address, result.notModified ? stored : result.text);
  detail = MarkupAttribute(merged.Message());
  return merged.Ok();
}

// Keeps what the next conditional download sends, forgets a server's wish
// to wait, and follows a feed that moved permanently.
void Scheduler::NoteSuccess(const DownloadRequest& request, const DownloadResult& result) {
  std::lock_guard lock(engine_.Lock());
  FeedDatabase& database = engine_.Database();
  if (!database.FindFeedByUri(request.address)) return;
  XmlDoc& db = database.Document();
  const int feed = db.GetCurrentPosition();
  db.RemoveAttribute(feed, "retryafter");
  // A 304 answer need not repeat the validators.
  if (!request.webPage && !(result.notModified && result.etag.empty()))
    SetOrRemoveAttribute(db, feed, "etag", result.etag);
  if (!request.webPage && !(result.notModified && result.lastModified.empty()))
    SetOrRemoveAttribute(db, feed, "lastmodified", result.lastModified);
  const std::string& moved = result.permanentUrl;
  if (moved.empty() || moved == request.address) return;
  const bool anotherFeedHasIt = database.FindFeedByUri(moved);
  if (!anotherFeedHasIt) db.SetAttribute(feed, "uri", moved);
  engine_.AddStatusMessage(MovedMessage(request.address, moved, engine_.CurrentTime(), anotherFeedHasIt));
}

// A feed that is gone gets no more automatic attempts, as after the last
// one; a server that asked to wait is not asked again before then.
void Scheduler::NoteRefusal(const std::string& address, const DownloadResult& result) {
  if (!IsGone(result) && !AsksToWait(result)) return;
  std::lock_guard lock(engine_.Lock());
  FeedDatabase& database = engine_.Database();
  if (!database.FindFeedByUri(address)) return;
  XmlDoc& db = database.Document();
  if (IsGone(result)) {
    db.SetAttributeInt(db.GetCurrentPosition(), "numattempts", kMaxAutoAttempts);
  } else {
    const std::time_t until = engine_.CurrentTime() + static_cast<std::time_t>(result.retryAfterSeconds);
    db.SetAttribute("retryafter", FormatTimeStamp(until));
  }
}

// detail is mark-up already.
void Scheduler::BookFailure(const std::string& address, std::string_view detail) {
  const std::time_t now = engine_.CurrentTime();
  if (failures_++ == 0) failureRunStart_ = now;
  FailureFacts facts{address, now, {}, failures_, failureRunStart_, std::string(detail)};
  {
    std::lock_guard lock(engine_.Lock());
    FeedDatabase& database = engine_.Database();
    if (database.FindFeedByUri(address)) {
      XmlDoc& db = database.Document();
      facts.attempts = db.GetAttribute("numattempts");
      db.SetAttribute("failedtime", FormatTimeStamp(now));
    }
    engine_.AddStatusMessage(FailureMessage(facts, kSuspectFailures));
  }
  engine_.FeedListChanged();
}

}  // namespace vrel
