// XmlEngine edits: every edit rewrites the one text in place and moves the
// spans of the records behind it, so the index stays current without a
// reparse.
#include <cstring>

#include "xml/xml_encoding.h"
#include "xml/xml_engine.h"

namespace vrel {

bool XmlEngine::IsValidName(const char* name, bool attribute) {
  if (!name || !*name || (!attribute && !StartsName(*name))) return false;
  for (const char* c = name; *c; ++c) {
    if (EndsName(*c) || std::strchr("<=?&\"'[]", *c)) return false;
  }
  return true;
}

bool XmlEngine::ReplaceText(int32_t at, int32_t length, std::string_view replacement) {
  const size_t size = text_.size() - size_t(length) + replacement.size();
  if (size > kMaxTextLength) return false;
  if (size > text_.capacity()) text_.reserve(size + size / 2 + 128);
  text_.replace(size_t(at), size_t(length), replacement);
  docFlags_ |= Modified;
  // The current node moves with the text before it; an edit that reaches
  // into it leaves nothing to stand on (a rewrite of the node itself sets
  // the node again).
  if (openTail_ >= 0 && at + length <= openTail_) openTail_ += int32_t(replacement.size()) - length;
  if (NodeIsCurrent()) {
    if (at + length <= nodeOffset_)
      nodeOffset_ += int32_t(replacement.size()) - length;
    else if (at < nodeOffset_ + nodeLength_)
      ClearNode();
  }
  return true;
}

void XmlEngine::ShiftSubtree(int n, int32_t delta) {
  for (int c = n; c; c = NextInDocumentOrder(c, n)) Record(c).start += delta;
}

// After a change of delta characters inside parent, before its child
// firstMoved (0: after its last child): everything behind the change moves,
// and parent and its ancestors grow.
void XmlEngine::ShiftPositions(int parent, int firstMoved, int32_t delta) {
  for (int s = firstMoved; s; s = Record(s).nextSibling) ShiftSubtree(s, delta);
  for (int a = parent;; a = Record(a).parent) {
    Record(a).length += delta;
    if (a == 0) return;
    for (int s = Record(a).nextSibling; s; s = Record(s).nextSibling) ShiftSubtree(s, delta);
  }
}

// ---------------------------------------------------------------------------
// Attributes.

// Whether text reads as exactly one node of the given type (read at an
// offset past the start, as it will stand in the document); node receives
// it, its offsets one past those in text.
bool XmlEngine::ReadsAsOneNode(std::string_view text, int type, ScannedNode& node) {
  const std::string probe = Join({" ", text});
  Scanner scanner;
  scanner.text = probe.data();
  scanner.textLength = int32_t(probe.size());
  scanner.next = 1;
  return Scan(scanner, node) == type && size_t(node.length) == text.size();
}

// Replaces a span inside a tag (see TagOf). The tag must read back as the
// same tag: attribute tokens and the tokenizer see quotes inside a token,
// as in a="x"y, differently, and an edit must not let the tag end elsewhere,
// change its name or whether "/>" makes it empty.
bool XmlEngine::ChangeTag(int tag, int32_t at, int32_t length, const std::string& replacement) {
  const int32_t delta = int32_t(replacement.size()) - length;
  const bool onNode = tag == kCurrentNodeTag;
  const int32_t tagStart = onNode ? nodeOffset_ : Record(tag).start;
  const int32_t tagLength = onNode ? nodeLength_ : int32_t(Record(tag).StartTagLength());
  if (!onNode && int64_t(tagLength) + delta > int64_t(kMaxStartTagLength)) return false;
  const std::string_view old = std::string_view(text_).substr(size_t(tagStart), size_t(tagLength));
  const size_t cut = size_t(at - tagStart);
  const int type = onNode ? ProcessingInstructionNode : ElementNode;
  ScannedNode before, after;
  // Edits start behind the name: a name that reads back as long is the same.
  if (!ReadsAsOneNode(old, type, before) ||
      !ReadsAsOneNode(Join({old.substr(0, cut), replacement, old.substr(cut + size_t(length))}), type, after) ||
      after.flags != before.flags || after.nameLength != before.nameLength)
    return false;
  const int32_t nodeOffset = nodeOffset_, nodeLength = nodeLength_;
  if (!ReplaceText(at, length, replacement)) return false;
  if (onNode) {
    nodeType_ = ProcessingInstructionNode;
    nodeOffset_ = nodeOffset;
    nodeLength_ = nodeLength + delta;
    ShiftPositions(parent_, current_ ? Record(current_).nextSibling : FirstChild(parent_), delta);
    return true;
  }
  ElementRecord& r = Record(tag);
  r.tagLengths = (r.tagLengths & ~kMaxStartTagLength) | (r.StartTagLength() + uint32_t(delta));
  ShiftPositions(tag, FirstChild(tag), delta);
  return true;
}

bool XmlEngine::SetAttribute(int n, const char* name, std::string_view value) {
  const int tag = TagOf(n);
  int32_t from, to, lastTokenEnd = 0;
  if (!IsValidName(name, true) || !TagSpan(tag, from, to)) return false;
  const std::string quoted = Join({"\"", ToMarkupText(value, EscapeQuotes), "\""});
  AttributeToken token;
  if (!FindAttribute(tag, name, token, &lastTokenEnd))
    return ChangeTag(tag, lastTokenEnd, 0, Join({" ", name, "=", quoted}));
  if (!token.hasValue) return ChangeTag(tag, token.end, 0, Join({"=", quoted}));
  const int32_t at = token.quoted ? token.valueStart - 1 : token.valueStart;
  return ChangeTag(tag, at, token.end - at, quoted);
}

bool XmlEngine::RemoveAttribute(int n, const char* name) {
  const int tag = TagOf(n);
  int32_t from, to;
  AttributeToken token;
  if (!TagSpan(tag, from, to) || !FindAttribute(tag, name, token, nullptr)) return false;
  int32_t begin = token.begin;
  while (begin > from && IsWhite(text_[size_t(begin - 1)])) --begin;
  // A blank stays where the tokens around the attribute would otherwise
  // join: a token behind it would join the one in front (and might rename
  // the element), and the "/" of "/>" must follow the name, a blank or a quote.
  bool keepBlank;
  if (token.end < to) {
    const char next = text_[size_t(token.end)];
    keepBlank = begin < token.begin && !IsWhite(next) && next != '/' && next != '>' && next != '?';
  } else {
    const char before = text_[size_t(begin - 1)];
    keepBlank = tag != kCurrentNodeTag && IsEmptyForm(Record(tag)) && begin > from && before != '"' && before != '\'';
  }
  return ChangeTag(tag, begin, token.end - begin, keepBlank ? " " : "");
}

// ---------------------------------------------------------------------------
// Content.

bool XmlEngine::SetContent(std::string_view text, unsigned flags) {
  return NodeIsCurrent() ? SetNodeContent(text, flags) : SetContent(current_, text, flags);
}

bool XmlEngine::SetContent(int n, std::string_view text, unsigned flags) {
  if (!IsLive(n) || FirstChild(n)) return false;
  const std::string content = (flags & AsCData) ? WrapCData(text) : ToMarkupText(text, flags & KeepReferences);
  const ElementRecord r = Record(n);
  const uint32_t startTag = r.StartTagLength(), endTag = r.EndTagLength();
  const std::string name(ElementNameView(n));
  int32_t at = r.start + int32_t(startTag), length = 0;
  std::string replacement;
  uint32_t newStartTag = startTag;
  if (endTag) {
    length = r.length - int32_t(startTag + endTag);
    replacement = content;
  } else if (name.size() + 3 > kMaxEndTagLength) {
    return false;
  } else if (r.Has(Unended)) {
    replacement = Join({content, "</", name, ">"});
  } else {  // written "/>": the "/" becomes ">" and the end tag reuses the ">"
    at -= 2;
    length = 1;
    replacement = Join({">", content, "</", name});
    newStartTag = startTag - 1;
  }
  if (!ReplaceText(at, length, replacement)) return false;
  ElementRecord& w = Record(n);
  if (!endTag) {
    w.tagLengths = newStartTag | uint32_t(name.size() + 3) << 22;
    w.flagsAndLevel &= ~uint32_t(Unended);
  }
  w.flagsAndLevel &= ~uint32_t(ContainsError);
  ShiftPositions(n, 0, int32_t(replacement.size()) - length);
  return true;
}

// Rewrites the current node in its own kind. Markup is taken only when it
// reads back as exactly one node of that kind, so the text around it keeps
// its meaning (no "]]>" in a CDATA section, no "-->" in a comment, ...).
bool XmlEngine::SetNodeContent(std::string_view text, unsigned flags) {
  if (!IsPosition(parent_) || !IsPosition(current_)) return false;
  std::string replacement;
  int type = nodeType_;
  switch (nodeType_) {
    case TextNode:
    case WhitespaceNode:
      replacement = ToMarkupText(text, flags & KeepReferences);
      type = replacement.find_first_not_of(" \t\n\r") == std::string::npos ? WhitespaceNode : TextNode;
      break;
    case CDataNode: replacement = Join({"<![CDATA[", text, "]]>"}); break;
    case ProcessingInstructionNode: replacement = Join({"<?", text, "?>"}); break;
    case CommentNode: replacement = Join({"<!--", text, "-->"}); break;
    case DocumentTypeNode: replacement = text; break;
    default: return false;
  }
  ScannedNode node;
  if (type == nodeType_ && type != TextNode && type != WhitespaceNode && !ReadsAsOneNode(replacement, type, node))
    return false;
  const int32_t at = nodeOffset_, length = nodeLength_;
  if (!ReplaceText(at, length, replacement)) return false;
  nodeOffset_ = at;
  nodeLength_ = int32_t(replacement.size());
  nodeType_ = type;
  ShiftPositions(parent_, current_ ? Record(current_).nextSibling : FirstChild(parent_), nodeLength_ - length);
  return true;
}

// ---------------------------------------------------------------------------
// Adding elements.

// Where new text goes: after the reference (the current element, the
// current node, or with AsChild the child), else at the end of the parent's
// content; a parent without an end tag is given one.
bool XmlEngine::Place(unsigned flags, Placement& p) const {
  p = Placement();
  const bool before = (flags & InsertBefore) != 0;
  int reference = 0;
  bool nodeReference = false;
  if (flags & AsChild) {
    if (!IsLive(current_) || NodeIsCurrent()) return false;
    p.parent = current_;
    reference = child_;
  } else {
    if (!IsPosition(parent_)) return false;
    p.parent = parent_;
    nodeReference = NodeIsCurrent();
    if (nodeReference && current_ && (!IsLive(current_) || Record(current_).parent != parent_)) return false;
    if (!nodeReference) reference = current_;
  }
  if (reference && (!IsLive(reference) || Record(reference).parent != p.parent)) return false;
  const ElementRecord& parent = Record(p.parent);
  const uint32_t startTag = parent.StartTagLength(), endTag = parent.EndTagLength();
  p.level = p.parent ? parent.Level() + 1 : 0;
  if (p.level > kMaxLevel) return false;
  if (nodeReference) {
    p.at = before ? nodeOffset_ : nodeOffset_ + nodeLength_;
    p.previous = current_;
    p.firstMoved = current_ ? Record(current_).nextSibling : FirstChild(p.parent);
  } else if (reference) {
    const ElementRecord& r = Record(reference);
    p.at = before ? r.start : r.start + r.length;
    p.previous = !before ? reference : FirstChild(p.parent) == reference ? 0 : r.previousSibling;
    p.firstMoved = before ? reference : r.nextSibling;
  } else if (flags & (ReplaceContent | InsertBefore)) {
    p.at = p.parent ? parent.start + int32_t(startTag) : 0;
    p.firstMoved = FirstChild(p.parent);
  } else {
    p.at = p.parent ? parent.start + parent.length - int32_t(endTag) : int32_t(text_.size());
    p.previous = LastChild(p.parent);
  }
  p.lineBreaks = !(flags & NoLineBreaks);
  if (p.lineBreaks && !(flags & ReplaceContent)) p.at = SkipLineBreak(p.at);
  if (!reference && !nodeReference && p.parent && !PrepareParent(p)) return false;
  // Text at or after an unterminated node at the end would be read as part of it.
  return openTail_ < 0 || p.at < openTail_;
}

// New text at the end of a parent's content: an empty content gets a line
// break in front, a parent without an end tag gets one.
bool XmlEngine::PrepareParent(Placement& p) const {
  const ElementRecord& parent = Record(p.parent);
  const uint32_t startTag = parent.StartTagLength(), endTag = parent.EndTagLength();
  const std::string lineBreak = p.lineBreaks ? "\r\n" : "";
  if (endTag) {
    if (parent.length == int32_t(startTag + endTag)) p.before = lineBreak;
    return true;
  }
  const std::string_view name = ElementNameView(p.parent);
  if (name.size() + 3 > kMaxEndTagLength) return false;
  p.opensParent = true;
  p.endTagLength = uint32_t(name.size() + 3);
  p.at = parent.start + int32_t(startTag);
  if (parent.Has(Unended)) {
    p.before = lineBreak;
    p.after = Join({"</", name, ">"});
  } else {  // written "/>": the "/" becomes ">" and the end tag reuses the ">"
    p.at -= 2;
    p.replaced = 1;
    p.before = Join({">", lineBreak});
    p.after = Join({"</", name});
  }
  return true;
}

// Whether offset lies behind a "<" not yet closed by ">": text put there
// that does not start a node of its own would continue that one ("<" and
// "a/>" make a tag).
bool XmlEngine::FollowsOpenMarkup(int32_t offset) const {
  const size_t open = offset > 0 ? text_.rfind('<', size_t(offset - 1)) : std::string::npos;
  return open != std::string::npos && text_.find('>', open) >= size_t(offset);
}

// Whether an end tag of the name (compared as the parse compares them) lies
// in [from, to).
bool XmlEngine::EndTagFollows(int32_t from, int32_t to, std::string_view name) const {
  const std::string_view text = std::string_view(text_).substr(0, size_t(to));
  for (size_t q = text.find("</", size_t(from)); q != std::string_view::npos; q = text.find("</", q + 2)) {
    const std::string_view tag = text.substr(q + 2);
    size_t length = 0;
    while (length < tag.size() && !EndsName(tag[length])) ++length;
    if (NameMatches(tag.substr(0, length), std::string(name).c_str())) return true;
  }
  return false;
}

// Puts body in at the placement; bodyAt receives its offset.
bool XmlEngine::InsertText(const Placement& p, std::string_view body, int32_t& bodyAt) {
  const std::string text = Join({p.before, body, p.lineBreaks ? "\r\n" : "", p.after});
  if (!ReplaceText(p.at, p.replaced, text)) return false;
  if (p.opensParent) {
    ElementRecord& r = Record(p.parent);
    r.tagLengths = (r.StartTagLength() - uint32_t(p.replaced)) | p.endTagLength << 22;
    r.flagsAndLevel &= ~uint32_t(Unended);
  }
  bodyAt = p.at + int32_t(p.before.size());
  ShiftPositions(p.parent, p.firstMoved, int32_t(text.size()) - p.replaced);
  return true;
}

bool XmlEngine::AddElement(const char* name, std::string_view value, unsigned flags) {
  Placement p;
  if (!IsValidName(name, false) || !Place(flags, p)) return false;
  const size_t nameLength = std::strlen(name);
  std::string body = Join({"<", name});
  uint32_t startTag = uint32_t(nameLength + 2), endTag = 0;
  if (!value.empty()) {
    const std::string content = (flags & AsCData) ? WrapCData(value) : ToMarkupText(value, flags & KeepReferences);
    body = Join({body, ">", content, "</", name, ">"});
    endTag = uint32_t(nameLength + 3);
  } else if (flags & NoEndTag) {
    body += ">";
  } else {
    body += (flags & SpaceBeforeSlash) ? " />" : "/>";
    startTag = uint32_t(body.size());
  }
  if (nameLength + 3 > kMaxStartTagLength || endTag > kMaxEndTagLength) return false;
  // A bare start tag would take an end tag of its name that follows it in
  // the parent (a stray one, or the parent's own, also one given it now).
  const int32_t parentEnd = p.parent ? Record(p.parent).start + Record(p.parent).length : int32_t(text_.size());
  if (value.empty() && (flags & NoEndTag) &&
      (EndTagFollows(p.at, parentEnd, name) || (p.opensParent && NameMatches(ElementNameView(p.parent), name))))
    return false;
  const int n = TakeRecord();
  if (!n) return false;
  int32_t at = 0;
  if (!InsertText(p, body, at)) {
    FreeRecord(n);
    return false;
  }
  ElementRecord& r = Record(n);
  r.start = at;
  r.length = int32_t(body.size());
  r.tagLengths = startTag | endTag << 22;
  r.flagsAndLevel = p.level | (value.empty() && (flags & NoEndTag) ? uint32_t(Unended) : 0u);
  r.firstChild = 0;
  Link(p.parent, p.previous, n);
  MoveCursorTo(n, (flags & AsChild) != 0);
  return true;
}

// A fragment is parsed below a temporary record and its elements are moved
// into place. A fragment with a stray end tag, an unended element or an
// unterminated node is refused: its text would close, take in or swallow the
// elements around it the next time the document is read.
bool XmlEngine::AddSubDocument(std::string_view fragment, unsigned flags) {
  Placement p;
  if (fragment.empty() || fragment.size() > kMaxTextLength || !Place(flags, p)) return false;
  const int temp = TakeRecord();
  if (!temp) return false;
  Record(temp) = ElementRecord{};
  Record(temp).flagsAndLevel = p.level;
  Scanner scanner;
  scanner.text = fragment.data();
  scanner.textLength = int32_t(fragment.size());
  scanner.flags = docFlags_;
  std::string message;
  ParseOutcome outcome;
  const int first = BuildIndexBelow(temp, scanner, message, outcome);
  const int last = LastChild(temp);
  const bool wellFormed = first && !Record(temp).Has(IllFormed);
  bool placed = !outcome.strayEndTag && !outcome.unended && outcome.openTail < 0;
  if (placed && !wellFormed)
    placed = Place(flags | NoLineBreaks, p) && (fragment[0] == '<' || !FollowsOpenMarkup(p.at));
  int32_t bodyStart = 0, at = 0;
  std::string_view body = fragment;
  if (wellFormed) {
    bodyStart = Record(first).start;
    body = fragment.substr(size_t(bodyStart), size_t(Record(last).start + Record(last).length - bodyStart));
  }
  if (!placed || !InsertText(p, body, at)) {
    for (int c = first, next; c; c = next) {
      next = Record(c).nextSibling;
      FreeSubtree(c);
    }
    FreeRecord(temp);
    return false;
  }
  int previous = p.previous;
  for (int c = first, next; c; previous = c, c = next) {
    next = Record(c).nextSibling;
    ShiftSubtree(c, at - bodyStart);
    Link(p.parent, previous, c);
  }
  if (Record(temp).Has(ContainsError)) Record(p.parent).flagsAndLevel |= ContainsError;
  FreeRecord(temp);
  if (first) MoveCursorTo(first, (flags & AsChild) != 0);
  return wellFormed && first == last;
}

// ---------------------------------------------------------------------------
// Removing elements.

// Removes n with the white space after it up to the next "<"; previous
// receives the sibling before it (0 for the first). Refused where the text
// behind would continue an unfinished "<" in front ("<" and "a" make a tag).
bool XmlEngine::Remove(int n, int& previous) {
  const ElementRecord r = Record(n);
  const int32_t end = SkipLineBreak(r.start + r.length);
  if (size_t(end) < text_.size() && text_[size_t(end)] != '<' && FollowsOpenMarkup(r.start)) return false;
  previous = FirstChild(r.parent) == n ? 0 : r.previousSibling;
  ReplaceText(r.start, end - r.start, {});
  ShiftPositions(r.parent, r.nextSibling, r.start - end);
  Unlink(n);
  FreeSubtree(n);
  return true;
}

bool XmlEngine::RemoveElement() {
  if (!IsLive(current_) || Record(current_).parent != parent_ || !Remove(current_, current_)) return false;
  child_ = 0;
  ClearNode();
  return true;
}

bool XmlEngine::RemoveChildElement() {
  return IsLive(child_) && IsLive(current_) && Record(child_).parent == current_ && Remove(child_, child_);
}

}  // namespace vrel
