// Folders group feeds. A FEED's "folder" attribute names its folder; a
// nested folder is written "Outer/Inner"; an empty or absent one is none.
// Not locked here: callers hold the database lock.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "xml/xml_doc.h"

namespace vrel {

inline constexpr char kFolderAttribute[] = "folder";

// The name as it is stored: controls dropped, line breaks and tabs made
// blanks, each "/"-separated part trimmed and empty parts left out, so
// " Outer / /Inner " is "Outer/Inner".
std::string NormalFolderName(std::string_view name);
// inner inside outer; either may be empty.
std::string NestedFolderName(std::string_view outer, std::string_view inner);
// The parts of a folder name, outermost first.
std::vector<std::string> FolderParts(std::string_view folder);

// The order folders are shown and exported in: part by part, letters
// compared without regard to case (ties in byte order, so that the order
// is stable), an outer folder before those inside it.
bool FolderBefore(std::string_view a, std::string_view b);

// The feeds of one folder (the empty name: feeds without one), as the
// positions of their FEED elements in database order.
struct FolderGroup {
  std::string folder;
  std::vector<int> feeds;
};
// The feeds without a folder first (no group when there are none), then
// every folder that has feeds, in FolderBefore order.
std::vector<FolderGroup> GroupFeedsByFolder(XmlDoc& db);

// Makes the FEED at feed the database's current element.
void EnterFeed(XmlDoc& db, int feed);

// Sets the FEED's folder (normalised); an empty name removes it. True when
// that changed the feed.
bool SetFeedFolder(XmlDoc& db, int feed, std::string_view folder);

}  // namespace vrel
