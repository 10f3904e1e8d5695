// The YmdHms parser and formatter, day numbers and calendar arithmetic.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "builtins/ymdhms.h"
#include "engine/tovengine.h"

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

// The script case time_parsing runs the rules over datetimes, dates and durations through the built-ins;
// here the modes no built-in shows whole: the time of day, and the fields a date keeps unchecked.
TEST(Ymdhms, ParseRulesByMode) {
  struct Case {
    const char* in;
    int mode;
    bool expand;
    const char* out;
  } cases[] = {
      {"2004:02:29:23:59:59", YMD_DATETIME, true, "2004:02:29:23:59:59"},
      {"51:02:03", YMD_DATETIME, true, "1951:02:03:00:00:00"},
      {"1:02:03", YMD_DATETIME, false, "0001:02:03:00:00:00"},
      {"2000:01:01:24:00:00", YMD_DATE, true, "2000:01:01:00:00:00"},
      {"2000:01:01:25:61:61", YMD_DATE, true, "2000:01:01:25:61:61"},
      {"2000:02:30:00:00:00", YMD_DATE, true, "fail"},
      {"0:0:0:23:59:59", YMD_TIME_OF_DAY, true, "0000:00:00:23:59:59"},
      {"0:0:0:24:00:00", YMD_TIME_OF_DAY, true, "fail"},
      {"0:0:0:0:0:99999", YMD_DURATION, false, "0000:00:00:00:00:99999"},
      {"2000:01:01:00::00", YMD_DURATION, false, "fail"},
  };
  for (const Case& c : cases) EXPECT_EQ(parsed(c.in, c.mode, c.expand), c.out) << c.in << " mode " << c.mode;
  Ymdhms t{1, 2, 3, 4, 5, 6};
  EXPECT_FALSE(ymdhms_parse("2000:13:01", &t, YMD_DATETIME, true));
  EXPECT_EQ(text(t), "0000:00:00:00:00:00");
}

// The exported parser hands the fields to hosts and extenders as six integers.
TEST(Ymdhms, ExportedParserFillsSixFields) {
  struct Case {
    const char* in;
    int32_t mode, expand, ok;
    int32_t fields[6];
  } cases[] = {
      {"51:02:03:04:05:06", 1, 1, 1, {1951, 2, 3, 4, 5, 6}},
      {"51:02:03:04:05:06", 1, 0, 1, {51, 2, 3, 4, 5, 6}},
      {"2000:01:01:24:00:00", 2, 1, 1, {2000, 1, 1, 0, 0, 0}},
      {"2000:01:01:24:00:00", 1, 1, 0, {}},
      {"0:0:0:23:59:59", 3, 0, 1, {0, 0, 0, 23, 59, 59}},
      {"1:70:400", 0, 0, 1, {1, 70, 400, 0, 0, 0}},
      {"1:70:400", 1, 1, 0, {}},
  };
  for (const Case& c : cases) {
    int32_t fields[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(ParseYMDHMS(c.in, fields, c.mode, c.expand), c.ok) << c.in;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(fields[i], c.fields[i]) << c.in << " field " << i;
  }
  int32_t fields[6];
  EXPECT_EQ(ParseYMDHMS(nullptr, fields, 1, 1), 0);
  EXPECT_EQ(ParseYMDHMS("2000:01:01", nullptr, 1, 1), 0);
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

// The script case time_arithmetic checks the clamps, carries and borrows through TimeAdd, TimeSubtract and
// TimeDiff; here the cases it does not reach.
TEST(Ymdhms, AddSubtractAndDiffEdges) {
  EXPECT_EQ(add({2000, 1, 1, 0, 0, 0}, {2147483647, 2147483647, 0, 0, 0, 0}), "fail");
  EXPECT_EQ(sub({2001, 3, 31, 0, 0, 0}, {0, 13, 0, 0, 0, 0}), "2000:02:29:00:00:00");
  EXPECT_EQ(sub({0, 1, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 0}), "0000:01:01:00:00:00");
  EXPECT_EQ(diff({2001, 5, 1, 0, 0, 0}, {2001, 3, 31, 0, 0, 0}), "0000:01:01:00:00:00");
  EXPECT_EQ(diff({2001, 3, 1, 0, 0, 0}, {2001, 1, 31, 12, 0, 0}), "0000:01:00:12:00:00");
  // The February borrowed is the one before the first datetime's March, leap or not as its year is.
  EXPECT_EQ(diff({2005, 3, 1, 0, 0, 0}, {2004, 1, 28, 0, 0, 0}), "0001:01:01:00:00:00");
  EXPECT_EQ(diff({2001, 1, 1, 0, 0, 0}, {2001, 1, 1, 0, 0, 0}), "0000:00:00:00:00:00");
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
