#include "feeds/view_request.h"

namespace vrel {

XmlDoc MakeRequest(std::string_view feedId, std::string_view type) {
  XmlDoc request;
  request.AddElement("NURL");
  if (!feedId.empty()) request.SetAttribute("feedid", feedId);
  request.SetAttribute("type", type);
  return request;
}

XmlDoc SearchRequest(std::string_view text) {
  XmlDoc request = MakeRequest({}, "Search");
  request.SetAttribute("search", text);
  return request;
}

XmlDoc FolderNewRequest(std::string_view folder) {
  XmlDoc request = MakeRequest({}, "FolderNew");
  request.SetAttribute("folder", folder);
  return request;
}

XmlDoc ItemDetailsRequest(std::string_view feedId, std::string_view firstTime, std::string_view seq,
                          std::string_view href) {
  XmlDoc request = MakeRequest(feedId, "ItemDetails");
  request.SetAttribute("firsttime", firstTime);
  request.SetAttribute("seq", seq);
  request.SetAttribute("href", href);
  return request;
}

XmlDoc ItemDetailsRequest(const XmlDoc& link) {
  return ItemDetailsRequest(link.GetAttribute("feedid"), link.GetAttribute("firsttime"), link.GetAttribute("seq"),
                            link.GetAttribute("href"));
}

}  // namespace vrel
