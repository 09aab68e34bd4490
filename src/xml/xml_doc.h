// XmlDoc: the reader's own XML engine.
//
// A document is one contiguous 8-bit text plus an element index: an array of
// 32-byte records, one per element, giving each element's span in the text and
// its links to parent, children and siblings. There is no tree of node objects.
// Navigation walks the index; reading an attribute or content re-scans the
// element's own span; edits rewrite the text in place and shift the spans of
// the records behind the edit, so record numbers of untouched elements stay
// stable. Failures are reported by results (false, 0, ""), never by throwing.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vrel {

// Flags of the flags-and-level word of an element record.
enum RecordFlag : uint32_t {
  LevelMask = 0xFFFF,
  Removed = 1u << 17,        // the whole word of a record on the free list
  FirstSibling = 1u << 19,   // the record is its parent's first child
  Unended = 1u << 20,        // no end tag; closed at its start tag
  ContainsError = 1u << 21,  // an erroneous node or stray end tag lies directly inside
  IllFormed = 1u << 23,      // set on the record below which a parse found errors
};

// Limits that follow from the record layout.
constexpr uint32_t kMaxStartTagLength = (1u << 22) - 1;
constexpr uint32_t kMaxEndTagLength = (1u << 10) - 1;
constexpr uint32_t kMaxLevel = 0xFFFF;
constexpr int kRecordsPerSegment = 65536;

struct ElementRecord {
  int32_t start;            // offset of the "<" of the start tag
  int32_t length;           // start tag through end tag (start tag alone if empty or unended)
  uint32_t tagLengths;      // low 22 bits start-tag length, high 10 bits end-tag length
  uint32_t flagsAndLevel;   // low 16 bits level, high bits RecordFlag
  int32_t parent;           // 0 = document record
  int32_t firstChild;       // 0 = none
  int32_t nextSibling;      // 0 = last
  int32_t previousSibling;  // for the first child: the last child

  uint32_t StartTagLength() const { return tagLengths & kMaxStartTagLength; }
  uint32_t EndTagLength() const { return tagLengths >> 22; }
  uint32_t Level() const { return flagsAndLevel & LevelMask; }
  bool Has(uint32_t flag) const { return (flagsAndLevel & flag) != 0; }
};
static_assert(sizeof(ElementRecord) == 32, "records are eight 32-bit words");

// What ScanNode reads from and advances.
struct XmlScanner {
  const char* text = nullptr;
  int32_t textLength = 0;
  int32_t next = 0;        // next offset to scan
  int32_t tokenStart = 0;  // span of the end tag's name after an end tag
  int32_t tokenEnd = -1;   // inclusive; lower than tokenStart means empty
  uint32_t flags = 0;      // IgnoreCase
};

constexpr uint32_t kNodeEmptyElement = 0x10000;  // start tag ends in "/>"

// What ScanNode fills for one node.
struct XmlNode {
  int type = 0;
  int32_t start = 0;
  int32_t length = 0;
  uint32_t flags = 0;
  std::string name;  // tag or target name, or the message of an error node
};

class XmlDoc {
 public:
  // Document flags.
  enum DocFlag : uint32_t {
    Utf16File = 1,   // last file read was UTF-16LE; the next save writes UTF-16LE
    Modified = 2,    // set by every edit
    Utf8Bom = 4,     // last file read had a UTF-8 byte order mark
    IgnoreCase = 8,  // names compare without regard to case
  };

  // Node types returned by ScanNode and FindNode.
  enum NodeType : int {
    EndOfTextToken = -2,  // scanner only
    ErrorToken = -1,      // scanner only
    EndTagToken = 0,      // scanner only
    ElementNode = 1,
    TextNode = 2,
    WhitespaceNode = 4,
    CDataNode = 8,
    ProcessingInstructionNode = 16,
    CommentNode = 32,
    DocumentTypeNode = 64,
    LoneEndTagNode = 128,
    ErrorNode = 0x8000,
  };

  // Option flags of edits and of ToMarkupText.
  enum EditFlag : unsigned {
    AsCData = 1,
    NoLineBreaks = 2,
    SpaceBeforeSlash = 4,
    KeepReferences = 8,
    NoEndTag = 0x10,
    EscapeQuotes = 0x100,
    ReplaceContent = 0x1000,
    InsertBefore = 0x2000,
    AsChild = 0x4000,
  };

  // What the index holds on an element.
  struct ElementFacts {
    uint32_t level = 0;  // 0 for a top-level element
    int32_t start = 0;   // offset of the "<" of its start tag
    int32_t length = 0;  // start tag through end tag
    uint32_t startTagLength = 0;
    uint32_t endTagLength = 0;   // 0 when written "/>" or unended
    bool firstSibling = false;   // its parent's first child
    bool unended = false;        // no end tag; closed at its start tag
    bool containsError = false;  // an erroneous node or stray end tag lies directly inside
    bool operator==(const ElementFacts&) const = default;
  };

  XmlDoc();
  ~XmlDoc();
  XmlDoc(const XmlDoc& other);
  XmlDoc& operator=(const XmlDoc& other);
  XmlDoc(XmlDoc&& other) noexcept;
  XmlDoc& operator=(XmlDoc&& other) noexcept;

  // Loading, parsing and saving.
  bool SetDocumentText(const char* text);  // null means empty
  bool SetDocumentText(std::string_view text);
  bool LoadFile(const std::string& path);
  bool SaveFile(const std::string& path);
  bool ParseDocument();
  bool IsWellFormed() const;
  const std::string& GetResultText() const { return resultText_; }
  const std::string& GetDocumentText() const { return text_; }
  uint32_t GetDocumentFlags() const { return docFlags_; }
  void SetDocumentFlags(uint32_t flags) { docFlags_ = flags; }
  bool IsModified() const { return (docFlags_ & Modified) != 0; }

  // The cursor.
  void SetPositions(int parent, int current, int child);
  int GetParentPosition() const { return parent_; }
  int GetCurrentPosition() const { return current_; }
  int GetChildPosition() const { return child_; }
  int GetNodeType() const { return nodeType_; }
  bool FindElement(const char* nameOrPath = nullptr);
  bool FindChildElement(const char* nameOrPath = nullptr);
  bool EnterElement();
  bool LeaveElement();
  int FindNode(int typeMask = 0);

  // Reading. The forms without an element number work on the current element,
  // the Child forms on the child element.
  std::string GetNodeName() const;
  std::string GetElementName(int n) const;
  std::string GetTagName() const { return GetElementName(current_); }
  std::string GetChildTagName() const { return GetElementName(child_); }
  std::string GetAttribute(int n, const char* name) const;
  std::string GetAttribute(const char* name) const { return GetAttribute(current_, name); }
  std::string GetChildAttribute(const char* name) const { return GetAttribute(child_, name); }
  std::string GetAttributeName(int index) const;
  std::string GetContent(int n) const;
  std::string GetContent() const;  // the current node when one is current
  std::string GetChildContent() const { return GetContent(child_); }
  std::string GetSubDocument(int n) const;

  // Edits.
  bool SetAttribute(int n, const char* name, std::string_view value);
  bool SetAttribute(const char* name, std::string_view value) { return SetAttribute(current_, name, value); }
  bool SetChildAttribute(const char* name, std::string_view value) { return SetAttribute(child_, name, value); }
  bool SetAttributeInt(int n, const char* name, int value);
  bool RemoveAttribute(int n, const char* name);
  bool SetContent(int n, std::string_view text, unsigned flags = 0);
  bool SetContent(std::string_view text, unsigned flags = 0);  // current node or element
  bool SetChildContent(std::string_view text, unsigned flags = 0) { return SetContent(child_, text, flags); }
  bool AddElement(const char* name, std::string_view value = {}, unsigned flags = 0);
  bool AddSubDocument(std::string_view fragment, unsigned flags = 0);
  bool RemoveElement();
  bool RemoveChildElement();
  void CopyFrom(const XmlDoc& other);

  // Walks of the index by element number, 0 being the document. They leave
  // the cursor alone and return 0 where there is no such element.
  int GetParent(int n) const;
  int GetFirstChild(int n) const;
  int GetNextSibling(int n) const;
  int GetNextInDocumentOrder(int n) const;             // the first child, else the next element outside n
  int GetNextAfterSubtree(int n) const;                // the next element outside n
  ElementFacts GetElementFacts(int n) const;           // all zero and false when n is no element
  int GetHighWaterMark() const { return highWater_; }  // element numbers lie below it
  size_t GetIndexBytes() const;                        // held by the index: records and their table

  // "" when the index is sound, else its first fault: spans nested and in
  // order, links both ways, levels, tags where the spans say, and every
  // record either linked or on the free list.
  std::string CheckIndex() const;

  // The index, read-only, for tools and checks.
  const ElementRecord* GetRecord(int n) const;  // null when n was never handed out

  // The tokenizer and the index builder.
  static int ScanNode(XmlScanner& scanner, XmlNode& node);
  int BuildIndex(int below, XmlScanner& scanner);

 private:
  // A node as the tokenizer finds it: spans into the text, no copies.
  struct ScannedNode {
    int type = 0;
    int32_t start = 0;
    int32_t length = 0;
    uint32_t flags = 0;
    int32_t nameStart = 0;  // tag, target or end-tag name
    int32_t nameLength = 0;
    bool unterminated = false;  // the text ended inside a node that would take in any text after it
    std::string message;        // of an error node
  };
  class Tokenizer;
  class IndexCheck;

  // What a parse found that text added after it would change.
  struct ParseOutcome {
    bool strayEndTag = false;
    bool unended = false;   // an element was closed at its start tag
    int32_t openTail = -1;  // start of the node the text ended in, if unterminated
  };

  // One attribute of a start tag or processing instruction.
  struct AttributeToken {
    int32_t begin = 0;  // where the attribute's text starts
    int32_t nameStart = 0, nameLength = 0;
    int32_t valueStart = 0, valueLength = 0;
    bool hasValue = false;
    bool quoted = false;
    int32_t end = 0;  // just past the attribute, closing quote included
  };

  // Where new text goes and how the new elements are linked.
  struct Placement {
    int parent = 0;
    int previous = 0;    // sibling the new elements follow (0: first child)
    int firstMoved = 0;  // first of the parent's children behind the new text
    uint32_t level = 0;
    int32_t at = 0;
    int32_t replaced = 0;  // the "/" of a parent written "/>"
    bool lineBreaks = true;
    bool opensParent = false;
    uint32_t endTagLength = 0;  // of the end tag an opened parent gets
    std::string before, after;  // text around the new text
  };

  static constexpr size_t kMaxTextLength = 0x7FFFFFFF;  // offsets are int32

  static constexpr bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
  static constexpr bool EndsName(char c) { return IsWhite(c) || c == '/' || c == '>'; }
  static constexpr bool StartsName(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || u == '_' || u == ':' || u > 0x60;
  }
  static bool IsValidName(const char* name, bool attribute);
  static std::string Join(std::initializer_list<std::string_view> parts);
  static int Scan(XmlScanner& scanner, ScannedNode& node);  // ScanNode by spans
  bool NameMatches(std::string_view tagName, const char* name) const;

  ElementRecord& Record(int n) { return segments_[n >> 16][n & 0xFFFF]; }
  const ElementRecord& Record(int n) const { return segments_[n >> 16][n & 0xFFFF]; }
  bool HasIndex() const { return capacity_ > 0; }
  bool IsLive(int n) const { return n > 0 && n < highWater_ && !Record(n).Has(Removed); }
  bool IsPosition(int n) const { return n == 0 ? HasIndex() : IsLive(n); }
  bool NodeIsCurrent() const { return nodeType_ > ElementNode; }
  // Written "/>": no end tag, and not for want of one.
  static bool IsEmptyForm(const ElementRecord& r) { return r.EndTagLength() == 0 && !r.Has(Unended); }
  int FirstChild(int n) const { return Record(n).firstChild; }
  int LastChild(int n) const { return FirstChild(n) ? Record(FirstChild(n)).previousSibling : 0; }
  std::string_view ElementNameView(int n) const;
  std::string_view NodeText() const { return std::string_view(text_).substr(size_t(nodeOffset_), size_t(nodeLength_)); }
  int32_t SkipLineBreak(int32_t offset) const;
  void ClearNode();

  // Storage.
  void Grow(int64_t wanted);
  void ResizeSegment(int segment, int newCount);
  void TrimIndex();
  int TakeRecord();
  void FreeRecord(int n);
  void FreeSubtree(int n);
  void ResetIndex(size_t textLength);
  bool RefuseText(size_t length, const std::string& note);

  // Parsing.
  int BuildIndexBelow(int below, XmlScanner& scanner, std::string& message, ParseOutcome& outcome);
  // An element whose end tag is still to come, with its children so far.
  struct OpenElement {
    int record;
    int32_t nameStart, nameLength;
    int firstChild, lastChild;
  };
  bool CloseUnended(std::vector<OpenElement>& open, size_t from, int below);
  void Relevel(int below);

  // Links and positions.
  void Link(int parent, int previous, int n);
  void Unlink(int n);
  void ShiftSubtree(int n, int32_t delta);
  void ShiftPositions(int parent, int firstMoved, int32_t delta);
  bool ReplaceText(int32_t at, int32_t length, std::string_view replacement);

  // Reading.
  int Search(int parent, int from, const char* path, int boundary) const;
  int NextInDocumentOrder(int n, int boundary) const;
  int NextAfterSubtree(int n, int boundary) const;
  static constexpr int kCurrentNodeTag = -1;
  int TagOf(int n) const;
  bool TagSpan(int tag, int32_t& from, int32_t& to) const;
  int32_t ReadToken(int32_t pos, int32_t to, bool value, int32_t& start, int32_t& length, bool& quoted) const;
  bool NextAttribute(int32_t& pos, int32_t to, AttributeToken& token) const;
  bool FindAttribute(int tag, const char* name, AttributeToken& token, int32_t* lastTokenEnd) const;
  bool HasChildNamed(int n, const char* name) const;

  // Editing.
  static bool ReadsAsOneNode(std::string_view text, int type, ScannedNode& node);
  bool ChangeTag(int tag, int32_t at, int32_t length, const std::string& replacement);
  bool SetNodeContent(std::string_view text, unsigned flags);
  bool Place(unsigned flags, Placement& placement) const;
  bool EndTagFollows(int32_t from, int32_t to, std::string_view name) const;
  bool FollowsOpenMarkup(int32_t offset) const;
  bool PrepareParent(Placement& placement) const;
  bool InsertText(const Placement& placement, std::string_view body, int32_t& bodyAt);
  bool Remove(int n, int& previous);
  void MoveCursorTo(int n, bool asChild);

  std::string text_;
  std::string resultText_;
  int parent_ = 0;
  int current_ = 0;
  int child_ = 0;
  int highWater_ = 1;
  int freeHead_ = 0;
  int nodeType_ = 0;
  int32_t nodeOffset_ = 0;
  int32_t nodeLength_ = 0;
  uint32_t docFlags_ = 0;
  // Where the text ends inside an unterminated comment, tag, ...: text put
  // at or after it would be swallowed when the document is read again.
  int32_t openTail_ = -1;
  // Segments live in malloc'd blocks so that growing or trimming the last
  // one is a realloc, often without a copy.
  struct FreeSegment {
    void operator()(ElementRecord* segment) const noexcept;
  };
  std::vector<std::unique_ptr<ElementRecord[], FreeSegment>> segments_;
  int capacity_ = 0;
};

}  // namespace vrel
