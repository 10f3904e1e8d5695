// The YmdHms parser and the calendar arithmetic over arbitrary texts. An input is up to three texts
// separated by line feeds; each is parsed in every mode, and what parses is checked against the
// arithmetic's invariants. A broken invariant aborts, so the fuzzer reports it like a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "builtins/ymdhms.h"

namespace {

using tov::Ymdhms;

void check(bool condition) {
  if (!condition) std::abort();
}

bool same(const Ymdhms& a, const Ymdhms& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool is_datetime(const Ymdhms& t) {
  return t.year >= 0 && t.year <= tov::YMD_YEAR_MAX && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= tov::month_length(t.year, t.month) && t.hour >= 0 && t.hour < 24 && t.minute >= 0 &&
         t.minute < 60 && t.second >= 0 && t.second < 60;
}

// A datetime written with four-digit years reads back as itself.
void check_round_trip(const Ymdhms& t) {
  check(is_datetime(t));
  char text[tov::YMDHMS_TEXT_BYTES];
  check(tov::ymdhms_format(t, true, text) == 19);
  Ymdhms back;
  check(tov::ymdhms_parse(text, &back, tov::YMD_DATETIME, false) && same(back, t));
  const int64_t n = tov::day_number(t.year, t.month, t.day);
  check(n >= 1 && n <= tov::DAY_NUMBER_MAX);
  const Ymdhms date = tov::date_of_day_number(n);
  check(date.year == t.year && date.month == t.month && date.day == t.day);
  check(same(tov::ymdhms_from_seconds(tov::ymdhms_seconds(t)), t));
}

void check_parse(const char* text) {
  for (int mode = tov::YMD_DURATION; mode <= tov::YMD_TIME_OF_DAY; ++mode)
    for (bool expand : {false, true}) {
      Ymdhms t;
      const bool ok = tov::ymdhms_parse(text, &t, mode, expand);
      if (!ok) check(same(t, Ymdhms{}));
      else if (mode == tov::YMD_DATETIME) check_round_trip(t);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string texts[3];
  size_t n = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' && n < 2) ++n;
    else texts[n] += char(data[i]);
  }
  for (const std::string& s : texts) check_parse(s.c_str());

  Ymdhms a, b, delta, r;
  const bool has_a = tov::ymdhms_parse(texts[0].c_str(), &a, tov::YMD_DATETIME, true);
  const bool has_b = tov::ymdhms_parse(texts[1].c_str(), &b, tov::YMD_DATETIME, true);
  const bool has_delta = tov::ymdhms_parse(texts[2].c_str(), &delta, tov::YMD_DURATION, false);
  if (has_a && has_delta) {
    // Moving forward never goes back, moving back never forward.
    if (tov::ymdhms_add(a, delta, &r)) {
      check_round_trip(r);
      check(tov::ymdhms_seconds(r) >= tov::ymdhms_seconds(a));
    }
    if (tov::ymdhms_subtract(a, delta, &r)) {
      check_round_trip(r);
      check(tov::ymdhms_seconds(r) <= tov::ymdhms_seconds(a));
    }
  }
  if (has_a && has_b) {
    // The difference, added to the earlier datetime, gives the later one; it exists only that way round.
    const bool a_later = tov::ymdhms_seconds(a) >= tov::ymdhms_seconds(b);
    check(tov::ymdhms_diff(a, b, &r) == a_later);
    if (a_later) {
      Ymdhms back;
      check(r.month < 12 && r.hour < 24 && r.minute < 60 && r.second < 60);
      check(tov::ymdhms_add(b, r, &back) && same(back, a));
    }
  }
  return 0;
}
