// The tokenizer and the index builder's loop over it. The tokenizer looks
// only for the few characters that can end the node it is in (memchr over
// text, attribute values, CDATA and comments), so most of the text is never
// stepped through byte by byte; the builder shares this file so that the
// tokenizer inlines into its loop.
#include <array>
#include <cstring>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "xml/xml_engine.h"

namespace vrel {
namespace {

constexpr bool IsQuote(char c) { return c == '"' || c == '\''; }
bool IsDeclarationLetter(char c) { return c == 'E' || c == 'A' || c == 'N'; }

}  // namespace

// The index builder's loop is hot enough that the common paths are forced
// inline and the rare ones kept out of its way.
#define VREL_HOT inline __attribute__((always_inline))
#define VREL_COLD __attribute__((noinline))

class XmlEngine::Tokenizer {
 public:
  // Without describe, error nodes get no message (the index builder keeps
  // only its first one).
  Tokenizer(const Scanner& scanner, ScannedNode& node, bool describe = true)
      : t_(scanner.text), end_(scanner.textLength), p_(scanner.next), describe_(describe), node_(node) {
    node_.flags = 0;
    node_.nameStart = node_.nameLength = 0;
    node_.unterminated = false;
  }

  // With markupOnly, text is passed over and the next markup node read.
  VREL_HOT int Read(bool markupOnly) {
    if (!t_ || p_ < 0 || p_ >= end_) return EndOfText();
    if (t_[p_] != '<') {
      if (!markupOnly) return SplitText();
      p_ = Find('<', p_);
      if (p_ == kNotFound) return EndOfText();
    }
    node_.start = p_;
    if (p_ + 1 >= end_) return Unterminated("tag");
    const char c = t_[p_ + 1];
    if (StartsName(c)) return StartTag();
    switch (c) {
      case '/': return EndTag();
      case '!': return Bang();
      case '?': return ProcessingInstruction();
      default: return Incorrect("tag name character", p_ + 1);
    }
  }

 private:
  static constexpr int32_t kNotFound = -1;
  static constexpr int32_t kBecameError = -2;
  static constexpr int kShortRun = 64;  // bytes looked at before calling memchr

  enum CharClass : uint8_t { kEndsName = 1, kStopsTag = 2 };
  static constexpr std::array<uint8_t, 256> kClasses = [] {
    std::array<uint8_t, 256> classes{};
    for (int c = 0; c < 256; ++c) {
      const char ch = char(c);
      classes[size_t(c)] = uint8_t((EndsName(ch) ? kEndsName : 0) | (ch == '>' || IsQuote(ch) ? kStopsTag : 0));
    }
    return classes;
  }();
  static bool Is(char c, CharClass what) { return kClasses[uint8_t(c)] & what; }

  int EndOfText() {
    node_.start = p_ < 0 ? 0 : p_;
    node_.type = EndOfTextToken;
    node_.length = 0;
    return EndOfTextToken;
  }

  int Complete(int type, int32_t stop) {
    node_.type = type;
    node_.length = stop - node_.start;
    return type;
  }

  VREL_COLD int Unterminated(const char* what) {
    if (describe_) node_.message = Join({what, " at offset ", std::to_string(p_), " unterminated"});
    node_.unterminated = true;
    return Complete(ErrorToken, end_);
  }

  // The character that proved the node wrong is examined again as part of
  // the error node, so "<<a>" loses only its first "<".
  VREL_COLD int Incorrect(const char* what, int32_t from) {
    if (describe_) node_.message = Join({"Incorrect ", what, " at offset ", std::to_string(p_)});
    return ErrorTail(from);
  }

  // An error node ends at ">" outside quotes (inclusive) or before "<".
  int ErrorTail(int32_t from) {
    char quote = 0;
    for (int32_t q = from; q < end_; ++q) {
      const char c = t_[q];
      if (c == '<') return Complete(ErrorToken, q);
      if (quote) {
        if (c == quote) quote = 0;
      } else if (IsQuote(c)) {
        quote = c;
      } else if (c == '>') {
        return Complete(ErrorToken, q + 1);
      }
    }
    return Complete(ErrorToken, end_);
  }

  // The first byte at or after from that may be one of the wanted ones:
  // 16 bytes at a time where the machine can, candidates(block) marking
  // them; exact(c) decides. Stops after limit bytes (returns the offset
  // reached) or at the end (kNotFound).
  template <typename Candidates, typename Exact>
  VREL_HOT int32_t Seek(int32_t from, int32_t limit, Candidates candidates, Exact exact) const {
    const int32_t stop = end_ - from > limit ? from + limit : end_;
    int32_t q = from;
#if defined(__SSE2__)
    for (; q + 16 <= stop; q += 16) {
      int mask = _mm_movemask_epi8(candidates(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t_ + q))));
      for (; mask; mask &= mask - 1) {
        const int32_t hit = q + __builtin_ctz(unsigned(mask));
        if (exact(t_[hit])) return hit;
      }
    }
#else
    (void)candidates;
#endif
    for (; q < stop; ++q) {
      if (exact(t_[q])) return q;
    }
    return q == end_ ? kNotFound : q;
  }

  // Most runs (indentation, short values) end within a few bytes, where a
  // block compare beats the set-up of memchr.
  VREL_HOT int32_t Find(char c, int32_t from) const {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(c);
    auto candidates = [wanted](__m128i block) { return _mm_cmpeq_epi8(block, wanted); };
#else
    auto candidates = [](int block) { return block; };
#endif
    const int32_t q = Seek(from, kShortRun, candidates, [c](char x) { return x == c; });
    if (q == kNotFound || t_[q] == c) return q;
    const void* hit = std::memchr(t_ + q, c, size_t(end_ - q));
    return hit ? int32_t(static_cast<const char*>(hit) - t_) : kNotFound;
  }

  // Text as a node of its own: it also ends after a ">"; white space alone
  // up to "<" or the end is a white-space node.
  VREL_COLD int SplitText() {
    node_.start = p_;
    int32_t stop = Find('<', p_);
    if (stop == kNotFound) stop = end_;
    const void* gt = std::memchr(t_ + p_, '>', size_t(stop - p_));
    if (gt) return Complete(TextNode, int32_t(static_cast<const char*>(gt) - t_) + 1);
    int32_t q = p_;
    while (q < stop && IsWhite(t_[q])) ++q;
    return Complete(q == stop ? WhitespaceNode : TextNode, stop);
  }

  // Candidates are the bytes up to the blank, "/" and ">"; control bytes
  // among them are sorted out byte by byte.
  VREL_HOT int32_t NameEnd(int32_t from) const {
#if defined(__SSE2__)
    auto candidates = [](__m128i block) {
      const __m128i low = _mm_cmpeq_epi8(_mm_max_epu8(block, _mm_set1_epi8(' ')), _mm_set1_epi8(' '));
      return _mm_or_si128(
          low, _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('/')), _mm_cmpeq_epi8(block, _mm_set1_epi8('>'))));
    };
#else
    auto candidates = [](int block) { return block; };
#endif
    const int32_t q = Seek(from, end_, candidates, [](char c) { return Is(c, kEndsName); });
    return q == kNotFound ? end_ : q;
  }

  // The ">" that ends a tag, outside quotes. The quotes and ">" of a block
  // are found at once and walked through without loading it again.
  VREL_HOT int32_t TagEnd(int32_t from) const {
    char quote = 0;
    auto step = [&quote](char c) {
      if (quote) {
        if (c == quote) quote = 0;
        return false;
      }
      if (c == '>') return true;
      quote = c;
      return false;
    };
    int32_t q = from;
#if defined(__SSE2__)
    for (; q + 16 <= end_; q += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t_ + q));
      int mask = _mm_movemask_epi8(_mm_or_si128(
          _mm_cmpeq_epi8(block, _mm_set1_epi8('>')),
          _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('"')), _mm_cmpeq_epi8(block, _mm_set1_epi8('\'')))));
      for (; mask; mask &= mask - 1) {
        const int32_t hit = q + __builtin_ctz(unsigned(mask));
        if (step(t_[hit])) return hit;
      }
    }
#endif
    for (; q < end_; ++q) {
      if (Is(t_[q], kStopsTag) && step(t_[q])) return q;
    }
    return kNotFound;
  }

  // The ">" of a terminator "mm>" whose marks may be those of the opening
  // (so "<!-->" is a whole comment): the marks start at from or later.
  int32_t DoubleMarkEnd(char mark, int32_t from) const {
    for (int32_t q = Find(mark, from); q != kNotFound; q = Find(mark, q + 1)) {
      if (q + 2 < end_ && t_[q + 1] == mark && t_[q + 2] == '>') return q + 2;
    }
    return kNotFound;
  }

  // The ">" of "?>"; the "?" may be that of the opening. (Where the ">" lies
  // in the text does not matter: a node reads the same wherever it stands,
  // so text put in before it cannot change it.)
  int32_t QuestionMarkEnd(int32_t from) const {
    for (int32_t q = Find('>', from); q != kNotFound; q = Find('>', q + 1)) {
      if (t_[q - 1] == '?') return q;
    }
    return kNotFound;
  }

  VREL_HOT int StartTag() {
    const int32_t nameEnd = NameEnd(p_ + 1);
    if (nameEnd >= end_) return Unterminated("Element tag");
    node_.nameStart = p_ + 1;
    node_.nameLength = nameEnd - node_.nameStart;
    const int32_t gt = t_[nameEnd] == '>' ? nameEnd : TagEnd(nameEnd);
    if (gt == kNotFound) return Unterminated("Element tag");
    // "/>" makes the element empty when the "/" follows the name, white
    // space or a closing quote; after an unquoted value it belongs to the value.
    if (t_[gt - 1] == '/') {
      const char before = t_[gt - 2];
      if (gt - 1 == nameEnd || IsWhite(before) || IsQuote(before)) node_.flags = kNodeEmptyElement;
    }
    return Complete(ElementNode, gt + 1);
  }

  VREL_HOT int EndTag() {
    const int32_t nameEnd = NameEnd(p_ + 2);
    if (nameEnd >= end_) return Unterminated("Element end tag");
    node_.nameStart = p_ + 2;
    node_.nameLength = nameEnd - node_.nameStart;
    const int32_t gt = t_[nameEnd] == '>' ? nameEnd : Find('>', nameEnd);
    if (gt == kNotFound) return Unterminated("Element end tag");
    return Complete(EndTagToken, gt + 1);
  }

  VREL_COLD int ProcessingInstruction() {
    int32_t nameEnd = p_ + 2;
    while (nameEnd < end_ && !Is(t_[nameEnd], kEndsName) && t_[nameEnd] != '?') ++nameEnd;
    if (nameEnd >= end_) return Unterminated("Processing instruction");
    node_.nameStart = p_ + 2;
    node_.nameLength = nameEnd - node_.nameStart;
    const int32_t gt = QuestionMarkEnd(nameEnd);
    if (gt == kNotFound) return Unterminated("Processing instruction");
    return Complete(ProcessingInstructionNode, gt + 1);
  }

  // "<!": only the first letters are looked at.
  VREL_COLD int Bang() {
    if (p_ + 2 >= end_) return Unterminated("tag");
    const char c = t_[p_ + 2];
    if (c == '-' || c == '[') {
      if (p_ + 3 >= end_) return Unterminated("tag");
      if (c == '-') return t_[p_ + 3] == '-' ? Comment() : Incorrect("comment tag", p_ + 3);
      return t_[p_ + 3] == 'C' ? CData() : Incorrect("tag", p_ + 3);
    }
    if (c == 'D') return Doctype();
    if (IsDeclarationLetter(c)) {
      const int32_t gt = TagEnd(p_ + 3);
      if (gt == kNotFound) return Unterminated("Doctype");
      return Complete(DocumentTypeNode, gt + 1);
    }
    return Incorrect("! tag", p_ + 2);
  }

  int Comment() {
    const int32_t gt = DoubleMarkEnd('-', p_ + 2);
    if (gt == kNotFound) return Unterminated("Comment");
    return Complete(CommentNode, gt + 1);
  }

  int CData() {
    const int32_t gt = DoubleMarkEnd(']', p_ + 4);
    if (gt == kNotFound) return Unterminated("CDATA Section");
    return Complete(CDataNode, gt + 1);
  }

  // A DOCTYPE ends at a ">" outside quotes and outside the declarations,
  // comments and processing instructions nested in it.
  int Doctype() {
    char quote = 0;
    for (int32_t q = p_ + 3; q < end_; ++q) {
      const char c = t_[q];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (IsQuote(c)) {
        quote = c;
      } else if (c == '>') {
        return Complete(DocumentTypeNode, q + 1);
      } else if (c == '<') {
        const int32_t after = NestedEnd(q);
        if (after == kNotFound) return Unterminated("Doctype");
        if (after == kBecameError) return node_.type;
        q = after - 1;
      }
    }
    return Unterminated("Doctype");
  }

  int32_t BecomeError(const char* what, int32_t from) {
    Incorrect(what, from);
    return kBecameError;
  }

  // End of the construct nested in a DOCTYPE at q; kNotFound when the text
  // ends inside it, kBecameError when it made the whole node an error node.
  int32_t NestedEnd(int32_t q) {
    if (q + 1 >= end_) return kNotFound;
    const char c = t_[q + 1];
    int32_t gt = kNotFound;
    if (c == '?') {
      gt = QuestionMarkEnd(q + 2);
    } else if (c == '!') {
      if (q + 2 >= end_) return kNotFound;
      const char d = t_[q + 2];
      if (d == '-') {
        if (q + 3 >= end_) return kNotFound;
        if (t_[q + 3] != '-') return BecomeError("comment tag", q + 3);
        gt = DoubleMarkEnd('-', q + 2);
      } else if (IsDeclarationLetter(d)) {
        gt = TagEnd(q + 3);
      } else {
        return BecomeError("! tag", q + 2);
      }
    } else if (StartsName(c) || c == '/') {
      gt = TagEnd(q + 2);
    } else {
      return BecomeError("tag name character", q + 1);
    }
    return gt == kNotFound ? kNotFound : gt + 1;
  }

  const char* t_;
  const int32_t end_;
  int32_t p_;
  const bool describe_;
  ScannedNode& node_;
};

int XmlEngine::Scan(Scanner& scanner, ScannedNode& node) {
  const int type = Tokenizer(scanner, node).Read(false);
  scanner.next = node.start + node.length;
  return type;
}

#undef VREL_HOT
#undef VREL_COLD

// ---------------------------------------------------------------------------
// The index builder.

namespace {

bool SameName(const char* a, const char* b, int32_t length, bool ignoreCase) {
  if (!ignoreCase) {
    for (int32_t i = 0; i < length; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
  for (int32_t i = 0; i < length; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The names of deeply nested open elements, counted, so that a stray end tag
// is told at once instead of by a walk down the whole stack (which would make
// a deep text full of stray end tags take quadratic time).
class DeepNames {
 public:
  static constexpr size_t kFromDepth = 64;

  DeepNames(const char* text, bool ignoreCase) : text_(text), ignoreCase_(ignoreCase) {}
  bool Active() const { return !counts_.empty(); }
  void Clear() { counts_.clear(); }
  void Add(int32_t start, int32_t length) { ++counts_[Key(start, length)]; }
  void Remove(int32_t start, int32_t length) {
    const auto it = counts_.find(Key(start, length));
    if (it != counts_.end() && --it->second == 0) counts_.erase(it);
  }
  bool Has(int32_t start, int32_t length) const { return counts_.count(Key(start, length)) != 0; }

 private:
  std::string Key(int32_t start, int32_t length) const {
    std::string key(text_ + start, size_t(length));
    if (ignoreCase_)
      for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return key;
  }

  const char* text_;
  bool ignoreCase_;
  std::unordered_map<std::string, int> counts_;
};

}  // namespace

int XmlEngine::BuildIndexBelow(int below, Scanner& scanner, std::string& message, ParseOutcome& outcome) {
  const char* text = scanner.text;
  const bool ignoreCase = (scanner.flags & IgnoreCase) != 0;
  const uint32_t baseLevel = Record(below).Level();
  // open[0] stands for the record below which the parse runs.
  std::vector<OpenElement> open;
  open.reserve(6);
  open.push_back({below, 0, 0, FirstChild(below), LastChild(below)});
  int first = 0;
  bool promoted = false;
  ScannedNode node;
  DeepNames deep(text, ignoreCase);
  // open[from..] are about to be closed.
  auto forget = [&](size_t from) {
    if (!deep.Active()) return;
    if (from - 1 <= DeepNames::kFromDepth) return deep.Clear();
    for (size_t i = from; i < open.size(); ++i) deep.Remove(open[i].nameStart, open[i].nameLength);
  };
  auto name = [text](int32_t start, int32_t length) { return std::string_view(text + start, size_t(length)); };

  // Only the first problem of a parse is described.
  auto note = [&message](std::initializer_list<std::string_view> parts) {
    if (message.empty()) message = Join(parts);
  };
  // An erroneous node, a stray end tag or a tag beyond the index's limits.
  auto fault = [&](std::initializer_list<std::string_view> parts) {
    Record(open.back().record).flagsAndLevel |= ContainsError;
    Record(below).flagsAndLevel |= IllFormed;
    note(parts);
  };

  for (;;) {
    const int type = Tokenizer(scanner, node, message.empty()).Read(true);
    scanner.next = node.start + node.length;
    if (type == EndOfTextToken) break;
    if (type == ElementNode) {
      const uint32_t level = baseLevel + uint32_t(open.size() - 1);
      if (uint32_t(node.length) > kMaxStartTagLength) {
        fault({"Element tag at offset ", std::to_string(node.start), " too long"});
        continue;
      }
      if (level > kMaxLevel) {
        fault({"Element nesting at offset ", std::to_string(node.start), " too deep"});
        continue;
      }
      const int n = TakeRecord();
      if (!n) {
        fault({"Element at offset ", std::to_string(node.start), " beyond the index's capacity"});
        continue;
      }
      if (!first) first = n;
      OpenElement& parent = open.back();
      ElementRecord& r = Record(n);
      r.start = node.start;
      r.length = node.length;
      r.tagLengths = uint32_t(node.length);
      r.parent = parent.record;
      r.firstChild = 0;
      r.nextSibling = 0;
      if (parent.lastChild) {
        r.flagsAndLevel = level;
        r.previousSibling = parent.lastChild;
        Record(parent.lastChild).nextSibling = n;
        Record(parent.firstChild).previousSibling = n;
      } else {
        r.flagsAndLevel = level | FirstSibling;
        r.previousSibling = n;
        Record(parent.record).firstChild = n;
        parent.firstChild = n;
      }
      parent.lastChild = n;
      if (node.flags & kNodeEmptyElement) continue;
      open.push_back({n, node.nameStart, node.nameLength, 0, 0});
      if (open.size() - 1 <= DeepNames::kFromDepth) continue;
      if (deep.Active())
        deep.Add(node.nameStart, node.nameLength);
      else
        for (size_t i = 1; i < open.size(); ++i) deep.Add(open[i].nameStart, open[i].nameLength);
    } else if (type == EndTagToken) {
      if (uint32_t(node.length) > kMaxEndTagLength) {
        fault({"Element end tag at offset ", std::to_string(node.start), " too long"});
        continue;
      }
      size_t match = deep.Active() && !deep.Has(node.nameStart, node.nameLength) ? 0 : open.size() - 1;
      for (; match > 0; --match) {
        const OpenElement& e = open[match];
        if (e.nameLength == node.nameLength &&
            SameName(text + e.nameStart, text + node.nameStart, e.nameLength, ignoreCase))
          break;
      }
      if (match == 0) {
        outcome.strayEndTag = true;
        fault({"No start tag for end tag '", name(node.nameStart, node.nameLength), "' at offset ",
               std::to_string(node.start)});
        continue;
      }
      forget(match);
      if (match + 1 < open.size()) {
        const OpenElement& inner = open.back();
        note({"End tag '", name(node.nameStart, node.nameLength), "' at offset ", std::to_string(node.start + 1),
              " does not match start tag '", name(inner.nameStart, inner.nameLength), "' at offset ",
              std::to_string(Record(inner.record).start)});
        promoted |= CloseUnended(open, match + 1, below);
        outcome.unended = true;
      }
      ElementRecord& r = Record(open.back().record);
      r.length = node.start + node.length - r.start;
      r.tagLengths |= uint32_t(node.length) << 22;
      open.pop_back();
    } else if (type == ErrorToken) {
      if (node.unterminated) outcome.openTail = node.start;
      fault({node.message});
    }
  }
  if (open.size() > 1) {
    const OpenElement& inner = open.back();
    note({"Element '", name(inner.nameStart, inner.nameLength), "' at offset ",
          std::to_string(Record(inner.record).start), " not ended"});
    promoted |= CloseUnended(open, 1, below);
    outcome.unended = true;
  }
  if (promoted) Relevel(below);
  return first;
}

}  // namespace vrel
