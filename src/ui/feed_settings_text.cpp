#include "ui/feed_settings_text.h"

#include <string_view>

#include "feeds/asked_schedule.h"
#include "feeds/feed_reader.h"
#include "markup/view_support.h"
#include "xml/xml_doc.h"

namespace vrel::ui {
namespace {

// Positions the document on the feed's first child element; 0 when it has none.
int EnterFirstChild(XmlDoc& feed) {
  feed.SetPositions(0, 0, 0);
  if (!feed.FindElement(nullptr)) return 0;
  feed.SetPositions(feed.GetParentPosition(), feed.GetCurrentPosition(), 0);
  return feed.FindChildElement(nullptr) ? feed.GetChildPosition() : 0;
}

// Appends the leaves below the current element in document order.
void WalkLeaves(XmlDoc& doc, int& leaves, std::string& lines) {
  doc.SetPositions(doc.GetParentPosition(), doc.GetCurrentPosition(), 0);
  while (doc.FindChildElement(nullptr)) {
    const int parent = doc.GetCurrentPosition();
    const int child = doc.GetChildPosition();
    doc.SetPositions(parent, child, 0);
    if (doc.FindChildElement(nullptr)) {
      doc.SetPositions(parent, child, 0);
      WalkLeaves(doc, leaves, lines);
    } else {
      ++leaves;
      const std::string content = doc.GetContent(child);
      if (!content.empty())
        lines += "<B>" + MarkupText(doc.GetElementName(child)) + ":</B> " + MarkupText(StripTags(content)) + "\r\n";
    }
    doc.SetPositions(doc.GetParentPosition(), parent, child);
  }
}

// A backslash escapes the next character when the list is read back, so
// every character with a meaning in the list is escaped.
std::string EscapeScrapeText(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '~' || c == ';' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace

std::string FeedSummaryMarkup(XmlDoc& feed, std::time_t now) {
  feed.SetPositions(0, 0, 0);
  if (!feed.FindElement(nullptr)) return {};
  const std::string asked = AskedWaitNote(feed, feed.GetCurrentPosition(), now);
  const std::string format = FeedReader::ForStoredFeed(feed).FormatName();
  int leaves = 0;
  std::string lines;
  if (const int first = EnterFirstChild(feed)) {
    feed.SetPositions(feed.GetCurrentPosition(), first, 0);
    WalkLeaves(feed, leaves, lines);
  }
  return "<B>Type:</B> " + MarkupText(format) + " <FONT color=\"100,100,100\">(" + std::to_string(leaves) +
         " data elements)</FONT>\r\n" + (asked.empty() ? "" : MarkupText(asked) + "\r\n") + lines;
}

std::string ScrapeListText(XmlDoc& feed) {
  const int items = EnterFirstChild(feed);
  if (items == 0) return {};
  std::string list;
  feed.SetPositions(feed.GetCurrentPosition(), items, 0);
  while (feed.FindChildElement(nullptr)) {
    const int item = feed.GetChildPosition();
    if (!list.empty()) list += ";\r\n";
    list += EscapeScrapeText(feed.GetAttribute(item, "search")) + "~" +
            EscapeScrapeText(feed.GetElementName(item));
  }
  return list;
}

std::string FirstChildText(XmlDoc& feed) {
  const int first = EnterFirstChild(feed);
  return first != 0 ? feed.GetSubDocument(first) : std::string();
}

void ReplaceFirstChild(XmlDoc& feed, const std::string& element) {
  if (EnterFirstChild(feed) != 0) feed.RemoveChildElement();
  feed.SetPositions(0, 0, 0);
  feed.FindElement(nullptr);
  feed.SetPositions(feed.GetParentPosition(), feed.GetCurrentPosition(), 0);
  feed.AddSubDocument(element, XmlDoc::AsChild);
}

}  // namespace vrel::ui
