// The time built-ins: TimeWait's target, TimeDate's legacy text, and waits (Delay's too) ended by a stop
// request.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "builtins/time.h"
#include "platform/ui.h"
#include "test_context.h"

namespace tov {
namespace {

using test::TestContext;

std::string target_of(const char* text, const Ymdhms& now) {
  Ymdhms t;
  if (!time_wait_target(text, now, &t)) return "fail";
  char buf[YMDHMS_TEXT_BYTES];
  ymdhms_format(t, true, buf);
  return buf;
}

TEST(TimeBuiltins, TimeWaitTarget) {
  const Ymdhms now{2001, 12, 31, 23, 0, 0};
  EXPECT_EQ(target_of("0000:00:00:23:30:00", now), "2001:12:31:23:30:00");
  EXPECT_EQ(target_of("0:0:0:23:00:00", now), "2001:12:31:23:00:00");      // now: today still
  EXPECT_EQ(target_of("0:0:0:22:59:59", now), "2002:01:01:22:59:59");      // passed: tomorrow
  EXPECT_EQ(target_of("0:0:0:00:00:00", Ymdhms{2000, 2, 28, 1, 0, 0}), "2000:02:29:00:00:00");
  EXPECT_EQ(target_of("99:01:02:03:04:05", now), "1999:01:02:03:04:05");
  EXPECT_EQ(target_of("2000:01:01:00:00:00", now), "2000:01:01:00:00:00");
  for (const char* bad : {"2000:01:01", "0:0:0:24:00:00", "0:0:0:12:60:00", "2000:00:01:00:00:00",
                          "2000:02:30:00:00:00", "2000::01:00:00:00", "2000:01:01:00:00:00:00", "0:0:0:1:2:3 "})
    EXPECT_EQ(target_of(bad, now), "fail") << bad;
  EXPECT_EQ(target_of("0:0:0:00:00:00", Ymdhms{9999, 12, 31, 1, 0, 0}), "fail");
}

TEST(TimeBuiltins, LegacyDateTimeText) {
  const plat::LocalTime t{2024, 3, 9, 14, 5, 59, 0, 6};
  const plat::LocalTime midnight{2024, 3, 9, 0, 7, 8, 0, 6};
  const char* days = "SunMonTueWedThuFriSat";
  LegacyIntl us;
  EXPECT_EQ(legacy_date_time_text(t, days, us), "Sat  3/09/24  2:05:59 PM");
  EXPECT_EQ(legacy_date_time_text(midnight, days, us), "Sat  3/09/24 12:07:08 AM");
  LegacyIntl europe;
  europe.date_order = 1;
  europe.clock_24 = true;
  europe.date_separator = '.';
  europe.four_digit_year = true;
  EXPECT_EQ(legacy_date_time_text(t, days, europe), "Sat  9.03.2024 14:05:59");
  LegacyIntl iso;
  iso.date_order = 2;
  iso.clock_24 = true;
  iso.date_separator = '-';
  iso.time_separator = '.';
  EXPECT_EQ(legacy_date_time_text(midnight, days, iso), "Sat 24-03-09  0.07.08");
  iso.clock_24 = false;
  iso.am = "vorm.";
  EXPECT_EQ(legacy_date_time_text(midnight, days, iso), "Sat 24-03-09 12.07.08 vorm.");
}

TEST(TimeBuiltins, TimeDateBeginsWithTheWeekday) {
  TestContext t;
  const plat::LocalTime now = plat::local_time();
  const std::string text = t.text_of("timedate()");
  ASSERT_EQ(t.err(), 0);
  const std::string days = "SunMonTueWedThuFriSat";
  // A day may begin between the two readings of the clock.
  const std::string weekday = text.substr(0, 3);
  EXPECT_TRUE(weekday == days.substr(size_t(now.weekday) * 3, 3) ||
              weekday == days.substr(size_t((now.weekday + 1) % 7) * 3, 3))
      << text;
  EXPECT_EQ(text[3], ' ');
}

#ifndef _WIN32
// Each wait would last far longer than the test; a stop request after 150 ms ends it.
TEST(TimeBuiltins, WaitsEndAtAStopRequest) {
  for (const char* expr : {"delay(20)", "timedelay(3600)", "timewait(\"9999:12:31:23:59:59\")"}) {
    TestContext t;
    plat::install_break_handler();
    std::thread interrupter([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      std::raise(SIGINT);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(t.text_of(expr), "1") << expr;
    const auto waited = std::chrono::steady_clock::now() - start;
    interrupter.join();
    EXPECT_LT(waited, std::chrono::seconds(60)) << expr;
    EXPECT_EQ(t->hdr.bCancel, 1u) << expr;
  }
}
#endif

}  // namespace
}  // namespace tov
