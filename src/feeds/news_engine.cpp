#include "feeds/news_engine.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "feeds/asked_schedule.h"
#include "feeds/control_chars.h"
#include "feeds/feed_merge.h"
#include "feeds/time_stamp.h"
#include "feeds/view_request.h"

namespace vrel {

NewsEngine::NewsEngine(SettingsStore& store, Clock clock, DownloadSource* downloads,
                       SnapshotWriter saveWriter)
    : store_(store),
      clock_(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })),
      saveWriter_(saveWriter ? std::move(saveWriter) : FeedDatabase::WriteSnapshot),
      saver_(std::make_unique<BackgroundSaver>()),
      scheduler_(std::make_unique<Scheduler>(*this, downloads)) {}

NewsEngine::~NewsEngine() = default;

Outcome NewsEngine::LoadSettings() {
  settings_ = store_.Read();
  const std::string configured = settings_.dataFile;
  settings_.dataFile = FeedDatabase::ChooseDataPath(configured);
  if (settings_.dataFile == configured) return Outcome::Success();
  return store_.SetDataFile(settings_.dataFile);
}

void NewsEngine::ReloadSettings() {
  std::string dataFile = std::move(settings_.dataFile);
  settings_ = store_.Read();
  settings_.dataFile = std::move(dataFile);
}

void NewsEngine::Start() {
  if (const Outcome loaded = LoadSettings(); !loaded) AddStatusMessage(loaded.Message());
  OpenDataFile(settings_.dataFile);
}

Outcome NewsEngine::LockDataFile(const std::string& path, std::chrono::milliseconds wait,
                                 const std::function<void(const std::string&)>& waiting) {
  if (dataFileLock_.Holds(path)) return Outcome::Success();
  DataFileLock lock;
  if (Outcome taken = lock.Acquire(path, wait, waiting); !taken) return taken;
  dataFileLock_ = std::move(lock);
  lockWait_ = wait;
  return Outcome::Success();
}

Outcome NewsEngine::LoadDataFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  settings_.dataFile = path;
  if (dataFileLock_.Held()) {
    if (Outcome locked = LockDataFile(path, lockWait_); !locked) {
      database_.Replace(XmlDoc(), "");
      return locked;
    }
  }
  Outcome loaded = database_.Load(path, Now());
  if (loaded && !loaded.Message().empty()) AddStatusMessage(loaded.Message());
  return loaded;
}

void NewsEngine::OpenDataFile(const std::string& path) {
  if (const Outcome loaded = LoadDataFile(path); !loaded) AddStatusMessage(loaded.Message());
}

Outcome NewsEngine::Save() {
  WaitForSave();
  std::lock_guard lock(mutex_);
  return database_.Save();
}

Outcome NewsEngine::SaveIfModified() {
  WaitForSave();
  std::lock_guard lock(mutex_);
  return database_.SaveIfModified();
}

void NewsEngine::SaveInBackground() {
  {
    std::lock_guard lock(mutex_);
    if (database_.Path().empty() || !database_.Document().IsModified()) return;
  }
  saver_->Start([this] { SaveSnapshot(); });
}

// On the saver's thread: even the copy of a large text is not made on the
// front end's.
void NewsEngine::SaveSnapshot() {
  DataFileSnapshot snapshot;
  {
    std::lock_guard lock(mutex_);
    const Outcome taken = database_.TakeSnapshot(snapshot);
    if (!taken) {
      NoteBackgroundSave(taken);
      return;
    }
    if (!taken.Message().empty()) AddStatusMessage(taken.Message());  // a damaged file kept aside
  }
  NoteBackgroundSave(saveWriter_(snapshot));
}

void NewsEngine::WaitForSave() { saver_->Wait(); }

// A save that keeps failing is reported once, not every minute.
void NewsEngine::NoteBackgroundSave(const Outcome& written) {
  std::lock_guard lock(mutex_);
  if (!written) database_.MarkUnsaved();
  const std::string error = written ? std::string() : written.Message();
  if (!error.empty() && error != lastSaveError_) AddStatusMessage(error);
  lastSaveError_ = error;
}

Outcome NewsEngine::ChangeDataFile(const std::string& path) {
  WaitForSave();
  {
    std::lock_guard lock(mutex_);
    if (path == database_.Path()) return Outcome::Success();
  }
  // Taken before the switch, without keeping the readers waiting, and kept
  // only when the switch succeeds.
  DataFileLock newLock;
  if (dataFileLock_.Held() && !dataFileLock_.Holds(path))
    if (Outcome taken = newLock.Acquire(path, lockWait_); !taken) return taken;
  bool replaced = false;
  {
    std::lock_guard lock(mutex_);
    if (access(path.c_str(), R_OK | W_OK) != 0) {
      // Only a file that is not there receives the feeds: one that is there
      // but cannot be used must not be written over.
      if (errno != ENOENT) return Outcome::Failure("cannot use " + path + ": " + std::strerror(errno));
      if (Outcome moved = database_.MoveTo(path); !moved) return moved;
    } else {
      XmlDoc loaded;
      if (!loaded.LoadFile(path)) return Outcome::Failure("cannot use " + path + ": " + loaded.GetResultText());
      // The feeds read so far go back to their own file before the switch.
      if (Outcome saved = database_.Save(); !saved) return saved;
      recentFeeds_.clear();
      scheduler_->ClearQueue();
      scheduler_->StopDownloads();
      database_.Replace(std::move(loaded), path);
      replaced = true;
      if (observer_) observer_->DataFileReplaced();
    }
    settings_.dataFile = path;
    if (newLock.Held()) dataFileLock_ = std::move(newLock);
  }
  if (replaced) FeedListChanged();
  return store_.SetDataFile(path);
}

Outcome NewsEngine::ChangeSettings(const NewsSettings& wanted) {
  ReloadSettings();
  if (wanted.dataFile != settings_.dataFile)
    if (Outcome changed = ChangeDataFile(wanted.dataFile); !changed) return changed;
  const Outcome written = store_.WriteChanges(store_.Read(), wanted);
  ReloadSettings();
  return written;
}

Outcome NewsEngine::MergeDownload(const std::string& address, std::string_view text) {
  if (address.empty()) return Outcome::Failure("no address");
  XmlDoc download;
  if (Outcome parsed = ParseDownload(text, download); !parsed) return parsed;
  const std::string title = DropControls(DownloadedFeedTitle(download, address));
  const FeedAsks asks = ReadFeedAsks(download);
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
    KeepFeedAsks(db, feed, asks);
    db.SetPositions(db.GetParentPosition(), feed, 0);
    db.AddSubDocument(copy.text, XmlDoc::AsChild);
    NoteFeedUpdated(feedId);
  }
  FeedListChanged();
  return Outcome::Success();
}

void NewsEngine::FeedListChanged() {
  if (observer_) observer_->FeedListChanged();
}

void NewsEngine::DownloadEnded(const DownloadRequest& request, bool merged) {
  if (observer_) observer_->DownloadEnded(request, merged);
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
  const bool notifying = settings_.notification || settings_.desktopNotifications;
  if (notifying && observer_ && !observer_->ScreenSaverShowing()) NotifyIfNews(feedId);
}

// The brief new-only view of a feed is empty exactly when a recognised feed
// has no new item, so counting decides whether there is anything to show.
void NewsEngine::NotifyIfNews(int feedId) {
  if (!database_.FindFeedById(feedId)) return;
  const ItemCounts counts = CountItems(database_.Document());
  if (counts.formatBits != FormatGeneric && counts.newItems == 0) return;
  observer_->NotifyFeed(MakeRequest(std::to_string(feedId), "BriefNewOnly"));
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
