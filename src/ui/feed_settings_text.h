// The texts of the Modify Feed Settings dialog, built from its copy of a
// FEED element (a document whose root is the FEED).
#pragma once

#include <ctime>
#include <string>

namespace vrel {
class XmlDoc;
}

namespace vrel::ui {

// Mark-up describing what the feed holds: its format, the number of leaf
// elements, when the feed or its server put its next automatic download
// off, and one line per leaf with text.
std::string FeedSummaryMarkup(XmlDoc& feed, std::time_t now);

// The scrape list of a web page feed's "items" element as the Scrape
// Settings dialog edits it: one "search~name" per line, separated by ";".
// Empty when the feed holds no child element.
std::string ScrapeListText(XmlDoc& feed);

// The feed's first child element as a document text; empty when it has none.
std::string FirstChildText(XmlDoc& feed);
// Puts element in place of the feed's first child element (or adds it).
void ReplaceFirstChild(XmlDoc& feed, const std::string& element);

}  // namespace vrel::ui
