#include "xml_bench_docs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>

namespace vrel::bench {
namespace {

// splitmix64: tiny and the same sequence everywhere, unlike the standard
// distributions, so a seed names one document on every machine.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Between(int low, int high) { return low + static_cast<int>(Next() % static_cast<uint64_t>(high - low + 1)); }
  bool Percent(int percent) { return Between(0, 99) < percent; }
  template <size_t N>
  const char* Pick(const char* const (&choices)[N]) { return choices[Next() % N]; }

 private:
  uint64_t state_;
};

void AppendEscaped(std::string& out, std::string_view raw, char quote) {
  for (char c : raw) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += quote ? ">" : "&gt;"; break;  // legal as is inside attribute values
      case '"': out += quote == '"' ? "&quot;" : "\""; break;
      case '\'': out += quote == '\'' ? "&apos;" : "'"; break;
      default: out += c;
    }
  }
}

// Attribute list of one start tag, values escaped for their quotes.
class Attrs {
 public:
  Attrs& Add(std::string_view name, std::string_view value, char quote = '"') {
    text_ += ' ';
    text_ += name;
    text_ += '=';
    text_ += quote;
    AppendEscaped(text_, value, quote);
    text_ += quote;
    return *this;
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// Appends mark-up and keeps count of the elements and the depth it writes.
class Writer {
 public:
  void Raw(std::string_view text) { doc_.text += text; }
  void NewLine(int indent) {
    doc_.text += '\n';
    doc_.text.append(static_cast<size_t>(indent), ' ');
  }
  void Open(std::string_view name, const Attrs& attrs = {}) {
    StartTag(name, attrs);
    doc_.text += '>';
    ++depth_;
  }
  void Close(std::string_view name) {
    doc_.text += "</";
    doc_.text += name;
    doc_.text += '>';
    --depth_;
  }
  void Empty(std::string_view name, const Attrs& attrs) {
    StartTag(name, attrs);
    doc_.text += "/>";
  }
  void Text(std::string_view raw) { AppendEscaped(doc_.text, raw, 0); }
  void CData(std::string_view raw) {
    doc_.text += "<![CDATA[";
    doc_.text += raw;
    doc_.text += "]]>";
  }
  void Leaf(std::string_view name, std::string_view raw, const Attrs& attrs = {}) {
    Open(name, attrs);
    Text(raw);
    Close(name);
  }
  int Depth() const { return depth_; }
  size_t Size() const { return doc_.text.size(); }
  GeneratedDoc Finish() { return std::move(doc_); }

 private:
  void StartTag(std::string_view name, const Attrs& attrs) {
    doc_.text += '<';
    doc_.text += name;
    doc_.text += attrs.Text();
    ++doc_.elements;
    doc_.maxDepth = std::max(doc_.maxDepth, depth_ + 1);
  }

  GeneratedDoc doc_;
  int depth_ = 0;
};

const char* const kWords[] = {
    "council", "approves", "budget", "for", "new", "harbour", "bridge", "and", "tram", "line",
    "market", "rally", "shares", "fall", "after", "report", "on", "inflation", "election", "results",
    "delayed", "storm", "warning", "issued", "coast", "researchers", "find", "evidence", "of", "water",
    "the", "a", "in", "with", "over", "under", "city", "team", "wins", "final",
    "minister", "resigns", "amid", "protests", "school", "reopens", "flood", "hospital", "opens", "wing",
    "software", "update", "fixes", "security", "flaw", "open-source", "project", "releases", "version", "2.4",
    "café", "Zürich", "São Paulo", "naïve", "résumé", "Kraków", "“quoted”", "—", "’s", "€12m",
    "satellite", "launch", "postponed", "court", "rules", "against", "merger", "festival", "draws", "crowds",
    "R&D", "Q&A", "<b>", "5 > 3", "AT&T", "\"live\"", "it's", "100%", "#1", "@newsdesk"};
const char* const kSections[] = {"world", "business", "science", "tech", "sport", "culture", "local"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kAuthors[] = {"Jane Doe", "Ana Lucía Pérez", "Tomasz Wójcik", "Li Wei", "O'Brien, Siobhan",
                                "Newsdesk", "Kwame Mensah", "Jürgen Müller"};
const char* const kCategories[] = {"Politics", "Economy", "Climate", "Transport", "Health", "Technology",
                                   "Football", "Arts & Culture", "Science", "Opinion", "Breaking News"};
const char* const kMediaTypes[] = {"audio/mpeg", "audio/mp4", "video/mp4", "image/jpeg", "application/pdf"};

std::string Sentence(Rng& rng, int words) {
  std::string text;
  for (int i = 0; i < words; ++i) {
    if (i) text += ' ';
    text += rng.Pick(kWords);
  }
  return text;
}

std::string Hex(Rng& rng, int digits) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < digits; ++i) text += kDigits[rng.Next() & 15];
  return text;
}

struct CivilTime {
  int year, month, day, weekday, hour, minute, second;
};

// Days-to-date after H. Hinnant's civil_from_days; 1970-01-01 was a Thursday.
CivilTime ToCivil(int64_t unixSeconds) {
  int64_t days = unixSeconds / 86400, secondOfDay = unixSeconds % 86400;
  int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t dayOfEra = z - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t mp = (5 * dayOfYear + 2) / 153;
  int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
  return {year, month, static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1), static_cast<int>((days + 4) % 7),
          static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
          static_cast<int>(secondOfDay % 60)};
}

std::string Rfc822Date(int64_t unixSeconds) {
  static const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  CivilTime t = ToCivil(unixSeconds);
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", kWeekdays[t.weekday], t.day,
                kMonths[t.month - 1], t.year, t.hour, t.minute, t.second);
  return text;
}

std::string ArticleLink(Rng& rng, int64_t unixSeconds, int id) {
  CivilTime t = ToCivil(unixSeconds);
  char path[64];
  std::snprintf(path, sizeof path, "/%04d/%02d/%02d/", t.year, t.month, t.day);
  std::string link = std::string("https://news.example.org/") + rng.Pick(kSections) + path;
  link += rng.Pick(kWords);
  link += '-';
  link += rng.Pick(kWords);
  link += '-' + std::to_string(id) + ".html";
  if (rng.Percent(25)) link += "?utm_source=rss&utm_medium=feed";  // escaped as &amp; in the feed
  return link;
}

// HTML as feeds carry it in descriptions: paragraphs with links, emphasis,
// entity references of its own and now and then a picture.
std::string ArticleHtml(Rng& rng, int paragraphs) {
  std::string html;
  for (int p = 0; p < paragraphs; ++p) {
    html += "<p>" + Sentence(rng, rng.Between(12, 40));
    if (rng.Percent(40)) html += " <a href=\"https://news.example.org/related/" + Hex(rng, 8) + "\">" +
                                 Sentence(rng, rng.Between(2, 5)) + "</a>";
    if (rng.Percent(25)) html += " <em>" + Sentence(rng, rng.Between(2, 6)) + "</em>&nbsp;&mdash;";
    html += ' ' + Sentence(rng, rng.Between(8, 30)) + ".</p>";
    if (rng.Percent(15)) html += "<img src=\"https://media.example.org/img/" + Hex(rng, 12) +
                                 ".jpg\" alt=\"" + Sentence(rng, 3) + "\" width=\"640\" height=\"360\" />";
  }
  return html;
}

void WriteChannelHead(Writer& w, Rng& rng, int64_t now) {
  w.Raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<?xml-stylesheet type=\"text/xsl\" href=\"/rss.xsl\"?>\n");
  w.Open("rss", Attrs()
                    .Add("version", "2.0")
                    .Add("xmlns:dc", "http://purl.org/dc/elements/1.1/")
                    .Add("xmlns:content", "http://purl.org/rss/1.0/modules/content/")
                    .Add("xmlns:atom", "http://www.w3.org/2005/Atom")
                    .Add("xmlns:media", "http://search.yahoo.com/mrss/"));
  w.NewLine(2);
  w.Open("channel");
  w.NewLine(4);
  w.Leaf("title", "Example News & Views — Top Stories");
  w.NewLine(4);
  w.Leaf("link", "https://news.example.org/");
  w.NewLine(4);
  w.Leaf("description", "The latest stories from Example News: " + Sentence(rng, 12));
  w.NewLine(4);
  w.Leaf("language", "en-gb");
  w.NewLine(4);
  w.Leaf("copyright", "© 2024 Example News Ltd. All rights reserved.");
  w.NewLine(4);
  w.Leaf("lastBuildDate", Rfc822Date(now));
  w.NewLine(4);
  w.Leaf("generator", "newsroom-cms 7.3");
  w.NewLine(4);
  w.Empty("atom:link", Attrs()
                           .Add("href", "https://news.example.org/rss/top.xml")
                           .Add("rel", "self")
                           .Add("type", "application/rss+xml"));
  w.NewLine(4);
  w.Leaf("ttl", "15");
  w.NewLine(4);
  w.Open("image");
  w.Leaf("url", "https://news.example.org/logo.png");
  w.Leaf("title", "Example News & Views");
  w.Leaf("link", "https://news.example.org/");
  w.Leaf("width", "144");
  w.Leaf("height", "48");
  w.Close("image");
  w.NewLine(4);
  w.Raw("<!-- items are newest first -->");
}

void WriteItem(Writer& w, Rng& rng, int id, int64_t published) {
  const std::string link = ArticleLink(rng, published, id);
  w.NewLine(4);
  w.Open("item");
  w.NewLine(6);
  w.Leaf("title", Sentence(rng, rng.Between(5, 13)));
  w.NewLine(6);
  w.Leaf("link", link);
  w.NewLine(6);
  if (rng.Percent(60))
    w.Leaf("guid", link, Attrs().Add("isPermaLink", "true"));
  else
    w.Leaf("guid", "urn:uuid:" + Hex(rng, 8) + '-' + Hex(rng, 4) + '-' + Hex(rng, 4) + '-' + Hex(rng, 12),
           Attrs().Add("isPermaLink", "false"));
  w.NewLine(6);
  w.Leaf("pubDate", Rfc822Date(published));
  if (rng.Percent(70)) {
    w.NewLine(6);
    w.Leaf("dc:creator", rng.Pick(kAuthors));
  }
  for (int c = rng.Between(1, 4); c > 0; --c) {
    w.NewLine(6);
    w.Leaf("category", rng.Pick(kCategories),
           rng.Percent(30) ? Attrs().Add("domain", "https://news.example.org/topics") : Attrs());
  }
  w.NewLine(6);
  w.Open("description");
  if (rng.Percent(25))
    w.CData(ArticleHtml(rng, rng.Between(1, 3)));
  else
    w.Text(ArticleHtml(rng, rng.Between(1, 3)));
  w.Close("description");
  if (rng.Percent(15)) {
    w.NewLine(6);
    w.Open("content:encoded");
    w.CData(ArticleHtml(rng, rng.Between(3, 8)));
    w.Close("content:encoded");
  }
  if (rng.Percent(40)) {
    w.NewLine(6);
    w.Leaf("comments", link + "#comments");
  }
  if (rng.Percent(30)) {
    w.NewLine(6);
    w.Empty("enclosure", Attrs()
                             .Add("url", "https://media.example.org/files/" + Hex(rng, 16) + ".bin")
                             .Add("length", std::to_string(rng.Between(20000, 90000000)))
                             .Add("type", rng.Pick(kMediaTypes)));
  }
  if (rng.Percent(20)) {
    w.NewLine(6);
    w.Empty("media:thumbnail", Attrs()
                                   .Add("url", "https://media.example.org/thumb/" + Hex(rng, 12) + ".jpg")
                                   .Add("width", "240")
                                   .Add("height", "135"));
  }
  w.NewLine(4);
  w.Close("item");
}

std::string Decimal(Rng& rng, int range) {
  int hundredths = rng.Between(-range * 100, range * 100);
  char text[24];
  std::snprintf(text, sizeof text, "%s%d.%02d", hundredths < 0 ? "-" : "", std::abs(hundredths) / 100,
                std::abs(hundredths) % 100);
  return text;
}

Attrs GroupAttributes(Rng& rng, int id) {
  static const char* const kClasses[] = {"layer", "visible", "locked", "shadow", "group", "muted", "selected"};
  static const char* const kOwners[] = {"R&D", "design", "\"ops\" team", "QA <nightly>", "l'atelier"};
  Attrs attrs;
  attrs.Add("id", "g" + std::to_string(id));
  std::string classes = rng.Pick(kClasses);
  for (int c = rng.Between(0, 2); c > 0; --c) classes = classes + ' ' + rng.Pick(kClasses);
  attrs.Add("class", classes).Add("x", Decimal(rng, 2000)).Add("y", Decimal(rng, 2000));
  attrs.Add("width", std::to_string(rng.Between(1, 4096))).Add("height", std::to_string(rng.Between(1, 4096)));
  if (rng.Percent(50)) attrs.Add("transform", "rotate(" + Decimal(rng, 180) + ' ' + Decimal(rng, 50) + ')');
  if (rng.Percent(40)) attrs.Add("opacity", "0." + std::to_string(rng.Between(10, 99)));
  if (rng.Percent(30)) attrs.Add("data-owner", rng.Pick(kOwners), rng.Percent(50) ? '"' : '\'');
  if (rng.Percent(25)) attrs.Add("x:ref", "#g" + std::to_string(rng.Between(1, id)), '\'');
  attrs.Add("visible", rng.Percent(90) ? "true" : "false");
  return attrs;
}

Attrs PropertyAttributes(Rng& rng) {
  static const char* const kNames[] = {"stroke", "fill", "font-size", "label", "weight", "condition"};
  static const char* const kUnits[] = {"px", "mm", "pt", "rgb", "%", "em"};
  Attrs attrs;
  const char* name = rng.Pick(kNames);
  attrs.Add("name", name);
  if (rng.Percent(15))
    attrs.Add("value", "a > b && c < " + std::to_string(rng.Between(0, 99)));
  else
    attrs.Add("value", rng.Percent(50) ? '#' + Hex(rng, 6) : Decimal(rng, 500));
  attrs.Add("unit", rng.Pick(kUnits));
  if (rng.Percent(30)) attrs.Add("inherit", "no", '\'');
  return attrs;
}

}  // namespace

GeneratedDoc GenerateRssFeed(size_t targetBytes, uint64_t seed) {
  static constexpr std::string_view kTail = "\n  </channel>\n</rss>\n";
  Rng rng(seed);
  Writer w;
  int64_t published = 1719748800;  // 2024-06-30 12:00:00 UTC, going back in time
  WriteChannelHead(w, rng, published);
  for (int id = 1; w.Size() + kTail.size() < targetBytes; ++id) {
    WriteItem(w, rng, id, published);
    published -= rng.Between(60, 90 * 60);
  }
  w.NewLine(2);
  w.Close("channel");
  w.NewLine(0);
  w.Close("rss");
  w.NewLine(0);
  return w.Finish();
}

GeneratedDoc GenerateNestedAttributes(size_t targetBytes, uint64_t seed, int maxDepth) {
  Rng rng(seed);
  Writer w;
  w.Raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  w.Open("scene", Attrs().Add("version", "3").Add("units", "mm").Add("xmlns:x", "urn:example:extensions"));
  const int deepestGroup = std::max(2, maxDepth - 1);  // leaves sit one level below a group
  int nextId = 1;
  while (w.Size() < targetBytes) {
    const int diveTo = rng.Between(std::min(8, deepestGroup), deepestGroup);
    while (w.Depth() < diveTo) {
      w.NewLine(0);
      w.Open("g", GroupAttributes(rng, nextId++));
      for (int leaves = rng.Between(0, 2); leaves > 0; --leaves) {
        w.NewLine(0);
        w.Empty("p", PropertyAttributes(rng));
      }
    }
    if (rng.Percent(30)) {
      w.NewLine(0);
      w.Leaf("label", Sentence(rng, rng.Between(2, 8)), Attrs().Add("lang", "en").Add("dir", "ltr"));
    }
    for (const int climbTo = rng.Between(1, w.Depth() - 1); w.Depth() > climbTo;) {
      w.NewLine(0);
      w.Close("g");
    }
  }
  while (w.Depth() > 1) {
    w.NewLine(0);
    w.Close("g");
  }
  w.NewLine(0);
  w.Close("scene");
  w.NewLine(0);
  return w.Finish();
}

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

std::vector<CorpusFile> LoadCorpus(const std::string& dir, std::vector<std::string>& unreadable) {
  std::vector<CorpusFile> files;
  std::ifstream manifest(dir + "/MANIFEST.tsv");
  std::string line;
  if (!std::getline(manifest, line)) {
    unreadable.push_back(dir + "/MANIFEST.tsv");
    return files;
  }
  const std::vector<std::string> header = SplitTabs(line);
  const auto column = [&](std::string_view name) {
    return static_cast<size_t>(std::find(header.begin(), header.end(), name) - header.begin());
  };
  const size_t fileColumn = column("file"), wellFormedColumn = column("xml_wellformed");
  while (std::getline(manifest, line)) {
    const std::vector<std::string> fields = SplitTabs(line);
    if (fileColumn >= fields.size() || fields[fileColumn].empty()) continue;
    CorpusFile file;
    file.name = fields[fileColumn];
    file.wellFormed = wellFormedColumn < fields.size() && fields[wellFormedColumn] == "yes";
    if (ReadWholeFile(dir + '/' + file.name, file.text))
      files.push_back(std::move(file));
    else
      unreadable.push_back(file.name);
  }
  return files;
}

}  // namespace vrel::bench
