// YmdHms strings ("YYYY:MM:DD:HH:MM:SS"), the broken-down times they stand for, day numbers, and the
// calendar arithmetic of the time built-ins. Used by the time, file-time and COM-date conversions.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tov {

struct RunContext;
struct Value;

// A broken-down time or a duration, in the order of the text's fields.
struct Ymdhms {
  int32_t year, month, day, hour, minute, second;
};

enum YmdhmsMode : int {
  YMD_DURATION = 0,      // any field values: a duration
  YMD_DATETIME = 1,      // a valid date and time of day
  YMD_DATE = 2,          // a valid date; hour 24 is read as 0 and the time fields are not checked
  YMD_TIME_OF_DAY = 3,   // only hour, minute and second are checked
};

// Parses "Y:M:D:H:M:S" or the date alone "Y:M:D" (time fields 0): decimal digits and colons only, no
// empty field between two colons, no field above 2147483647. The mode decides which ranges are checked.
// expand_year turns a year written with at most two digits into 2000..2049 (below 50) or 1950..1999.
// On failure *out is all zero.
bool ymdhms_parse(const char* text, Ymdhms* out, int mode, bool expand_year);

// The latest date the time functions produce: 9999:12:31 (a YmdHms year has at most four digits).
constexpr int32_t YMD_YEAR_MAX = 9999;

bool is_leap_year(int64_t year);
int month_length(int64_t year, int month);   // month 1..12

// Day numbers: day 1 is 0000:01:01 of the proleptic Gregorian calendar (year 0 a leap year); 2000:01:01 is
// day 730486. Years 0..YMD_YEAR_MAX; DAY_NUMBER_MAX is 9999:12:31.
int64_t day_number(int64_t year, int month, int day);
constexpr int64_t DAY_NUMBER_MAX = 3652425;
// The date of day n (1 ≤ n ≤ DAY_NUMBER_MAX), time fields 0.
Ymdhms date_of_day_number(int64_t n);

// Seconds since 0000:01:01:00:00:00, and back (0 ≤ s, date up to 9999:12:31): conversions to and from
// the system's time stamps go through these.
int64_t ymdhms_seconds(const Ymdhms& t);
Ymdhms ymdhms_from_seconds(int64_t s);

// "%04d:%02d:%02d:%02d:%02d:%02d", or with the year's last two digits only when four_digit_year is off.
constexpr size_t YMDHMS_TEXT_BYTES = 40;
size_t ymdhms_format(const Ymdhms& t, bool four_digit_year, char* out);
// The same by the run's four-digit-year setting (IntControl 41).
size_t ymdhms_format(RunContext* ctx, const Ymdhms& t, char* out);
// Sets an ANSI string result formatted by the run's setting; false with 3096 when the heap is full.
bool set_ymdhms_result(RunContext* ctx, Value* result, const Ymdhms& t);

// Calendar arithmetic of TimeAdd and TimeSubtract: a datetime moved by a duration. The base's day is first
// clamped to the length of the month that the years and months of the duration reach (Jan 31 plus one
// month is Feb 28 or 29); then days, hours, minutes and seconds are added or taken away. False when the
// result falls outside 0000:01:01 .. 9999:12:31.
bool ymdhms_add(const Ymdhms& base, const Ymdhms& delta, Ymdhms* out);
bool ymdhms_subtract(const Ymdhms& base, const Ymdhms& delta, Ymdhms* out);
// The duration a − b in years, months, days, hours, minutes and seconds, such that adding it to b gives
// a. False when b is later than a.
bool ymdhms_diff(const Ymdhms& a, const Ymdhms& b, Ymdhms* out);

}  // namespace tov
