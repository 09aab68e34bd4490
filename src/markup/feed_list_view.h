// The main dialog's texts: the feed list, one mark-up line per feed, the
// age of a download in words, and the status messages as one text.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "feeds/time_stamp.h"

namespace vrel {

class NewsEngine;

enum class AgeForm { Short, Long };

// A duration in days: "1.5 days", "1.5 hrs" / "1.5 hours", "59 min" / "59 minutes".
std::string FormatAge(double days, AgeForm form);
// Days from stamp to now.
double DaysSince(const TimeStamp& stamp, std::time_t now);

// New items across the whole database, and the feeds that hold them.
struct NewItemTotals {
  int items = 0;
  int feeds = 0;
};

struct FeedList {
  std::string markup;
  NewItemTotals newTotals;
};

// One line per FEED with the new-item totals counted on the way: the feeds
// without a folder in database order, then each folder (feed_folders.h) as
// a bold heading with its new and total counts, a link of type "FolderNew",
// and its feeds indented below it in database order. Takes the database lock.
FeedList BuildFeedList(NewsEngine& engine);
std::string RenderFeedList(NewsEngine& engine);

// The count painted on the tray icon: empty for none, "99+" past 99.
std::string NewCountBadge(int newItems);
// "1 new item", "3 new items"; with the feeds, "3 new items in 2 feeds".
std::string NewItemsText(int items);
std::string NewItemsText(const NewItemTotals& totals);
// The tray icon's tip: the program's name, then "N new items in M feeds"
// on a second line while there are any.
std::string TrayTip(const NewItemTotals& totals);

// Every message followed by a blank line, newest first.
std::string JoinStatusMessages(const std::vector<std::string>& messages);

}  // namespace vrel

