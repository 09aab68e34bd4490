// XmlEngine: the cursor, searches by name or path, walks of the index, and
// reading of names, attributes and content. Reads re-scan the element's own
// span of text.
#include <cstring>

#include "xml/xml_encoding.h"
#include "xml/xml_engine.h"

namespace vrel {
namespace {

// A name argument ends at NUL or one of " =/[]".
bool EndsNameArgument(char c) { return c == 0 || c == ' ' || c == '=' || c == '/' || c == '[' || c == ']'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool IsQuote(char c) { return c == '"' || c == '\''; }

// One step of a path: a name or "*", and at most one predicate.
struct PathStep {
  enum Kind { Plain, Position, Attribute, Child };
  const char* name = nullptr;
  bool any = false;
  Kind kind = Plain;
  long position = 0;
  const char* argument = nullptr;  // attribute or child name, ended by "]"
  const char* rest = "";           // the "/" before the next step, or ""
};

bool ParseStep(const char* p, PathStep& step) {
  const char* q = p;
  while (!EndsNameArgument(*q)) ++q;
  if (q == p) return false;
  step.name = p;
  step.any = q - p == 1 && *p == '*';
  if (*q == '[') {
    const char* close = std::strchr(q, ']');
    if (!close) return false;
    const char* inside = q + 1;
    if (*inside >= '0' && *inside <= '9') {
      step.kind = PathStep::Position;
      for (; inside < close; ++inside) {
        if (*inside < '0' || *inside > '9') return false;
        if (step.position < 1000000000) step.position = step.position * 10 + (*inside - '0');
      }
    } else if (*inside == '@') {
      step.kind = PathStep::Attribute;
      step.argument = inside + 1;
    } else {
      step.kind = PathStep::Child;
      step.argument = inside;
    }
    q = close + 1;
  }
  step.rest = *q == '/' ? q : "";
  return true;
}

std::string_view Inner(std::string_view node, size_t open, size_t close) {
  return node.size() < open + close ? std::string_view() : node.substr(open, node.size() - open - close);
}

// Only "<![C" is checked by the tokenizer; the rest of "<![CDATA[" may differ.
std::string_view CDataInner(std::string_view node) { return Inner(node, node.starts_with("<![CDATA[") ? 9 : 4, 3); }

}  // namespace

// ---------------------------------------------------------------------------
// Names.

bool XmlEngine::NameMatches(std::string_view tagName, const char* name) const {
  if (!name) return false;
  const bool ignoreCase = (docFlags_ & IgnoreCase) != 0;
  for (size_t i = 0; i < tagName.size(); ++i) {
    const char c = name[i];
    if (EndsNameArgument(c)) return false;
    if (ignoreCase ? Lower(c) != Lower(tagName[i]) : c != tagName[i]) return false;
  }
  return EndsNameArgument(name[tagName.size()]);
}

std::string_view XmlEngine::ElementNameView(int n) const {
  const ElementRecord& r = Record(n);
  const char* name = text_.data() + r.start + 1;
  const size_t limit = r.StartTagLength() - 1;
  size_t length = 0;
  while (length < limit && !EndsName(name[length])) ++length;
  return std::string_view(name, length);
}

std::string XmlEngine::GetElementName(int n) const {
  return IsLive(n) ? std::string(ElementNameView(n)) : std::string();
}

// ---------------------------------------------------------------------------
// The cursor.

void XmlEngine::ClearNode() {
  nodeOffset_ = nodeLength_ = 0;
  nodeType_ = current_ ? ElementNode : 0;
}

void XmlEngine::SetPositions(int parent, int current, int child) {
  parent_ = parent;
  current_ = current;
  child_ = child;
  ClearNode();
}

void XmlEngine::MoveCursorTo(int n, bool asChild) {
  if (asChild) {
    child_ = n;
    current_ = Record(n).parent;
    parent_ = Record(current_).parent;
  } else {
    current_ = n;
    parent_ = Record(n).parent;
    child_ = 0;
  }
  ClearNode();
}

bool XmlEngine::FindElement(const char* nameOrPath) {
  if (!IsPosition(parent_) || !IsPosition(current_)) return false;
  const int found = Search(parent_, current_, nameOrPath, 0);
  if (!found) return false;
  MoveCursorTo(found, false);
  return true;
}

// The search stays inside the current element; a path from the root that
// ends on a top-level element has no child position to give.
bool XmlEngine::FindChildElement(const char* nameOrPath) {
  if (!current_ && !FindElement(nullptr)) return false;
  if (!IsLive(current_) || !IsPosition(child_)) return false;
  const int found = Search(current_, child_, nameOrPath, current_);
  if (!found || Record(found).parent == 0) return false;
  MoveCursorTo(found, true);
  return true;
}

bool XmlEngine::EnterElement() {
  if (!IsLive(current_) || nodeType_ != ElementNode || !IsPosition(child_)) return false;
  parent_ = current_;
  current_ = child_;
  child_ = 0;
  ClearNode();
  return true;
}

bool XmlEngine::LeaveElement() {
  if (!IsLive(parent_) || !IsPosition(current_)) return false;
  child_ = current_;
  current_ = parent_;
  parent_ = Record(current_).parent;
  ClearNode();
  return true;
}

bool XmlEngine::HasChildNamed(int n, const char* name) const {
  for (int c = FirstChild(n); c; c = Record(c).nextSibling) {
    if (NameMatches(ElementNameView(c), name)) return true;
  }
  return false;
}

// The element the path names, searched from the sibling after from (or the
// parent's first child); "//" walks in document order without leaving
// boundary (0: the whole document).
int XmlEngine::Search(int parent, int from, const char* path, int boundary) const {
  const int next = from ? Record(from).nextSibling : FirstChild(parent);
  if (!path || !*path) return next;
  auto matches = [this](int c, const PathStep& step, long& count) {
    if (!step.any && !NameMatches(ElementNameView(c), step.name)) return false;
    AttributeToken attribute;
    switch (step.kind) {
      case PathStep::Position: return ++count == step.position;
      case PathStep::Attribute: return FindAttribute(c, step.argument, attribute, nullptr);
      case PathStep::Child: return HasChildNamed(c, step.argument);
      default: return true;
    }
  };
  PathStep step;
  long count = 0;
  if (path[0] == '/' && path[1] == '/') {
    if (!ParseStep(path + 2, step) || *step.rest) return 0;
    for (int c = from ? NextInDocumentOrder(from, boundary) : next; c; c = NextInDocumentOrder(c, boundary)) {
      if (matches(c, step, count)) return c;
    }
    return 0;
  }
  int c = next;
  if (*path == '/') {
    c = FirstChild(0);
    ++path;
  }
  for (;;) {
    if (!*path) return c;
    step = PathStep();
    count = 0;
    if (!ParseStep(path, step)) return 0;
    while (c && !matches(c, step, count)) c = Record(c).nextSibling;
    if (!c || !*step.rest) return c;
    path = step.rest + 1;
    if (*path == '/') return 0;  // "//" only leads a path
    c = FirstChild(c);
  }
}

int XmlEngine::FindNode(int typeMask) {
  if (!IsPosition(parent_) || !IsPosition(current_)) return 0;
  int32_t from = 0, parentEnd = -1;
  if (parent_) {
    const ElementRecord& p = Record(parent_);
    if (!p.EndTagLength()) return 0;
    from = p.start + int32_t(p.StartTagLength());
    parentEnd = p.start + p.length - int32_t(p.EndTagLength());
  }
  if (NodeIsCurrent()) {
    from = nodeOffset_ + nodeLength_;
  } else if (current_) {
    from = Record(current_).start + Record(current_).length;
  }
  Scanner scanner;
  scanner.text = text_.data();
  scanner.textLength = int32_t(text_.size());
  scanner.next = from;
  scanner.flags = docFlags_;
  ScannedNode node;
  int previous = current_;  // the element before the scan position
  for (;;) {
    int type = Scan(scanner, node);
    if (type == EndOfTextToken) return 0;
    if (type == EndTagToken) {
      if (node.start == parentEnd) return 0;
      type = LoneEndTagNode;
    } else if (type == ErrorToken) {
      type = ErrorNode;
    } else if (type == ElementNode) {
      const int next = previous ? Record(previous).nextSibling : FirstChild(parent_);
      if (next && Record(next).start == node.start) {
        if (typeMask == 0 || (typeMask & ElementNode)) {
          MoveCursorTo(next, false);
          return ElementNode;
        }
        previous = next;
        scanner.next = node.start + Record(next).length;
        continue;
      }
      type = ErrorNode;  // a start tag beyond the index's limits
    }
    if (typeMask == 0 || (typeMask & type)) {
      current_ = previous;
      child_ = 0;
      nodeType_ = type;
      nodeOffset_ = node.start;
      nodeLength_ = node.length;
      return type;
    }
  }
}

std::string XmlEngine::GetNodeName() const {
  if (!NodeIsCurrent()) return GetElementName(current_);
  const std::string_view text = NodeText();
  switch (nodeType_) {
    case TextNode:
    case WhitespaceNode: return "#text";
    case CDataNode: return "#cdata-section";
    case CommentNode: return "#comment";
    case ProcessingInstructionNode:
    case LoneEndTagNode: {
      Scanner scanner;
      scanner.text = text_.data();
      scanner.textLength = nodeOffset_ + nodeLength_;
      scanner.next = nodeOffset_;
      ScannedNode node;
      Scan(scanner, node);
      return text_.substr(size_t(node.nameStart), size_t(node.nameLength));
    }
    case DocumentTypeNode: {
      // The word after the keyword: the root name of a DOCTYPE.
      size_t i = 2;
      while (i < text.size() && !IsWhite(text[i]) && text[i] != '>' && text[i] != '[') ++i;
      while (i < text.size() && IsWhite(text[i])) ++i;
      const size_t start = i;
      while (i < text.size() && !IsWhite(text[i]) && text[i] != '>' && text[i] != '[') ++i;
      return std::string(text.substr(start, i - start));
    }
    default: return "";
  }
}

// ---------------------------------------------------------------------------
// Walks of the index.

int XmlEngine::GetParent(int n) const { return IsPosition(n) ? Record(n).parent : 0; }

int XmlEngine::GetFirstChild(int n) const { return IsPosition(n) ? FirstChild(n) : 0; }

int XmlEngine::GetNextSibling(int n) const { return IsPosition(n) ? Record(n).nextSibling : 0; }

int XmlEngine::GetNextInDocumentOrder(int n) const { return IsPosition(n) ? NextInDocumentOrder(n, 0) : 0; }

int XmlEngine::GetNextAfterSubtree(int n) const { return IsPosition(n) ? NextAfterSubtree(n, 0) : 0; }

XmlEngine::ElementFacts XmlEngine::GetElementFacts(int n) const {
  if (!IsLive(n)) return {};
  const ElementRecord& r = Record(n);
  return {.level = r.Level(),
          .start = r.start,
          .length = r.length,
          .startTagLength = r.StartTagLength(),
          .endTagLength = r.EndTagLength(),
          .firstSibling = r.Has(FirstSibling),
          .unended = r.Has(Unended),
          .containsError = r.Has(ContainsError)};
}

// ---------------------------------------------------------------------------
// Attributes.

// The tag whose attributes element n's operations work on: the current
// processing instruction (or nothing) when another node than an element is
// current and n is the current position.
int XmlEngine::TagOf(int n) const { return NodeIsCurrent() && n == current_ ? kCurrentNodeTag : n; }

// The attributes of a start tag (or of the current processing instruction):
// from the end of its name (as the tokenizer reads it) to its ">" (or "/>"
// of an empty element, or "?>"), so that no edit separates "/" and ">".
bool XmlEngine::TagSpan(int tag, int32_t& from, int32_t& to) const {
  if (tag == kCurrentNodeTag) {
    if (nodeType_ != ProcessingInstructionNode || nodeLength_ < 4) return false;
    to = nodeOffset_ + nodeLength_ - 2;
    for (from = nodeOffset_ + 2; from < to && !EndsName(text_[size_t(from)]) && text_[size_t(from)] != '?';) ++from;
    return true;
  }
  if (!IsLive(tag)) return false;
  const ElementRecord& r = Record(tag);
  from = r.start + 1 + int32_t(ElementNameView(tag).size());
  to = r.start + int32_t(r.StartTagLength()) - (IsEmptyForm(r) ? 2 : 1);
  return true;
}

// A token: quoted up to the same quote, else up to white space or ">" and,
// in name position, also "=", "/" and "?". Returns the offset after it.
int32_t XmlEngine::ReadToken(int32_t pos, int32_t to, bool value, int32_t& start, int32_t& length, bool& quoted) const {
  const char* t = text_.data();
  quoted = pos < to && IsQuote(t[pos]);
  if (quoted) {
    start = pos + 1;
    const void* close = std::memchr(t + start, t[pos], size_t(to - start));
    const int32_t end = close ? int32_t(static_cast<const char*>(close) - t) : to;
    length = end - start;
    return close ? end + 1 : to;
  }
  start = pos;
  while (pos < to && !IsWhite(t[pos]) && t[pos] != '>' && (value || (t[pos] != '=' && t[pos] != '/' && t[pos] != '?')))
    ++pos;
  length = pos - start;
  return pos;
}

bool XmlEngine::NextAttribute(int32_t& pos, int32_t to, AttributeToken& token) const {
  const char* t = text_.data();
  for (;;) {
    while (pos < to && IsWhite(t[pos])) ++pos;
    if (pos >= to || t[pos] == '/' || t[pos] == '>' || t[pos] == '?') return false;
    if (t[pos] == '=') {  // an "=" without a name before it
      ++pos;
      continue;
    }
    bool quoted;
    token.begin = pos;
    pos = ReadToken(pos, to, false, token.nameStart, token.nameLength, quoted);
    int32_t q = pos;
    while (q < to && IsWhite(t[q])) ++q;
    token.hasValue = q < to && t[q] == '=';
    token.quoted = false;
    if (token.hasValue) {
      ++q;
      while (q < to && IsWhite(t[q])) ++q;
      pos = ReadToken(q, to, true, token.valueStart, token.valueLength, token.quoted);
    }
    token.end = pos;
    return true;
  }
}

bool XmlEngine::FindAttribute(int tag, const char* name, AttributeToken& token, int32_t* lastTokenEnd) const {
  int32_t from, to;
  if (!name || !TagSpan(tag, from, to)) return false;
  int32_t pos = from;
  if (lastTokenEnd) *lastTokenEnd = pos;
  while (NextAttribute(pos, to, token)) {
    if (NameMatches(std::string_view(text_).substr(size_t(token.nameStart), size_t(token.nameLength)), name))
      return true;
    if (lastTokenEnd) *lastTokenEnd = token.end;
  }
  return false;
}

// A value written without "=" and a value is the attribute's name.
std::string XmlEngine::AttributeValue(const AttributeToken& token) const {
  if (!token.hasValue) return text_.substr(size_t(token.nameStart), size_t(token.nameLength));
  return FromMarkupText(std::string_view(text_).substr(size_t(token.valueStart), size_t(token.valueLength)));
}

std::string XmlEngine::GetAttribute(int n, const char* name) const {
  AttributeToken token;
  if (!FindAttribute(TagOf(n), name, token, nullptr)) return "";
  return AttributeValue(token);
}

std::vector<XmlDoc::Attribute> XmlEngine::GetAttributes(int n) const {
  std::vector<XmlDoc::Attribute> attributes;
  int32_t from, to;
  if (!TagSpan(TagOf(n), from, to)) return attributes;
  AttributeToken token;
  while (NextAttribute(from, to, token))
    attributes.push_back({text_.substr(size_t(token.nameStart), size_t(token.nameLength)), AttributeValue(token)});
  return attributes;
}

std::string XmlEngine::GetAttributeName(int index) const {
  int32_t from, to;
  if (index < 0 || !TagSpan(TagOf(current_), from, to)) return "";
  int32_t pos = from;
  AttributeToken token;
  for (int i = 0; NextAttribute(pos, to, token); ++i) {
    if (i == index) return text_.substr(size_t(token.nameStart), size_t(token.nameLength));
  }
  return "";
}

// ---------------------------------------------------------------------------
// Content.

std::string XmlEngine::GetContent() const {
  if (!NodeIsCurrent()) return GetContent(current_);
  const std::string_view text = NodeText();
  switch (nodeType_) {
    case TextNode:
    case WhitespaceNode: return FromMarkupText(text);
    case CDataNode: return std::string(CDataInner(text));
    case CommentNode: return std::string(Inner(text, 4, 3));
    case ProcessingInstructionNode: return std::string(Inner(text, 2, 2));
    case LoneEndTagNode: return std::string(Inner(text, 2, 1));
    default: return std::string(text);
  }
}

// Text nodes decoded and CDATA sections raw; comments, processing
// instructions and stray end tags left out. A stray "<" that makes an error
// node is kept as the text it evidently is.
std::string XmlEngine::GetContent(int n) const {
  if (!IsLive(n)) return "";
  const ElementRecord& r = Record(n);
  if (r.firstChild || !r.EndTagLength()) return "";
  const int32_t from = r.start + int32_t(r.StartTagLength());
  const int32_t to = r.start + r.length - int32_t(r.EndTagLength());
  const std::string_view content = std::string_view(text_).substr(size_t(from), size_t(to - from));
  if (content.find('<') == std::string_view::npos) return FromMarkupText(content);
  Scanner scanner;
  scanner.text = text_.data();
  scanner.textLength = to;
  scanner.next = from;
  ScannedNode node;
  std::string result;
  for (int type; (type = Scan(scanner, node)) != EndOfTextToken;) {
    const std::string_view part = std::string_view(text_).substr(size_t(node.start), size_t(node.length));
    if (type == TextNode || type == WhitespaceNode || type == ErrorToken) result += FromMarkupText(part);
    if (type == CDataNode) result += CDataInner(part);
  }
  return result;
}

int32_t XmlEngine::SkipLineBreak(int32_t offset) const {
  size_t q = size_t(offset);
  while (q < text_.size() && IsWhite(text_[q])) ++q;
  return q == text_.size() || text_[q] == '<' ? int32_t(q) : offset;
}

std::string XmlEngine::GetSubDocument(int n) const {
  if (!IsLive(n)) return "";
  const ElementRecord& r = Record(n);
  return text_.substr(size_t(r.start), size_t(SkipLineBreak(r.start + r.length) - r.start));
}

}  // namespace vrel
