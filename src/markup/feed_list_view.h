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

// One line per FEED, in database order. Takes the database lock.
std::string RenderFeedList(NewsEngine& engine);

// Every message followed by a blank line, newest first.
std::string JoinStatusMessages(const std::vector<std::string>& messages);

}  // namespace vrel

