// XmlEngine: what stands behind XmlDoc, for the XML engine's own files (and
// the one test that damages an index on purpose to see the self-check notice).
//
// The element index is an array of 32-byte records in segments of 65,536,
// numbered from 1 in the order the parse met the elements; record 0 stands
// for the document. Freed records form a free list through nextSibling and
// are handed out again first.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/xml_doc.h"

namespace vrel {

class XmlEngine {
 public:
  using enum XmlDoc::DocFlag;
  using enum XmlDoc::NodeType;
  using enum XmlDoc::EditFlag;
  using ElementFacts = XmlDoc::ElementFacts;

  // What the tokenizer returns besides the node types.
  enum Token : int {
    EndOfTextToken = -2,
    ErrorToken = -1,
    EndTagToken = 0,
  };

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
  static constexpr uint32_t kMaxStartTagLength = (1u << 22) - 1;
  static constexpr uint32_t kMaxEndTagLength = (1u << 10) - 1;
  static constexpr uint32_t kMaxLevel = 0xFFFF;
  static constexpr int kRecordsPerSegment = 65536;

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

  // What the tokenizer reads from and advances.
  struct Scanner {
    const char* text = nullptr;
    int32_t textLength = 0;
    int32_t next = 0;    // next offset to scan
    uint32_t flags = 0;  // IgnoreCase
  };

  XmlEngine() = default;  // without index until it is given a text
  XmlEngine(const XmlEngine&) = delete;
  XmlEngine& operator=(const XmlEngine&) = delete;

  // The calls that XmlDoc hands on, as it describes them.
  bool SetDocumentText(std::string_view text);
  bool LoadFile(const std::string& path);
  bool SaveFile(const std::string& path);
  bool ParseDocument();
  bool IsWellFormed() const;
  const std::string& GetResultText() const { return resultText_; }
  const std::string& GetDocumentText() const { return text_; }
  uint32_t GetDocumentFlags() const { return docFlags_; }
  void SetDocumentFlags(uint32_t flags) { docFlags_ = flags; }

  void SetPositions(int parent, int current, int child);
  int GetParentPosition() const { return parent_; }
  int GetCurrentPosition() const { return current_; }
  int GetChildPosition() const { return child_; }
  int GetNodeType() const { return nodeType_; }
  bool FindElement(const char* nameOrPath);
  bool FindChildElement(const char* nameOrPath);
  bool EnterElement();
  bool LeaveElement();
  int FindNode(int typeMask);

  std::string GetNodeName() const;
  std::string GetElementName(int n) const;
  std::string GetAttribute(int n, const char* name) const;
  std::string GetAttributeName(int index) const;
  std::vector<XmlDoc::Attribute> GetAttributes(int n) const;
  std::string GetContent(int n) const;
  std::string GetContent() const;
  std::string GetSubDocument(int n) const;

  bool SetAttribute(int n, const char* name, std::string_view value);
  bool RemoveAttribute(int n, const char* name);
  bool SetContent(int n, std::string_view text, unsigned flags);
  bool SetContent(std::string_view text, unsigned flags);
  bool AddElement(const char* name, std::string_view value, unsigned flags);
  bool AddSubDocument(std::string_view fragment, unsigned flags);
  bool RemoveElement();
  bool RemoveChildElement();
  void CopyFrom(const XmlEngine& other);

  int GetParent(int n) const;
  int GetFirstChild(int n) const;
  int GetNextSibling(int n) const;
  int GetNextInDocumentOrder(int n) const;
  int GetNextAfterSubtree(int n) const;
  ElementFacts GetElementFacts(int n) const;
  int GetHighWaterMark() const { return highWater_; }
  size_t GetIndexBytes() const;
  std::string CheckIndex() const;

  // Record n, which must lie below the high-water mark of an index.
  ElementRecord& Record(int n) { return segments_[n >> 16][n & 0xFFFF]; }
  const ElementRecord& Record(int n) const { return segments_[n >> 16][n & 0xFFFF]; }

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

  static constexpr uint32_t kNodeEmptyElement = 0x10000;  // ScannedNode flag: the start tag ends in "/>"

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
  // Above 0x60 lie the lower-case letters and every byte from 0x80 up, so a
  // name may start with any character written in several UTF-8 bytes (and
  // with a byte that is no UTF-8 at all); one compare for all of them also
  // lets "{", "|", "}", "~" and DEL in.
  static constexpr bool StartsName(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || u == '_' || u == ':' || u > 0x60;
  }
  static bool IsValidName(const char* name, bool attribute);
  static std::string Join(std::initializer_list<std::string_view> parts);
  static int Scan(Scanner& scanner, ScannedNode& node);
  bool NameMatches(std::string_view tagName, const char* name) const;

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
  int BuildIndexBelow(int below, Scanner& scanner, std::string& message, ParseOutcome& outcome);
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
  // Walks in document order that stay below boundary (0: the whole document).
  int NextInDocumentOrder(int n, int boundary) const {
    return FirstChild(n) ? FirstChild(n) : NextAfterSubtree(n, boundary);
  }
  int NextAfterSubtree(int n, int boundary) const {
    for (; n != boundary && n != 0; n = Record(n).parent) {
      if (Record(n).nextSibling) return Record(n).nextSibling;
    }
    return 0;
  }
  static constexpr int kCurrentNodeTag = -1;
  int TagOf(int n) const;
  bool TagSpan(int tag, int32_t& from, int32_t& to) const;
  int32_t ReadToken(int32_t pos, int32_t to, bool value, int32_t& start, int32_t& length, bool& quoted) const;
  bool NextAttribute(int32_t& pos, int32_t to, AttributeToken& token) const;
  bool FindAttribute(int tag, const char* name, AttributeToken& token, int32_t* lastTokenEnd) const;
  std::string AttributeValue(const AttributeToken& token) const;
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
