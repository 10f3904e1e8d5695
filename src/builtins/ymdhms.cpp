#include "builtins/ymdhms.h"

#include <algorithm>
#include <cstdio>

#include "engine/context.h"
#include "lang/values.h"

namespace tov {

namespace {

constexpr int64_t SECONDS_PER_DAY = 86400;

// Division rounding toward negative infinity, and its remainder (never negative).
int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }

// Brings seconds and minutes into 0..59 and hours into 0..23, carrying or borrowing into the next field.
void normalise_time(int64_t& day, int64_t& hour, int64_t& minute, int64_t& second) {
  minute += floor_div(second, 60);
  second = floor_mod(second, 60);
  hour += floor_div(minute, 60);
  minute = floor_mod(minute, 60);
  day += floor_div(hour, 24);
  hour = floor_mod(hour, 24);
}

// The date `days` days after the first of (year, month) with the given time; false outside the range.
bool from_month_start(int64_t year, int64_t month, int64_t days, int64_t hour, int64_t minute, int64_t second,
                      Ymdhms* out) {
  if (year < 0 || year > YMD_YEAR_MAX) return false;
  const int64_t n = day_number(year, int(month), 1) + days;
  if (n < 1 || n > DAY_NUMBER_MAX) return false;
  *out = date_of_day_number(n);
  out->hour = int32_t(hour);
  out->minute = int32_t(minute);
  out->second = int32_t(second);
  return true;
}

}  // namespace

bool ymdhms_parse(const char* text, Ymdhms* out, int mode, bool expand_year) {
  auto reject = [out] {
    *out = Ymdhms{};
    return false;
  };
  *out = Ymdhms{};
  int32_t* const fields[6] = {&out->year, &out->month, &out->day, &out->hour, &out->minute, &out->second};
  int colons = 0, year_digits = 0;
  bool digit_before = false;
  for (const char* p = text; *p; ++p) {
    if (*p == ':') {
      // Two adjacent colons, and a seventh field, are errors.
      if ((p != text && !digit_before) || colons == 5) return reject();
      ++colons;
      digit_before = false;
      continue;
    }
    if (*p < '0' || *p > '9') return reject();
    int32_t& f = *fields[colons];
    if (f > (INT32_MAX - (*p - '0')) / 10) return reject();
    f = f * 10 + (*p - '0');
    if (colons == 0) ++year_digits;
    digit_before = true;
  }
  if (colons != 2 && colons != 5) return reject();
  if (mode == YMD_DURATION) return true;
  if (mode == YMD_DATE) {
    if (out->hour == 24) out->hour = 0;
  } else if (out->hour >= 24 || out->minute >= 60 || out->second >= 60) {
    return reject();
  }
  if (mode == YMD_TIME_OF_DAY) return true;
  if (out->day == 0 || out->month == 0 || out->month > 12 || year_digits > 4) return reject();
  if (expand_year && year_digits <= 2) out->year += out->year < 50 ? 2000 : 1900;
  if (out->day > month_length(out->year, out->month)) return reject();
  return true;
}

bool is_leap_year(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int month_length(int64_t year, int month) {
  static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : lengths[month - 1];
}

int64_t day_number(int64_t year, int month, int day) {
  const int64_t a = month + 9;
  const int64_t y = year + a / 12 + 399;
  return ((a % 12) * 153 + 2) / 5 - y / 100 + day + y / 4 + 365 * y + y / 400 - 146037;
}

Ymdhms date_of_day_number(int64_t n) {
  const int64_t t = ((n * 5 + 730185) * 80) / 146097;
  const int64_t r = n + 146037 - 365 * t - t / 4 + t / 100 - t / 400;
  const int64_t length = (t + 1) % 4 == 0 ? 366 : 365;
  int64_t y = t + r / length, q = r % length;
  if (q == 0) {
    q = y % 4 == 0 ? 366 : 365;
    --y;
  }
  const int64_t s = q * 5 - 3, m = s / 153;
  Ymdhms d{};
  d.year = int32_t((y + (m + 2) / 12 - 400) % 10000);
  d.month = int32_t((m + 2) % 12 + 1);
  d.day = int32_t((s % 153) / 5 + 1);
  return d;
}

int64_t ymdhms_seconds(const Ymdhms& t) {
  return (day_number(t.year, t.month, t.day) - 1) * SECONDS_PER_DAY + t.hour * 3600 + t.minute * 60 + t.second;
}

Ymdhms ymdhms_from_seconds(int64_t s) {
  Ymdhms t = date_of_day_number(s / SECONDS_PER_DAY + 1);
  const int64_t rest = s % SECONDS_PER_DAY;
  t.hour = int32_t(rest / 3600);
  t.minute = int32_t(rest / 60 % 60);
  t.second = int32_t(rest % 60);
  return t;
}

size_t ymdhms_format(const Ymdhms& t, bool four_digit_year, char* out) {
  char year[16];
  std::snprintf(year, sizeof year, "%04d", int(t.year));
  const char* y = four_digit_year ? year : year + 2;
  const int n = std::snprintf(out, YMDHMS_TEXT_BYTES, "%s:%02d:%02d:%02d:%02d:%02d", y, int(t.month), int(t.day),
                              int(t.hour), int(t.minute), int(t.second));
  return size_t(n);
}

size_t ymdhms_format(RunContext* ctx, const Ymdhms& t, char* out) {
  return ymdhms_format(t, ctx->bFourDigitYear != 0, out);
}

bool set_ymdhms_result(RunContext* ctx, Value* result, const Ymdhms& t) {
  char text[YMDHMS_TEXT_BYTES];
  const size_t n = ymdhms_format(ctx, t, text);
  return set_string(ctx, result->c, text, n);
}

bool ymdhms_add(const Ymdhms& base, const Ymdhms& delta, Ymdhms* out) {
  // Whole days of the seconds count as days, so they pass the month's clamped day unchanged.
  const int64_t delta_days = int64_t(delta.day) + delta.second / SECONDS_PER_DAY;
  int64_t year = int64_t(base.year) + delta.year, month = int64_t(base.month) + delta.month;
  year += floor_div(month - 1, 12);
  month = floor_mod(month - 1, 12) + 1;
  if (year > YMD_YEAR_MAX) return false;
  int64_t day = std::min<int64_t>(base.day, month_length(year, int(month))) + delta_days;
  int64_t hour = int64_t(base.hour) + delta.hour, minute = int64_t(base.minute) + delta.minute;
  int64_t second = int64_t(base.second) + delta.second % SECONDS_PER_DAY;
  normalise_time(day, hour, minute, second);
  return from_month_start(year, month, day - 1, hour, minute, second, out);
}

bool ymdhms_subtract(const Ymdhms& base, const Ymdhms& delta, Ymdhms* out) {
  const int64_t delta_days = int64_t(delta.day) + delta.second / SECONDS_PER_DAY;
  int64_t year = int64_t(base.year) - delta.year, month = int64_t(base.month) - delta.month;
  // Months taken back past January borrow whole years, and the day is clamped to the month reached.
  year += floor_div(month - 1, 12);
  month = floor_mod(month - 1, 12) + 1;
  if (year < 0) return false;
  int64_t day = std::min<int64_t>(base.day, month_length(year, int(month))) - delta_days;
  int64_t hour = int64_t(base.hour) - delta.hour, minute = int64_t(base.minute) - delta.minute;
  int64_t second = int64_t(base.second) - delta.second % SECONDS_PER_DAY;
  normalise_time(day, hour, minute, second);
  return from_month_start(year, month, day - 1, hour, minute, second, out);
}

bool ymdhms_diff(const Ymdhms& a, const Ymdhms& b, Ymdhms* out) {
  int64_t year = a.year - b.year, month = a.month - b.month, day = a.day - b.day;
  int64_t hour = a.hour - b.hour, minute = a.minute - b.minute, second = a.second - b.second;
  if (second < 0) second += 60, --minute;
  if (minute < 0) minute += 60, --hour;
  if (hour < 0) hour += 24, --day;
  // Days are borrowed from the month before a's month as adding the duration to b would reach it: that
  // month's length, or b's day when b's day lies beyond it (adding clamps b's day to the month).
  const int before = a.month == 1 ? 12 : a.month - 1;
  const int64_t borrowed = std::max<int64_t>(month_length(a.month == 1 ? a.year - 1 : a.year, before), b.day);
  while (month < 0 || day < 0) {
    if (month < 0) month += 12, --year;
    if (day < 0) day += borrowed, --month;
  }
  if (year < 0) return false;
  *out = Ymdhms{int32_t(year), int32_t(month), int32_t(day), int32_t(hour), int32_t(minute), int32_t(second)};
  return true;
}

}  // namespace tov
