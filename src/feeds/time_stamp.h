// Time stamps and durations as the feed database writes them.
//
// A time stamp is local time in the 15 characters "%Y%m%d %H%M%S" produce.
// Stamps are compared for equality as text and ordered as calendar values,
// which for valid stamps is the order of their fields.
#pragma once

#include <compare>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace vrel {

constexpr size_t kTimeStampLength = 15;

struct TimeStamp {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;

  auto operator<=>(const TimeStamp&) const = default;
};

// The stamp of a moment in local time.
std::string FormatTimeStamp(std::time_t time);

// A moment in local time as strftime's format writes it (at most 255 bytes).
std::string FormatLocalTime(std::time_t time, const char* format);

// A moment as date and time in the user's own locale (strftime's "%c").
std::string FormatUserDateTime(std::time_t time);

// Reads a stamp; empty for any text that is not a valid local date and time.
std::optional<TimeStamp> ParseTimeStamp(std::string_view text);

// The moment a stamp names, in local time.
std::time_t ToTime(const TimeStamp& stamp);

// Reads a "period" text such as "30 minutes", "2 hours" or "1 day" into
// seconds and rewrites text in the canonical form. A period that names no
// unit or is not positive becomes 12 hours and the result is false; one
// shorter than 20 minutes becomes 20 minutes.
bool ReadDuration(std::string& text, int64_t& seconds);

// The decimal number at the start of text as C's atoi reads it (leading white
// space, a sign, digits), saturated to the int range; 0 when there is none.
int LeadingInt(std::string_view text);

}  // namespace vrel
