#include "feeds/feed_reader.h"

#include <utility>
#include <vector>

#include "feeds/time_stamp.h"
#include "net/charset.h"
#include "net/download.h"
#include "xml/html_references.h"
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

std::string Trimmed(std::string text) {
  Trim(text);
  return text;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A scheme as RFC 3986 writes it ("http:", "mailto:", "tag:"): the address
// is absolute.
bool HasUrlScheme(std::string_view address) {
  if (address.empty() || !IsAsciiLetter(address[0])) return false;
  for (const char c : address.substr(1)) {
    if (c == ':') return true;
    if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

// reference made absolute against base; as it is when it is absolute
// already or cannot be resolved.
std::string Resolve(const std::string& base, const std::string& reference) {
  if (reference.empty() || base.empty() || HasUrlScheme(reference)) return reference;
  std::string resolved = ResolveUrl(base, reference);
  return resolved.empty() ? reference : resolved;
}

// The first child element of parent named name; 0 when there is none.
int FirstChildNamed(const XmlDoc& doc, int parent, std::string_view name) {
  for (int n = doc.GetFirstChild(parent); n != 0; n = doc.GetNextSibling(n))
    if (doc.GetElementName(n) == name) return n;
  return 0;
}

bool IsAlternateLink(const XmlDoc& doc, int link) {
  const std::string rel = Trimmed(doc.GetAttribute(link, "rel"));
  return rel.empty() || rel == "alternate";
}

constexpr std::string_view kAtomNamespaces[] = {"http://www.w3.org/2005/Atom", "http://purl.org/atom/ns#"};

struct AtomRoot {
  bool atom = false;
  bool entry = false;   // a document of one entry
  std::string prefix;   // "a:" when the Atom names carry one
};

// A root "feed" is Atom whatever its namespace; a prefixed "feed" and an
// "entry" are Atom when their namespace is.
AtomRoot ReadAtomRoot(const XmlDoc& doc, int root) {
  const std::string name = doc.GetElementName(root);
  if (name == "feed") return {true, false, {}};
  const size_t colon = name.find(':');
  const std::string prefix = colon == std::string::npos ? std::string() : name.substr(0, colon + 1);
  const std::string local = name.substr(prefix.size());
  if (local != "feed" && local != "entry") return {};
  const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + name.substr(0, colon);
  const std::string ns = doc.GetAttribute(root, declaration.c_str());
  for (const std::string_view atom : kAtomNamespaces)
    if (ns == atom) return {true, local == "entry", prefix};
  return {};
}

// Atom says how its text is written; plain text is its default.
bool IsPlainAtomText(const XmlDoc& doc, int element) {
  const std::string type = doc.GetAttribute(element, "type");
  return (type.empty() || type == "text" || type == "text/plain") && doc.GetAttribute(element, "mode") != "escaped";
}

// text with "<" and ">" escaped, so that no tag is read into it; its "&"s
// stay, as character references in it are meant to count.
std::string EscapeAngleBrackets(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    if (c == '<') escaped += "&lt;";
    else if (c == '>') escaped += "&gt;";
    else escaped += c;
  }
  return escaped;
}

// An element's content as the HTML it holds: its text; for an XHTML
// construct the mark-up inside it as written; in Atom, plain text kept from
// being read as tags ("Fix <br> handling").
std::string ElementMarkup(const XmlDoc& doc, int element, bool atom) {
  if (doc.GetFirstChild(element) != 0 && IsXhtmlConstruct(doc, element)) {
    const XmlDoc::ElementFacts facts = doc.GetElementFacts(element);
    const size_t from = size_t(facts.start) + facts.startTagLength;
    const size_t to = size_t(facts.start) + size_t(facts.length) - facts.endTagLength;
    return doc.GetDocumentText().substr(from, to > from ? to - from : 0);
  }
  std::string text = doc.GetContent(element);
  return atom && IsPlainAtomText(doc, element) ? EscapeAngleBrackets(text) : text;
}

// A plain text field: double encoding repaired, white space collapsed.
std::string PlainLine(std::string_view text) {
  std::string line = RepairDoubleEncodedUtf8(text);
  CollapseWhitespace(line);
  return line;
}

// Where the tag that the "<" at text[open] starts ends (at its ">"); npos
// when that "<" is text.
size_t TagEnd(std::string_view text, size_t open) {
  if (open + 1 >= text.size()) return std::string_view::npos;
  const char next = text[open + 1];
  if (!IsAsciiLetter(next) && next != '/' && next != '!' && next != '?') return std::string_view::npos;
  if (text.compare(open, 4, "<!--") == 0) {
    const size_t end = text.find("-->", open + 4);
    return end == std::string_view::npos ? end : end + 2;
  }
  return text.find('>', open + 1);
}

// "br" and "p", in any case and with any namespace prefix, break a line.
bool IsLineBreakTag(std::string_view tag) {
  std::string_view word = tag.substr(0, tag.find_first_of(" \t\r\n/"));
  if (const size_t colon = word.find(':'); colon != std::string_view::npos) word.remove_prefix(colon + 1);
  return EqualsIgnoringCase(word, "BR") || EqualsIgnoringCase(word, "P");
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
  } else if (const AtomRoot atom = ReadAtomRoot(doc_, root_); atom.atom) {
    version_ = doc_.GetAttribute(root_, "version");
    formatName_ = "ATOM";
    formatBits_ = FormatAtom;
    atomPrefix_ = atom.prefix;
    loneEntry_ = atom.entry;
  } else {
    formatName_ = rootName;
    formatBits_ = rootName == "ArrayOfMessageBrief"   ? FormatMessageBrief
                  : rootName == "ArrayOfArticleBrief" ? FormatArticleBrief
                                                      : FormatGeneric;
  }
  if (formatBits_ & FormatRssFamily) itemName_ = "item";
  if (formatBits_ == FormatAtom) itemName_ = atomPrefix_ + "entry";
  container_ = ItemContainer();
}

// A lone entry is the only item of the level that holds it.
int FeedReader::ItemContainer() const { return loneEntry_ ? rootParent_ : root_; }

void FeedReader::ResetItems() {
  started_ = true;
  item_ = 0;
  depth_ = root_ != 0 ? 1 : 0;
  container_ = ItemContainer();
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
  if (!doc_.FindElement(itemName_.empty() ? nullptr : itemName_.c_str())) return false;
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

// The item's first child element of the given name, in the feed's Atom
// prefix; 0 when there is none.
int FeedReader::Child(std::string_view name) {
  doc_.SetPositions(itemParent_, item_, 0);
  const std::string fullName = atomPrefix_ + std::string(name);
  return doc_.FindChildElement(fullName.c_str()) ? doc_.GetChildPosition() : 0;
}

bool FeedReader::ChildText(std::string_view name, std::string& text) {
  const int child = Child(name);
  if (child == 0) return false;
  text = doc_.GetContent(child);
  return true;
}

bool FeedReader::ChildMarkup(std::string_view name, std::string& text) {
  const int child = Child(name);
  if (child == 0) return false;
  text = ElementMarkup(doc_, child, formatBits_ == FormatAtom);
  return true;
}

// The first of the named children that has text.
bool FeedReader::FirstChildText(std::initializer_list<std::string_view> names, std::string& text) {
  for (const std::string_view name : names)
    if (ChildText(name, text) && !text.empty()) return true;
  return false;
}

bool FeedReader::FirstChildMarkup(std::initializer_list<std::string_view> names, std::string& text) {
  for (const std::string_view name : names)
    if (ChildMarkup(name, text) && !text.empty()) return true;
  return false;
}

// base with the xml:base of every element from the feed's root down to
// element applied in turn, so the innermost one counts.
std::string FeedReader::BaseAt(int element, std::string base) const {
  std::vector<std::string> bases;
  for (int n = element; n != 0 && n != rootParent_; n = doc_.GetParent(n)) {
    std::string declared = Trimmed(doc_.GetAttribute(n, "xml:base"));
    if (!declared.empty()) bases.push_back(std::move(declared));
  }
  for (auto declared = bases.rbegin(); declared != bases.rend(); ++declared) base = Resolve(base, *declared);
  return base;
}

// reference, an address found in element, made absolute.
std::string FeedReader::Absolute(int element, const std::string& reference) {
  if (reference.empty() || HasUrlScheme(reference)) return reference;
  return Resolve(BaseAt(element, FeedBase()), reference);
}

// What relative addresses are resolved against where no xml:base says: the
// feed's own link (the channel's, or the feed's alternate link) when it is
// absolute, else the feed's address.
const std::string& FeedReader::FeedBase() {
  if (feedBase_) return *feedBase_;
  std::string link;
  int element = 0;
  if (formatBits_ & FormatRssFamily) {
    const int channel = FirstChildNamed(doc_, root_, "channel");
    element = channel != 0 ? FirstChildNamed(doc_, channel, "link") : 0;
    if (element != 0) link = Trimmed(doc_.GetContent(element));
  } else if (formatBits_ == FormatAtom && !loneEntry_) {
    const std::string linkName = atomPrefix_ + "link";
    for (int n = doc_.GetFirstChild(root_); n != 0 && link.empty(); n = doc_.GetNextSibling(n)) {
      if (doc_.GetElementName(n) != linkName || !IsAlternateLink(doc_, n)) continue;
      element = n;
      link = Trimmed(doc_.GetAttribute(n, "href"));
    }
  }
  std::string resolved = link.empty() ? std::string() : Resolve(BaseAt(element, url_), link);
  feedBase_ = HasUrlScheme(resolved) ? std::move(resolved) : url_;
  return *feedBase_;
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
    if (ChildMarkup("title", title_)) title_ = HtmlToLine(title_);
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
    ChildMarkup("description", description_);
  else if (formatBits_ & FormatWebService)
    ChildText("Description", description_);
  else if (formatBits_ == FormatAtom)
    FirstChildMarkup({"content", "summary"}, description_);  // Atom 1.0 entries often carry only a summary
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
  date_ = PlainLine(date_);
}

void FeedReader::ReadCategory() {
  category_.clear();
  if (formatBits_ & FormatRss)
    FirstChildText({"subject", "category"}, category_);
  else if (formatBits_ & FormatRdf)
    ChildText("dc:subject", category_);
  else if (formatBits_ & FormatMessageBrief)
    ChildText("MsgBoardName", category_);
  category_ = PlainLine(category_);
}

void FeedReader::ReadLink() {
  link_.clear();
  if (formatBits_ & FormatRssFamily) {
    ReadRssLink();
  } else if (formatBits_ & FormatWebService) {
    ChildText("URL", link_);
    if (WebSchemeLength(link_) > 0) return;
    if (!baseUrl_.empty() && link_.size() > 1 && link_[0] == '/') link_.erase(0, 1);
    link_ = baseUrl_ + link_;
  } else if (formatBits_ == FormatAtom) {
    ReadAtomLink();
  }
}

// The item's link, else its guid, which unless it says otherwise is the
// item's address too.
void FeedReader::ReadRssLink() {
  int element = Child("link");
  if (element != 0) link_ = Trimmed(doc_.GetContent(element));
  if (link_.empty() && (element = Child("guid")) != 0) {
    link_ = Trimmed(doc_.GetContent(element));
    if (doc_.GetAttribute(element, "isPermaLink") == "false") return;
  }
  if (element != 0) link_ = Absolute(element, link_);
}

// The entry's page: its alternate link (a link without rel counts as one),
// the first unless a later one points to an ".htm" page; else its id when
// that is a web address; else its first other link (self, edit, enclosure
// and the like).
void FeedReader::ReadAtomLink() {
  const std::string linkName = atomPrefix_ + "link";
  int alternate = 0, other = 0;
  std::string alternateHref, otherHref;
  doc_.SetPositions(itemParent_, item_, 0);
  while (doc_.FindChildElement(linkName.c_str())) {
    const int n = doc_.GetChildPosition();
    std::string href = Trimmed(doc_.GetAttribute(n, "href"));
    if (href.empty()) continue;
    if (!IsAlternateLink(doc_, n)) {
      if (other != 0) continue;
      other = n;
      otherHref = std::move(href);
    } else if (alternate == 0 || ContainsAfterStart(href, ".htm")) {
      alternate = n;
      alternateHref = std::move(href);
    }
  }
  std::string id;
  if (alternate != 0) {
    link_ = Absolute(alternate, alternateHref);
  } else if (ChildText("id", id) && WebSchemeLength(Trimmed(id)) > 0) {
    link_ = Trimmed(id);
  } else if (other != 0) {
    link_ = Absolute(other, otherHref);
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
    FirstChildMarkup({"author", "dc:creator"}, author_);
  } else if (formatBits_ & FormatRdf) {
    ChildMarkup("dc:creator", author_);
  } else if (formatBits_ & FormatWebService) {
    ChildText("Author", author_);
  } else if (formatBits_ == FormatAtom) {
    ReadAtomAuthor();
    return;
  }
  author_ = HtmlToLine(author_);
}

void FeedReader::ReadAtomAuthor() {
  const int author = Child("author");
  const std::string nameTag = atomPrefix_ + "name";
  const int name = author != 0 ? FirstChildNamed(doc_, author, nameTag) : 0;
  if (name == 0) return;
  author_ = HtmlToLine(ElementMarkup(doc_, name, true));
  for (int n = doc_.GetNextSibling(name); n != 0; n = doc_.GetNextSibling(n)) {
    if (doc_.GetElementName(n) != nameTag) continue;
    author_ += "...";
    break;
  }
}

std::string DownloadedFeedTitle(XmlDoc& doc, std::string_view url) {
  const int root = doc.GetCurrentPosition();
  const int channel = FirstChildNamed(doc, root, "channel");
  const int titled = channel != 0 ? channel : root;
  const AtomRoot atom = ReadAtomRoot(doc, root);
  const int element = FirstChildNamed(doc, titled, atom.prefix + "title");
  // A title that is only white space would leave the feed nothing to click.
  if (std::string title = element != 0 ? HtmlToLine(ElementMarkup(doc, element, atom.atom)) : std::string();
      !title.empty())
    return title;

  std::string title = doc.GetElementName(root);
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
  for (size_t open = text.find('<'); open != std::string_view::npos; open = text.find('<', open + 1)) {
    const size_t close = TagEnd(text, open);
    if (close == std::string_view::npos) continue;
    result.append(text.substr(from, open - from));
    if (IsLineBreakTag(text.substr(open + 1, close - open - 1))) result += ' ';
    from = close + 1;
    open = close;
  }
  result.append(text.substr(from));
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

std::string HtmlToText(std::string_view html) {
  return RepairDoubleEncodedUtf8(DecodeHtmlReferences(StripTags(html)));
}

std::string HtmlToLine(std::string_view html) {
  std::string line = HtmlToText(html);
  CollapseWhitespace(line);
  return line;
}

std::string MakeExcerpt(std::string_view text, size_t maxLength) {
  std::string excerpt = HtmlToLine(text);
  const size_t cut = Utf8Forward(excerpt, 0, maxLength);
  if (cut < excerpt.size()) {
    excerpt.resize(cut);
    TrimEnd(excerpt);
    excerpt += "...";
  }
  return excerpt;
}

bool IsXhtmlConstruct(const XmlDoc& doc, int element) {
  const std::string type = doc.GetAttribute(element, "type");
  return type == "xhtml" || type == "application/xhtml+xml";
}

}  // namespace vrel
