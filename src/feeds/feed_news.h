// What a feed's news amounts to: its title, how many items are new and the
// titles of the first of them. The desktop notification is made of this.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "xml/xml_doc.h"

namespace vrel {

struct FeedNews {
  int feedId = 0;
  std::string title;                    // the feed's title, plain text
  int newItems = 0;
  std::vector<std::string> firstTitles;  // of the first new items, in feed order

  friend bool operator==(const FeedNews&, const FeedNews&) = default;
};

// The news of the database's current FEED, with the titles of at most
// titles new items; the cursor is back on the FEED afterwards.
FeedNews ReadFeedNews(XmlDoc& database, size_t titles);

}  // namespace vrel
