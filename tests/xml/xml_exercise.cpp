#include "xml_exercise.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "xml/xml_doc.h"
#include "xml/xml_encoding.h"
#include "xml_elements.h"

namespace vrel {
namespace {

using namespace std::string_view_literals;

constexpr int kMaxSteps = 48;

constexpr const char* kNames[] = {"a", "b", "c", "item", "FEED", "x:y", "_z", "A", "title", "href"};
constexpr const char* kPaths[] = {"a",
                                  "b",
                                  "*",
                                  "/a",
                                  "//b",
                                  "//item",
                                  "a/b",
                                  "*[2]",
                                  "item[@href]",
                                  "a[b]",
                                  "/FEEDSTATUS/FEED[2]",
                                  "//*",
                                  "a[",
                                  "[]",
                                  "/",
                                  "//",
                                  "a//b",
                                  "*[0]",
                                  "b[@]",
                                  ""};
constexpr std::string_view kTexts[] = {"",
                                       "v",
                                       "a<b & \"c\" 'd'",
                                       "]]>",
                                       "&amp;&#169;&",
                                       "x]]>y<![CDATA[",
                                       "\r\n",
                                       "\xC3\xA9\xF0\x9F\x98\x80",
                                       "n\0l"sv,
                                       "--> ?> <a>"};
constexpr std::string_view kFragments[] = {"<n/>",
                                           "<n a='1'>t</n>\r\n",
                                           "<p><q/><q>x</q></p>",
                                           "<a/><b/>",
                                           "text",
                                           "<x><y></x>",
                                           "<x></y></x>",
                                           "<!-- c --><r/>",
                                           "<u>",
                                           "</u>",
                                           "<![CDATA[<z/>]]>",
                                           "<?pi x?><s/>",
                                           "<1bad>",
                                           ""};
constexpr unsigned kEditFlags[] = {XmlDoc::AsCData,        XmlDoc::NoLineBreaks, XmlDoc::SpaceBeforeSlash,
                                   XmlDoc::KeepReferences, XmlDoc::NoEndTag,     XmlDoc::EscapeQuotes,
                                   XmlDoc::ReplaceContent, XmlDoc::InsertBefore, XmlDoc::AsChild};
constexpr int kNodeMasks[] = {
    0,
    123,
    XmlDoc::ElementNode,
    XmlDoc::TextNode | XmlDoc::WhitespaceNode,
    XmlDoc::CDataNode | XmlDoc::CommentNode,
    XmlDoc::ErrorNode | XmlDoc::LoneEndTagNode | XmlDoc::DocumentTypeNode | XmlDoc::ProcessingInstructionNode};

// The edits come from the input's last bytes, read backwards, so that the
// front of a seed stays a plain document.
class Choices {
 public:
  explicit Choices(std::string_view bytes) : bytes_(bytes), left_(bytes.size()) {}

  bool Exhausted() const { return left_ == 0; }
  unsigned Byte() { return left_ ? uint8_t(bytes_[--left_]) : 0; }
  size_t Below(size_t n) {
    size_t value = Byte();
    if (n > 256) value = value << 8 | Byte();
    return n ? value % n : 0;
  }
  bool Coin() { return Byte() & 1; }
  template <class T, size_t N>
  T Pick(const T (&list)[N]) {
    return list[Below(N)];
  }
  // A short piece of the input.
  std::string Slice() {
    const size_t start = Below(bytes_.size() + 1);
    return std::string(bytes_.substr(start, Byte() % 48));
  }
  unsigned Flags() {
    if (Coin()) return Coin() ? unsigned(XmlDoc::AsChild) : 0u;
    unsigned flags = 0;
    unsigned bits = Byte();
    bits |= Byte() << 8;
    for (size_t i = 0; i < std::size(kEditFlags); ++i)
      if (bits & (1u << i)) flags |= kEditFlags[i];
    return flags;
  }

 private:
  std::string_view bytes_;
  size_t left_;
};

std::string Fail(const std::string& what, const std::string& fault) { return what + ": " + fault; }

// The document, or an element in it: every element has a name.
bool IsLinked(const XmlDoc& doc, int n) { return n == 0 || !doc.GetElementName(n).empty(); }

std::string CheckCursor(const XmlDoc& doc) {
  const int parent = doc.GetParentPosition(), current = doc.GetCurrentPosition(),
            child = doc.GetChildPosition();
  const std::string where =
      " (" + std::to_string(parent) + "," + std::to_string(current) + "," + std::to_string(child) + ")";
  if (!IsLinked(doc, parent) || !IsLinked(doc, current) || !IsLinked(doc, child))
    return "cursor on a free record" + where;
  if (current && doc.GetParent(current) != parent) return "current element is not the parent's child" + where;
  if (child && (!current || doc.GetParent(child) != current)) return "child is not the current element's child" + where;
  return "";
}

std::string CheckSubDocuments(const XmlDoc& doc, const std::vector<int>& elements) {
  const std::string& text = doc.GetDocumentText();
  // A sample: every sub-document of a deep document would copy the text
  // once per level.
  const size_t stride = elements.size() / 64 + 1;
  for (size_t i = 0; i < elements.size(); i += stride) {
    const int n = elements[i];
    const XmlDoc::ElementFacts r = doc.GetElementFacts(n);
    const std::string sub = doc.GetSubDocument(n);
    const std::string_view span = std::string_view(text).substr(size_t(r.start), size_t(r.length));
    if (!std::string_view(sub).starts_with(span) ||
        sub.find_first_not_of(" \t\r\n", span.size()) != std::string::npos)
      return "GetSubDocument(" + std::to_string(n) + ") is not the element's span";
    doc.GetElementName(n);
    doc.GetAttribute(n, "a");
    doc.GetContent(n);
  }
  return "";
}

// Visits the elements with FindElement, EnterElement and LeaveElement; the
// order must be the index's document order.
std::string CheckCursorWalk(XmlDoc& doc, const std::vector<int>& elements) {
  doc.SetPositions(0, 0, 0);
  std::vector<int> visited;
  for (int depth = 0;;) {
    if (doc.FindElement()) {
      visited.push_back(doc.GetCurrentPosition());
      doc.GetTagName();
      for (int i = 0; !doc.GetAttributeName(i).empty() && i < 8; ++i)
        doc.GetAttribute(doc.GetAttributeName(i).c_str());
      if (!doc.EnterElement()) return "EnterElement failed after FindElement";
      ++depth;
    } else if (depth > 0) {
      if (!doc.LeaveElement()) return "LeaveElement failed at depth " + std::to_string(depth);
      --depth;
    } else {
      break;
    }
    std::string fault = CheckCursor(doc);
    if (!fault.empty()) return fault;
  }
  return visited == elements ? "" : "the cursor walk does not visit the index in document order";
}

// Visits every node with FindNode; each call must move on.
std::string CheckNodeWalk(XmlDoc& doc, int mask) {
  doc.SetPositions(0, 0, 0);
  const size_t limit = 4 * doc.GetDocumentText().size() + 16;
  int depth = 0;
  for (size_t calls = 0; calls < limit; ++calls) {
    const int type = doc.FindNode(mask);
    if (type == XmlDoc::ElementNode) {
      doc.EnterElement();
      ++depth;
    } else if (type == 0) {
      if (depth == 0) return "";
      doc.LeaveElement();
      --depth;
    } else {
      doc.GetNodeName();
      doc.GetContent();
    }
    std::string fault = CheckCursor(doc);
    if (!fault.empty()) return fault;
  }
  return "FindNode walk does not end";
}

// Round trips of the escaping and the conversions over the raw bytes.
std::string CheckEncodings(std::string_view bytes) {
  for (unsigned flags : {0u, unsigned(XmlDoc::EscapeQuotes)}) {
    if (FromMarkupText(ToMarkupText(bytes, flags)) != bytes) return "escaping does not round-trip";
  }
  if (ToMarkupText(bytes, XmlDoc::KeepReferences).find_first_of("<>") != std::string::npos)
    return "kept references let < or > through";
  if (FromMarkupText(bytes).size() > bytes.size()) return "decoding grew the text";
  XmlDoc wrapped;
  wrapped.SetDocumentText("<a>" + WrapCData(bytes) + "</a>");
  wrapped.FindElement();
  if (wrapped.GetContent() != bytes) return "CDATA content differs from the wrapped text";
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = char16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
  const std::string fromUnits = Utf16ToUtf8(units);
  if (Utf16ToUtf8(Utf8ToUtf16(fromUnits)) != fromUnits) return "UTF-16 conversion does not round-trip";
  return "";
}

// The element numbers below n, n included.
std::vector<int> Subtree(const XmlDoc& doc, int n) {
  std::vector<int> numbers;
  if (!n) return numbers;
  numbers.push_back(n);
  for (size_t i = 0; i < numbers.size(); ++i)
    for (int c = doc.GetFirstChild(numbers[i]); c; c = doc.GetNextSibling(c)) numbers.push_back(c);
  return numbers;
}

// Records keep their numbers and names through an edit (no edit renames an
// element); removed ones are freed.
std::string CheckStableNumbers(const XmlDoc& doc, const std::vector<std::pair<int, std::string>>& before,
                               const std::vector<int>& removed) {
  std::vector<bool> gone(size_t(doc.GetHighWaterMark()), false);
  for (int n : removed) gone[size_t(n)] = true;
  for (const auto& [n, name] : before) {
    if (gone[size_t(n)] && IsLinked(doc, n))
      return "removed record " + std::to_string(n) + " is still linked";
    if (!gone[size_t(n)] && (!IsLinked(doc, n) || doc.GetElementName(n) != name))
      return "record " + std::to_string(n) + " (" + name + ") was renamed or lost by the edit";
  }
  return "";
}

// Runs the steps that the input's choices pick on one document. Every
// choice is taken in its own statement, so that each compiler replays an
// input the same way.
class Exerciser {
 public:
  explicit Exerciser(std::string_view bytes) : bytes_(bytes), choices_(bytes) {}

  std::string Run() {
    if (choices_.Coin()) doc_.SetDocumentFlags(XmlDoc::IgnoreCase);
    doc_.SetDocumentText(bytes_);
    std::string fault = doc_.CheckIndex();
    if (!fault.empty()) return Fail("parse", fault);
    elements_ = IndexedElements(doc_);
    if (fault = CheckSubDocuments(doc_, elements_); !fault.empty()) return Fail("read", fault);
    if (fault = CheckCursorWalk(doc_, elements_); !fault.empty()) return Fail("cursor walk", fault);
    if (fault = CheckNodeWalk(doc_, choices_.Pick(kNodeMasks)); !fault.empty())
      return Fail("node walk", fault);
    doc_.SetPositions(0, 0, 0);
    for (int step = 0; step < kMaxSteps && !choices_.Exhausted(); ++step) {
      if (fault = Step(); !fault.empty()) return Fail("step " + std::to_string(step), fault);
    }
    return "";
  }

 private:
  std::string Step() {
    switch (choices_.Below(8)) {
      case 0:
      case 1:
      case 2:
        Navigate();
        return CheckCursor(doc_);
      case 3:
        return Copy();
      case 4:
        return Reparse();
      default:
        return EditAndCheck();
    }
  }

  // An element of the document, or 0.
  int AnyElement() {
    const size_t i = choices_.Below(elements_.size() + 1);
    return i < elements_.size() ? elements_[i] : 0;
  }

  std::string Name() {
    switch (choices_.Below(4)) {
      case 0:
        return doc_.GetElementName(AnyElement());
      case 1:
        return doc_.GetAttributeName(int(choices_.Below(4)));
      case 2:
        return choices_.Slice();
      default:
        return choices_.Pick(kNames);
    }
  }

  std::string Text() { return choices_.Coin() ? choices_.Slice() : std::string(choices_.Pick(kTexts)); }

  int Target() {
    switch (choices_.Below(3)) {
      case 0:
        return doc_.GetCurrentPosition();
      case 1:
        return doc_.GetChildPosition();
      default:
        return AnyElement();
    }
  }

  void Navigate() {
    const std::string path = choices_.Coin() ? choices_.Slice() : std::string(choices_.Pick(kPaths));
    const char* name = choices_.Below(4) == 0 ? nullptr : path.c_str();
    switch (choices_.Below(7)) {
      case 0: {
        const int n = AnyElement();
        doc_.SetPositions(doc_.GetParent(n), n, n && choices_.Coin() ? doc_.GetFirstChild(n) : 0);
        break;
      }
      case 1:
        doc_.FindElement(name);
        break;
      case 2:
        doc_.FindChildElement(name);
        break;
      case 3:
        doc_.EnterElement();
        break;
      case 4:
        doc_.LeaveElement();
        break;
      case 5:
        doc_.FindNode(choices_.Pick(kNodeMasks));
        break;
      default:
        doc_.GetNodeName();
        doc_.GetContent();
        doc_.GetChildContent();
        doc_.GetChildTagName();
        doc_.GetAttribute(name ? name : "a");
        doc_.GetSubDocument(doc_.GetCurrentPosition());
        break;
    }
  }

  // One edit; returns whether the engine reports it done, and the numbers
  // it is to remove in removed.
  bool Edit(std::vector<int>& removed) {
    const size_t kind = choices_.Below(8);
    if (kind == 6) {
      removed = Subtree(doc_, doc_.GetCurrentPosition());
      return doc_.RemoveElement();
    }
    if (kind == 7) {
      removed = Subtree(doc_, doc_.GetChildPosition());
      return doc_.RemoveChildElement();
    }
    if (kind == 5) {
      const std::string fragment =
          choices_.Coin() ? choices_.Slice() : std::string(choices_.Pick(kFragments));
      return doc_.AddSubDocument(fragment, choices_.Flags());
    }
    const int target = Target();
    const std::string name = Name();
    const std::string text = Text();
    switch (kind) {
      case 0:
        return doc_.SetAttribute(target, name.c_str(), text);
      case 1:
        return doc_.SetAttributeInt(target, name.c_str(), int(choices_.Byte()) - 128);
      case 2:
        return doc_.RemoveAttribute(target, name.c_str());
      case 3: {
        const unsigned flags = choices_.Coin() ? unsigned(XmlDoc::AsCData) : 0u;
        return choices_.Coin() ? doc_.SetContent(text, flags) : doc_.SetContent(target, text, flags);
      }
      default:
        return doc_.AddElement(name.c_str(), text, choices_.Flags());
    }
  }

  std::string EditAndCheck() {
    std::vector<std::pair<int, std::string>> before;
    for (int n : elements_) before.emplace_back(n, doc_.GetElementName(n));
    doc_.SetDocumentFlags(doc_.GetDocumentFlags() & ~uint32_t(XmlDoc::Modified));
    std::vector<int> removed;
    const bool done = Edit(removed);
    if (!done) removed.clear();
    std::string fault = doc_.CheckIndex();
    if (!fault.empty()) return fault;
    elements_ = IndexedElements(doc_);
    if (fault = CheckCursor(doc_); !fault.empty()) return fault;
    if (fault = CheckStableNumbers(doc_, before, removed); !fault.empty()) return fault;
    return done && !doc_.IsModified() ? "a successful edit did not set Modified" : "";
  }

  std::string Copy() {
    const size_t how = choices_.Below(3);
    XmlDoc copy;
    if (how == 0) copy.CopyFrom(doc_);
    if (how == 1) copy = doc_;
    if (how == 2) {
      XmlDoc constructed(doc_);
      copy = std::move(constructed);
    }
    std::string fault = copy.CheckIndex();
    if (!fault.empty()) return Fail("copy", fault);
    if (copy.GetDocumentText() != doc_.GetDocumentText() ||
        copy.GetCurrentPosition() != doc_.GetCurrentPosition() || copy.GetNodeType() != doc_.GetNodeType() ||
        IndexedElements(copy) != elements_)
      return "the copy differs";
    if (choices_.Coin()) {
      XmlDoc moved(std::move(copy));
      doc_ = std::move(moved);
    }
    return "";
  }

  // Parses the edited text again.
  std::string Reparse() {
    doc_.SetDocumentText(std::string(doc_.GetDocumentText()));
    std::string fault = doc_.CheckIndex();
    elements_ = IndexedElements(doc_);
    return fault;
  }

  std::string_view bytes_;
  Choices choices_;
  XmlDoc doc_;
  std::vector<int> elements_;  // in document order, kept current after every change
};

}  // namespace

std::string ExerciseXmlDoc(std::string_view bytes) {
  std::string fault = CheckEncodings(bytes);
  if (!fault.empty()) return Fail("encodings", fault);
  return Exerciser(bytes).Run();
}

}  // namespace vrel
