#include "feeds/opml.h"

#include <cstdint>
#include <mutex>
#include <unordered_set>
#include <utility>
#include <vector>

#include "feeds/control_chars.h"
#include "feeds/linked_address.h"
#include "feeds/news_engine.h"
#include "xml/xml_doc.h"
#include "xml/xml_encoding.h"

namespace vrel {
namespace {

struct OpmlFeed {
  std::string address;
  std::string title;
};

std::string Plural(int count, const char* noun) { return std::to_string(count) + " " + noun + (count == 1 ? "" : "s"); }

// The outlines with an "xmlUrl" below element, nested ones included, in
// document order. Walks with a stack of its own: an OPML file may nest as
// deep as the XML engine allows.
std::vector<OpmlFeed> CollectFeeds(XmlDoc& doc, int element) {
  std::vector<OpmlFeed> feeds;
  std::vector<std::pair<int, int>> open{{element, 0}};  // element, last child visited
  while (!open.empty()) {
    doc.SetPositions(0, open.back().first, open.back().second);
    if (!doc.FindChildElement("outline")) {
      open.pop_back();
      continue;
    }
    const int outline = doc.GetChildPosition();
    open.back().second = outline;
    OpmlFeed feed{doc.GetAttribute(outline, "xmlUrl"), doc.GetAttribute(outline, "title")};
    if (feed.title.empty()) feed.title = doc.GetAttribute(outline, "text");
    // The feed list shows feeds by their titles; an untitled one would have nothing to click.
    if (feed.title.empty()) feed.title = feed.address;
    if (!feed.address.empty()) feeds.push_back(std::move(feed));
    open.emplace_back(outline, 0);
  }
  return feeds;
}

// The "body" of an OPML file read into doc; 0, with a reason, when the file
// is not one.
int OpmlBody(XmlDoc& doc, const std::string& path, std::string& reason) {
  if (!doc.LoadFile(path)) {
    reason = doc.GetResultText();
    if (reason.empty()) reason = "the file is not well-formed XML";
    return 0;
  }
  doc.SetPositions(0, 0, 0);
  if (!doc.FindElement(nullptr) || doc.GetTagName() != "opml") {
    reason = "the root element is \"" + doc.GetTagName() + "\", not \"opml\"";
    return 0;
  }
  if (!doc.FindChildElement("body")) {
    reason = "the OPML file has no \"body\" element";
    return 0;
  }
  return doc.GetChildPosition();
}

std::unordered_set<std::string> FeedAddresses(XmlDoc& db) {
  std::unordered_set<std::string> addresses;
  db.SetPositions(0, 0, 0);
  if (!db.FindElement(nullptr)) return addresses;
  while (db.FindChildElement("FEED")) addresses.insert(db.GetChildAttribute("uri"));
  return addresses;
}

void AppendAttribute(std::string& out, const char* name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  out += ToMarkupText(DropControls(value), XmlDoc::EscapeQuotes);
  out += '"';
}

}  // namespace

Outcome ImportOpmlFile(NewsEngine& engine, const std::string& path) {
  XmlDoc doc;
  std::string reason;
  const int body = OpmlBody(doc, path, reason);
  if (body == 0) return Outcome::Failure("Cannot import " + path + ": " + reason);
  const std::vector<OpmlFeed> feeds = CollectFeeds(doc, body);
  int added = 0, skipped = 0, refused = 0;
  {
    std::lock_guard lock(engine.Lock());
    FeedDatabase& database = engine.Database();
    // One pass over the database instead of a search per imported feed.
    std::unordered_set<std::string> known = FeedAddresses(database.Document());
    for (const OpmlFeed& feed : feeds) {
      if (!MayFollowLink(path, feed.address)) {
        ++refused;
      } else if (known.insert(feed.address).second) {
        database.AddFeed(feed.address, DropControls(feed.title));
        ++added;
      } else {
        ++skipped;
      }
    }
  }
  if (added > 0) engine.FeedListChanged();
  std::string report = "Imported " + path + ": " + Plural(added, "feed") + " added, " + std::to_string(skipped) +
                       " already present";
  if (refused > 0) report += ", " + std::to_string(refused) + " refused (not an http, https or local address)";
  return Outcome::Success(std::move(report));
}

std::string ExportOpmlText(NewsEngine& engine, int& exported, int& leftOut) {
  exported = leftOut = 0;
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<opml version=\"2.0\">\n"
      "  <head>\n"
      "    <title>brackenfold News Reader feeds</title>\n"
      "  </head>\n"
      "  <body>\n";
  std::lock_guard lock(engine.Lock());
  XmlDoc& db = engine.Database().Document();
  db.SetPositions(0, 0, 0);
  if (db.FindElement(nullptr)) {
    while (db.FindChildElement("FEED")) {
      const int feed = db.GetChildPosition();
      const std::string address = db.GetAttribute(feed, "uri");
      if (address.empty()) continue;
      if (db.GetAttribute(feed, "type") == "HTML") {
        ++leftOut;
        continue;
      }
      const std::string title = db.GetAttribute(feed, "title");
      out += "    <outline type=\"rss\"";
      AppendAttribute(out, "text", title);
      AppendAttribute(out, "title", title);
      AppendAttribute(out, "xmlUrl", address);
      out += "/>\n";
      ++exported;
    }
  }
  out += "  </body>\n</opml>\n";
  return out;
}

Outcome ExportOpmlFile(NewsEngine& engine, const std::string& path) {
  int exported = 0, leftOut = 0;
  const std::string text = ExportOpmlText(engine, exported, leftOut);
  std::string error;
  uint32_t flags = 0;  // UTF-8 without a byte order mark
  if (!WriteDocumentFile(path, text, error, flags)) return Outcome::Failure("Cannot export to " + path + ": " + error);
  std::string report = "Exported " + Plural(exported, "feed") + " to " + path;
  if (leftOut > 0) report += " (" + Plural(leftOut, "web page feed") + " left out)";
  return Outcome::Success(std::move(report));
}

}  // namespace vrel
