// The time built-ins: the clock as YmdHms text and as display text, YmdHms arithmetic, differences, day
// numbers, waiting until a time and for a number of seconds; IntControl 41 (four-digit years).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "builtins/args.h"
#include "builtins/intcontrol.h"
#include "builtins/registry.h"
#include "builtins/time.h"
#include "builtins/ymdhms.h"
#include "diag/errors.h"
#include "engine/pump.h"
#include "lang/keywords.h"
#include "platform/settings.h"
#include "platform/system.h"
#include "resources/strings.h"

namespace tov {

namespace {

// TimeDiffSecs answers for differences of at most this many days (about 60 years; the seconds fit 32 bits).
constexpr int64_t DIFF_SECS_MAX_DAYS = 22000;
// How often TimeWait looks at the clock.
constexpr uint32_t TIME_WAIT_STEP_MS = 100;
// TimeDelay waits in steps of at most this long, so the tick counter's wrap-around never matters.
constexpr double DELAY_STEP_MS = 3600000.0;
// The message of the weekdays' names: three characters each, Sunday first.
constexpr uint32_t MSG_WEEKDAYS = 207;

Ymdhms now_local() {
  const plat::LocalTime t = plat::local_time();
  return Ymdhms{t.year, t.month, t.day, t.hour, t.minute, t.second};
}

int64_t days_between(const Ymdhms& a, const Ymdhms& b) {
  return day_number(a.year, a.month, a.day) - day_number(b.year, b.month, b.day);
}

bool parse_two_datetimes(RunContext* ctx, ArgBlock& a, Ymdhms* first, Ymdhms* second) {
  if (ymdhms_parse(arg_str(ctx, a, 1), first, YMD_DATETIME, true) &&
      ymdhms_parse(arg_str(ctx, a, 2), second, YMD_DATETIME, true))
    return true;
  ctx->err = ERR_TIMEDIFF_VALUE;
  return false;
}

void bi_timeymdhms(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  set_ymdhms_result(ctx, result, now_local());
}

// TimeAdd and TimeSubtract: a datetime moved by a duration; any failure raises the function's error.
void move_by_duration(RunContext* ctx, Value* result, ArgBlock& a,
                      bool (*move)(const Ymdhms&, const Ymdhms&, Ymdhms*), uint16_t error) {
  Ymdhms base, delta, moved;
  if (!ymdhms_parse(arg_str(ctx, a, 1), &base, YMD_DATETIME, true) ||
      !ymdhms_parse(arg_str(ctx, a, 2), &delta, YMD_DURATION, false) || !move(base, delta, &moved)) {
    ctx->err = error;
    return;
  }
  set_ymdhms_result(ctx, result, moved);
}

void bi_timeadd(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  move_by_duration(ctx, result, a, ymdhms_add, ERR_TIMEADD);
}

void bi_timesubtract(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  move_by_duration(ctx, result, a, ymdhms_subtract, ERR_TIMESUBTRACT);
}

// Invalid datetimes and a second datetime later than the first both raise 1017.
void bi_timediff(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  Ymdhms first, second, duration;
  if (!parse_two_datetimes(ctx, a, &first, &second)) return;
  if (!ymdhms_diff(first, second, &duration)) {
    ctx->err = ERR_TIMEDIFF_VALUE;
    return;
  }
  set_ymdhms_result(ctx, result, duration);
}

void bi_timediffdays(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  Ymdhms first, second;
  if (!parse_two_datetimes(ctx, a, &first, &second)) return;
  const int64_t days = days_between(first, second);
  set_integer(ctx, result->c, int32_t(days));
}

void bi_timediffsecs(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  Ymdhms first, second;
  if (!parse_two_datetimes(ctx, a, &first, &second)) return;
  const int64_t days = days_between(first, second);
  if (days > DIFF_SECS_MAX_DAYS || days < -DIFF_SECS_MAX_DAYS) {
    ctx->err = ERR_TIMEDIFF_RANGE;
    return;
  }
  const int64_t seconds = ((days * 24 + (first.hour - second.hour)) * 60 + (first.minute - second.minute)) * 60 +
                          (first.second - second.second);
  set_integer(ctx, result->c, int32_t(seconds));
}

void bi_timejulianday(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  Ymdhms t;
  if (!ymdhms_parse(arg_str(ctx, a, 1), &t, YMD_DATE, true)) {
    ctx->err = ERR_TIME_VALUE;
    return;
  }
  set_integer(ctx, result->c, int32_t(day_number(t.year, t.month, t.day)));
}

// Day numbers after 9999:12:31 have no four-digit year: they are as invalid as those below 1.
void bi_timejultoymd(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int32_t n = arg_int(a, 1);
  if (n < 1 || n > DAY_NUMBER_MAX) {
    ctx->err = ERR_JULIAN_DATE;
    return;
  }
  set_ymdhms_result(ctx, result, date_of_day_number(n));
}

void bi_timedate(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  set_date_time_text(ctx, result, plat::local_time());
}

// Waits until the local clock reaches the target: the clock is read every 100 ms while messages are
// pumped; a stop request ends the wait.
void wait_until(RunContext* ctx, const Ymdhms& target) {
  const int64_t goal = ymdhms_seconds(target);
  while (!ctx->hdr.bCancel) {
    PumpMessages(ctx);
    if (ctx->hdr.bCancel) break;
    Wait(ctx, TIME_WAIT_STEP_MS);
    if (ymdhms_seconds(now_local()) >= goal) break;
  }
}

void bi_timewait(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  Ymdhms target;
  if (!time_wait_target(arg_str(ctx, a, 1), now_local(), &target)) {
    ctx->err = ERR_TIMEWAIT_FORMAT;
    return;
  }
  wait_until(ctx, target);
  set_integer(ctx, result->c, 1);
}

// Waits that many seconds, pumping messages; a stop request ends the wait. A negative time returns at
// once, zero yields once.
void bi_timedelay(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  double remaining = arg_float(a, 1) * 1000.0;
  if (remaining <= 0.0) {
    if (remaining == 0.0) Wait(ctx, 0);
  } else {
    uint32_t last = plat::tick_count();
    while (remaining >= 0.5 && !ctx->hdr.bCancel) {
      Wait(ctx, uint32_t(std::llround(remaining < DELAY_STEP_MS ? remaining : DELAY_STEP_MS)));
      const uint32_t now = plat::tick_count();
      remaining -= double(now - last);
      last = now;
    }
  }
  set_integer(ctx, result->c, 1);
}

// 41: 1 = YmdHms results with four-digit years, 0 = two; other values leave the setting. Returns the
// previous setting.
void ic_four_digit_year(RunContext* ctx, Value* result, const char* const p[4]) {
  const int32_t previous = ctx->bFourDigitYear ? 1 : 0;
  const int32_t wanted = intcontrol_number(p[0]);
  if (wanted == 0 || wanted == 1) ctx->bFourDigitYear = uint32_t(wanted);
  intcontrol_result(ctx, result, previous);
}

const BuiltinEntry kEntries[] = {
    {KW_TIMEADD, bi_timeadd},
    {KW_TIMEDATE, bi_timedate},
    {KW_TIMEDELAY, bi_timedelay},
    {KW_TIMEDIFF, bi_timediff},
    {KW_TIMEDIFFDAYS, bi_timediffdays},
    {KW_TIMEDIFFSECS, bi_timediffsecs},
    {KW_TIMEJULIANDAY, bi_timejulianday},
    {KW_TIMEJULTOYMD, bi_timejultoymd},
    {KW_TIMESUBTRACT, bi_timesubtract},
    {KW_TIMEWAIT, bi_timewait},
    {KW_TIMEYMDHMS, bi_timeymdhms},
};

const IntControlEntry kRequests[] = {
    {41, ic_four_digit_year},
};

}  // namespace

bool time_wait_target(const char* text, const Ymdhms& now, Ymdhms* target) {
  if (std::count(text, text + std::strlen(text), ':') != 5 || !ymdhms_parse(text, target, YMD_DURATION, false))
    return false;
  if (target->year || target->month || target->day) return ymdhms_parse(text, target, YMD_DATETIME, true);
  if (!ymdhms_parse(text, target, YMD_TIME_OF_DAY, false)) return false;
  target->year = now.year;
  target->month = now.month;
  target->day = now.day;
  if (ymdhms_seconds(now) <= ymdhms_seconds(*target)) return true;
  return ymdhms_add(*target, Ymdhms{0, 0, 1, 0, 0, 0}, target);
}

LegacyIntl read_legacy_intl() {
  LegacyIntl intl;
  char value[80];
  auto read = [&](const char* key, const char* def) {
    plat::system_profile_get_string("intl", key, def, value, sizeof value);
    return value;
  };
  intl.date_order = intcontrol_number(read("iDate", "0"));
  intl.clock_24 = intcontrol_number(read("iTime", "0")) != 0;
  if (const char* s = read("sDate", "/"); *s) intl.date_separator = *s;
  if (const char* s = read("sTime", ":"); *s) intl.time_separator = *s;
  intl.am = read("s1159", "AM");
  intl.pm = read("s2359", "PM");
  intl.four_digit_year = std::strstr(read("sShortDate", "M/d/yy"), "yyy") != nullptr;
  return intl;
}

std::string legacy_date_time_text(const plat::LocalTime& t, const char* weekdays, const LegacyIntl& intl) {
  char weekday[4] = {};
  if (std::strlen(weekdays) >= size_t(t.weekday * 3 + 3)) std::memcpy(weekday, weekdays + t.weekday * 3, 3);
  char year[16], date[48], time[32];
  if (intl.four_digit_year) std::snprintf(year, sizeof year, "%d", t.year);
  else std::snprintf(year, sizeof year, "%02d", t.year % 100);
  const char ds = intl.date_separator, ts = intl.time_separator;
  if (intl.date_order == 0) std::snprintf(date, sizeof date, "%2d%c%02d%c%s", t.month, ds, t.day, ds, year);
  else if (intl.date_order == 1) std::snprintf(date, sizeof date, "%2d%c%02d%c%s", t.day, ds, t.month, ds, year);
  else std::snprintf(date, sizeof date, "%s%c%02d%c%02d", year, ds, t.month, ds, t.day);
  int hour = t.hour;
  if (!intl.clock_24) hour = hour == 0 || hour == 12 ? 12 : hour > 12 ? hour - 12 : hour;
  std::snprintf(time, sizeof time, "%2d%c%02d%c%02d", hour, ts, t.minute, ts, t.second);
  std::string text = std::string(weekday) + " " + date + " " + time;
  if (!intl.clock_24) text += " " + (t.hour < 12 ? intl.am : intl.pm);
  return text;
}

void set_date_time_text(RunContext* ctx, Value* result, const plat::LocalTime& t) {
  std::u16string date, time;
  if (plat::format_user_date(t, &date) && plat::format_user_time(t, &time)) {
    char16_t weekdays[32];
    const int32_t n = load_string_w(ctx, MSG_WEEKDAYS, weekdays, 32);
    const std::u16string weekday = n >= t.weekday * 3 + 3 ? std::u16string(weekdays + t.weekday * 3, 3) : u"";
    set_text_result(ctx, result, weekday + u' ' + date + u' ' + time, false);
    return;
  }
  char weekdays[32];
  load_string(ctx, MSG_WEEKDAYS, weekdays, sizeof weekdays);
  const std::string text = legacy_date_time_text(t, weekdays, read_legacy_intl());
  set_string(ctx, result->c, text.c_str(), text.size());
}

extern const BuiltinFamily kTimeBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};
extern const IntControlFamily kTimeIntControls = {kRequests, sizeof kRequests / sizeof kRequests[0]};

}  // namespace tov
