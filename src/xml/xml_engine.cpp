// XmlEngine: record storage, loading and parsing.
#include "xml/xml_engine.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "xml/xml_encoding.h"

namespace vrel {
namespace {

constexpr uint32_t kTagLengthMask = XmlEngine::kMaxStartTagLength;

// The note of a file read comes first, then the problem, if any.
void AppendToNote(std::string& result, const std::string& note) {
  if (note.empty()) return;
  result = result.empty() ? note : note + ", " + result;
}

}  // namespace

// ---------------------------------------------------------------------------
// Record storage: segments of 65,536 records; only the last one may be
// partial, so no allocation exceeds 2 MiB and growth never copies more.

void XmlEngine::FreeSegment::operator()(ElementRecord* segment) const noexcept { std::free(segment); }

void XmlEngine::ResizeSegment(int segment, int newCount) {
  auto& slot = segments_[size_t(segment)];
  void* resized = std::realloc(slot.get(), size_t(newCount) * sizeof(ElementRecord));
  if (!resized) throw std::bad_alloc();
  slot.release();
  slot.reset(static_cast<ElementRecord*>(resized));
}

void XmlEngine::Grow(int64_t wanted) {
  if (wanted == 0) wanted = int64_t(highWater_) + highWater_ / 2;
  if (capacity_ >= wanted) return;
  const int64_t lastUsedSegment = (highWater_ - 1) / kRecordsPerSegment;
  wanted = std::min({wanted, (lastUsedSegment + 2) * kRecordsPerSegment, int64_t(INT32_MAX)});
  if (capacity_ >= wanted) return;
  const int oldLast = capacity_ ? (capacity_ - 1) / kRecordsPerSegment : -1;
  const int newLast = int((wanted - 1) / kRecordsPerSegment);
  if (size_t(newLast) >= segments_.size()) {
    if (size_t(newLast) >= segments_.capacity()) segments_.reserve(2 * size_t(newLast) + 4);
    segments_.resize(size_t(newLast) + 1);
  }
  const int oldLastCount = capacity_ - std::max(oldLast, 0) * kRecordsPerSegment;
  if (newLast > oldLast && oldLast >= 0 && oldLastCount < kRecordsPerSegment)
    ResizeSegment(oldLast, kRecordsPerSegment);
  for (int s = oldLast + 1; s < newLast; ++s) ResizeSegment(s, kRecordsPerSegment);
  ResizeSegment(newLast, int(wanted - int64_t(newLast) * kRecordsPerSegment));
  capacity_ = int(wanted);
}

// After a parse the first estimate has done its work: the index keeps only
// the records in use (at least 8), and later additions grow it again.
void XmlEngine::TrimIndex() {
  const int wanted = std::max(highWater_, 8);
  if (capacity_ <= wanted) return;
  const int last = (wanted - 1) / kRecordsPerSegment;
  segments_.resize(size_t(last) + 1);
  ResizeSegment(last, wanted - last * kRecordsPerSegment);
  capacity_ = wanted;
}

// 0 only when the index cannot grow any more.
int XmlEngine::TakeRecord() {
  if (freeHead_) {
    const int n = freeHead_;
    freeHead_ = Record(n).nextSibling;
    return n;
  }
  if (highWater_ == capacity_) Grow(0);
  return highWater_ < capacity_ ? highWater_++ : 0;
}

void XmlEngine::FreeRecord(int n) {
  ElementRecord& r = Record(n);
  r.flagsAndLevel = Removed;
  r.firstChild = 0;
  r.nextSibling = freeHead_;
  freeHead_ = n;
}

// Frees n and everything below it, children before their parent.
void XmlEngine::FreeSubtree(int root) {
  int n = root;
  for (;;) {
    while (Record(n).firstChild) n = Record(n).firstChild;
    for (;;) {
      const int parent = Record(n).parent, next = Record(n).nextSibling;
      FreeRecord(n);
      if (n == root) return;
      if (next) {
        n = next;
        break;
      }
      n = parent;
    }
  }
}

std::string XmlEngine::Join(std::initializer_list<std::string_view> parts) {
  size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  std::string joined;
  joined.reserve(size);
  for (std::string_view part : parts) joined += part;
  return joined;
}

size_t XmlEngine::GetIndexBytes() const {
  return size_t(capacity_) * sizeof(ElementRecord) + segments_.capacity() * sizeof(decltype(segments_)::value_type);
}

// Links n below parent after previous (0: as the first child).
void XmlEngine::Link(int parent, int previous, int n) {
  ElementRecord& r = Record(n);
  r.parent = parent;
  if (previous) {
    ElementRecord& p = Record(previous);
    r.flagsAndLevel &= ~uint32_t(FirstSibling);
    r.previousSibling = previous;
    r.nextSibling = p.nextSibling;
    if (r.nextSibling)
      Record(r.nextSibling).previousSibling = n;
    else
      Record(FirstChild(parent)).previousSibling = n;
    p.nextSibling = n;
    return;
  }
  const int first = FirstChild(parent);
  r.flagsAndLevel |= FirstSibling;
  r.nextSibling = first;
  if (first) {
    r.previousSibling = Record(first).previousSibling;
    Record(first).previousSibling = n;
    Record(first).flagsAndLevel &= ~uint32_t(FirstSibling);
  } else {
    r.previousSibling = n;
  }
  Record(parent).firstChild = n;
}

void XmlEngine::Unlink(int n) {
  const ElementRecord& r = Record(n);
  const int first = FirstChild(r.parent);
  if (first == n) {
    Record(r.parent).firstChild = r.nextSibling;
    if (r.nextSibling) {
      Record(r.nextSibling).previousSibling = r.previousSibling;
      Record(r.nextSibling).flagsAndLevel |= FirstSibling;
    }
    return;
  }
  Record(r.previousSibling).nextSibling = r.nextSibling;
  if (r.nextSibling)
    Record(r.nextSibling).previousSibling = r.previousSibling;
  else
    Record(first).previousSibling = r.previousSibling;
}

// ---------------------------------------------------------------------------
// Loading and saving.

bool XmlEngine::SetDocumentText(std::string_view text) {
  resultText_.clear();
  if (text.size() > kMaxTextLength) {
    text_.clear();
    return RefuseText(text.size(), "");
  }
  // The index is sized before the text is copied: its block can then often
  // grow in place instead of leaving a freed one behind.
  ResetIndex(text.size());
  text_.assign(text);
  return ParseDocument();
}

bool XmlEngine::LoadFile(const std::string& path) {
  std::string text, result;
  uint32_t flags = docFlags_;
  if (!ReadDocumentFile(path, text, result, flags)) {
    resultText_ = std::move(result);
    return false;
  }
  text_ = std::move(text);
  resultText_ = std::move(result);
  docFlags_ = flags;
  return ParseDocument();
}

bool XmlEngine::SaveFile(const std::string& path) { return WriteDocumentFile(path, text_, resultText_, docFlags_); }

void XmlEngine::CopyFrom(const XmlEngine& other) {
  if (this == &other) return;
  text_ = other.text_;
  resultText_ = other.resultText_;
  parent_ = other.parent_;
  current_ = other.current_;
  child_ = other.child_;
  nodeType_ = other.nodeType_;
  nodeOffset_ = other.nodeOffset_;
  nodeLength_ = other.nodeLength_;
  docFlags_ = other.docFlags_;
  openTail_ = other.openTail_;
  freeHead_ = other.freeHead_;
  highWater_ = other.highWater_;
  segments_.clear();
  capacity_ = 0;
  if (!other.HasIndex()) return;
  Grow(std::max(other.highWater_, 8));
  for (int first = 0; first < highWater_; first += kRecordsPerSegment) {
    const int count = std::min(highWater_ - first, kRecordsPerSegment);
    std::memcpy(segments_[size_t(first / kRecordsPerSegment)].get(),
                other.segments_[size_t(first / kRecordsPerSegment)].get(), size_t(count) * sizeof(ElementRecord));
  }
}

// ---------------------------------------------------------------------------
// Parsing.

void XmlEngine::ResetIndex(size_t textLength) {
  parent_ = current_ = child_ = 0;
  nodeType_ = 0;
  nodeOffset_ = nodeLength_ = 0;
  highWater_ = 1;
  openTail_ = -1;
  Grow(int64_t(textLength / 64) + 8);
  freeHead_ = 0;
  Record(0) = ElementRecord{};
}

// Offsets are 32-bit: a text of 2 GiB or more is not taken at all.
bool XmlEngine::RefuseText(size_t length, const std::string& note) {
  std::string().swap(text_);
  ResetIndex(0);
  resultText_ = Join({"Document of ", std::to_string(length), " bytes too large"});
  AppendToNote(resultText_, note);
  return false;
}

bool XmlEngine::ParseDocument() {
  const std::string note = std::move(resultText_);
  resultText_.clear();
  if (text_.size() > kMaxTextLength) return RefuseText(text_.size(), note);
  ResetIndex(text_.size());
  if (text_.empty()) {
    resultText_ = "Empty document";
  } else {
    Scanner scanner;
    scanner.text = text_.data();
    scanner.textLength = int32_t(text_.size());
    scanner.flags = docFlags_;
    ParseOutcome outcome;
    const int first = BuildIndexBelow(0, scanner, resultText_, outcome);
    openTail_ = outcome.openTail;
    Record(0).length = int32_t(text_.size());
    if (!first) {
      resultText_ = "No root element";
    } else {
      Record(0).firstChild = first;
      if (Record(first).nextSibling) resultText_ = "Root element has sibling";
    }
  }
  TrimIndex();
  AppendToNote(resultText_, note);
  return IsWellFormed();
}

bool XmlEngine::IsWellFormed() const {
  if (!HasIndex() || Record(0).Has(IllFormed)) return false;
  const int root = Record(0).firstChild;
  return root != 0 && Record(root).nextSibling == 0;
}

// Closes open[from..] as unended, innermost first in effect: each loses its
// children, which follow it as siblings, so all of them end up in order
// below open[from - 1]. Done in one pass so that deep unended nesting costs
// linear time. Returns whether any element had children.
bool XmlEngine::CloseUnended(std::vector<OpenElement>& open, size_t from, int below) {
  Record(below).flagsAndLevel |= IllFormed;
  OpenElement& parent = open[from - 1];
  bool containsError = false, moved = false;
  for (size_t i = from; i < open.size(); ++i) {
    const int n = open[i].record;
    ElementRecord& r = Record(n);
    containsError |= r.Has(ContainsError);
    r.flagsAndLevel = (r.flagsAndLevel & ~uint32_t(ContainsError)) | Unended;
    r.length = int32_t(r.StartTagLength());
    r.tagLengths &= kTagLengthMask;
    parent.lastChild = n;
    const int child = r.firstChild;
    if (!child) continue;
    moved = true;
    parent.lastChild = Record(child).previousSibling;
    r.firstChild = 0;
    r.nextSibling = child;
    Record(child).previousSibling = n;
    Record(child).flagsAndLevel &= ~uint32_t(FirstSibling);
    for (int c = child; c; c = Record(c).nextSibling) Record(c).parent = parent.record;
  }
  Record(parent.firstChild).previousSibling = parent.lastChild;
  if (containsError) Record(parent.record).flagsAndLevel |= ContainsError;
  open.resize(from);
  return moved;
}

// Elements moved up by CloseUnended get the levels of their new places.
void XmlEngine::Relevel(int below) {
  int n = FirstChild(below);
  uint32_t level = Record(below).Level();
  while (n) {
    ElementRecord& r = Record(n);
    r.flagsAndLevel = (r.flagsAndLevel & ~LevelMask) | level;
    if (r.firstChild) {
      n = r.firstChild;
      ++level;
      continue;
    }
    while (n != below && !Record(n).nextSibling) {
      n = Record(n).parent;
      --level;
    }
    n = n == below ? 0 : Record(n).nextSibling;
  }
}

}  // namespace vrel
