#include "markup/requests.h"

#include <mutex>

#include "feeds/feed_reader.h"
#include "feeds/news_engine.h"
#include "feeds/time_stamp.h"
#include "markup/browser_launch.h"
#include "markup/feed_views.h"
#include "markup/view_support.h"

namespace vrel {

namespace {

struct FeedViewType {
  const char* type;
  bool brief, newOnly;
};
constexpr FeedViewType kFeedViews[] = {
    {"Summary", false, false}, {"Brief", true, false}, {"NewOnly", false, true}, {"BriefNewOnly", true, true}};

std::string RenderFeedRequest(NewsEngine& engine, const XmlDoc& request, const std::string& type) {
  for (const FeedViewType& view : kFeedViews) {
    if (type != view.type) continue;
    if (!engine.Database().FindFeedById(request.GetAttribute("feedid"))) return {};
    return RenderFeedView(engine, view.brief, view.newOnly);
  }
  return {};
}

}  // namespace

std::string RenderRequest(NewsEngine& engine, std::string_view requestText) {
  XmlDoc request;
  request.SetDocumentText(requestText);
  request.SetPositions(0, 0, 0);
  if (!request.FindElement(nullptr)) return {};
  const std::string type = request.GetAttribute("type");
  std::lock_guard lock(engine.Lock());
  if (type == "ShowNew") return RenderShowNew(engine);
  if (type == "FolderNew") return RenderFolderNew(engine, request.GetAttribute("folder"));
  if (type == "ItemDetails") return RenderItemDetails(engine, request);
  if (type == "Errors") return RenderStatusMessages(engine);
  if (type == "Search") return RenderSearchResults(engine, request);
  return RenderFeedRequest(engine, request, type);
}

std::string ItemLink(std::string_view href, std::string_view feedId, std::string_view firstTime,
                     std::string_view seq) {
  return "<A href=\"" + MarkupAttribute(href) + "\" feedid=\"" + MarkupAttribute(feedId) + "\" firsttime=\"" +
         MarkupAttribute(firstTime) + "\" seq=\"" + MarkupAttribute(seq) + "\">";
}

ItemRef ItemRefOf(const XmlDoc& doc) {
  return {doc.GetAttribute("feedid"), doc.GetAttribute("firsttime"), doc.GetAttribute("seq")};
}

FoundItem FindItem(FeedDatabase& database, const ItemRef& ref) {
  FoundItem found;
  if (!database.FindFeedById(ref.feedId)) return found;
  XmlDoc& db = database.Document();
  found.feedParent = db.GetParentPosition();
  found.feed = db.GetCurrentPosition();
  FeedReader reader = FeedReader::ForStoredFeed(db);
  if (reader.FormatBits() == FormatGeneric) return found;
  while (reader.NextItem()) {
    reader.ReadItem(FieldFirstTime | FieldSeq);
    if (reader.FirstTime() != ref.firstTime || reader.Seq() != ref.seq) continue;
    reader.ReadItem(FieldLink);
    found.link = reader.Link();
    found.item = db.GetCurrentPosition();
    found.itemParent = db.GetParentPosition();
    return found;
  }
  db.SetPositions(found.feedParent, found.feed, 0);
  return found;
}

XmlDoc LinkDocument(std::string_view markup) {
  XmlDoc link;
  link.SetDocumentText(markup);
  link.SetPositions(0, 0, 0);
  link.FindElement(nullptr);
  return link;
}

void LinkQueue::Push(std::string address) {
  std::lock_guard lock(mutex_);
  addresses_.push_back(std::move(address));
}

std::string LinkQueue::Pop() {
  std::lock_guard lock(mutex_);
  if (addresses_.empty()) return {};
  std::string address = std::move(addresses_.front());
  addresses_.pop_front();
  return address;
}

void LinkHandler::OnLinkClicked(const XmlDoc& link) {
  const std::string href = link.GetAttribute("href");
  if (href.empty()) {
    const std::string type = link.GetAttribute("type");
    if (type == "Errors") engine_.PostViewRequest(MakeRequest({}, type));
    else if (type == "FolderNew") engine_.PostViewRequest(FolderNewRequest(link.GetAttribute("folder")));
    else engine_.PostViewRequest(MakeRequest(link.GetAttribute("feedid"), type.empty() ? "Summary" : type));
    return;
  }
  {
    std::lock_guard lock(engine_.Lock());
    const FoundItem found = FindItem(engine_.Database(), ItemRefOf(link));
    XmlDoc& db = engine_.Database().Document();
    if (found.item && LeadingInt(db.GetAttribute(found.item, "visited")) == 0)
      db.SetAttribute(found.item, "visited", "1");
  }
  // The queue's lock is never taken inside the database lock.
  queue_.Push(href);
  engine_.FeedListChanged();
  engine_.LinkQueued();
}

bool LinkHandler::OpenNextLink() {
  const std::string address = queue_.Pop();
  if (address.empty()) return false;
  return OpenAddress(engine_, address, launcher_);
}

}  // namespace vrel
