#include "feeds/scheduler.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <utility>

#include "feeds/asked_schedule.h"
#include "feeds/feed_database.h"
#include "feeds/feed_discovery.h"
#include "feeds/markup_text.h"
#include "feeds/news_engine.h"
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

// A validator is sent back in a request header: one with control characters
// in it is not kept.
void KeepValidator(XmlDoc& db, int feed, const char* name, const std::string& value) {
  const bool control = std::any_of(value.begin(), value.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
  if (value.empty() || control) {
    db.RemoveAttribute(feed, name);
  } else {
    db.SetAttribute(feed, name, value);
  }
}

bool IsStored(NewsEngine& engine, const std::string& address) {
  std::lock_guard lock(engine.Lock());
  return engine.Database().FindFeedByUri(address);
}

std::string FeedTitle(NewsEngine& engine, const std::string& address) {
  std::lock_guard lock(engine.Lock());
  return engine.Database().FindFeedByUri(address) ? engine.Database().Document().GetAttribute("title") : address;
}

// Where a download is merged: the feed of its own address; but a new
// address that moved permanently to a feed the list has goes to that feed,
// so that the list never holds the same feed twice.
std::string MergeTarget(NewsEngine& engine, const DownloadRequest& request, const DownloadResult& result) {
  const std::string& moved = result.permanentUrl;
  if (moved.empty() || moved == request.address || IsStored(engine, request.address)) return request.address;
  return IsStored(engine, moved) ? moved : request.address;
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

// Whether the scan may choose the FEED: never downloaded, or its period has
// passed since its last download and what the feed and its server ask
// allows it; not while its server asked to wait; and, while it fails, only
// once its retry spacing has passed and while it has automatic attempts
// left.
bool IsDue(const XmlDoc& db, int feed, std::time_t now) {
  if (const std::optional<LastDownload> last = LastDownloadOf(db, feed)) {
    if (now <= last->periodEnd || AskedNotBefore(db, feed, *last, now).notBefore > now) return false;
  }
  if (const auto sinceRetry = SecondsSince(db.GetAttribute(feed, "retryafter"), now); sinceRetry && *sinceRetry < 0)
    return false;
  if (const auto sinceFailure = SecondsSince(db.GetAttribute(feed, "failedtime"), now)) {
    const int attempts = LeadingInt(db.GetAttribute(feed, "numattempts"));
    if (attempts >= kMaxAutoAttempts || *sinceFailure < RetrySpacing(attempts)) return false;
  }
  return true;
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

Scheduler::~Scheduler() { SetWakeUp({}); }

DownloadSource& Scheduler::Downloads() {
  if (!downloads_) {
    ownDownloads_ = std::make_unique<Downloader>();
    downloads_ = ownDownloads_.get();
  }
  return *downloads_;
}

void Scheduler::SetWakeUp(std::function<void()> wakeUp) {
  if (downloads_ || wakeUp) Downloads().SetFinishedListener(std::move(wakeUp));
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

std::vector<DownloadRequest> Scheduler::Running() const {
  std::vector<DownloadRequest> requests;
  for (const RunningDownload& running : running_) requests.push_back(running.request);
  return requests;
}

bool Scheduler::Tick() {
  const bool more = Advance(true);
  SaveIfDue();
  if (running_.empty()) IdleWithoutWork();
  return more;
}

bool Scheduler::Poll() { return Advance(false); }

bool Scheduler::Advance(bool countDue) {
  const bool more = HandleFinished();
  StartWhatFits(countDue);
  ShowProgress();
  return more;
}

// The first download that has finished, in the order they started.
bool Scheduler::HandleFinished() {
  const auto finished = std::find_if(running_.begin(), running_.end(),
                                     [](const RunningDownload& running) { return running.download->Poll(); });
  if (finished == running_.end()) return false;
  RunningDownload done = std::move(*finished);
  running_.erase(finished);
  const DownloadResult& result = done.download->Result();
  if (std::optional<DownloadRequest> feed = DiscoveredFeed(done.request, result)) {
    const std::string line = FoundFeedLine(feed->address);
    Begin(std::move(*feed), line);
  } else {
    Complete(done.request, result);
  }
  return std::any_of(running_.begin(), running_.end(),
                     [](const RunningDownload& running) { return running.download->Poll(); });
}

void Scheduler::StartWhatFits(bool countDue) {
  while (running_.size() < limits_.downloads && StartFromQueue()) {
  }
  if (automatic_) StartDueFeeds(countDue);
}

// The first queued request that may start: its host has room and its
// address is not being downloaded already. Later requests to other hosts
// need not wait behind a busy one.
bool Scheduler::StartFromQueue() {
  for (auto request = queue_.begin(); request != queue_.end(); ++request) {
    if (IsRunning(request->address) || !HostHasRoom(HostOf(request->address))) continue;
    DownloadRequest next = std::move(*request);
    queue_.erase(request);
    Begin(std::move(next));
    return true;
  }
  return false;
}

// Starts the due feeds, in database order, that the limits leave room for.
// With countDue (the tick) the scan goes on to count the due feeds that
// wait; after a download ended it stops once every slot is taken, and the
// count of the last tick goes down by the feeds it started. A feed is
// counted as an automatic attempt when it starts, unless the connection
// itself is suspect.
void Scheduler::StartDueFeeds(bool countDue) {
  const std::time_t now = engine_.CurrentTime();
  std::lock_guard lock(engine_.Lock());
  XmlDoc& db = engine_.Database().Document();
  const int root = db.GetFirstChild(0);
  size_t waiting = 0;
  for (int feed = root ? db.GetFirstChild(root) : 0; feed; feed = db.GetNextSibling(feed)) {
    if (!countDue && running_.size() >= limits_.downloads) break;
    if (db.GetElementName(feed) != "FEED") continue;
    const std::string uri = db.GetAttribute(feed, "uri");
    // A feed without an address could never be downloaded.
    if (uri.empty() || IsRunning(uri) || !IsDue(db, feed, now)) continue;
    if (running_.size() >= limits_.downloads || !HostHasRoom(HostOf(uri))) {
      ++waiting;
      continue;
    }
    if (!countDue && dueWaiting_ > 0) --dueWaiting_;
    if (!db.GetAttribute(feed, "failedtime").empty() && failures_ < kSuspectFailures)
      db.SetAttributeInt(feed, "numattempts", LeadingInt(db.GetAttribute(feed, "numattempts")) + 1);
    Begin(FeedRequest(db, feed));
  }
  if (countDue) dueWaiting_ = waiting;
}

bool Scheduler::HostHasRoom(const std::string& host) const {
  if (limits_.perHost == 0) return true;
  const auto sameHost = [&](const RunningDownload& running) { return running.host == host; };
  return static_cast<size_t>(std::count_if(running_.begin(), running_.end(), sameHost)) < limits_.perHost;
}

bool Scheduler::IsRunning(const std::string& address) const {
  return std::any_of(running_.begin(), running_.end(),
                     [&](const RunningDownload& running) { return running.request.address == address; });
}

void Scheduler::Begin(DownloadRequest request, std::string line) {
  if (line.empty()) line = DownloadingLine(request.title.empty() ? request.address : request.title);
  std::string host = HostOf(request.address);
  std::unique_ptr<Download> download = StartDownload(request);
  running_.push_back({std::move(request), std::move(host), std::move(line), std::move(download)});
}

std::unique_ptr<Download> Scheduler::StartDownload(const DownloadRequest& request) {
  if (request.httpFallback)
    return Downloads().StartWithHttpFallback(request.address, request.webPage ? DownloadKind::WebPage : DownloadKind::XmlDocument);
  if (request.webPage) return Downloads().Start(request.address, DownloadKind::WebPage);
  return Downloads().StartConditional(request.address, DownloadKind::XmlDocument,
                                      StoredValidators(engine_, request.address));
}

// One download alone says what it downloads; several say how many, and how
// many wait; once all have ended, the last one's outcome stays.
void Scheduler::ShowProgress() {
  const size_t toGo = queue_.size() + dueWaiting_;
  std::string line;
  if (running_.empty()) {
    line = std::exchange(outcomeLine_, {});
  } else if (running_.size() == 1 && toGo == 0) {
    line = running_.front().line;
  } else {
    line = ProgressLine(running_.size(), toGo);
  }
  if (!line.empty() && line != engine_.StatusLine()) engine_.SetStatusLine(line);
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
  feed.fromAddBox = request.fromAddBox;
  if (feed.address.empty() || feed.address == request.address) return std::nullopt;
  engine_.AddStatusMessage(FoundFeedMessage(feed.address, page, engine_.CurrentTime()));
  return feed;
}

// Keeps the ages in the feed list current while nothing downloads.
void Scheduler::IdleWithoutWork() {
  if (--refreshCountdown_ > 0) return;
  refreshCountdown_ = kTicksPerMinute;
  engine_.FeedListChanged();
}

// A crash loses at most a minute of changes. The file is written by the
// engine's saver, away from this thread.
void Scheduler::SaveIfDue() {
  const std::time_t now = engine_.CurrentTime();
  if (now >= lastSave_ && now - lastSave_ < kSaveInterval) return;
  lastSave_ = now;
  engine_.SaveInBackground();
}

void Scheduler::StopDownloads() {
  if (running_.empty()) return;
  running_.clear();  // aborts the transfers
  dueWaiting_ = 0;
  outcomeLine_.clear();
  engine_.SetStatusLine("Ready");
}

bool Scheduler::Complete(const DownloadRequest& request, const DownloadResult& result) {
  const char* problem = "error";
  std::string detail;
  bool merged = false;
  // An address from the Add box may lead to a feed the list has already.
  const std::string target = request.webPage ? request.address : MergeTarget(engine_, request, result);
  const bool known = request.fromAddBox && IsStored(engine_, target);
  if (!result.ok) {
    detail = MarkupAttribute(result.error + RefusalDetail(result, engine_.CurrentTime()));
  } else if (request.webPage) {
    merged = MergeScrapedPage(engine_, request.address, request.scrapeList, result.text);
    if (!merged) {
      problem = "no items";
      detail = PageExcerpt(result.text);
    }
  } else {
    merged = MergeXml(target, result, detail);
  }
  if (merged) {
    NoteSuccess(request, target, result);
    failures_ = 0;
    outcomeLine_ = known ? AlreadyListedLine(FeedTitle(engine_, target)) : "Ready";
  } else {
    BookFailure(request.address, detail);
    NoteRefusal(request.address, result);
    outcomeLine_ = ProblemLine(problem, request.address);
  }
  engine_.DownloadEnded(request, merged);
  return merged;
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

// Keeps what the next conditional download sends and how long the server
// says the answer stays fresh, forgets a server's wish to wait, and follows
// a feed that moved permanently. target is the feed the
// download was merged into.
void Scheduler::NoteSuccess(const DownloadRequest& request, const std::string& target, const DownloadResult& result) {
  std::lock_guard lock(engine_.Lock());
  FeedDatabase& database = engine_.Database();
  if (!database.FindFeedByUri(target)) return;
  XmlDoc& db = database.Document();
  const int feed = db.GetCurrentPosition();
  db.RemoveAttribute(feed, "retryafter");
  KeepFreshLifetime(db, feed, result.freshSeconds);
  // A 304 answer need not repeat the validators.
  if (!request.webPage && !(result.notModified && result.etag.empty()))
    KeepValidator(db, feed, "etag", result.etag);
  if (!request.webPage && !(result.notModified && result.lastModified.empty()))
    KeepValidator(db, feed, "lastmodified", result.lastModified);
  const std::string& moved = result.permanentUrl;
  if (moved.empty() || moved == request.address) return;
  MoveKind kind = MoveKind::Moved;
  if (target != request.address) {
    kind = MoveKind::MergedIntoListed;
  } else if (database.FindFeedByUri(moved)) {
    kind = MoveKind::KeptOwnAddress;
  } else {
    db.SetAttribute(feed, "uri", moved);
  }
  engine_.AddStatusMessage(MovedMessage(request.address, moved, engine_.CurrentTime(), kind));
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
