#include "net/json_feed.h"

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "net/ascii_text.h"
#include "xml/xml_encoding.h"

namespace vrel {
namespace {

using Json = nlohmann::json;

bool StartsLikeJsonObject(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && text[first] == '{';
}

// The string member key of object; empty when it is missing or no string.
std::string Text(const Json& object, const char* key) {
  const auto member = object.find(key);
  return member != object.end() && member->is_string() ? member->get<std::string>() : std::string();
}

bool HasJsonFeedVersion(const Json& document) {
  return document.is_object() && Text(document, "version").starts_with(kJsonFeedVersionPrefix);
}

void AppendElement(std::string& out, const char* name, std::string_view text) {
  if (text.empty()) return;
  out += '<';
  out += name;
  out += '>';
  out += ToMarkupText(text);
  out += "</";
  out += name;
  out += '>';
}

// The names of version 1.1's "authors", else of version 1.0's "author".
std::string AuthorNames(const Json& object) {
  std::string names;
  const auto authors = object.find("authors");
  if (authors != object.end() && authors->is_array()) {
    for (const Json& author : *authors) {
      const std::string name = author.is_object() ? Text(author, "name") : std::string();
      if (name.empty()) continue;
      if (!names.empty()) names += ", ";
      names += name;
    }
  }
  const auto author = object.find("author");
  if (names.empty() && author != object.end() && author->is_object()) names = Text(*author, "name");
  return names;
}

std::string IdText(const Json& item) {
  const auto id = item.find("id");
  if (id == item.end()) return {};
  if (id->is_string()) return id->get<std::string>();
  // Version 1.0 feeds were allowed numbers here.
  if (id->is_number_integer()) return id->dump();
  return {};
}

void AppendItem(std::string& out, const Json& item, const std::string& feedAuthors) {
  out += "<item>";
  AppendElement(out, "title", Text(item, "title"));
  std::string link = Text(item, "url");
  if (link.empty()) link = Text(item, "external_url");
  AppendElement(out, "link", link);
  std::string description = Text(item, "content_html");
  if (description.empty()) description = Text(item, "content_text");
  if (description.empty()) description = Text(item, "summary");
  AppendElement(out, "description", description);
  AppendElement(out, "pubDate", Rfc822FromRfc3339(Text(item, "date_published")));
  const std::string authors = AuthorNames(item);
  AppendElement(out, "author", authors.empty() ? feedAuthors : authors);
  const auto tags = item.find("tags");
  if (tags != item.end() && tags->is_array()) {
    for (const Json& tag : *tags)
      if (tag.is_string()) AppendElement(out, "category", tag.get<std::string>());
  }
  const std::string id = IdText(item);
  if (!id.empty()) out += "<guid isPermaLink=\"false\">" + ToMarkupText(id) + "</guid>";
  out += "</item>";
}

std::string RssFromJsonFeed(const Json& feed) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>";
  AppendElement(out, "title", Text(feed, "title"));
  AppendElement(out, "link", Text(feed, "home_page_url"));
  AppendElement(out, "description", Text(feed, "description"));
  const std::string feedAuthors = AuthorNames(feed);
  const auto items = feed.find("items");
  if (items != feed.end() && items->is_array()) {
    for (const Json& item : *items)
      if (item.is_object()) AppendItem(out, item, feedAuthors);
  }
  out += "</channel></rss>\n";
  return out;
}

// Reads count decimal digits at text[at]; false when they are not all there.
bool ReadDigits(std::string_view text, size_t at, size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::string Rfc822FromRfc3339(std::string_view text) {
  int year, month, day, hour, minute, second;
  if (!ReadDigits(text, 0, 4, year) || text.size() < 19 || text[4] != '-' || !ReadDigits(text, 5, 2, month) ||
      text[7] != '-' || !ReadDigits(text, 8, 2, day) || (text[10] != 'T' && text[10] != 't' && text[10] != ' ') ||
      !ReadDigits(text, 11, 2, hour) || text[13] != ':' || !ReadDigits(text, 14, 2, minute) || text[16] != ':' ||
      !ReadDigits(text, 17, 2, second))
    return {};
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 60)
    return {};
  size_t at = 19;
  if (at < text.size() && text[at] == '.') {
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9';) ++at;
  }
  std::string zone;
  if (at + 1 == text.size() && (text[at] == 'Z' || text[at] == 'z')) {
    zone = "+0000";
  } else {
    int zoneHours, zoneMinutes;
    if (at + 6 != text.size() || (text[at] != '+' && text[at] != '-') || !ReadDigits(text, at + 1, 2, zoneHours) ||
        text[at + 3] != ':' || !ReadDigits(text, at + 4, 2, zoneMinutes) || zoneHours > 23 || zoneMinutes > 59)
      return {};
    zone = std::string(1, text[at]) + std::string(text.substr(at + 1, 2)) + std::string(text.substr(at + 4, 2));
  }
  static constexpr const char* kWeekdays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int64_t days = DaysFromCivil(year, month, day);
  const int64_t weekday = ((days % 7) + 7) % 7;  // 1970-01-01 was a Thursday
  char formatted[80];
  std::snprintf(formatted, sizeof formatted, "%s, %02d %s %04d %02d:%02d:%02d ", kWeekdays[weekday], day,
                kMonths[month - 1], year, hour, minute, second);
  return formatted + zone;
}

JsonFeedConversion ConvertJsonFeed(std::string_view text, std::string_view contentType) {
  JsonFeedConversion conversion;
  const bool declared = MediaType(contentType) == kJsonFeedMediaType;
  if (!declared && !StartsLikeJsonObject(text)) return conversion;
  const Json document = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (!HasJsonFeedVersion(document)) {
    if (declared) {
      conversion.isJsonFeed = true;
      conversion.error = document.is_discarded()
                             ? "the JSON Feed is not valid JSON"
                             : "the JSON Feed has no \"version\" of " + std::string(kJsonFeedVersionPrefix);
    }
    return conversion;
  }
  conversion.isJsonFeed = true;
  conversion.rss = RssFromJsonFeed(document);
  return conversion;
}

}  // namespace vrel
