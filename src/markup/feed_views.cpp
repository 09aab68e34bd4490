#include "markup/feed_views.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <vector>

#include "feeds/feed_folders.h"
#include "feeds/feed_merge.h"
#include "feeds/feed_reader.h"
#include "feeds/news_engine.h"
#include "markup/feed_list_view.h"
#include "markup/requests.h"
#include "markup/view_support.h"
#include "xml/xml_encoding.h"

namespace vrel {

std::string AgePhrase(const TimeStamp& stamp, std::time_t now) {
  return FormatAge(DaysSince(stamp, now), AgeForm::Long);
}

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string TrimLeft(std::string text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  return first == std::string::npos ? std::string() : text.substr(first);
}

std::string Trim(std::string_view text) {
  std::string trimmed = TrimLeft(std::string(text));
  trimmed.erase(trimmed.find_last_not_of(" \t\r\n") + 1);
  return trimmed;
}

std::string DateTimeOf(const std::string& text) {
  const std::optional<TimeStamp> stamp = ParseTimeStamp(text);
  return stamp ? FormatUserDateTime(ToTime(*stamp)) : std::string();
}

const char* const kNewMarker = " <B><FONT color=\"255,0,0\">New</FONT></B>";

// The facts a feed tells about itself, grey, after its format name.
std::string ChannelFacts(XmlDoc& db, int feed, const FeedReader& reader) {
  std::string text = "<FONT color=\"100,100,100\">" + MarkupText(reader.FormatName());
  db.SetPositions(db.GetParentPosition(), feed, 0);
  if (db.FindChildElement(nullptr)) {
    int level = db.GetChildPosition();
    db.SetPositions(feed, level, 0);
    if (db.FindChildElement("channel")) level = db.GetChildPosition();
    db.SetPositions(0, level, 0);
    int image = 0;
    while (db.FindChildElement(nullptr)) {
      const int child = db.GetChildPosition();
      const std::string name = db.GetElementName(child);
      if (name == "image" && image == 0) image = child;
      if (name == "title" || name == "item" || name == "image") continue;
      const std::string value = HtmlToLine(db.GetContent(child));
      if (value.empty()) continue;
      // Appended piece by piece: GCC 12 at -O3 misreads a " " + string join here (-Wrestrict).
      text += ' ';
      text += MarkupText(Utf8Prefix(name, 30));
      text += ": ";
      text += MarkupText(value);
    }
    if (image != 0) {
      std::string address;
      if (reader.FormatBits() == FormatRdf) {
        address = db.GetAttribute(image, "rdf:resource");
      } else {
        db.SetPositions(level, image, 0);
        if (db.FindChildElement("url")) address = db.GetChildContent();
      }
      text += " Image: " + MarkupText(address);
    }
  }
  return text + "</FONT>";
}

std::string FeedHeader(XmlDoc& db, int feed, const FeedReader& reader) {
  std::string period = db.GetAttribute(feed, "period");
  int64_t seconds = 0;
  ReadDuration(period, seconds);
  std::string text = "Downloaded:";
  const std::string arrived = DateTimeOf(db.GetAttribute(feed, "arrivetime"));
  if (!arrived.empty()) text += " " + arrived;
  text += " (every " + period + ")";
  const std::string attempt = DateTimeOf(db.GetAttribute(feed, "failedtime"));
  if (!attempt.empty()) {
    text += "\r\nAttempt: " + attempt;
    const std::string attempts = db.GetAttribute(feed, "numattempts");
    if (!attempts.empty()) text += " (" + MarkupText(attempts) + " auto attempts)";
  }
  const std::string uri = db.GetAttribute(feed, "uri");
  text += "\r\n<B><A href=\"" + MarkupAttribute(uri) + "\">" + MarkupText(uri) + "</A></B>\r\n";
  return text + ChannelFacts(db, feed, reader);
}

struct FeedSurvey {
  int newItems = 0;
  bool hasNew = false;
  bool authorsVary = false;
};

FeedSurvey SurveyItems(FeedReader& reader, const std::optional<TimeStamp>& viewed) {
  FeedSurvey survey;
  if (reader.FormatBits() == FormatGeneric) {
    survey.hasNew = true;
    return survey;
  }
  std::optional<std::string> firstAuthor;
  while (reader.NextItem()) {
    reader.ReadItem(FieldFirstTime | FieldVisited | (survey.authorsVary ? 0u : unsigned(FieldAuthor)));
    if (!survey.authorsVary) {
      if (firstAuthor) survey.authorsVary = reader.Author() != *firstAuthor;
      else if (!reader.Author().empty()) firstAuthor = reader.Author();
    }
    if (IsNewItem(reader, viewed)) {
      ++survey.newItems;
      survey.hasNew = true;
    }
  }
  reader.ResetItems();
  return survey;
}

std::string ItemLine(const FeedReader& reader, const std::string& feedId, bool isNew, bool newOnly,
                     bool brief, bool authorsVary) {
  std::string line = ItemLink(reader.Link(), feedId, reader.FirstTime(), reader.Seq());
  if (reader.Visited() != 0)
    line += "<FONT color=\"100,100,120\">" + MarkupText(reader.Title()) + "</FONT></A>";
  else
    line += MarkupText(reader.Title()) + "</A>";
  if (!reader.Comments().empty() && reader.Comments() != "1") line += " (" + MarkupText(reader.Comments()) + ")";
  if (authorsVary && !reader.Author().empty()) line += " " + MarkupText(reader.Author());
  if (isNew && !newOnly) line += kNewMarker;
  line += "\r\n";
  if (!brief && !reader.Description().empty())
    line += "<SMALL>" + MarkupText(MakeExcerpt(reader.Description(), 250)) + "</SMALL>\r\n";
  return line;
}

}  // namespace


std::string RenderFeedView(NewsEngine& engine, bool brief, bool newOnly) {
  XmlDoc& db = engine.Database().Document();
  const int parent = db.GetParentPosition();
  const int feed = db.GetCurrentPosition();
  const std::string feedId = db.GetAttribute(feed, "feedid");
  const std::optional<TimeStamp> viewed = ParseTimeStamp(db.GetAttribute(feed, "viewed"));
  FeedReader reader = FeedReader::ForStoredFeed(db);
  const std::string header = brief ? std::string() : FeedHeader(db, feed, reader);
  const FeedSurvey survey = SurveyItems(reader, viewed);

  std::string title = "<A feedid=\"" + MarkupAttribute(feedId) + "\"><B>" +
                      MarkupText(db.GetAttribute(feed, "title")) + "</B></A>";
  if (newOnly && survey.newItems > 0)
    title += " <B><FONT color=\"255,0,0\">" + std::to_string(survey.newItems) + " New</FONT></B>";
  title += "\r\n";

  std::string lines;
  int items = 0;
  const bool generic = reader.FormatBits() == FormatGeneric;
  while (reader.NextItem()) {
    if (generic && brief && items == 10) break;
    ++items;
    reader.ReadItem(FieldAll);
    if (generic) {
      lines += "<B>" + MarkupText(reader.Title()) + ":</B> " + MarkupText(MakeExcerpt(reader.Description(), 30)) +
               "\r\n";
      continue;
    }
    const bool isNew = IsNewItem(reader, viewed);
    if (newOnly && !isNew) continue;
    lines += ItemLine(reader, feedId, isNew, newOnly, brief, survey.authorsVary);
  }
  db.SetPositions(parent, feed, 0);
  if (newOnly && !survey.hasNew) return {};
  std::string text = title + header;
  if (!brief) text += " (" + std::to_string(items) + " items)\r\n";
  return text + lines;
}

namespace {

// The brief new-only views of the unread feeds that include accepts, latest
// download first.
std::string RenderNewOfFeeds(NewsEngine& engine, const std::function<bool(XmlDoc&)>& include) {
  XmlDoc& db = engine.Database().Document();
  struct Dated {
    int parent, feed;
    std::optional<TimeStamp> arrived;
  };
  std::vector<Dated> feeds;
  ForEachFeed(db, [&] {
    if (!include(db)) return;
    feeds.push_back({db.GetParentPosition(), db.GetCurrentPosition(),
                     ParseTimeStamp(db.GetAttribute("arrivetime"))});
  });
  // Feeds without a valid download time count as the oldest.
  std::stable_sort(feeds.begin(), feeds.end(), [](const Dated& a, const Dated& b) { return a.arrived > b.arrived; });
  std::string text;
  for (const Dated& feed : feeds) {
    db.SetPositions(feed.parent, feed.feed, 0);
    if (db.GetAttribute("viewed") == db.GetAttribute("arrivetime")) continue;
    const std::string view = RenderFeedView(engine, true, true);
    if (!view.empty()) text += view + "\r\n";
  }
  return text;
}

}  // namespace

std::string RenderShowNew(NewsEngine& engine) {
  return RenderNewOfFeeds(engine, [](XmlDoc&) { return true; });
}

std::string RenderFolderNew(NewsEngine& engine, std::string_view folder) {
  if (folder.empty()) return {};
  return RenderNewOfFeeds(engine, [folder](XmlDoc& db) { return db.GetAttribute(kFolderAttribute) == folder; });
}

SearchHit FindSearchHit(std::string_view text, std::string_view search) {
  const size_t position = Lower(text).find(Lower(search));
  if (search.empty() || position == std::string::npos) return {};
  const size_t searchChars = Utf8Length(search);
  size_t matchEnd = position + search.size();
  size_t trailing = 0;
  if (searchChars < 36) {
    trailing = 35 - searchChars;
  } else {
    matchEnd = Utf8Forward(text, position, 35);
  }
  const size_t contextEnd = Utf8Forward(text, position + search.size(), trailing);
  const size_t before = Utf8Length(std::string_view(text).substr(0, position));

  std::string snippet;
  if (before > 20) snippet = "..." + MarkupText(text.substr(Utf8Back(text, position, 20), position - Utf8Back(text, position, 20)));
  else snippet = MarkupText(text.substr(0, position));
  snippet += "<B>" + MarkupText(text.substr(position, matchEnd - position)) + "</B>";
  if (contextEnd > position + search.size()) {
    snippet += MarkupText(text.substr(position + search.size(), contextEnd - position - search.size()));
    if (contextEnd < text.size()) snippet += "...";
  }
  CollapseWhitespace(snippet);
  return {true, snippet};
}

std::string RenderSearchResults(NewsEngine& engine, const XmlDoc& request) {
  const std::string search = Trim(request.GetAttribute("search"));
  XmlDoc& db = engine.Database().Document();
  std::string matches;
  int count = 0;
  ForEachFeed(db, [&] {
    const int feed = db.GetCurrentPosition();
    const std::string feedId = db.GetAttribute(feed, "feedid");
    FeedReader reader = FeedReader::ForStoredFeed(db);
    const bool generic = reader.FormatBits() == FormatGeneric;
    while (reader.NextItem()) {
      reader.ReadItem(FieldTitle | FieldLink | FieldDescription | FieldAuthor | FieldFirstTime | FieldSeq);
      const std::string description = HtmlToText(reader.Description());
      if (generic) {
        const SearchHit hit = FindSearchHit(description, search);
        if (!hit.found) continue;
        matches += "<A href=\"" + MarkupAttribute(reader.Url()) + "\">" + MarkupText(reader.FeedTitle()) +
                   "</A>\r\n" + MarkupText(reader.Title()) + ": " + hit.snippet + "\r\n";
        ++count;
        break;
      }
      for (const std::string* field : {&reader.Title(), &reader.Author(), &description}) {
        const SearchHit hit = FindSearchHit(*field, search);
        if (!hit.found) continue;
        matches += ItemLink(reader.Link(), feedId, reader.FirstTime(), reader.Seq()) + MarkupText(reader.Title()) +
                   "</A>\r\n" + hit.snippet + "\r\n";
        ++count;
        break;
      }
    }
  });
  // The comparison ignores letter case, so the count line does not claim otherwise.
  return std::to_string(count) + (count == 1 ? " match" : " matches") + " for \"" + MarkupText(search) + "\"\r\n" +
         matches;
}

namespace {

// Every leaf element below item (the item itself when it is a leaf) with text.
void AppendLeaves(XmlDoc& db, int parent, int element, std::string& text) {
  db.SetPositions(parent, element, 0);
  std::vector<int> children;
  while (db.FindChildElement(nullptr)) children.push_back(db.GetChildPosition());
  if (children.empty()) {
    const std::string content = db.GetContent(element);
    if (!content.empty())
      text += "<B>" + MarkupText(db.GetElementName(element)) + ":</B> " + MarkupText(HtmlToText(content)) + "\r\n";
    return;
  }
  for (const int child : children) AppendLeaves(db, element, child, text);
}

}  // namespace

std::string RenderItemDetails(NewsEngine& engine, const XmlDoc& request) {
  XmlDoc& db = engine.Database().Document();
  const ItemRef ref = ItemRefOf(request);
  const FoundItem found = FindItem(engine.Database(), ref);
  if (!found.item) return {};
  const std::string href = request.GetAttribute("href");
  std::string text = "<B><A href=\"" + MarkupAttribute(href);
  if (LeadingInt(db.GetAttribute(found.item, "visited")) != 0)
    text += "\"><FONT color=\"100,100,120\">" + MarkupText(href) + "</FONT></A></B>\r\n";
  else
    text += "\">" + MarkupText(href) + "</A></B>\r\n";
  if (const std::optional<TimeStamp> first = ParseTimeStamp(ref.firstTime)) {
    text += "<B>Item Downloaded:</B> " + FormatUserDateTime(ToTime(*first)) + " (" + AgePhrase(*first, engine.CurrentTime()) +
            " ago)";
    if (ref.firstTime == db.GetAttribute(found.feed, "arrivetime")) text += kNewMarker;
    text += "\r\n";
  }
  db.SetPositions(found.feedParent, found.feed, 0);
  const std::string formatName = FeedReader::ForStoredFeed(db).FormatName();
  text += "<B>Feed:</B> <A feedid=\"" + MarkupAttribute(ref.feedId) + "\">" +
          MarkupText(db.GetAttribute(found.feed, "title")) + "</A> <FONT color=\"100,100,100\">" +
          MarkupText(formatName) + "</FONT>\r\n";
  AppendLeaves(db, found.itemParent, found.item, text);
  db.SetPositions(found.itemParent, found.item, 0);
  return text;
}

std::string RenderStatusMessages(const NewsEngine& engine) {
  return JoinStatusMessages(engine.StatusMessages());
}

}  // namespace vrel
