#include "feeds/feed_discovery.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "feeds/linked_address.h"
#include "net/ascii_text.h"
#include "net/download.h"
#include "xml/xml_encoding.h"

namespace vrel {
namespace {

constexpr std::string_view kSpace = " \t\r\n\f";
constexpr std::string_view kFeedTypes[] = {"application/rss+xml", "application/atom+xml", "application/feed+json"};

// Where the end tag "</name" of a script or style element begins, searching
// from at; the end of the text when there is none.
size_t FindEndTag(std::string_view text, size_t at, const std::string& name) {
  for (at = text.find("</", at); at != std::string_view::npos; at = text.find("</", at + 2))
    if (StartsWithNoCase(text.substr(at + 2), name)) return at;
  return text.size();
}

struct HtmlTag {
  std::string name;                                             // lower case
  std::vector<std::pair<std::string, std::string>> attributes;  // names lower case, values decoded

  std::string_view Attribute(std::string_view wanted) const {
    for (const auto& [name, value] : attributes)
      if (name == wanted) return value;
    return {};
  }
};

// Reads the tag whose "<" is at text[at]; returns the position after it,
// npos when the text ends inside the tag.
size_t ReadTag(std::string_view text, size_t at, HtmlTag& tag) {
  const auto isNameEnd = [](char c) {
    return kSpace.find(c) != std::string_view::npos || c == '>' || c == '/' || c == '=';
  };
  size_t i = at + 1;
  while (i < text.size() && !isNameEnd(text[i])) tag.name += LowerAscii(text[i++]);
  while (i < text.size() && text[i] != '>') {
    if (isNameEnd(text[i])) {
      ++i;
      continue;
    }
    std::string name;
    while (i < text.size() && !isNameEnd(text[i])) name += LowerAscii(text[i++]);
    while (i < text.size() && kSpace.find(text[i]) != std::string_view::npos) ++i;
    std::string value;
    if (i < text.size() && text[i] == '=') {
      for (++i; i < text.size() && kSpace.find(text[i]) != std::string_view::npos;) ++i;
      if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
        const size_t close = text.find(text[i], i + 1);
        const size_t end = close == std::string_view::npos ? text.size() : close;
        value = FromMarkupText(text.substr(i + 1, end - i - 1));
        i = end + 1;
      } else {
        const size_t start = i;
        while (i < text.size() && kSpace.find(text[i]) == std::string_view::npos && text[i] != '>') ++i;
        value = FromMarkupText(text.substr(start, i - start));
      }
    }
    tag.attributes.emplace_back(std::move(name), std::move(value));
  }
  return i < text.size() ? i + 1 : std::string_view::npos;
}

// Where the markup after a "<!--", "<?", "<!" or a script or style element
// that starts at text[at] ends; npos for an ordinary tag.
size_t SkipNonElement(std::string_view text, size_t at) {
  const auto after = [&](std::string_view end) {
    const size_t found = text.find(end, at);
    return found == std::string_view::npos ? text.size() : found + end.size();
  };
  if (text.compare(at, 4, "<!--") == 0) return after("-->");
  if (text.compare(at, 2, "<?") == 0) return after("?>");
  if (text.compare(at, 2, "<!") == 0) return after(">");
  return std::string_view::npos;
}

// The first element's name in lower case, after declarations and comments;
// "html" also for a page that begins with <!DOCTYPE html>.
std::string FirstElementName(std::string_view text) {
  for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at)) {
    if (StartsWithNoCase(text.substr(at), "<!doctype html")) return "html";
    const size_t skipped = SkipNonElement(text, at);
    if (skipped == std::string_view::npos) {
      HtmlTag tag;
      ReadTag(text, at, tag);
      return tag.name;
    }
    at = skipped;
  }
  return {};
}

// rel is a list of words, such as "alternate home".
bool IsAlternate(std::string_view rel) {
  for (size_t start = rel.find_first_not_of(kSpace); start != std::string_view::npos;
       start = rel.find_first_not_of(kSpace, start)) {
    const size_t end = std::min(rel.size(), rel.find_first_of(kSpace, start));
    if (LowerAsciiText(rel.substr(start, end - start)) == "alternate") return true;
    start = end;
  }
  return false;
}

bool IsFeedLink(const HtmlTag& tag) {
  if (!IsAlternate(tag.Attribute("rel")) || TrimAscii(tag.Attribute("href")).empty()) return false;
  const std::string type = MediaType(tag.Attribute("type"));
  for (const std::string_view feedType : kFeedTypes)
    if (type == feedType) return true;
  return false;
}

}  // namespace

bool LooksLikeHtmlPage(std::string_view text, std::string_view contentType) {
  const std::string first = FirstElementName(text);
  if (first == "html") return true;
  const std::string type = MediaType(contentType);
  const bool servedAsHtml = type == "text/html" || type == "application/xhtml+xml";
  return servedAsHtml && first != "rss" && first != "feed" && first != "rdf:rdf";
}

std::string FindFeedLink(std::string_view page, const std::string& pageUrl) {
  std::string base = pageUrl;
  for (size_t at = page.find('<'); at != std::string_view::npos; at = page.find('<', at)) {
    const size_t skipped = SkipNonElement(page, at);
    if (skipped != std::string_view::npos) {
      at = skipped;
      continue;
    }
    HtmlTag tag;
    at = ReadTag(page, at, tag);
    if (at == std::string_view::npos) break;  // a page cut off inside a tag
    if (tag.name == "script" || tag.name == "style") {
      at = FindEndTag(page, at, tag.name);
    } else if (tag.name == "base" && !tag.Attribute("href").empty()) {
      const std::string resolved = ResolveUrl(pageUrl, std::string(TrimAscii(tag.Attribute("href"))));
      if (!resolved.empty()) base = resolved;
    } else if (tag.name == "link" && IsFeedLink(tag)) {
      const std::string address = ResolveUrl(base, std::string(TrimAscii(tag.Attribute("href"))));
      if (MayFollowLink(pageUrl, address)) return address;
    }
  }
  return {};
}

}  // namespace vrel
