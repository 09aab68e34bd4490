#include "markup/digest.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "feeds/feed_reader.h"
#include "feeds/news_engine.h"
#include "feeds/time_stamp.h"
#include "markup/view_support.h"

namespace vrel {
namespace {

constexpr int kRandMax = 32767;

int RandomIndex(const DigestRandom& random, size_t count) {
  const long index = long(count) * random() / kRandMax;
  return int(std::clamp(index, 0L, long(count) - 1));
}

void RefillQueue(XmlDoc& db, std::vector<int>& queue, std::string_view previousFeedId, const DigestRandom& random) {
  ForEachFeed(db, [&] { queue.push_back(LeadingInt(db.GetAttribute("feedid"))); });
  const size_t count = queue.size();
  if (count > 1) {
    random();  // the first number of the sequence is not used
    for (size_t i = 0; i < count; ++i) std::swap(queue[i], queue[size_t(RandomIndex(random, count))]);
  }
  if (count == 0 || std::to_string(queue.back()) != previousFeedId) return;
  const size_t half = count / 2;
  const size_t swapWith = half < 2 ? 0 : size_t(RandomIndex(random, half));
  std::swap(queue.back(), queue[swapWith]);
}

std::string Element(const char* name, std::string_view text) {
  return std::string("<") + name + ">" + ToMarkupText(text) + "</" + name + ">";
}

std::string ItemTime(const FeedReader& reader, const std::string& downloaded, const std::string& arriveTime,
                     std::time_t now) {
  std::string time = reader.Date();
  if (!time.empty()) time += ", ";
  const std::optional<TimeStamp> first = ParseTimeStamp(reader.FirstTime());
  if (reader.FirstTime() != arriveTime && first)
    return time + "first downloaded " + AgePhrase(*first, now) + " ago";
  return time + "newly " + downloaded;
}

std::string ItemOther(const FeedReader& reader) {
  if (reader.Author().empty()) return reader.Category();
  if (reader.Category().empty()) return reader.Author();
  return reader.Author() + ", " + reader.Category();
}

}  // namespace

bool BuildDigest(NewsEngine& engine, XmlDoc& output, std::string_view previousFeedId, const DigestRandom& random) {
  std::lock_guard lock(engine.Lock());
  XmlDoc& db = engine.Database().Document();
  std::vector<int>& queue = engine.RecentFeeds();
  if (queue.empty()) RefillQueue(db, queue, previousFeedId, random);
  if (queue.empty()) return false;
  const int feedId = queue.back();
  queue.pop_back();
  if (!engine.Database().FindFeedById(feedId)) return false;

  const int feed = db.GetCurrentPosition();
  const std::string arriveTime = db.GetAttribute(feed, "arrivetime");
  const std::optional<TimeStamp> arrived = ParseTimeStamp(arriveTime);
  const std::time_t now = engine.CurrentTime();
  const std::string downloaded = arrived ? "downloaded " + AgePhrase(*arrived, now) + " ago" : std::string();
  FeedReader reader = FeedReader::ForStoredFeed(db);
  const bool generic = reader.FormatBits() == FormatGeneric;
  std::string title = db.GetAttribute(feed, "title");
  if (generic) title += " (" + downloaded + ")";

  std::string items;
  std::set<std::string> written;
  while (reader.NextItem()) {
    if (generic && written.size() == 11) break;
    reader.ReadItem(FieldAll);
    std::string text = reader.Title();
    if (!generic && LeadingInt(reader.Comments()) > 1) text += " (" + reader.Comments() + ")";
    if (generic) text = reader.Description().empty() ? std::string() : text + " " + MakeExcerpt(reader.Description(), 45);
    if (text.empty() || !written.insert(text).second) continue;
    if (generic) {
      items += "<item>" + Element("title", text) + "</item>";
      continue;
    }
    items += "<item firsttime=\"" + MarkupAttribute(reader.FirstTime()) + "\" seq=\"" + MarkupAttribute(reader.Seq()) +
             "\">" + Element("title", text) + Element("time", ItemTime(reader, downloaded, arriveTime, now));
    const std::string other = ItemOther(reader);
    if (!other.empty()) items += Element("other", other);
    items += "</item>";
  }
  std::string text = "<DIGEST>";
  if (!items.empty())
    text += "<FEED title=\"" + MarkupAttribute(title) + "\" feedid=\"" + std::to_string(feedId) + "\" arrivetime=\"" +
            MarkupAttribute(arriveTime) + "\">" + items + "</FEED>";
  output.SetDocumentText(text + "</DIGEST>");
  output.SetPositions(0, 0, 0);
  return true;
}

}  // namespace vrel
