// The screen saver's digest: the items of one feed as a small document
// "DIGEST" / "FEED" / "item" with "title", "time" and "other" children.
#pragma once

#include <functional>
#include <string_view>

#include "xml/xml_doc.h"

namespace vrel {

class NewsEngine;

// Random numbers 0 .. 32767, as C's rand() gives them.
using DigestRandom = std::function<int()>;

// Takes the next feed off RecentFeeds (refilled in random order when empty,
// without picking previousFeedId first) and describes it in output. False
// when that feed is no longer stored. Takes the database lock.
bool BuildDigest(NewsEngine& engine, XmlDoc& output, std::string_view previousFeedId, const DigestRandom& random);

}  // namespace vrel
