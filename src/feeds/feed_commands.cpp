#include "feeds/feed_commands.h"

#include <algorithm>
#include <functional>
#include <mutex>

#include "feeds/feed_database.h"
#include "feeds/feed_folders.h"
#include "feeds/news_engine.h"
#include "feeds/scrape.h"
#include "feeds/time_stamp.h"

namespace vrel {
namespace {

// Position of the feed's first child element (its stored copy or scrape items), 0 when none.
int FirstChildOfFeed(XmlDoc& db) {
  db.SetPositions(db.GetParentPosition(), db.GetCurrentPosition(), 0);
  return db.FindChildElement(nullptr) ? db.GetChildPosition() : 0;
}

bool MarkCurrentFeedRead(XmlDoc& db) {
  const std::string arrived = db.GetAttribute("arrivetime");
  if (db.GetAttribute("viewed") == arrived) return false;
  db.SetAttribute("viewed", arrived);
  return true;
}

}  // namespace

int ResolveFeed(NewsEngine& engine, std::string_view idOrAddress) {
  std::lock_guard lock(engine.Lock());
  FeedDatabase& database = engine.Database();
  const bool numeric = !idOrAddress.empty() && std::all_of(idOrAddress.begin(), idOrAddress.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
  if (!(numeric && database.FindFeedById(idOrAddress)) && !database.FindFeedByUri(idOrAddress)) return 0;
  return LeadingInt(database.Document().GetAttribute("feedid"));
}

bool UpdateFeedNow(NewsEngine& engine, int feedId) { return engine.DownloadScheduler().QueueFeed(feedId); }

bool DeleteFeed(NewsEngine& engine, int feedId) {
  bool deleted = false;
  {
    std::lock_guard lock(engine.Lock());
    std::erase(engine.RecentFeeds(), feedId);
    deleted = engine.Database().FindFeedById(feedId) && engine.Database().Document().RemoveElement();
  }
  if (deleted) engine.FeedListChanged();
  return deleted;
}

bool MarkAsRead(NewsEngine& engine, int feedId) {
  bool changed = false;
  {
    std::lock_guard lock(engine.Lock());
    changed = engine.Database().FindFeedById(feedId) && MarkCurrentFeedRead(engine.Database().Document());
  }
  if (changed) engine.FeedListChanged();
  return changed;
}

namespace {

// Mark As Read for the feeds whose FEED element include accepts.
int MarkFeedsAsRead(NewsEngine& engine, const std::function<bool(XmlDoc&)>& include) {
  int changed = 0;
  {
    std::lock_guard lock(engine.Lock());
    XmlDoc& db = engine.Database().Document();
    ForEachFeed(db, [&] { changed += include(db) && MarkCurrentFeedRead(db) ? 1 : 0; });
  }
  if (changed > 0) engine.FeedListChanged();
  return changed;
}

}  // namespace

int MarkAllAsRead(NewsEngine& engine) {
  return MarkFeedsAsRead(engine, [](XmlDoc&) { return true; });
}

std::vector<int> FeedsInFolder(NewsEngine& engine, std::string_view folder) {
  std::vector<int> feeds;
  if (folder.empty()) return feeds;
  std::lock_guard lock(engine.Lock());
  XmlDoc& db = engine.Database().Document();
  ForEachFeed(db, [&] {
    if (db.GetAttribute(kFolderAttribute) == folder) feeds.push_back(LeadingInt(db.GetAttribute("feedid")));
  });
  return feeds;
}

int MarkFolderAsRead(NewsEngine& engine, std::string_view folder) {
  if (folder.empty()) return 0;
  return MarkFeedsAsRead(engine, [folder](XmlDoc& db) { return db.GetAttribute(kFolderAttribute) == folder; });
}

int UpdateFolderNow(NewsEngine& engine, std::string_view folder) {
  int queued = 0;
  for (const int feedId : FeedsInFolder(engine, folder)) queued += UpdateFeedNow(engine, feedId) ? 1 : 0;
  return queued;
}

bool HasScrapeSettings(NewsEngine& engine, int feedId) {
  std::lock_guard lock(engine.Lock());
  if (!engine.Database().FindFeedById(feedId)) return false;
  XmlDoc& db = engine.Database().Document();
  return db.GetAttribute("type") == "HTML" || FirstChildOfFeed(db) == 0;
}

std::string CurrentScrapeItems(NewsEngine& engine, int feedId) {
  std::lock_guard lock(engine.Lock());
  if (!engine.Database().FindFeedById(feedId)) return {};
  XmlDoc& db = engine.Database().Document();
  const int items = FirstChildOfFeed(db);
  return items != 0 && db.GetElementName(items) == "items" ? db.GetSubDocument(items) : std::string();
}

std::string ScrapeItemsFromList(std::string_view currentItems, std::string_view list) {
  XmlDoc items;
  items.SetDocumentText(currentItems);
  ParseScrapeList(list, items);
  return items.GetDocumentText();
}

bool ApplyFeedSettings(NewsEngine& engine, int feedId, const FeedSettings& settings) {
  bool applied = false;
  {
    std::lock_guard lock(engine.Lock());
    if (!engine.Database().FindFeedById(feedId)) return false;
    XmlDoc& db = engine.Database().Document();
    const int parent = db.GetParentPosition();
    const int feed = db.GetCurrentPosition();
    if (!settings.title.empty()) applied |= db.SetAttribute(feed, "title", settings.title);
    std::string period = settings.schedule;
    int64_t seconds = 0;
    // Only a readable schedule replaces the period, in its normal form.
    if (ReadDuration(period, seconds)) applied |= db.SetAttribute(feed, "period", period);
    if (settings.folder) applied |= SetFeedFolder(db, feed, *settings.folder);
    if (settings.scrapeChanged) {
      if (FirstChildOfFeed(db) != 0) db.RemoveChildElement();
      db.SetPositions(parent, feed, 0);
      applied |= db.AddSubDocument(settings.items, XmlDoc::AsChild);
    }
  }
  if (applied) engine.FeedListChanged();
  return applied;
}

}  // namespace vrel
