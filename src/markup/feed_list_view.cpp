#include "markup/feed_list_view.h"

#include <cstdio>
#include <mutex>

#include "feeds/feed_folders.h"
#include "feeds/feed_merge.h"
#include "feeds/news_engine.h"
#include "markup/view_support.h"

namespace vrel {
namespace {

// Keeps a value a hair below a whole unit from losing that unit.
constexpr double kRoundingAllowance = 5.787037037037037e-6;
constexpr int kLargestBadgeCount = 99;
constexpr char kProgramName[] = "brackenfold News Reader";

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string AgeOf(const std::string& arriveTime, std::time_t now) {
  const std::optional<TimeStamp> arrived = ParseTimeStamp(arriveTime);
  return arrived ? FormatAge(DaysSince(*arrived, now), AgeForm::Short) : arriveTime;
}

std::string Counted(int count, const char* singular, const char* plural) {
  return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

struct FeedLine {
  std::string markup;
  ItemCounts counts;
};

FeedLine LineOfFeed(XmlDoc& db, std::time_t now) {
  const int feed = db.GetCurrentPosition();
  const std::string feedId = db.GetAttribute(feed, "feedid");
  const std::string title = MarkupText(db.GetAttribute(feed, "title"));
  const std::string arriveTime = db.GetAttribute(feed, "arrivetime");
  const std::string viewed = db.GetAttribute(feed, "viewed");
  const bool failed = !db.GetAttribute(feed, "failedtime").empty();
  const std::string age = MarkupText(AgeOf(arriveTime, now));
  const ItemCounts counts = CountItems(db);
  const std::string id = std::to_string(LeadingInt(feedId));
  const std::string newCount = std::to_string(counts.newItems);
  const std::string total = std::to_string(counts.items);

  const std::string countsText =
      !failed && counts.newItems != 0
          ? " <A feedid=\"" + id + "\" type=\"NewOnly\"><FONT color=\"250,0,0\"><B>" + newCount + "</B></FONT></A> /" +
                total + " (" + age + ")"
          : " " + total + " (" + age + ")";
  std::string link;
  if (counts.newItems != 0)
    link = "<A feedid=\"" + id + "\" newcount=\"" + newCount + "\"><B>" + title + "</B></A>";
  else if (counts.formatBits != FormatGeneric || viewed == arriveTime)
    link = "<A feedid=\"" + id + "\">" + title + "</A>";
  else
    link = "<A feedid=\"" + id + "\" unviewed=\"1\"><B>" + title + "</B></A>";
  return {link + countsText + "\r\n", counts};
}

// A folder's feeds go indented below its heading.
constexpr char kFolderIndent[] = "    ";

// The heading of a folder: a link to its new items, in bold, with the new
// and total item counts of its feeds.
std::string FolderHeading(const std::string& folder, const ItemCounts& counts) {
  std::string line = "<A type=\"FolderNew\" folder=\"" + MarkupAttribute(folder) + "\"><B>" + MarkupText(folder) +
                     "</B></A> ";
  if (counts.newItems != 0)
    line += "<FONT color=\"250,0,0\"><B>" + std::to_string(counts.newItems) + "</B></FONT> /";
  return line + std::to_string(counts.items) + "\r\n";
}

// The lines of one folder's feeds (the heading first when it is a folder),
// counted into the totals.
std::string GroupLines(XmlDoc& db, const FolderGroup& group, std::time_t now, NewItemTotals& totals) {
  std::string lines;
  ItemCounts sum;
  for (const int feed : group.feeds) {
    EnterFeed(db, feed);
    const FeedLine line = LineOfFeed(db, now);
    if (line.counts.newItems != 0) {
      totals.items += line.counts.newItems;
      ++totals.feeds;
    }
    sum.items += line.counts.items;
    sum.newItems += line.counts.newItems;
    if (!group.folder.empty()) lines += kFolderIndent;
    lines += line.markup;
  }
  return group.folder.empty() ? lines : FolderHeading(group.folder, sum) + lines;
}

}  // namespace

std::string FormatAge(double days, AgeForm form) {
  const bool isShort = form == AgeForm::Short;
  const long wholeDays = long(days);
  const long totalHours = long(days * 24 + kRoundingAllowance);
  const long hours = totalHours - wholeDays * 24;
  const long minutes = long(days * 1440 + kRoundingAllowance) - 60 * totalHours;
  if (wholeDays != 0) return Format("%.1f days", double(wholeDays) + hours / 24.0 + minutes / 1440.0);
  if (hours != 0) return Format(isShort ? "%.1f hrs" : "%.1f hours", double(hours) + minutes / 60.0);
  if (isShort) return std::to_string(minutes) + " min";
  return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
}

double DaysSince(const TimeStamp& stamp, std::time_t now) {
  return std::difftime(now, ToTime(stamp)) / 86400.0;
}

FeedList BuildFeedList(NewsEngine& engine) {
  std::lock_guard lock(engine.Lock());
  XmlDoc& db = engine.Database().Document();
  const std::time_t now = engine.CurrentTime();
  FeedList list;
  for (const FolderGroup& group : GroupFeedsByFolder(db)) list.markup += GroupLines(db, group, now, list.newTotals);
  return list;
}

std::string RenderFeedList(NewsEngine& engine) { return BuildFeedList(engine).markup; }

std::string NewCountBadge(int newItems) {
  if (newItems <= 0) return {};
  if (newItems > kLargestBadgeCount) return std::to_string(kLargestBadgeCount) + "+";
  return std::to_string(newItems);
}

std::string NewItemsText(int items) { return Counted(items, "new item", "new items"); }

std::string NewItemsText(const NewItemTotals& totals) {
  return NewItemsText(totals.items) + " in " + Counted(totals.feeds, "feed", "feeds");
}

std::string TrayTip(const NewItemTotals& totals) {
  if (totals.items <= 0) return kProgramName;
  return std::string(kProgramName) + "\n" + NewItemsText(totals);
}

std::string JoinStatusMessages(const std::vector<std::string>& messages) {
  std::string text;
  for (const std::string& message : messages) text += message + "\r\n\r\n";
  return text;
}

}  // namespace vrel
