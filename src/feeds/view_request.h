// "NURL" request documents: how every window asks for a view. The root
// "NURL" carries the view's "type" and what that type needs ("feedid",
// "search", "folder", and for one item "firsttime", "seq" and "href").
#pragma once

#include <string_view>

#include "xml/xml_doc.h"

namespace vrel {

// A view of one feed, or of all feeds when feedId is empty.
XmlDoc MakeRequest(std::string_view feedId, std::string_view type);
XmlDoc SearchRequest(std::string_view text);
// The new items of every feed in a folder.
XmlDoc FolderNewRequest(std::string_view folder);
XmlDoc ItemDetailsRequest(std::string_view feedId, std::string_view firstTime, std::string_view seq,
                          std::string_view href);
// The details of the item an item link (the link document's current "A") names.
XmlDoc ItemDetailsRequest(const XmlDoc& link);

}  // namespace vrel
