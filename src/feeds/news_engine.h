// NewsEngine: the owner of the reader's lasting state. It holds the feed
// database under the database lock, the next feed identifier (inside the
// database), the download scheduler, RecentFeeds, StatusMessages and the
// settings in memory, and tells its front end what changed through
// NewsObserver. The desktop dialog
// and vrel-cli each hold one.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "feeds/background_saver.h"
#include "feeds/data_file_lock.h"
#include "feeds/feed_database.h"
#include "feeds/outcome.h"
#include "feeds/reader_settings.h"
#include "feeds/scheduler.h"
#include "feeds/settings_store.h"
#include "xml/xml_doc.h"

namespace vrel {

// What writes a snapshot of the data file (DataFileSnapshot).
using SnapshotWriter = std::function<Outcome(const DataFileSnapshot&)>;

class NewsObserver {
 public:
  virtual ~NewsObserver() = default;

  virtual void FeedListChanged() {}
  virtual void StatusLineChanged(const std::string& /*text*/) {}
  // Whether the full-screen screen saver is showing; notifications wait then.
  virtual bool ScreenSaverShowing() { return false; }
  // A feed brought news: request is a "NURL" document of type "BriefNewOnly"
  // for the notification window. Called with the database lock held.
  virtual void NotifyFeed(const XmlDoc& /*request*/) {}
  // Another data file replaced the database: the notification window's
  // contents refer to the old one.
  virtual void DataFileReplaced() {}
  // A view is asked for: request is a "NURL" document for the viewer window.
  virtual void ShowView(const XmlDoc& /*request*/) {}
  // A clicked address waits in the link queue; the front end opens it on
  // its own thread.
  virtual void LinkQueued() {}
  // A download ended, merged or booked as a failure (the scheduler's
  // thread).
  virtual void DownloadEnded(const DownloadRequest& /*request*/, bool /*merged*/) {}
};

inline constexpr size_t kMaxStatusMessages = 10;

class NewsEngine {
 public:
  using Clock = std::function<std::time_t()>;

  // downloads: where the scheduler's downloads come from; null for the
  // network (a Downloader made when first needed). saveWriter: what writes
  // the background saves' snapshots; empty for the data file itself.
  explicit NewsEngine(SettingsStore& store, Clock clock = {}, DownloadSource* downloads = nullptr,
                      SnapshotWriter saveWriter = {});
  ~NewsEngine();
  NewsEngine(const NewsEngine&) = delete;
  NewsEngine& operator=(const NewsEngine&) = delete;

  void SetObserver(NewsObserver* observer) { observer_ = observer; }

  // Reads the settings into memory. The data file is the configured one when
  // it can be read and written, otherwise feedstatus.xml in the current
  // directory, which is then configured at once; a failure says that it
  // could not be.
  Outcome LoadSettings();
  const NewsSettings& Settings() const { return settings_; }
  // Before LoadSettings: see ReaderSettings::SetDesktopNotificationsDefault.
  void SetDesktopNotificationsDefault(bool on) { store_.SetDesktopNotificationsDefault(on); }
  // The settings as the store now holds them, the data file excepted: that
  // stays the one the database uses.
  void ReloadSettings();

  // Takes the lock of the data file at path (see DataFileLock), waiting up
  // to wait for another vrel or vrel-cli to let go of it; waiting, when
  // given, is told the refusal once the wait begins. Call it before loading
  // the file: vrel holds the lock for its whole run, vrel-cli while a
  // command that changes the file runs. Once the engine holds a lock, it
  // holds the lock of every data file it loads or changes to.
  Outcome LockDataFile(const std::string& path, std::chrono::milliseconds wait,
                       const std::function<void(const std::string&)>& waiting = {});

  // Loads the database from path; a damaged file is reported in
  // StatusMessages. Fails, leaving the database empty and without a file,
  // when path is no file it can use (a folder, say) or when another process
  // holds the file and the engine holds locks (waited for as long as
  // LockDataFile was told).
  Outcome LoadDataFile(const std::string& path);
  // LoadDataFile with the failure, too, in StatusMessages.
  void OpenDataFile(const std::string& path);
  // LoadSettings and OpenDataFile; problems go to StatusMessages.
  void Start();

  // Atomic saves of the whole database; SaveIfModified writes only when
  // something changed since the last load or save. Both wait for a save in
  // the background to end first, so that the file never goes back to an
  // older state.
  Outcome Save();
  Outcome SaveIfModified();
  // The minute's save: the text is taken under the database lock and the
  // file written on a thread of its own. Nothing happens when nothing
  // changed or a save is still being written. A failure goes to
  // StatusMessages, once while it repeats. Call it on the thread that calls
  // Save and ChangeDataFile.
  void SaveInBackground();
  // Returns once no save runs in the background.
  void WaitForSave();
  bool SavingInBackground() const { return saver_->Busy(); }

  // Points the reader at another data file: a missing one receives the
  // current database, an existing one replaces it after the current
  // database was saved where it came from; queued and running downloads,
  // which belong to the old database, are dropped then. A file that another
  // process holds is refused when the engine holds locks; on success the
  // new file's lock replaces the old one's. A failure to write "DataFile" is
  // reported, though the database has moved.
  Outcome ChangeDataFile(const std::string& path);

  // What the Settings dialog applies: a new data file first; only when that
  // succeeded, the other values that differ from the store's are written.
  Outcome ChangeSettings(const NewsSettings& wanted);

  // Stores a downloaded document as the latest copy of the feed at address,
  // carrying over each item's history. On failure nothing has changed and
  // the outcome says why.
  Outcome MergeDownload(const std::string& address, std::string_view text);

  // Moves the feed to the end of RecentFeeds and, when notifications (the
  // window's or the desktop's) are on and the feed has news, asks the front
  // end to show it.
  void NoteFeedUpdated(int feedId);

  // Driven by the front end's 500 ms timer; used only on that thread.
  Scheduler& DownloadScheduler() { return *scheduler_; }

  // Tells the front end to rebuild the feed list.
  void FeedListChanged();
  void DownloadEnded(const DownloadRequest& request, bool merged);
  // Hands a "NURL" request to the front end's viewer.
  void PostViewRequest(const XmlDoc& request);
  void LinkQueued();

  // The database lock; hold it for every use of Database() and RecentFeeds().
  std::recursive_mutex& Lock() const { return mutex_; }
  FeedDatabase& Database() { return database_; }
  std::vector<int>& RecentFeeds() { return recentFeeds_; }

  void AddStatusMessage(std::string_view text);
  std::vector<std::string> StatusMessages() const;
  void SetStatusLine(const std::string& text);
  std::string StatusLine() const;

  std::time_t CurrentTime() const { return clock_(); }
  std::string Now() const;

 private:
  void NotifyIfNews(int feedId);
  void SaveSnapshot();
  void NoteBackgroundSave(const Outcome& written);

  ReaderSettings store_;
  Clock clock_;
  NewsObserver* observer_ = nullptr;
  mutable std::recursive_mutex mutex_;
  DataFileLock dataFileLock_;  // before the database: let go of only after its last save
  std::chrono::milliseconds lockWait_{0};
  FeedDatabase database_;
  std::vector<int> recentFeeds_;
  std::vector<std::string> statusMessages_;  // newest first
  std::string statusLine_;
  NewsSettings settings_;
  std::string lastSaveError_;  // under mutex_
  SnapshotWriter saveWriter_;
  std::unique_ptr<BackgroundSaver> saver_;  // goes before the database it saves
  std::unique_ptr<Scheduler> scheduler_;  // last: it goes first and ends its downloads
};

}  // namespace vrel
