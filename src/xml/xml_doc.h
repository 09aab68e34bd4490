// XmlDoc: the reader's own XML engine.
//
// A document is one contiguous 8-bit text plus an element index: a record per
// element, numbered, giving each element's span in the text and its links to
// parent, children and siblings. There is no tree of node objects.
// Navigation walks the index; reading an attribute or content re-scans the
// element's own span; edits rewrite the text in place and shift the spans of
// the records behind the edit, so record numbers of untouched elements stay
// stable. Failures are reported by results (false, 0, ""), never by throwing.
// This header is what callers use; the engine behind it is XmlEngine, in
// xml_engine.h, which only the XML engine's own files include.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vrel {

class XmlEngine;

class XmlDoc {
 public:
  // Document flags.
  enum DocFlag : uint32_t {
    Utf16File = 1,   // last file read was UTF-16LE; the next save writes UTF-16LE
    Modified = 2,    // set by every edit
    Utf8Bom = 4,     // last file read had a UTF-8 byte order mark
    IgnoreCase = 8,  // names compare without regard to case
  };

  // Node types, as FindNode and GetNodeType give them.
  enum NodeType : int {
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

  struct Attribute {
    std::string name;
    std::string value;  // decoded; an attribute written without a value has its name
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
  const std::string& GetResultText() const;
  const std::string& GetDocumentText() const;
  uint32_t GetDocumentFlags() const;
  void SetDocumentFlags(uint32_t flags);
  bool IsModified() const { return (GetDocumentFlags() & Modified) != 0; }

  // The cursor.
  void SetPositions(int parent, int current, int child);
  int GetParentPosition() const;
  int GetCurrentPosition() const;
  int GetChildPosition() const;
  int GetNodeType() const;
  bool FindElement(const char* nameOrPath = nullptr);
  bool FindChildElement(const char* nameOrPath = nullptr);
  bool EnterElement();
  bool LeaveElement();
  int FindNode(int typeMask = 0);

  // Reading. The forms without an element number work on the current element,
  // the Child forms on the child element.
  std::string GetNodeName() const;
  std::string GetElementName(int n) const;
  std::string GetTagName() const { return GetElementName(GetCurrentPosition()); }
  std::string GetChildTagName() const { return GetElementName(GetChildPosition()); }
  std::string GetAttribute(int n, const char* name) const;
  std::string GetAttribute(const char* name) const { return GetAttribute(GetCurrentPosition(), name); }
  std::string GetChildAttribute(const char* name) const { return GetAttribute(GetChildPosition(), name); }
  std::string GetAttributeName(int index) const;
  // Every attribute of element n in order, read in one pass over its tag
  // (where a walk by GetAttributeName and GetAttribute would read it again
  // for each attribute).
  std::vector<Attribute> GetAttributes(int n) const;
  std::string GetContent(int n) const;
  std::string GetContent() const;  // the current node when one is current
  std::string GetChildContent() const { return GetContent(GetChildPosition()); }
  std::string GetSubDocument(int n) const;

  // Edits.
  bool SetAttribute(int n, const char* name, std::string_view value);
  bool SetAttribute(const char* name, std::string_view value) {
    return SetAttribute(GetCurrentPosition(), name, value);
  }
  bool SetChildAttribute(const char* name, std::string_view value) {
    return SetAttribute(GetChildPosition(), name, value);
  }
  bool SetAttributeInt(int n, const char* name, int value) { return SetAttribute(n, name, std::to_string(value)); }
  bool RemoveAttribute(int n, const char* name);
  bool SetContent(int n, std::string_view text, unsigned flags = 0);
  bool SetContent(std::string_view text, unsigned flags = 0);  // current node or element
  bool SetChildContent(std::string_view text, unsigned flags = 0) {
    return SetContent(GetChildPosition(), text, flags);
  }
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
  int GetHighWaterMark() const;                        // element numbers lie below it
  size_t GetIndexBytes() const;                        // held by the index: records and their table

  // "" when the index is sound, else its first fault: spans nested and in
  // order, links both ways, levels, tags where the spans say, and every
  // record either linked or on the free list.
  std::string CheckIndex() const;

 private:
  const XmlEngine& View() const;  // a moved-from document shows an engine without index
  XmlEngine& Own();               // and is given one, still without index, to change
  std::unique_ptr<XmlEngine> engine_;
};

}  // namespace vrel
