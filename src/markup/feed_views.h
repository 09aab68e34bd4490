// The mark-up views of stored feeds: one feed in four variants, all news,
// search results, one item's details and the status messages. Called with
// the database lock held; they read the database and never change it.
#pragma once

#include <string>
#include <string_view>

#include "xml/xml_doc.h"

namespace vrel {

class NewsEngine;

// The feed that is the database's current element. Brief leaves out the
// header and the excerpts; new-only lists only new items and is empty when
// a recognised feed has none.
std::string RenderFeedView(NewsEngine& engine, bool brief, bool newOnly);

// The brief new-only views of every unread feed, latest download first.
std::string RenderShowNew(NewsEngine& engine);
// The same for the feeds of one folder (not those of the folders inside it).
std::string RenderFolderNew(NewsEngine& engine, std::string_view folder);

struct SearchHit {
  bool found = false;
  std::string snippet;  // mark-up: the matched piece in bold with some context
};
// Finds search in plain text, letters compared without regard to case.
SearchHit FindSearchHit(std::string_view text, std::string_view search);

// request: a document whose current element is the "NURL" request.
std::string RenderSearchResults(NewsEngine& engine, const XmlDoc& request);
// Empty when the request names no stored item.
std::string RenderItemDetails(NewsEngine& engine, const XmlDoc& request);
std::string RenderStatusMessages(const NewsEngine& engine);

}  // namespace vrel
