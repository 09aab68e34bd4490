// XmlEngine's self-check of its element index against its text, which the
// tests and the fuzzer run after every parse and edit. It reads the records and the
// text on its own terms rather than through the helpers it is to check.
#include <strings.h>

#include <algorithm>
#include <vector>

#include "xml/xml_engine.h"

namespace vrel {

class XmlEngine::IndexCheck {
 public:
  explicit IndexCheck(const XmlEngine& doc)
      : doc_(doc), text_(doc.text_), linked_(size_t(std::max(doc.highWater_, 1)), false) {}

  std::string Run() {
    if (!doc_.HasIndex()) return "no document record";
    if (doc_.highWater_ > doc_.capacity_)
      return "high-water mark " + std::to_string(doc_.highWater_) + " beyond the capacity " +
             std::to_string(doc_.capacity_);
    const ElementRecord& document = doc_.Record(0);
    if (document.start != 0 || int64_t(document.length) != int64_t(text_.size()))
      return "document record spans " + std::to_string(document.length) + " of " + std::to_string(text_.size()) +
             " characters";
    if (document.parent != 0 || document.tagLengths != 0) return "document record has a parent or tags";
    // Walk without recursion: deep documents would exhaust the stack.
    std::vector<int> pending{0};
    while (!pending.empty()) {
      const int n = pending.back();
      pending.pop_back();
      std::string fault = CheckChildren(n, pending);
      if (!fault.empty()) return fault;
    }
    return CheckUnlinkedAreRemoved();
  }

 private:
  struct Span {
    int64_t begin, end;
  };

  static std::string Describe(int n, const std::string& fault) {
    return "record " + std::to_string(n) + ": " + fault;
  }

  static std::string_view TagName(std::string_view tag, size_t skip) {
    size_t end = skip;
    while (end < tag.size() && !EndsName(tag[end])) ++end;
    return tag.substr(skip, end - skip);
  }

  // The part of n's span that its children may occupy.
  Span ContentOf(int n, const ElementRecord& r) const {
    if (n == 0) return {0, int64_t(text_.size())};
    return {int64_t(r.start) + r.StartTagLength(), int64_t(r.start) + r.length - r.EndTagLength()};
  }

  std::string CheckChildren(int n, std::vector<int>& pending) {
    const ElementRecord& parent = doc_.Record(n);
    const Span content = ContentOf(n, parent);
    const uint32_t childLevel = n == 0 ? 0 : parent.Level() + 1;
    int64_t previousEnd = content.begin;
    int previous = 0;
    for (int c = parent.firstChild; c != 0;) {
      if (c < 0 || c >= int(linked_.size())) return Describe(n, "links to unknown record " + std::to_string(c));
      if (linked_[size_t(c)]) return Describe(c, "linked twice");
      linked_[size_t(c)] = true;
      const ElementRecord& r = doc_.Record(c);
      if (r.Has(Removed)) return Describe(c, "linked but marked Removed");
      if (r.parent != n) return Describe(c, "parent is " + std::to_string(r.parent) + ", expected " + std::to_string(n));
      if (r.Level() != childLevel)
        return Describe(c, "level " + std::to_string(r.Level()) + ", expected " + std::to_string(childLevel));
      if (r.Has(FirstSibling) != (previous == 0)) return Describe(c, "FirstSibling flag wrong");
      if (previous != 0 && r.previousSibling != previous)
        return Describe(
            c, "previous sibling is " + std::to_string(r.previousSibling) + ", expected " + std::to_string(previous));
      if (r.start < previousEnd || int64_t(r.start) + r.length > content.end)
        return Describe(c, "span " + std::to_string(r.start) + "+" + std::to_string(r.length) + " outside " +
                               std::to_string(previousEnd) + ".." + std::to_string(content.end));
      std::string fault = CheckTags(c, r);
      if (!fault.empty()) return fault;
      previousEnd = int64_t(r.start) + r.length;
      previous = c;
      pending.push_back(c);
      c = r.nextSibling;
    }
    if (parent.firstChild != 0 && doc_.Record(parent.firstChild).previousSibling != previous)
      return Describe(parent.firstChild, "last-child link is " +
                                             std::to_string(doc_.Record(parent.firstChild).previousSibling) +
                                             ", expected " + std::to_string(previous));
    return "";
  }

  // The spans lie within the text and the tags are where they say.
  std::string CheckTags(int n, const ElementRecord& r) const {
    const uint32_t startTag = r.StartTagLength(), endTag = r.EndTagLength();
    if (startTag < 2 || r.length < int64_t(startTag) + endTag) return Describe(n, "tag lengths exceed the span");
    const std::string_view tag = std::string_view(text_).substr(size_t(r.start), startTag);
    if (tag.front() != '<' || tag.back() != '>')
      return Describe(n, "start tag is not <...>: " + std::string(tag.substr(0, 40)));
    if (endTag == 0) {
      if (r.length != int64_t(startTag)) return Describe(n, "no end tag, but longer than its start tag");
      if (r.firstChild != 0) return Describe(n, "no end tag, but has children");
      if (!r.Has(Unended) && !tag.ends_with("/>")) return Describe(n, "neither \"/>\" nor Unended");
      return "";
    }
    if (r.Has(Unended)) return Describe(n, "Unended with an end tag");
    const std::string_view end = std::string_view(text_).substr(size_t(r.start) + r.length - endTag, endTag);
    if (!end.starts_with("</") || end.back() != '>') return Describe(n, "end tag is not </...>: " + std::string(end));
    const std::string_view startName = TagName(tag, 1), endName = TagName(end, 2);
    const bool same = (doc_.docFlags_ & IgnoreCase)
                          ? startName.size() == endName.size() &&
                                ::strncasecmp(startName.data(), endName.data(), startName.size()) == 0
                          : startName == endName;
    if (!same) return Describe(n, "start tag " + std::string(startName) + " ends with " + std::string(endName));
    return "";
  }

  std::string CheckUnlinkedAreRemoved() const {
    for (size_t n = 1; n < linked_.size(); ++n) {
      if (linked_[n]) continue;
      if (doc_.Record(int(n)).flagsAndLevel != Removed) return Describe(int(n), "neither linked nor marked Removed");
    }
    return "";
  }

  const XmlEngine& doc_;
  const std::string& text_;
  std::vector<bool> linked_;
};

std::string XmlEngine::CheckIndex() const { return IndexCheck(*this).Run(); }

}  // namespace vrel
