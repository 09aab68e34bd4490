#include "feeds/scrape.h"

#include <mutex>
#include <vector>

#include "feeds/control_chars.h"
#include "feeds/news_engine.h"
#include "feeds/time_stamp.h"
#include "xml/xml_doc.h"

namespace vrel {

namespace {

constexpr const char* kBlanks = "\r\n\t ";

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiAlnum(char c) { return IsAsciiDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

struct ScrapeItem {
  std::string name;
  std::string search;
};

// The ASCII letters and digits of what was typed as the element name; bytes
// of multi-byte characters are all 0x80 and up, so they go too.
std::string ElementName(std::string_view typed) {
  std::string name;
  for (const char c : typed)
    if (IsAsciiAlnum(c)) name += c;
  if (name.empty()) return "item";
  return IsAsciiDigit(name[0]) ? "item_" + name : name;
}

std::vector<ScrapeItem> ReadScrapeList(std::string_view list) {
  std::vector<ScrapeItem> items;
  std::string search, name;
  bool inName = false;
  const auto endItem = [&] {
    const size_t start = search.find_first_not_of(kBlanks);
    if (start != std::string::npos) items.push_back({ElementName(name), search.substr(start)});
    search.clear();
    name.clear();
    inName = false;
  };
  for (size_t i = 0; i < list.size(); ++i) {
    char c = list[i];
    if (c == ';') {
      endItem();
      continue;
    }
    if (c == '~') {
      inName = true;
      continue;
    }
    if (c == '\\' && i + 1 < list.size()) c = list[++i];
    (inName ? name : search) += c;
  }
  endItem();
  return items;
}

// The value of the last old item that matches: same search text, or, for a
// named item, the same element name.
std::string CarriedValue(const XmlDoc& old, const ScrapeItem& item) {
  std::string value;
  const int root = old.GetFirstChild(0);
  for (int n = old.GetFirstChild(root); n; n = old.GetNextSibling(n)) {
    if (old.GetAttribute(n, "search") == item.search || (item.name != "item" && old.GetElementName(n) == item.name))
      value = old.GetContent(n);
  }
  return value;
}

std::string Trimmed(std::string_view text) {
  const size_t start = text.find_first_not_of(kBlanks);
  if (start == std::string_view::npos) return {};
  return std::string(text.substr(start, text.find_last_not_of(kBlanks) - start + 1));
}

std::string ReplaceNbsp(std::string_view text) {
  std::string result;
  for (size_t at = 0;;) {
    const size_t found = text.find("&nbsp;", at);
    result.append(text.substr(at, found - at));
    if (found == std::string_view::npos) return result;
    result += ' ';
    at = found + 6;
  }
}

void AddWebPageFeed(FeedDatabase& database, const std::string& address, std::string_view scrapeList) {
  const int id = database.NextFeedId();
  database.AddFeed(address, "Web Page " + std::to_string(id), "HTML");
  XmlDoc items;
  ParseScrapeList(scrapeList, items);
  database.Document().AddSubDocument(items.GetDocumentText(), XmlDoc::AsChild);
}

// Gives each item of the feed's "items" the value found for it in page;
// items without a value keep the old one. True when any item got a value.
bool ScrapeValues(XmlDoc& db, int feed, std::string_view page) {
  db.SetPositions(db.GetParent(feed), feed, 0);
  if (!db.FindChildElement("items")) return false;
  bool found = false;
  for (int n = db.GetFirstChild(db.GetChildPosition()); n; n = db.GetNextSibling(n)) {
    const std::string value = ReplaceControls(ExtractValue(page, db.GetAttribute(n, "search")));
    if (!value.empty() && db.SetContent(n, value)) found = true;
  }
  return found;
}

}  // namespace

int ParseScrapeList(std::string_view list, XmlDoc& items) {
  const std::vector<ScrapeItem> parsed = ReadScrapeList(list);
  XmlDoc fresh;
  fresh.AddElement("items");
  for (const ScrapeItem& item : parsed) {
    fresh.AddElement(item.name.c_str(), {}, XmlDoc::AsChild);
    fresh.SetChildAttribute("search", item.search);
    const std::string value = CarriedValue(items, item);
    if (!value.empty()) fresh.SetChildContent(value);
  }
  items = std::move(fresh);
  return static_cast<int>(parsed.size());
}

std::string ExtractValue(std::string_view page, std::string_view search) {
  // Found at the very start of the page does not count.
  const size_t found = search.empty() ? std::string_view::npos : page.find(search, 1);
  if (found == std::string_view::npos) return {};
  std::string text;
  bool inTag = false;
  for (const char c : page.substr(found + search.size())) {
    if (inTag) {
      inTag = c != '>';
    } else if (c == '<') {
      inTag = true;
      std::string value = Trimmed(ReplaceNbsp(text));
      if (!value.empty()) return value;
      text.clear();
    } else {
      text += c;
    }
  }
  return text;
}

bool MergeScrapedPage(NewsEngine& engine, const std::string& address, std::string_view scrapeList,
                      std::string_view page) {
  bool merged = false;
  {
    std::lock_guard lock(engine.Lock());
    FeedDatabase& database = engine.Database();
    XmlDoc& db = database.Document();
    const bool existed = database.FindFeedByUri(address);
    if (!existed) AddWebPageFeed(database, address, scrapeList);
    const int feed = db.GetCurrentPosition();
    db.SetAttribute(feed, "arrivetime", engine.Now());
    merged = ScrapeValues(db, feed, page);
    if (existed) {
      db.RemoveAttribute(feed, "failedtime");
      db.RemoveAttribute(feed, "numattempts");
    }
    if (merged) engine.NoteFeedUpdated(LeadingInt(db.GetAttribute(feed, "feedid")));
  }
  engine.FeedListChanged();
  return merged;
}

}  // namespace vrel
