// The YmdHms parser and formatter, day numbers and calendar arithmetic.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "builtins/ymdhms.h"

namespace tov {
namespace {

std::string text(const Ymdhms& t) {
  char buf[YMDHMS_TEXT_BYTES];
  ymdhms_format(t, true, buf);
  return buf;
}

// The parse result as text, or "fail".
std::string parsed(const char* s, int mode, bool expand = true) {
  Ymdhms t;
  return ymdhms_parse(s, &t, mode, expand) ? text(t) : "fail";
}

TEST(Ymdhms, ParseRulesByMode) {
  struct Case {
    const char* in;
    int mode;
    bool expand;
    const char* out;
  } cases[] = {
      {"2000:02:29", YMD_DATETIME, true, "2000:02:29:00:00:00"},
      {"2004:02:29:23:59:59", YMD_DATETIME, true, "2004:02:29:23:59:59"},
      {"2000:02:30", YMD_DATETIME, true, "fail"},
      {"1900:02:29", YMD_DATETIME, true, "fail"},
      {"2001:04:31", YMD_DATETIME, true, "fail"},
      {"01:02:03", YMD_DATETIME, true, "2001:02:03:00:00:00"},
      {"49:12:31", YMD_DATETIME, true, "2049:12:31:00:00:00"},
      {"51:02:03", YMD_DATETIME, true, "1951:02:03:00:00:00"},
      {"0001:02:03", YMD_DATETIME, true, "0001:02:03:00:00:00"},
      {"1:02:03", YMD_DATETIME, false, "0001:02:03:00:00:00"},
      {"12345:01:01", YMD_DATETIME, true, "fail"},     // more than four year digits
      {"02000:01:01", YMD_DATETIME, true, "fail"},
      {"2000:00:01", YMD_DATETIME, true, "fail"},
      {"2000:13:01", YMD_DATETIME, true, "fail"},
      {"2000:01:00", YMD_DATETIME, true, "fail"},
      {"2000:01:01:24:00:00", YMD_DATETIME, true, "fail"},
      {"2000:01:01:23:60:00", YMD_DATETIME, true, "fail"},
      {"2000:01:01:23:00:60", YMD_DATETIME, true, "fail"},
      {"2000:01:01:24:00:00", YMD_DATE, true, "2000:01:01:00:00:00"},
      {"2000:01:01:25:61:61", YMD_DATE, true, "2000:01:01:25:61:61"},
      {"2000:02:30:00:00:00", YMD_DATE, true, "fail"},
      {"0:0:0:23:59:59", YMD_TIME_OF_DAY, true, "0000:00:00:23:59:59"},
      {"0:0:0:24:00:00", YMD_TIME_OF_DAY, true, "fail"},
      {"0:0:0:0:0:99999", YMD_DURATION, false, "0000:00:00:00:00:99999"},
      {"0:0:0:0:0:2147483647", YMD_DURATION, false, "0000:00:00:00:00:2147483647"},
      {"0:0:0:0:0:2147483648", YMD_DURATION, false, "fail"},   // beyond 32 bits
      {"2000:01:", YMD_DURATION, false, "2000:01:00:00:00:00"},
      {":1:1", YMD_DURATION, false, "0000:01:01:00:00:00"},
      {"2000::01", YMD_DURATION, false, "fail"},
      {"2000:01:01:00::00", YMD_DURATION, false, "fail"},
      {"2000:01:01:00:00", YMD_DURATION, false, "fail"},          // four colons
      {"2000:01", YMD_DURATION, false, "fail"},
      {"2000:01:01:00:00:00:00", YMD_DURATION, false, "fail"},    // a seventh field
      {"2000:01:01:00:00:00:", YMD_DURATION, false, "fail"},
      {" 2000:01:01", YMD_DATETIME, true, "fail"},
      {"2000:01:01 ", YMD_DATETIME, true, "fail"},
      {"2000:-1:01", YMD_DURATION, false, "fail"},
      {"2000:01:01:00:00:00.000", YMD_DURATION, false, "fail"},
      {"", YMD_DURATION, false, "fail"},
  };
  for (const Case& c : cases) EXPECT_EQ(parsed(c.in, c.mode, c.expand), c.out) << c.in << " mode " << c.mode;
  Ymdhms t{1, 2, 3, 4, 5, 6};
  EXPECT_FALSE(ymdhms_parse("2000:13:01", &t, YMD_DATETIME, true));
  EXPECT_EQ(text(t), "0000:00:00:00:00:00");
}

TEST(Ymdhms, FormatsFourAndTwoDigitYears) {
  char buf[YMDHMS_TEXT_BYTES];
  EXPECT_EQ(ymdhms_format(Ymdhms{2024, 3, 9, 14, 5, 59}, false, buf), 17u);
  EXPECT_STREQ(buf, "24:03:09:14:05:59");
  ymdhms_format(Ymdhms{7, 1, 2, 0, 0, 0}, true, buf);
  EXPECT_STREQ(buf, "0007:01:02:00:00:00");
  ymdhms_format(Ymdhms{7, 1, 2, 0, 0, 0}, false, buf);
  EXPECT_STREQ(buf, "07:01:02:00:00:00");
}

TEST(Ymdhms, DayNumbersAreExactInversesOverEveryDay) {
  EXPECT_EQ(day_number(0, 1, 1), 1);
  EXPECT_EQ(day_number(2000, 1, 1), 730486);
  EXPECT_EQ(day_number(YMD_YEAR_MAX, 12, 31), DAY_NUMBER_MAX);
  int64_t expected = 1;
  for (int y = 0; y <= YMD_YEAR_MAX; ++y)
    for (int m = 1; m <= 12; ++m)
      for (int d = 1; d <= month_length(y, m); ++d, ++expected) {
        ASSERT_EQ(day_number(y, m, d), expected) << y << ":" << m << ":" << d;
        const Ymdhms back = date_of_day_number(expected);
        ASSERT_TRUE(back.year == y && back.month == m && back.day == d) << expected << " gives " << text(back);
      }
}

TEST(Ymdhms, SecondsRoundTrip) {
  const Ymdhms t{1601, 1, 1, 0, 0, 0};
  EXPECT_EQ(ymdhms_seconds(t), (day_number(1601, 1, 1) - 1) * 86400);
  const Ymdhms u{2038, 1, 19, 3, 14, 8};
  EXPECT_EQ(ymdhms_seconds(u) - ymdhms_seconds(Ymdhms{1970, 1, 1, 0, 0, 0}), 2147483648LL);
  EXPECT_EQ(text(ymdhms_from_seconds(ymdhms_seconds(u))), "2038:01:19:03:14:08");
  EXPECT_EQ(text(ymdhms_from_seconds(0)), "0000:01:01:00:00:00");
}

// The result of an arithmetic function as text, or "fail".
std::string calc(bool (*f)(const Ymdhms&, const Ymdhms&, Ymdhms*), const Ymdhms& a, const Ymdhms& b) {
  Ymdhms r;
  return f(a, b, &r) ? text(r) : "fail";
}
std::string add(const Ymdhms& b, const Ymdhms& d) { return calc(ymdhms_add, b, d); }
std::string sub(const Ymdhms& b, const Ymdhms& d) { return calc(ymdhms_subtract, b, d); }
std::string diff(const Ymdhms& a, const Ymdhms& b) { return calc(ymdhms_diff, a, b); }

TEST(Ymdhms, AddAndSubtractClampAndCarry) {
  EXPECT_EQ(add({2001, 1, 31, 0, 0, 0}, {0, 1, 0, 0, 0, 0}), "2001:02:28:00:00:00");
  EXPECT_EQ(add({2000, 1, 31, 0, 0, 0}, {0, 1, 0, 0, 0, 0}), "2000:02:29:00:00:00");
  EXPECT_EQ(add({2001, 1, 31, 0, 0, 0}, {0, 0, 0, 0, 0, 86400}), "2001:02:01:00:00:00");
  EXPECT_EQ(add({2001, 12, 31, 23, 59, 59}, {0, 0, 0, 0, 0, 1}), "2002:01:01:00:00:00");
  EXPECT_EQ(add({2001, 11, 30, 0, 0, 0}, {0, 14, 0, 0, 0, 0}), "2003:01:30:00:00:00");
  // Large deltas carry at once: ten million minutes, the largest seconds and days.
  EXPECT_EQ(add({2000, 1, 1, 0, 0, 0}, {0, 0, 0, 0, 10000000, 0}), "2019:01:05:10:40:00");
  EXPECT_EQ(add({2000, 1, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 2147483647}), "2068:01:19:03:14:07");
  EXPECT_EQ(add({2000, 1, 1, 0, 0, 0}, {0, 0, 2147483647, 0, 0, 0}), "fail");
  EXPECT_EQ(add({9999, 12, 31, 23, 59, 59}, {0, 0, 0, 0, 0, 1}), "fail");
  EXPECT_EQ(add({2000, 1, 1, 0, 0, 0}, {2147483647, 2147483647, 0, 0, 0, 0}), "fail");

  // Months taken back past January borrow years and clamp the day to the month reached.
  EXPECT_EQ(sub({2001, 3, 31, 0, 0, 0}, {0, 4, 0, 0, 0, 0}), "2000:11:30:00:00:00");
  EXPECT_EQ(sub({2001, 3, 31, 0, 0, 0}, {0, 1, 0, 0, 0, 0}), "2001:02:28:00:00:00");
  EXPECT_EQ(sub({2001, 3, 31, 0, 0, 0}, {0, 13, 0, 0, 0, 0}), "2000:02:29:00:00:00");
  EXPECT_EQ(sub({2001, 3, 1, 0, 0, 0}, {0, 0, 1, 0, 0, 0}), "2001:02:28:00:00:00");
  EXPECT_EQ(sub({2000, 1, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 1}), "1999:12:31:23:59:59");
  EXPECT_EQ(sub({2000, 1, 1, 0, 0, 0}, {0, 0, 0, 0, 10000000, 0}), "1980:12:26:13:20:00");
  EXPECT_EQ(sub({0, 1, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 1}), "fail");
  EXPECT_EQ(sub({0, 1, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 0}), "0000:01:01:00:00:00");
  EXPECT_EQ(sub({2000, 1, 1, 0, 0, 0}, {2147483647, 0, 0, 0, 0, 0}), "fail");
}

TEST(Ymdhms, DiffBorrowsAsAddClamps) {
  EXPECT_EQ(diff({2001, 3, 1, 0, 0, 0}, {2001, 2, 28, 0, 0, 0}), "0000:00:01:00:00:00");
  EXPECT_EQ(diff({2000, 3, 1, 0, 0, 0}, {2000, 1, 31, 0, 0, 0}), "0000:01:01:00:00:00");
  EXPECT_EQ(diff({2001, 5, 1, 0, 0, 0}, {2001, 3, 31, 0, 0, 0}), "0000:01:01:00:00:00");
  EXPECT_EQ(diff({2001, 3, 1, 0, 0, 0}, {2001, 1, 31, 12, 0, 0}), "0000:01:00:12:00:00");
  // The February borrowed is the one before the first datetime's March, leap or not as its year is.
  EXPECT_EQ(diff({2004, 3, 1, 0, 0, 0}, {2003, 1, 28, 0, 0, 0}), "0001:01:02:00:00:00");
  EXPECT_EQ(diff({2003, 3, 1, 0, 0, 0}, {2004, 1, 28, 0, 0, 0}), "fail");
  EXPECT_EQ(diff({2005, 3, 1, 0, 0, 0}, {2004, 1, 28, 0, 0, 0}), "0001:01:01:00:00:00");
  EXPECT_EQ(diff({2001, 1, 1, 0, 0, 0}, {2001, 1, 1, 0, 0, 0}), "0000:00:00:00:00:00");
  EXPECT_EQ(diff({2001, 1, 1, 0, 0, 0}, {2001, 1, 1, 0, 0, 1}), "fail");
  EXPECT_EQ(diff({2001, 1, 1, 0, 0, 0}, {2001, 2, 1, 0, 0, 0}), "fail");

  // Adding the difference to the earlier datetime gives the later one.
  std::mt19937 rng(12345);
  auto random_time = [&] {
    const int64_t n = std::uniform_int_distribution<int64_t>(day_number(1900, 1, 1), day_number(2100, 12, 31))(rng);
    Ymdhms t = date_of_day_number(n);
    t.hour = int32_t(rng() % 24);
    t.minute = int32_t(rng() % 60);
    t.second = int32_t(rng() % 60);
    return t;
  };
  for (int i = 0; i < 20000; ++i) {
    Ymdhms a = random_time(), b = random_time();
    if (ymdhms_seconds(a) < ymdhms_seconds(b)) std::swap(a, b);
    Ymdhms d, back;
    ASSERT_TRUE(ymdhms_diff(a, b, &d)) << text(a) << " - " << text(b);
    ASSERT_TRUE(ymdhms_add(b, d, &back));
    ASSERT_EQ(text(back), text(a)) << text(a) << " - " << text(b) << " = " << text(d);
  }
}

}  // namespace
}  // namespace tov
