// "NURL" request documents and what answers them, item links and their
// resolution, and the click on a link: open its address or ask for a view.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <string_view>

#include "feeds/view_request.h"
#include "xml/xml_doc.h"

namespace vrel {

class BrowserLauncher;
class FeedDatabase;
class NewsEngine;

// The mark-up for a request document's text; empty for an unknown type or
// a feed that is not stored. Takes the database lock.
std::string RenderRequest(NewsEngine& engine, std::string_view requestText);

// The start tag of an item link, attributes in the fixed order.
std::string ItemLink(std::string_view href, std::string_view feedId, std::string_view firstTime,
                     std::string_view seq);

// An item named by its feed and its own "firsttime" and "seq".
struct ItemRef {
  std::string feedId, firstTime, seq;
};
// Read from the current element of a link or request document.
ItemRef ItemRefOf(const XmlDoc& doc);

struct FoundItem {
  int feedParent = 0, feed = 0;  // the FEED, 0 when the feed is not stored
  int itemParent = 0, item = 0;  // the item, 0 when not found
  std::string link;              // the item's address
};
// Looks the item up; the database's current element is the item when found.
FoundItem FindItem(FeedDatabase& database, const ItemRef& ref);

// A clicked link's whole mark-up as a document positioned on its "A".
XmlDoc LinkDocument(std::string_view markup);

// Addresses waiting to be opened, first in first out, under their own lock.
class LinkQueue {
 public:
  void Push(std::string address);
  std::string Pop();  // empty when there is none

 private:
  std::mutex mutex_;
  std::deque<std::string> addresses_;
};

// The clicks of every window end here.
class LinkHandler {
 public:
  LinkHandler(NewsEngine& engine, BrowserLauncher& launcher) : engine_(engine), launcher_(launcher) {}

  // link: a document whose current element is the clicked "A". A link with
  // an address marks its item visited and queues the address; any other
  // link asks the front end for a view.
  void OnLinkClicked(const XmlDoc& link);
  // Opens the next queued address; false when none was queued or it was refused.
  bool OpenNextLink();

 private:
  NewsEngine& engine_;
  BrowserLauncher& launcher_;
  LinkQueue queue_;
};

}  // namespace vrel
