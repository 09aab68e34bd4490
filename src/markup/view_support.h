// What the view builders share: escaping of feed and user text, the walk
// over the FEED elements, and dates and ages in the user's locale.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "feeds/time_stamp.h"
#include "xml/xml_doc.h"
#include "xml/xml_encoding.h"

namespace vrel {

// Text from feeds or the user, as mark-up text and as a quoted attribute
// value, so that it shows as written and cannot add tags.
inline std::string MarkupText(std::string_view text) { return ToMarkupText(text); }
inline std::string MarkupAttribute(std::string_view text) { return ToMarkupText(text, EscapeQuotes); }

// Calls visit with each FEED as the database's current element, in order.
// The database is not changed, not even by adding a missing root.
void ForEachFeed(XmlDoc& db, const std::function<void()>& visit);

// A stamp as date and time in the user's locale.
std::string LocalDateTime(const TimeStamp& stamp);
// "1.5 hours" and the like: the long age from stamp to now.
std::string AgePhrase(const TimeStamp& stamp, std::time_t now);

// The first count code points of text (all of it when shorter).
std::string_view FirstChars(std::string_view text, size_t count);

}  // namespace vrel
