// JSON Feed 1.0 and 1.1 read as RSS 2.0: a download that turns out to be a
// JSON Feed is handed on as the equivalent RSS document, so that everything
// downstream of the download component reads one format it knows.
#pragma once

#include <string>
#include <string_view>

namespace vrel {

inline constexpr std::string_view kJsonFeedVersionPrefix = "https://jsonfeed.org/version/";
inline constexpr std::string_view kJsonFeedMediaType = "application/feed+json";

struct JsonFeedConversion {
  bool isJsonFeed = false;  // false: the text is something else, left alone
  std::string rss;          // the RSS 2.0 document when converted
  std::string error;        // set when a JSON Feed could not be read
};

// A JSON Feed is a body served as application/feed+json, or a JSON object
// whose "version" begins with kJsonFeedVersionPrefix.
JsonFeedConversion ConvertJsonFeed(std::string_view text, std::string_view contentType);

// An RFC 3339 date and time ("2024-06-01T10:00:00+02:00") in the RFC 822
// form RSS uses ("Sat, 01 Jun 2024 10:00:00 +0200"); empty when it cannot
// be read.
std::string Rfc822FromRfc3339(std::string_view dateTime);

}  // namespace vrel
