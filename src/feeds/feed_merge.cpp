#include "feeds/feed_merge.h"

#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "feeds/control_chars.h"
#include "xml/xml_encoding.h"

namespace vrel {

namespace {

// What a download's item takes over from the stored copy.
struct ItemMarks {
  int element = 0;
  std::string firstTime;
  std::string seq;
  bool visited = false;
};

struct StoredItem {
  std::string firstTime;
  std::string seq;
  int visited = 0;
};

using ItemKey = std::pair<std::string, std::string>;  // title, link

// The stored copy holds a feed's text without its forbidden controls (as
// U+FFFD in text, dropped from attributes), the download still with them:
// a key leaves out both, so that an item is known again either way.
std::string Comparable(std::string_view text) {
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string kept;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, kReplacement.size(), kReplacement) == 0) i += kReplacement.size() - 1;
    else if (!IsForbiddenControl(text[i])) kept += text[i];
  }
  return kept;
}

ItemKey KeyOf(std::string_view title, std::string_view link) { return {Comparable(title), Comparable(link)}; }

struct ItemKeyHash {
  size_t operator()(const ItemKey& key) const {
    const size_t h = std::hash<std::string>()(key.first);
    return h ^ (std::hash<std::string>()(key.second) + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2));
  }
};

// Stored items by title and link; the first of equal ones wins, as a scan
// from the first stored item would find it.
using StoredItems = std::unordered_map<ItemKey, StoredItem, ItemKeyHash>;

StoredItems IndexStoredItems(XmlDoc& database) {
  StoredItems items;
  FeedReader stored = FeedReader::ForStoredFeed(database);
  while (stored.NextItem()) {
    stored.ReadItem(FieldTitle | FieldLink | FieldFirstTime | FieldSeq | FieldVisited);
    items.try_emplace(KeyOf(stored.Title(), stored.Link()),
                      StoredItem{stored.FirstTime(), stored.Seq(), stored.Visited()});
  }
  return items;
}

// Every node type but white space, lone end tags and errors.
constexpr int kContentNodes = XmlDoc::ElementNode | XmlDoc::TextNode | XmlDoc::CDataNode |
                              XmlDoc::ProcessingInstructionNode | XmlDoc::CommentNode | XmlDoc::DocumentTypeNode;

class CleanCopyWriter {
 public:
  CleanCopyWriter(XmlDoc& doc, const std::vector<ItemMarks>& marks) : doc_(doc), marks_(marks) {}

  // Writes the current element and its subtree.
  std::string Write() {
    int depth = 0;
    for (;;) {
      if (WriteElement()) {
        doc_.EnterElement();
        ++depth;
        continue;
      }
      for (;;) {
        if (depth == 0) return std::move(out_);
        if (doc_.FindElement(nullptr)) break;
        doc_.LeaveElement();
        --depth;
        WriteEndTag(doc_.GetCurrentPosition());
      }
    }
  }

  // The start tag of an element that has children, its end tag left to the caller.
  std::string StartTag(int element) {
    WriteNameAndAttributes(element, nullptr);
    out_ += ">\r\n";
    return std::move(out_);
  }

 private:
  // Writes the current element; true, with its first child selected, when it
  // has child elements whose end tag is still to be written.
  bool WriteElement() {
    const int element = doc_.GetCurrentPosition();
    const ItemMarks* marks = nextMark_ < marks_.size() && marks_[nextMark_].element == element
                                 ? &marks_[nextMark_++]
                                 : nullptr;
    if (!marks && CopiedAsWritten(element)) {
      const XmlDoc::ElementFacts facts = doc_.GetElementFacts(element);
      out_ += ReplaceControls(std::string_view(doc_.GetDocumentText()).substr(size_t(facts.start), size_t(facts.length)));
      out_ += "\r\n";
      return false;
    }
    WriteNameAndAttributes(element, marks);
    if (doc_.FindChildElement(nullptr)) {
      out_ += ">\r\n";
      return true;
    }
    WriteLeafContent(element);
    return false;
  }

  // The child elements of an XHTML construct are its content, text between
  // them included, so it is kept as the feed wrote it; unless an item lies
  // inside, whose marks are still to be written.
  bool CopiedAsWritten(int element) const {
    if (doc_.GetFirstChild(element) == 0 || !IsXhtmlConstruct(doc_, element)) return false;
    if (nextMark_ == marks_.size()) return true;
    const XmlDoc::ElementFacts facts = doc_.GetElementFacts(element);
    return doc_.GetElementFacts(marks_[nextMark_].element).start >= facts.start + facts.length;
  }

  void WriteNameAndAttributes(int element, const ItemMarks* marks) {
    out_ += '<';
    out_ += NameOf(element);
    WriteAttributes(element, marks);
  }

  // Names and values lose their forbidden controls.
  std::string NameOf(int element) const { return DropControls(doc_.GetElementName(element)); }

  void WriteAttributes(int element, const ItemMarks* marks) {
    bool hasFirstTime = false, hasSeq = false, hasVisited = false;
    for (const XmlDoc::Attribute& attribute : doc_.GetAttributes(element)) {
      const std::string name = DropControls(attribute.name);
      if (name.empty()) continue;  // it was made of nothing else
      std::string_view value = attribute.value;
      if (marks && Take(name, "firsttime", hasFirstTime)) value = marks->firstTime;
      if (marks && Take(name, "seq", hasSeq)) value = marks->seq;
      if (marks && marks->visited && Take(name, "visited", hasVisited)) value = "1";
      WriteAttribute(name, value);
    }
    if (!marks) return;
    if (!hasFirstTime) WriteAttribute("firsttime", marks->firstTime);
    if (!hasSeq) WriteAttribute("seq", marks->seq);
    if (marks->visited && !hasVisited) WriteAttribute("visited", "1");
  }

  // True for the first attribute of the given name, whose value is replaced.
  static bool Take(const std::string& name, const char* wanted, bool& taken) {
    if (taken || name != wanted) return false;
    taken = true;
    return true;
  }

  void WriteAttribute(std::string_view name, std::string_view value) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    out_ += ToMarkupText(DropControls(value), XmlDoc::EscapeQuotes);
    out_ += '"';
  }

  void WriteLeafContent(int element) {
    const std::string text = ReplaceControls(doc_.GetContent(element));
    if (text.empty()) {
      out_ += "/>\r\n";
      return;
    }
    out_ += '>';
    out_ += IsCDataText(element, text) ? WrapCData(text) : ToMarkupText(text);
    WriteEndTag(element);
  }

  bool IsCDataText(int element, const std::string& text) {
    if (text.find_first_of("\r\n") != std::string::npos) return true;
    const int parent = doc_.GetParentPosition();
    doc_.SetPositions(element, 0, 0);
    const bool cdata = doc_.FindNode(kContentNodes) == XmlDoc::CDataNode;
    doc_.SetPositions(parent, element, 0);
    return cdata;
  }

  void WriteEndTag(int element) {
    out_ += "</";
    out_ += NameOf(element);
    out_ += ">\r\n";
  }

  XmlDoc& doc_;
  const std::vector<ItemMarks>& marks_;
  size_t nextMark_ = 0;
  std::string out_;
};

}  // namespace

Outcome ParseDownload(std::string_view text, XmlDoc& doc) {
  if (!doc.SetDocumentText(text)) return Outcome::Failure("not well-formed XML: " + doc.GetResultText());
  doc.SetPositions(0, 0, 0);
  doc.FindElement(nullptr);
  const int root = doc.GetCurrentPosition();
  if (!doc.FindChildElement(nullptr))
    return Outcome::Failure("the root element <" + doc.GetElementName(root) + "> has no child element");
  doc.SetPositions(0, root, 0);
  return Outcome::Success();
}

MergedCopy MergeItemHistory(XmlDoc& download, std::string_view address, XmlDoc* storedFeed,
                            const std::string& now) {
  const int rootParent = download.GetParentPosition();
  const int root = download.GetCurrentPosition();
  FeedReader fresh = FeedReader::ForDownload(download, address);
  MergedCopy merged;
  std::vector<ItemMarks> marks;
  if (fresh.FormatBits() != FormatGeneric) {  // generic documents get no item attributes
    const StoredItems stored = storedFeed ? IndexStoredItems(*storedFeed) : StoredItems();
    int counter = 1;
    while (fresh.NextItem()) {
      fresh.ReadItem(FieldTitle | FieldLink);
      ItemMarks& item = marks.emplace_back();
      item.element = fresh.ItemPosition();
      const auto found = stored.find(KeyOf(fresh.Title(), fresh.Link()));
      if (found != stored.end()) {
        item.seq = found->second.seq;
        item.visited = found->second.visited != 0;
        item.firstTime = found->second.firstTime.empty() ? now : found->second.firstTime;
      } else {
        merged.nothingNew = false;
        item.firstTime = now;
      }
      if (item.seq.empty()) item.seq = std::to_string(counter++);
    }
  }
  download.SetPositions(rootParent, root, 0);
  merged.text = CleanCopyWriter(download, marks).Write();
  return merged;
}

std::string CleanCopyText(XmlDoc& doc) {
  const std::vector<ItemMarks> none;
  return CleanCopyWriter(doc, none).Write();
}

std::string CleanStartTag(XmlDoc& doc, int element) {
  const std::vector<ItemMarks> none;
  return CleanCopyWriter(doc, none).StartTag(element);
}

bool FirstSeenAfterViewed(std::string_view firstTime, const std::optional<TimeStamp>& viewed) {
  const std::optional<TimeStamp> first = ParseTimeStamp(firstTime);
  return first && (!viewed || *first > *viewed);
}

bool IsNewItem(const FeedReader& storedItem, const std::optional<TimeStamp>& viewed) {
  return storedItem.Visited() == 0 && FirstSeenAfterViewed(storedItem.FirstTime(), viewed);
}

ItemCounts CountItems(XmlDoc& database) {
  const int parent = database.GetParentPosition();
  const int feed = database.GetCurrentPosition();
  const std::optional<TimeStamp> viewed = ParseTimeStamp(database.GetAttribute(feed, "viewed"));
  FeedReader reader = FeedReader::ForStoredFeed(database);
  ItemCounts counts;
  counts.formatBits = reader.FormatBits();
  while (reader.NextItem()) {
    ++counts.items;
    // Items seen before the feed was viewed are old whatever their mark says.
    reader.ReadItem(FieldFirstTime);
    if (!FirstSeenAfterViewed(reader.FirstTime(), viewed)) continue;
    reader.ReadItem(FieldVisited);
    if (reader.Visited() == 0) ++counts.newItems;
  }
  database.SetPositions(parent, feed, 0);
  return counts;
}

}  // namespace vrel
