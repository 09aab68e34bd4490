// The pieces of a merge that do not depend on who owns the database: reading
// a download, the clean copy that replaces the stored one, the item history
// carried over from the stored copy, and the new-item rule.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "feeds/feed_reader.h"
#include "feeds/outcome.h"
#include "feeds/time_stamp.h"
#include "xml/xml_doc.h"

namespace vrel {

// Parses a download into doc and leaves the cursor on its root. Fails when
// the text is not well-formed or its root has no child element.
Outcome ParseDownload(std::string_view text, XmlDoc& doc);

struct MergedCopy {
  std::string text;         // the clean copy, item history included
  bool nothingNew = true;   // every item was already stored
};

// Builds the clean copy of a parsed download (cursor on its root) with every
// item's "firsttime", "seq" and "visited" taken over from the first stored
// item of equal title and link; items not stored are stamped now. storedFeed
// is the database with its current element on the feed's FEED, or null when
// the feed is not stored yet.
MergedCopy MergeItemHistory(XmlDoc& download, std::string_view address, XmlDoc* storedFeed,
                            const std::string& now);

// The current element and its subtree in the fixed output style: attributes
// kept in order, text only in leaf elements (as CDATA when it has a line
// break or began with a CDATA section), comments and formatting dropped.
// An XHTML construct, whose text between child elements is content, is kept
// as written.
std::string CleanCopyText(XmlDoc& doc);
// The start tag of element in that style, as for an element with children.
std::string CleanStartTag(XmlDoc& doc, int element);

// An item is new when not visited and first seen after the feed was viewed;
// a "firsttime" that is no valid time stamp is never new.
bool IsNewItem(const FeedReader& storedItem, const std::optional<TimeStamp>& viewed);
bool FirstSeenAfterViewed(std::string_view firstTime, const std::optional<TimeStamp>& viewed);

struct ItemCounts {
  int items = 0;
  int newItems = 0;
  int formatBits = FormatGeneric;
};

// Counts the items of the database's current FEED and those that are new;
// the cursor is back on the FEED afterwards.
ItemCounts CountItems(XmlDoc& database);

}  // namespace vrel
