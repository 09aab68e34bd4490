#include "feeds/news_engine.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "feeds/feed_merge.h"
#include "feeds/time_stamp.h"

namespace vrel {

namespace {

void SetError(std::string* target, std::string text) {
  if (target) *target = std::move(text);
}

bool Fail(std::string* target, std::string text) {
  SetError(target, std::move(text));
  return false;
}

}  // namespace

NewsEngine::NewsEngine(SettingsStore& store, Clock clock, DownloadSource* downloads)
    : store_(store),
      clock_(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })),
      scheduler_(std::make_unique<Scheduler>(*this, downloads)) {}

NewsEngine::~NewsEngine() = default;

void NewsEngine::LoadSettings() {
  const std::string configured = store_.GetString("DataFile");
  settings_.dataFile = FeedDatabase::ChooseDataPath(configured);
  if (settings_.dataFile != configured) store_.SetString("DataFile", settings_.dataFile);
  settings_.notification = store_.GetInt("Notification", 1);
  settings_.notificationSeconds = std::clamp(store_.GetInt("NotificationSeconds", 8), 1, 300);
  settings_.defaultBrowser = store_.GetInt("DefaultBrowser", 1);
  settings_.exitOnClose = store_.GetInt("ExitOnClose", 1);
}

void NewsEngine::OpenDataFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  settings_.dataFile = path;
  const std::string problem = database_.Load(path, Now());
  if (!problem.empty()) AddStatusMessage(problem);
}

bool NewsEngine::Save(std::string* error) {
  std::lock_guard lock(mutex_);
  std::string why;
  const bool saved = database_.Save(why);
  SetError(error, why);
  return saved;
}

bool NewsEngine::SaveIfModified(std::string* error) {
  std::lock_guard lock(mutex_);
  std::string why;
  const bool saved = database_.SaveIfModified(why);
  SetError(error, why);
  return saved;
}

bool NewsEngine::ChangeDataFile(const std::string& path, std::string* error) {
  bool replaced = false;
  {
    std::lock_guard lock(mutex_);
    if (path == database_.Path()) return true;
    std::string why;
    if (access(path.c_str(), R_OK | W_OK) != 0) {
      if (!database_.MoveTo(path, why)) return Fail(error, why);
    } else {
      XmlDoc loaded;
      if (!loaded.LoadFile(path)) return Fail(error, "cannot use " + path + ": " + loaded.GetResultText());
      // The feeds read so far go back to their own file before the switch.
      if (!database_.Save(why)) return Fail(error, why);
      recentFeeds_.clear();
      scheduler_->ClearQueue();
      scheduler_->StopDownload();
      database_.Replace(std::move(loaded), path);
      replaced = true;
      if (observer_) observer_->DataFileReplaced();
    }
    settings_.dataFile = path;
    store_.SetString("DataFile", path);
  }
  if (replaced) FeedListChanged();
  return true;
}

bool NewsEngine::MergeDownload(const std::string& address, std::string_view text, std::string* reason) {
  if (address.empty()) return Fail(reason, "no address");
  XmlDoc download;
  std::string why;
  if (!ParseDownload(text, download, why)) return Fail(reason, why);
  const std::string title = DownloadedFeedTitle(download, address);
  const std::string now = Now();
  {
    std::lock_guard lock(mutex_);
    XmlDoc& db = database_.Document();
    const bool stored = database_.FindFeedByUri(address);
    const int storedRoot = db.GetParentPosition();
    int feed = db.GetCurrentPosition();
    const MergedCopy copy = MergeItemHistory(download, address, stored ? &db : nullptr, now);
    int feedId = 0;
    if (stored) {
      db.SetPositions(storedRoot, feed, 0);
      if (db.FindChildElement(nullptr)) db.RemoveChildElement();
      db.RemoveAttribute(feed, "failedtime");
      db.RemoveAttribute(feed, "numattempts");
      feedId = LeadingInt(db.GetAttribute(feed, "feedid"));
    } else {
      feedId = database_.AddFeed(address, title);
      feed = db.GetCurrentPosition();
    }
    // A feed the user had read stays read when nothing new came.
    if (copy.nothingNew && db.GetAttribute(feed, "viewed") == db.GetAttribute(feed, "arrivetime"))
      db.SetAttribute(feed, "viewed", now);
    db.SetAttribute(feed, "arrivetime", now);
    db.SetPositions(db.GetParentPosition(), feed, 0);
    db.AddSubDocument(copy.text, AsChild);
    NoteFeedUpdated(feedId);
  }
  FeedListChanged();
  return true;
}

void NewsEngine::FeedListChanged() {
  if (observer_) observer_->FeedListChanged();
}

void NewsEngine::PostViewRequest(const XmlDoc& request) {
  if (observer_) observer_->ShowView(request);
}

void NewsEngine::LinkQueued() {
  if (observer_) observer_->LinkQueued();
}

void NewsEngine::NoteFeedUpdated(int feedId) {
  std::lock_guard lock(mutex_);
  std::erase(recentFeeds_, feedId);
  recentFeeds_.push_back(feedId);
  if (settings_.notification && observer_ && !observer_->ScreenSaverShowing()) NotifyIfNews(feedId);
}

// The brief new-only view of a feed is empty exactly when a recognised feed
// has no new item, so counting decides whether there is anything to show.
void NewsEngine::NotifyIfNews(int feedId) {
  if (!database_.FindFeedById(feedId)) return;
  const ItemCounts counts = CountItems(database_.Document());
  if (counts.formatBits != FormatGeneric && counts.newItems == 0) return;
  XmlDoc request;
  request.AddElement("NURL");
  request.SetAttribute("feedid", std::to_string(feedId));
  request.SetAttribute("type", "BriefNewOnly");
  observer_->NotifyFeed(request);
}

void NewsEngine::AddStatusMessage(std::string_view text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  std::lock_guard lock(mutex_);
  statusMessages_.insert(statusMessages_.begin(), std::string(text));
  if (statusMessages_.size() > kMaxStatusMessages) statusMessages_.resize(kMaxStatusMessages);
}

std::vector<std::string> NewsEngine::StatusMessages() const {
  std::lock_guard lock(mutex_);
  return statusMessages_;
}

void NewsEngine::SetStatusLine(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    statusLine_ = text;
  }
  if (observer_) observer_->StatusLineChanged(text);
}

std::string NewsEngine::StatusLine() const {
  std::lock_guard lock(mutex_);
  return statusLine_;
}

std::string NewsEngine::Now() const { return FormatTimeStamp(clock_()); }

}  // namespace vrel
