#include "feeds/asked_schedule.h"

#include <algorithm>
#include <string_view>

#include "feeds/time_stamp.h"
#include "net/ascii_text.h"
#include "xml/xml_doc.h"

namespace vrel {

namespace {

constexpr int64_t kMinute = 60;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = 24 * kHour;
constexpr int kHoursInWeek = 7 * 24;
constexpr const char* kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

struct SyndicationPeriod {
  const char* word;
  int64_t seconds;
};
constexpr SyndicationPeriod kSyndicationPeriods[] = {
    {"hourly", kHour}, {"daily", kDay}, {"weekly", 7 * kDay}, {"monthly", 30 * kDay}, {"yearly", 365 * kDay}};

// A count of whole digits; -1 for anything else.
int64_t Count(std::string_view text) {
  text = TrimAscii(text);
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos) return -1;
  return LeadingInt(text);
}

int DayIndex(std::string_view name) {
  for (int day = 0; day < 7; ++day)
    if (EqualsNoCase(TrimAscii(name), kDayNames[day])) return day;
  return -1;
}

bool HasPrefix(const std::string& name) { return name.find(':') != std::string::npos; }
std::string_view LocalName(const std::string& name) {
  const size_t colon = name.rfind(':');
  return colon == std::string::npos ? std::string_view(name) : std::string_view(name).substr(colon + 1);
}

// Collects the asks among the children of a feed's root or channel.
class AskReader {
 public:
  explicit AskReader(const XmlDoc& doc) : doc_(doc) {}

  void ReadChildrenOf(int element) {
    for (int child = doc_.GetFirstChild(element); child; child = doc_.GetNextSibling(child)) Read(child);
  }

  FeedAsks Asks() const {
    FeedAsks asks = skips_;
    int64_t syndication = 0;
    if (syndicationPeriod_ > 0 || syndicationFrequency_ > 0)
      syndication = (syndicationPeriod_ > 0 ? syndicationPeriod_ : kDay) / std::max<int64_t>(syndicationFrequency_, 1);
    asks.seconds = std::min(std::max(ttl_, syndication), kLongestAskedWait);
    return asks;
  }

 private:
  void Read(int element) {
    const std::string name = doc_.GetElementName(element);
    const std::string_view local = LocalName(name);
    if (name == "ttl") {
      if (const int64_t minutes = Count(doc_.GetContent(element)); minutes > 0) ttl_ = minutes * kMinute;
    } else if (EqualsNoCase(name, "skipHours")) {
      ForEachChildText(element, "hour", [&](std::string_view text) {
        if (const int64_t hour = Count(text); hour >= 0 && hour <= 24) skips_.skipHours |= 1u << (hour % 24);
      });
    } else if (EqualsNoCase(name, "skipDays")) {
      ForEachChildText(element, "day", [&](std::string_view text) {
        if (const int day = DayIndex(text); day >= 0) skips_.skipDays |= 1u << day;
      });
    } else if (HasPrefix(name) && local == "updatePeriod") {
      const std::string word = doc_.GetContent(element);
      for (const SyndicationPeriod& period : kSyndicationPeriods)
        if (EqualsNoCase(TrimAscii(word), period.word)) syndicationPeriod_ = period.seconds;
    } else if (HasPrefix(name) && local == "updateFrequency") {
      if (const int64_t frequency = Count(doc_.GetContent(element)); frequency > 0) syndicationFrequency_ = frequency;
    }
  }

  // Feeds written from old examples say <hours> and <days>, or <skipdays>.
  template <typename Visit>
  void ForEachChildText(int element, std::string_view childName, Visit visit) {
    for (int child = doc_.GetFirstChild(element); child; child = doc_.GetNextSibling(child)) {
      std::string name = doc_.GetElementName(child);
      if (!name.empty() && name.back() == 's') name.pop_back();
      if (name == childName) visit(doc_.GetContent(child));
    }
  }

  const XmlDoc& doc_;
  FeedAsks skips_;
  int64_t ttl_ = 0;
  int64_t syndicationPeriod_ = 0;
  int64_t syndicationFrequency_ = 0;
};

std::string HoursText(uint32_t mask, const char* separator) {
  std::string text;
  for (int hour = 0; hour < 24; ++hour) {
    if ((mask & (1u << hour)) == 0) continue;
    if (!text.empty()) text += separator;
    text += std::to_string(hour);
  }
  return text;
}

std::string DaysText(uint32_t mask, const char* separator) {
  std::string text;
  for (int day = 0; day < 7; ++day) {
    if ((mask & (1u << day)) == 0) continue;
    if (!text.empty()) text += separator;
    text += kDayNames[day];
  }
  return text;
}

// The masks back from their stored words.
template <typename IndexOf>
uint32_t MaskOf(const std::string& words, IndexOf indexOf) {
  uint32_t mask = 0;
  size_t start = 0;
  while (start < words.size()) {
    const size_t end = std::min(words.find(' ', start), words.size());
    if (const int index = indexOf(std::string_view(words).substr(start, end - start)); index >= 0) mask |= 1u << index;
    start = end + 1;
  }
  return mask;
}

uint32_t StoredHours(const XmlDoc& db, int feed) {
  return MaskOf(db.GetAttribute(feed, "skiphours"), [](std::string_view word) {
    const int64_t hour = Count(word);
    return hour >= 0 && hour < 24 ? static_cast<int>(hour) : -1;
  });
}

uint32_t StoredDays(const XmlDoc& db, int feed) { return MaskOf(db.GetAttribute(feed, "skipdays"), DayIndex); }

int64_t StoredSeconds(const XmlDoc& db, int feed, const char* name) {
  return std::clamp<int64_t>(Count(db.GetAttribute(feed, name)), 0, kLongestAskedWait);
}

void SetOrRemove(XmlDoc& db, int feed, const char* name, const std::string& value) {
  if (value.empty()) {
    db.RemoveAttribute(feed, name);
  } else {
    db.SetAttribute(feed, name, value);
  }
}

std::string SecondsText(int64_t seconds) { return seconds > 0 ? std::to_string(seconds) : std::string(); }

// Whole hours from two on, else minutes rounded up.
std::string DurationWords(int64_t seconds) {
  if (seconds >= 2 * kHour && seconds % kHour == 0) return std::to_string(seconds / kHour) + " hours";
  const int64_t minutes = (seconds + kMinute - 1) / kMinute;
  return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
}

std::string ReasonText(const XmlDoc& db, int feed, AskedReason reason) {
  switch (reason) {
    case AskedReason::FeedPeriod:
      return "the feed asks for " + DurationWords(StoredSeconds(db, feed, "askedperiod"));
    case AskedReason::ServerLifetime:
      return "the server asks for " + DurationWords(StoredSeconds(db, feed, "freshfor"));
    case AskedReason::SkipHours:
      return "the feed skips the hours " + HoursText(StoredHours(db, feed), ", ") + " (UTC)";
    case AskedReason::SkipDays:
      return "the feed skips " + DaysText(StoredDays(db, feed), ", ");
    case AskedReason::None:
      break;
  }
  return {};
}

// The time of day, with the weekday when it is not today.
std::string ClockText(std::time_t time, std::time_t now) {
  const bool today = FormatLocalTime(time, "%Y%m%d") == FormatLocalTime(now, "%Y%m%d");
  return FormatLocalTime(time, today ? "%H:%M" : "%a %H:%M");
}

// Which skip, if any, holds at a moment.
AskedReason SkipAt(std::time_t time, uint32_t hours, uint32_t days) {
  std::tm utc{};
  gmtime_r(&time, &utc);
  if (hours & (1u << utc.tm_hour)) return AskedReason::SkipHours;
  if (days & (1u << utc.tm_wday)) return AskedReason::SkipDays;
  return AskedReason::None;
}

}  // namespace

FeedAsks ReadFeedAsks(const XmlDoc& download) {
  AskReader reader(download);
  const int root = download.GetFirstChild(0);
  if (root == 0) return {};
  reader.ReadChildrenOf(root);
  for (int child = download.GetFirstChild(root); child; child = download.GetNextSibling(child))
    if (LocalName(download.GetElementName(child)) == "channel") reader.ReadChildrenOf(child);
  return reader.Asks();
}

void KeepFeedAsks(XmlDoc& db, int feed, const FeedAsks& asks) {
  SetOrRemove(db, feed, "askedperiod", SecondsText(asks.seconds));
  SetOrRemove(db, feed, "skiphours", HoursText(asks.skipHours, " "));
  SetOrRemove(db, feed, "skipdays", DaysText(asks.skipDays, " "));
}

void KeepFreshLifetime(XmlDoc& db, int feed, int64_t seconds) {
  SetOrRemove(db, feed, "freshfor", SecondsText(std::min(seconds, kLongestAskedWait)));
}

std::optional<LastDownload> LastDownloadOf(const XmlDoc& db, int feed) {
  const std::optional<TimeStamp> arrived = ParseTimeStamp(db.GetAttribute(feed, "arrivetime"));
  if (!arrived) return std::nullopt;
  std::string period = db.GetAttribute(feed, "period");
  int64_t seconds = 0;
  ReadDuration(period, seconds);
  const std::time_t arrival = ToTime(*arrived);
  return LastDownload{arrival, arrival + static_cast<std::time_t>(seconds)};
}

AskedWait AskedNotBefore(const XmlDoc& db, int feed, const LastDownload& last, std::time_t now) {
  AskedWait wait{std::max(last.periodEnd, now), AskedReason::None};
  const std::time_t limit = std::max(last.periodEnd, last.arrival + static_cast<std::time_t>(kLongestAskedWait));
  if (wait.notBefore >= limit) return wait;
  const int64_t feedAsks = StoredSeconds(db, feed, "askedperiod");
  const int64_t serverAsks = StoredSeconds(db, feed, "freshfor");
  if (const std::time_t asked = last.arrival + std::max(feedAsks, serverAsks); asked > wait.notBefore)
    wait = {asked, feedAsks >= serverAsks ? AskedReason::FeedPeriod : AskedReason::ServerLifetime};
  const uint32_t hours = StoredHours(db, feed);
  const uint32_t days = StoredDays(db, feed);
  for (int step = 0; (hours | days) != 0 && step <= kHoursInWeek && wait.notBefore < limit; ++step) {
    const AskedReason skip = SkipAt(wait.notBefore, hours, days);
    if (skip == AskedReason::None) break;
    wait = {wait.notBefore - wait.notBefore % kHour + kHour, skip};
  }
  wait.notBefore = std::min(wait.notBefore, limit);
  return wait;
}

std::string AskedWaitNote(const XmlDoc& db, int feed, std::time_t now) {
  const std::optional<LastDownload> last = LastDownloadOf(db, feed);
  if (!last) return {};
  const AskedWait wait = AskedNotBefore(db, feed, *last, now);
  if (wait.reason == AskedReason::None || wait.notBefore <= now) return {};
  return "next download not before " + ClockText(wait.notBefore, now) + ": " + ReasonText(db, feed, wait.reason);
}

}  // namespace vrel
