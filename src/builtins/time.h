// Parts of the time built-ins that do not touch the clock: TimeWait's target, TimeDate's text for a given
// time (also the text of a file's time), and that text when the system cannot format the date and time in
// the user's formats.
#pragma once
#include <string>

#include "builtins/ymdhms.h"
#include "platform/system.h"

namespace tov {

// The datetime TimeWait waits for, from its text (five colons) and the local time now. Year, month and day
// all 0 stand for today, or for tomorrow when that time of day has passed. False for text not in form.
bool time_wait_target(const char* text, const Ymdhms& now, Ymdhms* target);

// Sets TimeDate's text for the time as an ANSI string result: the weekday's three letters, the date in the
// user's short date format and the time in the user's time format (the legacy form below when the system
// cannot format them).
void set_date_time_text(RunContext* ctx, Value* result, const plat::LocalTime& t);

// TimeDate's legacy form, built from the [intl] settings of the system profile.
struct LegacyIntl {
  int date_order = 0;          // iDate: 0 month-day-year, 1 day-month-year, otherwise year-month-day
  bool clock_24 = false;       // iTime: 0 a 12-hour clock with s1159/s2359 after the time
  char date_separator = '/';   // sDate
  char time_separator = ':';   // sTime
  std::string am = "AM", pm = "PM";   // s1159, s2359
  bool four_digit_year = false;       // sShortDate contains "yyy"
};

LegacyIntl read_legacy_intl();
// "Wed  3/09/24  2:05:59 PM": the weekday's three characters from weekdays (Sunday first), the date and the
// time by the settings.
std::string legacy_date_time_text(const plat::LocalTime& t, const char* weekdays, const LegacyIntl& intl);

}  // namespace tov
