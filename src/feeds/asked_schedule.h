// What a feed and its server ask of how often the feed is read: RSS's
// <ttl>, <skipHours> and <skipDays>, the syndication module's
// <sy:updatePeriod> and <sy:updateFrequency>, and HTTP's Cache-Control
// max-age or Expires. The user's period stays the schedule: the asks only
// ever put an automatic download off, never bring one forward, and never
// past a day after the last download. An Update ignores them.
//
// They are kept on the FEED as "askedperiod" (seconds, from the feed),
// "freshfor" (seconds, from the server), "skiphours" (UTC hours, "0 1 2")
// and "skipdays" ("Saturday Sunday").
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace vrel {

class XmlDoc;

// The longest any ask puts a download off, counted from the last one.
inline constexpr int64_t kLongestAskedWait = 24 * 60 * 60;

struct FeedAsks {
  int64_t seconds = 0;     // ttl, else the syndication period; 0 when neither
  uint32_t skipHours = 0;  // bit h: not in hour h, UTC
  uint32_t skipDays = 0;   // bit d: not on weekday d (0 is Sunday), UTC
};

// What a downloaded document asks; its root and the root's "channel" are
// read.
FeedAsks ReadFeedAsks(const XmlDoc& download);

// Stores what the feed and the server ask on the FEED at position feed,
// removing what they no longer ask.
void KeepFeedAsks(XmlDoc& db, int feed, const FeedAsks& asks);
void KeepFreshLifetime(XmlDoc& db, int feed, int64_t seconds);

enum class AskedReason { None, FeedPeriod, ServerLifetime, SkipHours, SkipDays };

struct AskedWait {
  std::time_t notBefore = 0;
  AskedReason reason = AskedReason::None;  // None: the asks change nothing
};

// When the FEED's last download arrived and when its own period ends; none
// for a feed never downloaded (or whose "arrivetime" is no valid stamp).
struct LastDownload {
  std::time_t arrival = 0;
  std::time_t periodEnd = 0;
};
std::optional<LastDownload> LastDownloadOf(const XmlDoc& db, int feed);

// The first moment, not before now, that the FEED's asks allow its next
// automatic download; notBefore is the period's end or now when they ask
// nothing more.
AskedWait AskedNotBefore(const XmlDoc& db, int feed, const LastDownload& last, std::time_t now);

// "next download not before 14:05: the feed asks for 60 minutes" while the
// asks put the FEED's next automatic download off; empty otherwise.
std::string AskedWaitNote(const XmlDoc& db, int feed, std::time_t now);

}  // namespace vrel
