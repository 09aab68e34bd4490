#include "feeds/feed_news.h"

#include "feeds/feed_merge.h"
#include "feeds/feed_reader.h"
#include "feeds/time_stamp.h"

namespace vrel {

FeedNews ReadFeedNews(XmlDoc& database, size_t titles) {
  const int parent = database.GetParentPosition();
  const int feed = database.GetCurrentPosition();
  const std::optional<TimeStamp> viewed = ParseTimeStamp(database.GetAttribute(feed, "viewed"));
  FeedNews news;
  news.feedId = LeadingInt(database.GetAttribute(feed, "feedid"));
  news.title = database.GetAttribute(feed, "title");
  FeedReader reader = FeedReader::ForStoredFeed(database);
  while (reader.NextItem()) {
    reader.ReadItem(FieldFirstTime | FieldVisited);
    if (!IsNewItem(reader, viewed)) continue;
    ++news.newItems;
    if (news.firstTitles.size() == titles) continue;
    reader.ReadItem(FieldTitle);
    news.firstTitles.push_back(reader.Title());
  }
  database.SetPositions(parent, feed, 0);
  return news;
}

}  // namespace vrel
