#include "feeds/time_stamp.h"

#include <gtest/gtest.h>

namespace vrel {
namespace {

TEST(TimeStamp, FormatsAndReadsLocalTime) {
  const std::time_t moment = ToTime({2024, 2, 29, 23, 5, 9});
  EXPECT_EQ(FormatTimeStamp(moment), "20240229 230509");
  const auto stamp = ParseTimeStamp("20240229 230509");
  ASSERT_TRUE(stamp);
  EXPECT_EQ(ToTime(*stamp), moment);
}

TEST(TimeStamp, RejectsWrongLengthAndImpossibleDates) {
  EXPECT_FALSE(ParseTimeStamp("20240101 12000"));    // 14 characters
  EXPECT_FALSE(ParseTimeStamp("20240101 1200000"));  // 16
  EXPECT_FALSE(ParseTimeStamp("20241301 120000"));   // month 13
  EXPECT_FALSE(ParseTimeStamp("20240001 120000"));   // month 0
  EXPECT_FALSE(ParseTimeStamp("00000101 120000"));   // year 0
  EXPECT_FALSE(ParseTimeStamp("20230229 120000"));   // not a leap year
  EXPECT_FALSE(ParseTimeStamp("20240431 120000"));
  EXPECT_FALSE(ParseTimeStamp("20240101 240000"));
  EXPECT_FALSE(ParseTimeStamp("20240101 126000"));
  EXPECT_FALSE(ParseTimeStamp("2024x101 120000"));
  EXPECT_FALSE(ParseTimeStamp(""));
  EXPECT_TRUE(ParseTimeStamp("20000229 235959"));
}

TEST(TimeStamp, OrdersAsDates) {
  EXPECT_LT(*ParseTimeStamp("20231231 235959"), *ParseTimeStamp("20240101 000000"));
  EXPECT_LT(*ParseTimeStamp("20240101 095959"), *ParseTimeStamp("20240101 100000"));
  EXPECT_EQ(*ParseTimeStamp("20240101 100000"), *ParseTimeStamp("20240101 100000"));
}

struct DurationCase {
  const char* text;
  bool read;
  int64_t seconds;
  const char* rewritten;
};

TEST(Duration, ReadsAndRewritesPeriods) {
  const DurationCase cases[] = {
      {"30 minutes", true, 1800, "30 minutes"},
      {"2 hours", true, 7200, "2 hours"},
      {"1 hours", true, 3600, "1 hour"},
      {"1hour", true, 3600, "1 hour"},
      {"3 days", true, 3 * 86400, "3 days"},
      {"90 min", true, 5400, "90 minutes"},
      {"10 minutes", true, 1200, "20 minutes"},
      {"", false, 12 * 3600, "12 hours"},
      {"45", false, 12 * 3600, "12 hours"},
      {"min", false, 12 * 3600, "12 hours"},
      {"0 hours", false, 12 * 3600, "12 hours"},
      {"-2 days", false, 12 * 3600, "12 hours"},
      {"2 Hours", false, 12 * 3600, "12 hours"},  // unit words are case-sensitive
      {"2 daymin", true, 1200, "20 minutes"},     // "min" is looked for first
      {"99999999999999999999 days", true, int64_t{2147483647} * 86400, "2147483647 days"},
  };
  for (const DurationCase& c : cases) {
    std::string text = c.text;
    int64_t seconds = 0;
    EXPECT_EQ(ReadDuration(text, seconds), c.read) << c.text;
    EXPECT_EQ(seconds, c.seconds) << c.text;
    EXPECT_EQ(text, c.rewritten) << c.text;
  }
}

}  // namespace
}  // namespace vrel
