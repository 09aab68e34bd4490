#include "feeds/time_stamp.h"

#include <climits>
#include <cstdio>

namespace vrel {

namespace {

constexpr int64_t kMinute = 60;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = 24 * kHour;
constexpr int64_t kShortestPeriod = 20 * kMinute;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The field of digits text[first .. first + count); -1 when any is not a digit.
int DigitField(std::string_view text, size_t first, size_t count) {
  int value = 0;
  for (size_t i = first; i < first + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

struct DurationUnit {
  const char* word;
  const char* format;
  int64_t seconds;
};

const DurationUnit kUnits[] = {
    {"min", "%d minute%s", kMinute},
    {"hour", "%d hour%s", kHour},
    {"day", "%d day%s", kDay},
};

std::string FormatCount(const char* format, int count) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, format, count, count == 1 ? "" : "s");
  return buffer;
}

}  // namespace

std::string FormatLocalTime(std::time_t time, const char* format) {
  std::tm local{};
  localtime_r(&time, &local);
  char buffer[256];
  const size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, length);
}

std::string FormatTimeStamp(std::time_t time) { return FormatLocalTime(time, "%Y%m%d %H%M%S"); }

std::string FormatUserDateTime(std::time_t time) { return FormatLocalTime(time, "%c"); }

std::optional<TimeStamp> ParseTimeStamp(std::string_view text) {
  if (text.size() != kTimeStampLength) return std::nullopt;
  TimeStamp stamp;
  stamp.second = DigitField(text, 13, 2);
  stamp.minute = DigitField(text, 11, 2);
  stamp.hour = DigitField(text, 9, 2);
  stamp.day = DigitField(text, 6, 2);
  stamp.month = DigitField(text, 4, 2);
  stamp.year = DigitField(text, 0, 4);
  if (stamp.year <= 0 || stamp.month < 1 || stamp.month > 12 || stamp.day < 1) return std::nullopt;
  if (stamp.day > DaysInMonth(stamp.year, stamp.month)) return std::nullopt;
  if (stamp.hour < 0 || stamp.hour > 23 || stamp.minute < 0 || stamp.minute > 59 || stamp.second < 0 ||
      stamp.second > 59)
    return std::nullopt;
  return stamp;
}

std::time_t ToTime(const TimeStamp& stamp) {
  std::tm local{};
  local.tm_year = stamp.year - 1900;
  local.tm_mon = stamp.month - 1;
  local.tm_mday = stamp.day;
  local.tm_hour = stamp.hour;
  local.tm_min = stamp.minute;
  local.tm_sec = stamp.second;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

int LeadingInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    if (value <= INT_MAX) value = value * 10 + (text[i] - '0');
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

bool ReadDuration(std::string& text, int64_t& seconds) {
  const int count = LeadingInt(text);
  seconds = 0;
  for (const DurationUnit& unit : kUnits) {
    const size_t at = text.find(unit.word);
    if (at != std::string::npos && at > 0) {
      seconds = count * unit.seconds;
      text = FormatCount(unit.format, count);
      break;
    }
  }
  if (seconds <= 0) {
    seconds = 12 * kHour;
    text = "12 hours";
    return false;
  }
  if (seconds < kShortestPeriod) {
    seconds = kShortestPeriod;
    text = "20 minutes";
  }
  return true;
}

}  // namespace vrel
