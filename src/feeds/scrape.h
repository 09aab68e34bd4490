// Web page feeds. A scrape list names the values to take from a page: items
// separated by ";", each a search text optionally followed by "~" and an
// element name; a backslash makes the next character literal. A web page
// feed keeps them as an "items" element whose children carry the search
// text in "search" and the last value found as their text.
#pragma once

#include <string>
#include <string_view>

namespace vrel {

class NewsEngine;
class XmlDoc;

// Replaces items by a new "items" document made from list, carrying over
// the values of the old items that match a new one by search text or by
// element name. Returns the number of items.
int ParseScrapeList(std::string_view list, XmlDoc& items);

// The first text of page after search that is not mark-up, with "&nbsp;" as
// a blank and trimmed; empty when search is not found (or only at the very
// start of the page).
std::string ExtractValue(std::string_view page, std::string_view search);

// Stores the values found in a downloaded page in the web page feed at
// address, which is created with the items of scrapeList when it does not
// exist yet. True when at least one item got a value. Takes the database
// lock itself.
bool MergeScrapedPage(NewsEngine& engine, const std::string& address, std::string_view scrapeList,
                      std::string_view page);

}  // namespace vrel
