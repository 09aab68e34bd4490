#include "feeds/scheduler.h"

#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <utility>

#include "feeds/news_engine.h"
#include "feeds/scrape.h"
#include "feeds/time_stamp.h"
#include "xml/xml_encoding.h"

namespace vrel {

namespace {

constexpr std::time_t kSaveInterval = 60;
constexpr size_t kPageExcerptCharacters = 150;

std::string_view TrimEnd(std::string_view text) {
  const size_t end = text.find_last_not_of("\r\n \t");
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

// What a page that gave no values began with: its first characters without
// any "<", so that no mark-up of the page survives into the message.
std::string PageExcerpt(std::string_view page) {
  size_t characters = 0, end = 0;
  for (; end < page.size(); ++end) {
    const bool startsCharacter = (static_cast<unsigned char>(page[end]) & 0xC0) != 0x80;
    if (startsCharacter && characters++ == kPageExcerptCharacters) break;
  }
  std::string excerpt;
  for (const char c : page.substr(0, end))
    if (c != '<') excerpt += c;
  return std::string(TrimEnd(excerpt));
}

std::string ErrorLine(const char* problem, const std::string& address) {
  return std::string("<A type=\"Errors\">") + problem + "</A> " + MarkupEscaped(address);
}

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

}  // namespace

std::string MarkupEscaped(std::string_view text) { return ToMarkupText(text, EscapeQuotes); }

std::string FormatUserDateTime(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  char text[256];
  const size_t length = std::strftime(text, sizeof text, "%c", &local);
  return std::string(text, length);
}

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
  if (state_ & DownloadBusy) {
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
  state_ = DownloadIdle;
  Complete(finished, result);
}

void Scheduler::StartNext() {
  if (!queue_.empty()) {
    current_ = std::move(queue_.front());
    queue_.pop_front();
  } else {
    current_ = DueFeed();
  }
  if (current_.address.empty()) {
    IdleWithoutWork();
    return;
  }
  download_ = Downloads().Start(current_.address, current_.webPage ? DownloadKind::WebPage : DownloadKind::XmlDocument);
  state_ = DownloadBusy | (current_.webPage ? DownloadWebPage : DownloadXml);
  engine_.SetStatusLine("downloading " + MarkupEscaped(current_.title.empty() ? current_.address : current_.title));
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
    if (engine_.Database().Path().empty() || engine_.SaveIfModified(&error)) error.clear();
  }
  if (!error.empty() && error != lastSaveError_) engine_.AddStatusMessage(error);
  lastSaveError_ = error;
}

void Scheduler::StopDownload() {
  if (!(state_ & DownloadBusy)) return;
  download_.reset();  // aborts the transfer
  state_ = DownloadIdle;
  current_ = {};
  engine_.SetStatusLine("Ready");
}

bool Scheduler::Complete(const DownloadRequest& request, const DownloadResult& result) {
  const char* problem = "error";
  std::string detail;
  bool merged = false;
  if (!result.ok) {
    detail = MarkupEscaped(result.error);
  } else if (request.webPage) {
    merged = MergeScrapedPage(engine_, request.address, request.scrapeList, result.text);
    if (!merged) {
      problem = "no items";
      detail = PageExcerpt(result.text);
    }
  } else {
    std::string reason;
    merged = engine_.MergeDownload(request.address, result.text, &reason);
    detail = MarkupEscaped(reason);
  }
  if (merged) {
    failures_ = 0;
    engine_.SetStatusLine("Ready");
    return true;
  }
  BookFailure(request.address, detail);
  engine_.SetStatusLine(ErrorLine(problem, request.address));
  return false;
}

// detail is mark-up already.
void Scheduler::BookFailure(const std::string& address, std::string_view detail) {
  const std::time_t now = engine_.CurrentTime();
  if (failures_++ == 0) failureRunStart_ = now;
  const std::string link = MarkupEscaped(address);
  std::string message = "<A href=\"" + link + "\">" + link + "</A>\r\n" + FormatUserDateTime(now);
  {
    std::lock_guard lock(engine_.Lock());
    FeedDatabase& database = engine_.Database();
    if (database.FindFeedByUri(address)) {
      XmlDoc& db = database.Document();
      const std::string attempts = db.GetAttribute("numattempts");
      db.SetAttribute("failedtime", FormatTimeStamp(now));
      if (!attempts.empty()) message += " (" + MarkupEscaped(attempts) + " auto attempts)";
    }
    if (failures_ >= kSuspectFailures) {
      message += "\r\nMay be disconnected from Internet (" + std::to_string(failures_) +
                 " consecutive download failures since " + FormatUserDateTime(failureRunStart_) + ")";
    }
    message += "\r\n";
    message += TrimEnd(detail);
    engine_.AddStatusMessage(message);
  }
  engine_.FeedListChanged();
}

}  // namespace vrel
