#include "feeds/opml.h"

#include <cstdint>
#include <mutex>
#include <unordered_set>
#include <utility>
#include <vector>

#include "feeds/control_chars.h"
#include "feeds/feed_folders.h"
#include "feeds/linked_address.h"
#include "feeds/news_engine.h"
#include "xml/xml_doc.h"
#include "xml/xml_encoding.h"

namespace vrel {
namespace {

struct OpmlFeed {
  std::string address;
  std::string title;
  std::string folder;
};

std::string Plural(int count, const char* noun) { return std::to_string(count) + " " + noun + (count == 1 ? "" : "s"); }

// An outline's name: its "title", else its "text".
std::string OutlineName(const XmlDoc& doc, int outline) {
  std::string name = doc.GetAttribute(outline, "title");
  return name.empty() ? doc.GetAttribute(outline, "text") : name;
}

bool HasChildElement(XmlDoc& doc, int element) {
  doc.SetPositions(doc.GetParent(element), element, 0);
  return doc.FindChildElement(nullptr);
}

// A hostile file could nest folders without end or give them huge names,
// each repeated in every folder inside; past these, the outlines of a
// folder go into the folder around it.
constexpr size_t kMaxFolderDepth = 16;
constexpr size_t kMaxFolderNameBytes = 1024;

// The outlines with an "xmlUrl" below element, nested ones included, in
// document order, each with its folder: an outline without "xmlUrl" that
// holds others is a folder, and nested ones are "Outer/Inner". Walks with
// a stack of its own: an OPML file may nest as deep as the XML engine allows.
std::vector<OpmlFeed> CollectFeeds(XmlDoc& doc, int element) {
  struct Open {
    int element, lastChild;
    size_t folder;  // in folders
  };
  std::vector<std::string> folders{""};
  std::vector<OpmlFeed> feeds;
  std::vector<Open> open{{element, 0, 0}};
  while (!open.empty()) {
    doc.SetPositions(0, open.back().element, open.back().lastChild);
    if (!doc.FindChildElement("outline")) {
      open.pop_back();
      continue;
    }
    const int outline = doc.GetChildPosition();
    open.back().lastChild = outline;
    size_t folder = open.back().folder;
    OpmlFeed feed{doc.GetAttribute(outline, "xmlUrl"), OutlineName(doc, outline), folders[folder]};
    // The feed list shows feeds by their titles; an untitled one would have nothing to click.
    if (feed.title.empty()) feed.title = feed.address;
    if (!feed.address.empty()) {
      feeds.push_back(std::move(feed));
    } else if (HasChildElement(doc, outline)) {
      std::string nested = NestedFolderName(folders[folder], feed.title);
      if (nested.size() <= kMaxFolderNameBytes && FolderParts(nested).size() <= kMaxFolderDepth) {
        folder = folders.size();
        folders.push_back(std::move(nested));
      }
    }
    open.push_back({outline, 0, folder});
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
        XmlDoc& db = database.Document();
        SetFeedFolder(db, db.GetCurrentPosition(), feed.folder);
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

namespace {

// Writes the feed outlines of a body, folders as nested outlines.
class OpmlBodyWriter {
 public:
  explicit OpmlBodyWriter(std::string& out) : out_(out) {}

  // The XML feeds of one folder; web page feeds are counted, not written.
  void WriteGroup(XmlDoc& db, const FolderGroup& group, int& exported, int& leftOut) {
    bool opened = false;
    for (const int feed : group.feeds) {
      const std::string address = db.GetAttribute(feed, "uri");
      if (address.empty()) continue;
      if (db.GetAttribute(feed, "type") == "HTML") {
        ++leftOut;
        continue;
      }
      // A folder whose feeds are all left out gets no outline.
      if (!opened) OpenFolder(group.folder);
      opened = true;
      const std::string title = db.GetAttribute(feed, "title");
      Indent(open_.size());
      out_ += "<outline type=\"rss\"";
      AppendAttribute(out_, "text", title);
      AppendAttribute(out_, "title", title);
      AppendAttribute(out_, "xmlUrl", address);
      out_ += "/>\n";
      ++exported;
    }
  }
  void Finish() { CloseTo(0); }

 private:
  // Closes the folders that folder is not in and opens its own.
  void OpenFolder(const std::string& folder) {
    const std::vector<std::string> parts = FolderParts(folder);
    size_t shared = 0;
    while (shared < open_.size() && shared < parts.size() && open_[shared] == parts[shared]) ++shared;
    CloseTo(shared);
    for (size_t i = shared; i < parts.size(); ++i) {
      Indent(open_.size());
      out_ += "<outline";
      AppendAttribute(out_, "text", parts[i]);
      AppendAttribute(out_, "title", parts[i]);
      out_ += ">\n";
      open_.push_back(parts[i]);
    }
  }
  void CloseTo(size_t depth) {
    while (open_.size() > depth) {
      open_.pop_back();
      Indent(open_.size());
      out_ += "</outline>\n";
    }
  }
  void Indent(size_t depth) { out_.append(4 + 2 * depth, ' '); }

  std::string& out_;
  std::vector<std::string> open_;  // the folder parts whose outlines are open
};

}  // namespace

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
  OpmlBodyWriter body(out);
  for (const FolderGroup& group : GroupFeedsByFolder(db)) body.WriteGroup(db, group, exported, leftOut);
  body.Finish();
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
