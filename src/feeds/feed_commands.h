// The commands of the feed context menu and the main menu that change the
// database. Each takes the database lock itself and tells the front end to
// rebuild the feed list when something changed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vrel {

class NewsEngine;

// The feed identifier of the feed named by its identifier or its address;
// 0 when no feed matches.
int ResolveFeed(NewsEngine& engine, std::string_view idOrAddress);

// Queues a download of the feed before every scheduled one; false when the
// feed does not exist.
bool UpdateFeedNow(NewsEngine& engine, int feedId);
// Removes the feed with everything stored in it; its id also leaves RecentFeeds.
bool DeleteFeed(NewsEngine& engine, int feedId);
// The feed counts as seen as of its last download. True when that changed it.
bool MarkAsRead(NewsEngine& engine, int feedId);
// Mark As Read for every feed; the number of feeds changed.
int MarkAllAsRead(NewsEngine& engine);

// The feed identifiers of the feeds in folder (exactly that one, not the
// folders inside it), in database order; empty when no feed is in it.
std::vector<int> FeedsInFolder(NewsEngine& engine, std::string_view folder);
// Mark All As Read and Update Now for the feeds of one folder; the number
// of feeds changed or queued.
int MarkFolderAsRead(NewsEngine& engine, std::string_view folder);
int UpdateFolderNow(NewsEngine& engine, std::string_view folder);

// What the Modify Feed Settings dialog hands back on OK.
struct FeedSettings {
  std::string title;     // empty keeps the title
  std::string schedule;  // a duration; one that cannot be read keeps the period
  bool scrapeChanged = false;
  std::string items;     // the new "items" element when scrapeChanged
  std::optional<std::string> folder = std::nullopt;  // none keeps the folder; empty removes it
};

// Whether the feed keeps scrape settings: a web page feed, or one never downloaded.
bool HasScrapeSettings(NewsEngine& engine, int feedId);
// The feed's "items" element rebuilt from a scrape list; the values of the
// items that stay are carried over. Call with the database lock held or on a copy.
std::string ScrapeItemsFromList(std::string_view currentItems, std::string_view list);
// The current "items" element of a feed, empty when it has none.
std::string CurrentScrapeItems(NewsEngine& engine, int feedId);

// Applies the dialog's result to the feed if it still exists; true when
// something was applied.
bool ApplyFeedSettings(NewsEngine& engine, int feedId, const FeedSettings& settings);

}  // namespace vrel
