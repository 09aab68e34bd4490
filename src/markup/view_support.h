// What the view builders share: escaping of feed and user text, the walk
// over the FEED elements (feed_database.h), and ages in the user's words.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "feeds/feed_database.h"
#include "feeds/markup_text.h"
#include "feeds/time_stamp.h"
#include "xml/xml_doc.h"

namespace vrel {

// "1.5 hours" and the like: the long age from stamp to now.
std::string AgePhrase(const TimeStamp& stamp, std::time_t now);

}  // namespace vrel
