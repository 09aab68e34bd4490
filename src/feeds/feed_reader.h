// FeedReader: recognises a feed document's format, walks its items in
// document order and extracts their fields. Works through the document's
// cursor and never changes the document; the document's current element is
// the item after each successful NextItem.
//
// Titles, authors and descriptions of RSS and Atom are HTML: titles and
// authors are read as plain text (tags stripped, character references
// decoded, white space collapsed), descriptions as the HTML they are, which
// MakeExcerpt turns into text. Item links are absolute where the document
// lets them be: relative ones are resolved against xml:base, else the feed's
// own link, else the feed's address.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "xml/xml_doc.h"

namespace vrel {

// Format bits; 0 is generic XML, where every leaf element is an item.
enum FeedFormat : int {
  FormatGeneric = 0,
  FormatRdf = 1,      // "rdf:RDF", RSS 1.0
  FormatRss091 = 2,   // "rss" version "0.91"
  FormatRss = 4,      // "rss", any other version
  FormatAtom = 8,     // "feed", or an Atom "feed" or "entry" with a prefix or a lone entry
  FormatMessageBrief = 16,  // "ArrayOfMessageBrief"
  FormatArticleBrief = 32,  // "ArrayOfArticleBrief"
  FormatRssFamily = FormatRdf | FormatRss091 | FormatRss,
  FormatWebService = FormatMessageBrief | FormatArticleBrief,
};

// Field selection bits of ReadItem.
enum ItemField : unsigned {
  FieldTitle = 0x001,
  FieldCategory = 0x002,
  FieldLink = 0x004,
  FieldComments = 0x008,
  FieldDate = 0x010,
  FieldDescription = 0x020,
  FieldAuthor = 0x040,
  FieldFirstTime = 0x080,
  FieldSeq = 0x100,
  FieldVisited = 0x200,
  FieldAll = 0xFFFF,
};

// The host of the web service whose result arrays get their own feed titles.
inline constexpr const char* kWebServiceHost = "news.brackenfold.example";

class FeedReader {
 public:
  // A downloaded document whose current element is its root; url is the
  // address it came from and must not be empty.
  static FeedReader ForDownload(XmlDoc& doc, std::string_view url);
  // The stored copy inside the database's current FEED element.
  static FeedReader ForStoredFeed(XmlDoc& database);

  void ResetItems();
  bool NextItem();
  void ReadItem(unsigned fields);

  int FormatBits() const { return formatBits_; }
  const std::string& FormatName() const { return formatName_; }
  const std::string& FeedTitle() const { return feedTitle_; }
  const std::string& Url() const { return url_; }
  const std::string& BaseUrl() const { return baseUrl_; }
  const std::string& Version() const { return version_; }
  int ItemPosition() const { return item_; }

  const std::string& Title() const { return title_; }
  const std::string& Author() const { return author_; }
  const std::string& Category() const { return category_; }
  const std::string& Link() const { return link_; }
  const std::string& Description() const { return description_; }
  const std::string& Date() const { return date_; }
  const std::string& FirstTime() const { return firstTime_; }
  const std::string& Comments() const { return comments_; }
  const std::string& Seq() const { return seq_; }
  int Visited() const { return visited_; }

 private:
  FeedReader(XmlDoc& doc, std::string title, std::string_view url, int rootParent, int root);

  int ItemContainer() const;
  bool NextLeaf();
  int Child(std::string_view name);
  bool ChildText(std::string_view name, std::string& text);
  bool ChildMarkup(std::string_view name, std::string& text);
  bool FirstChildText(std::initializer_list<std::string_view> names, std::string& text);
  bool FirstChildMarkup(std::initializer_list<std::string_view> names, std::string& text);
  std::string BaseAt(int element, std::string base) const;
  std::string Absolute(int element, const std::string& reference);
  const std::string& FeedBase();
  void ReadRssLink();
  void ReadTitle();
  void ReadDescription();
  void ReadDate();
  void ReadCategory();
  void ReadLink();
  void ReadComments();
  void ReadAuthor();
  void ReadAtomLink();
  void ReadAtomAuthor();

  XmlDoc& doc_;
  std::string formatName_, feedTitle_, url_, baseUrl_, version_;
  int formatBits_ = FormatGeneric;
  std::string atomPrefix_;  // "a:" for <a:feed xmlns:a="...Atom">; empty otherwise
  std::string itemName_;    // the items' element name; empty for any element
  bool loneEntry_ = false;  // an Atom document of one entry
  std::optional<std::string> feedBase_;  // see FeedBase
  bool started_ = false;
  int rootParent_ = 0;
  int root_ = 0;
  int container_ = 0;   // the element whose children are the items
  int itemParent_ = 0;
  int item_ = 0;
  int depth_ = 1;       // nesting of the generic walk; 0 once it has ended

  std::string title_, author_, category_, link_, description_, date_;
  std::string firstTime_, comments_, seq_;
  int visited_ = 0;
};

// The title a new FEED gets from a downloaded document whose current element
// is its root.
std::string DownloadedFeedTitle(XmlDoc& doc, std::string_view url);

// Removes mark-up tags from item text; a line break or paragraph tag becomes
// one blank. Only real tags go: a "<" followed by a tag name, "/", "!" or
// "?", and a ">" later; any other "<" is text ("1 < 2", "a <3 b").
std::string StripTags(std::string_view text);

// Turns every run of white space into one blank and drops it at both ends.
void CollapseWhitespace(std::string& text);

// HTML as plain text: tags stripped, then character references decoded and
// double-encoded UTF-8 repaired. Line breaks stay.
std::string HtmlToText(std::string_view html);

// HtmlToText on one line: white space collapsed.
std::string HtmlToLine(std::string_view html);

// A one-line plain excerpt of HTML, at most maxLength characters (code
// points), "..." appended when it was cut.
std::string MakeExcerpt(std::string_view text, size_t maxLength);

// An Atom text construct of type "xhtml" (or Atom 0.3's
// "application/xhtml+xml"): its child elements are its content.
bool IsXhtmlConstruct(const XmlDoc& doc, int element);

}  // namespace vrel
