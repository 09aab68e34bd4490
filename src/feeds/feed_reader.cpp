#include "feeds/feed_reader.h"

#include <initializer_list>
#include <utility>

#include "feeds/time_stamp.h"
#include "xml/xml_encoding.h"

namespace vrel {

namespace {

constexpr std::string_view kWhitespace = " \t\r\n\v\f";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// "Contains" as the feed rules mean it: found at an index greater than 0.
bool ContainsAfterStart(std::string_view text, std::string_view part) {
  const size_t at = text.find(part);
  return at != std::string_view::npos && at > 0;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = (a[i] >= 'a' && a[i] <= 'z') ? static_cast<char>(a[i] - 32) : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

// Length of the scheme prefix of an absolute web address, 0 for anything else.
size_t WebSchemeLength(std::string_view url) {
  if (StartsWith(url, "http://")) return 7;
  if (StartsWith(url, "https://")) return 8;
  return 0;
}

// Scheme, host and the first slash after them; the whole url when there is
// no such slash.
std::string BaseUrlOf(std::string_view url) {
  const size_t scheme = WebSchemeLength(url);
  const size_t from = scheme > 0 && url.size() > scheme ? scheme + 1 : 0;
  const size_t slash = url.find('/', from);
  if (slash != std::string_view::npos && slash > 0) return std::string(url.substr(0, slash + 1));
  return std::string(url);
}

void TrimEnd(std::string& text) {
  const size_t last = text.find_last_not_of(kWhitespace);
  text.erase(last == std::string::npos ? 0 : last + 1);
}

void Trim(std::string& text) {
  TrimEnd(text);
  text.erase(0, text.find_first_not_of(kWhitespace));
}


}  // namespace

FeedReader FeedReader::ForDownload(XmlDoc& doc, std::string_view url) {
  const int root = doc.GetCurrentPosition();
  return FeedReader(doc, doc.GetElementName(root), url, doc.GetParentPosition(), root);
}

FeedReader FeedReader::ForStoredFeed(XmlDoc& database) {
  const int feed = database.GetCurrentPosition();
  std::string title = database.GetAttribute(feed, "title");
  const std::string uri = database.GetAttribute(feed, "uri");
  database.SetPositions(database.GetParentPosition(), feed, 0);
  const int root = database.FindChildElement(nullptr) ? database.GetChildPosition() : 0;
  return FeedReader(database, std::move(title), uri, feed, root);
}

FeedReader::FeedReader(XmlDoc& doc, std::string title, std::string_view url, int rootParent, int root)
    : doc_(doc), feedTitle_(std::move(title)), url_(url), baseUrl_(BaseUrlOf(url)), rootParent_(rootParent),
      root_(root) {
  const std::string rootName = doc_.GetElementName(root_);
  if (rootName == "rss") {
    version_ = doc_.GetAttribute(root_, "version");
    formatName_ = "RSS " + version_;
    formatBits_ = version_ == "0.91" ? FormatRss091 : FormatRss;
  } else if (rootName == "rdf:RDF") {
    version_ = "1.0";
    formatName_ = "RSS " + doc_.GetAttribute(root_, "xmlns");
    formatBits_ = FormatRdf;
  } else if (rootName == "feed") {
    version_ = doc_.GetAttribute(root_, "version");
    formatName_ = "ATOM";
    formatBits_ = FormatAtom;
  } else {
    formatName_ = rootName;
    formatBits_ = rootName == "ArrayOfMessageBrief"   ? FormatMessageBrief
                  : rootName == "ArrayOfArticleBrief" ? FormatArticleBrief
                                                      : FormatGeneric;
  }
  container_ = root_;
}

void FeedReader::ResetItems() {
  started_ = true;
  item_ = 0;
  depth_ = root_ != 0 ? 1 : 0;
  container_ = root_;
  doc_.SetPositions(rootParent_, root_, 0);
  // RSS items live in the channel unless the channel holds none or they
  // follow it as siblings, as in RSS 1.0.
  if ((formatBits_ & FormatRssFamily) && doc_.FindChildElement("channel")) {
    const int channel = doc_.GetChildPosition();
    doc_.SetPositions(root_, channel, 0);
    const bool channelHasItem = doc_.FindChildElement("item");
    doc_.SetPositions(root_, channel, 0);
    const bool itemFollowsChannel = doc_.FindElement("item");
    if (channelHasItem && !itemFollowsChannel) container_ = channel;
  }
  if (formatBits_ == FormatGeneric)
    doc_.SetPositions(rootParent_, root_, 0);
  else
    doc_.SetPositions(container_, 0, 0);
}

bool FeedReader::NextItem() {
  if (!started_) ResetItems();
  if (formatBits_ == FormatGeneric) return NextLeaf();
  doc_.SetPositions(container_, item_, 0);
  const char* name = (formatBits_ & FormatRssFamily) ? "item" : formatBits_ == FormatAtom ? "entry" : nullptr;
  if (!doc_.FindElement(name)) return false;
  itemParent_ = container_;
  item_ = doc_.GetCurrentPosition();
  return true;
}

// Depth-first walk over the leaf elements below the root.
bool FeedReader::NextLeaf() {
  if (depth_ == 0) return false;
  if (item_ == 0) {
    doc_.SetPositions(rootParent_, root_, 0);
  } else {
    doc_.SetPositions(itemParent_, item_, 0);
    while (!doc_.FindElement(nullptr)) {
      if (--depth_ <= 1) {
        depth_ = 0;
        return false;
      }
      doc_.LeaveElement();
    }
  }
  if (item_ == 0 && !doc_.FindChildElement(nullptr)) {
    depth_ = 0;  // a root without child elements has no items
    return false;
  }
  if (item_ == 0) {
    doc_.EnterElement();
    ++depth_;
  }
  while (doc_.FindChildElement(nullptr)) {
    doc_.EnterElement();
    ++depth_;
  }
  itemParent_ = doc_.GetParentPosition();
  item_ = doc_.GetCurrentPosition();
  return true;
}

bool FeedReader::ChildText(const char* name, std::string& text) {
  doc_.SetPositions(itemParent_, item_, 0);
  if (!doc_.FindChildElement(name)) return false;
  text = doc_.GetChildContent();
  return true;
}

bool FeedReader::FirstChildText(std::initializer_list<const char*> names, std::string& text) {
  for (const char* name : names)
    if (ChildText(name, text)) return true;
  return false;
}

void FeedReader::ReadItem(unsigned fields) {
  if (item_ == 0) return;
  if (fields & FieldSeq) seq_ = doc_.GetAttribute(item_, "seq");
  if (fields & FieldVisited) visited_ = LeadingInt(doc_.GetAttribute(item_, "visited"));
  if (fields & FieldFirstTime) firstTime_ = doc_.GetAttribute(item_, "firsttime");
  bool titleFallback = false;
  if (fields & FieldTitle) {
    ReadTitle();
    titleFallback = title_.empty();
    if (titleFallback) fields |= FieldDescription | FieldDate;
  }
  if (fields & FieldDescription) ReadDescription();
  if (fields & FieldDate) ReadDate();
  if (titleFallback) title_ = !description_.empty() ? MakeExcerpt(description_, 40) : !date_.empty() ? date_ : "Untitled";
  if (fields & FieldCategory) ReadCategory();
  if (fields & FieldLink) ReadLink();
  if (fields & FieldComments) ReadComments();
  if (fields & FieldAuthor) ReadAuthor();
  doc_.SetPositions(itemParent_, item_, 0);
}

void FeedReader::ReadTitle() {
  title_.clear();
  if (formatBits_ & (FormatRssFamily | FormatAtom)) {
    if (ChildText("title", title_)) title_ = StripTags(title_);
  } else if (formatBits_ & FormatWebService) {
    const bool found = (formatBits_ & FormatMessageBrief) && ChildText("Subject", title_);
    if (!found && (formatBits_ & FormatArticleBrief)) ChildText("Title", title_);
  } else {
    title_ = doc_.GetElementName(item_);
  }
  CollapseWhitespace(title_);
  Trim(title_);
}

void FeedReader::ReadDescription() {
  description_.clear();
  if (formatBits_ & FormatRssFamily)
    ChildText("description", description_);
  else if (formatBits_ & FormatWebService)
    ChildText("Description", description_);
  else if (formatBits_ == FormatAtom)
    FirstChildText({"content", "summary"}, description_);  // Atom 1.0 entries often carry only a summary
  else
    description_ = doc_.GetContent(item_);
}

void FeedReader::ReadDate() {
  date_.clear();
  if (formatBits_ & FormatRss)
    ChildText("pubDate", date_);
  else if (formatBits_ & FormatRdf)
    ChildText("dc:date", date_);
  else if (formatBits_ & FormatMessageBrief)
    ChildText("Date", date_);
  else if (formatBits_ & FormatArticleBrief)
    ChildText("Updated", date_);
  else if (formatBits_ & FormatAtom)  // Atom 0.3 has "created"; Atom 1.0 "published" and "updated"
    FirstChildText({"created", "published", "updated", "issued", "modified"}, date_);
}

void FeedReader::ReadCategory() {
  category_.clear();
  if (formatBits_ & FormatRss)
    FirstChildText({"subject", "category"}, category_);
  else if (formatBits_ & FormatRdf)
    ChildText("dc:subject", category_);
  else if (formatBits_ & FormatMessageBrief)
    ChildText("MsgBoardName", category_);
}

void FeedReader::ReadLink() {
  link_.clear();
  if (formatBits_ & FormatRssFamily) {
    FirstChildText({"link", "guid"}, link_);
  } else if (formatBits_ & FormatWebService) {
    ChildText("URL", link_);
    if (WebSchemeLength(link_) > 0) return;
    if (!baseUrl_.empty() && link_.size() > 1 && link_[0] == '/') link_.erase(0, 1);
    link_ = baseUrl_ + link_;
  } else if (formatBits_ == FormatAtom) {
    ReadAtomLink();
  }
}

// The first link wins unless a later one points to an ".htm" page.
void FeedReader::ReadAtomLink() {
  doc_.SetPositions(itemParent_, item_, 0);
  while (doc_.FindChildElement("link")) {
    std::string href = doc_.GetChildAttribute("href");
    if (link_.empty() || ContainsAfterStart(href, ".htm")) link_ = std::move(href);
  }
}

void FeedReader::ReadComments() {
  comments_.clear();
  if (formatBits_ & FormatRss) {
    if (ChildText("slash:comments", comments_) && LeadingInt(comments_) < 1) comments_.clear();
  } else if (formatBits_ & FormatWebService) {
    std::string messages;
    ChildText("MsgsInThread", messages);
    const int count = LeadingInt(messages);
    if (count > 1) comments_ = std::to_string(count - 1);  // the replies
  }
}

void FeedReader::ReadAuthor() {
  author_.clear();
  if (formatBits_ & FormatRss) {
    FirstChildText({"author", "dc:creator"}, author_);
  } else if (formatBits_ & FormatRdf) {
    ChildText("dc:creator", author_);
  } else if (formatBits_ & FormatWebService) {
    if (ChildText("Author", author_)) author_ = StripTags(author_);
  } else if (formatBits_ == FormatAtom) {
    ReadAtomAuthor();
  }
}

void FeedReader::ReadAtomAuthor() {
  doc_.SetPositions(itemParent_, item_, 0);
  if (!doc_.FindChildElement("author") || !doc_.EnterElement()) return;
  if (doc_.FindChildElement("name")) {
    author_ = doc_.GetChildContent();
    if (doc_.FindChildElement("name")) author_ += "...";
  }
  doc_.LeaveElement();
}

std::string DownloadedFeedTitle(XmlDoc& doc, std::string_view url) {
  const int rootParent = doc.GetParentPosition();
  const int root = doc.GetCurrentPosition();
  doc.SetPositions(rootParent, root, 0);
  bool found = false;
  std::string title;
  if (doc.FindChildElement("channel")) {
    doc.SetPositions(root, doc.GetChildPosition(), 0);
    found = doc.FindChildElement("title");
  } else {
    found = doc.FindChildElement("title");
  }
  if (found) title = doc.GetChildContent();
  doc.SetPositions(rootParent, root, 0);
  if (found) return title;

  title = doc.GetElementName(root);
  if (!ContainsAfterStart(url, kWebServiceHost)) return title;
  if (title == "ArrayOfMessageBrief") {
    if (ContainsAfterStart(url, "GetLatestLoungeBrief")) return "Code Project Lounge";
    if (ContainsAfterStart(url, "GetLatestCommentsBrief")) return "Code Project Comments";
  } else if (title == "ArrayOfArticleBrief" && ContainsAfterStart(url, "GetLatestArticleBrief")) {
    return "Code Project Articles";
  }
  return title;
}

std::string StripTags(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  size_t from = 0;
  while (from < text.size()) {
    const size_t open = text.find('<', from);
    if (open == std::string_view::npos) {
      result.append(text.substr(from));
      break;
    }
    result.append(text.substr(from, open - from));
    const size_t close = text.find('>', open);
    if (close == std::string_view::npos || close == text.size() - 1) break;
    const std::string_view tag = text.substr(open + 1, close - open - 1);
    const std::string_view word = tag.substr(0, tag.find_first_of(" /"));
    if (EqualsIgnoringCase(word, "BR") || EqualsIgnoringCase(word, "P")) result += ' ';
    from = close + 1;
  }
  return result;
}

void CollapseWhitespace(std::string& text) {
  size_t out = 0;
  bool pendingBlank = false;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      pendingBlank = out > 0;
      continue;
    }
    if (pendingBlank) text[out++] = ' ';
    pendingBlank = false;
    text[out++] = c;
  }
  text.resize(out);
}

std::string MakeExcerpt(std::string_view text, size_t maxLength) {
  std::string excerpt = StripTags(text);
  Trim(excerpt);
  size_t out = 0;
  for (const char c : excerpt)
    if (c != '\n') excerpt[out++] = c == '\r' ? ' ' : c;
  excerpt.resize(out);
  const size_t cut = Utf8Forward(excerpt, 0, maxLength);
  if (cut < excerpt.size()) {
    excerpt.resize(cut);
    TrimEnd(excerpt);
    excerpt += "...";
  }
  return excerpt;
}

}  // namespace vrel
