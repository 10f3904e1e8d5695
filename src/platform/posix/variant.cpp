// The variant routines on POSIX: BSTRs and byte SAFEARRAYs laid out as the system's, interfaces released
// through their IUnknown table, and the system's conversions for English (United States) conventions.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/variant.h"

namespace plat {

namespace {

constexpr int32_t RESULT_OK = 0;
constexpr uint8_t DECIMAL_NEGATIVE = 0x80;
constexpr int DECIMAL_MAX_SCALE = 28;
constexpr int CURRENCY_SCALE = 4;
// Variant dates run from 0100-01-01 to 9999-12-31.
constexpr double DATE_MIN = -657434.0;
constexpr double DATE_MAX = 2958465.0;

using u128 = unsigned __int128;
constexpr u128 DECIMAL_MAGNITUDE_LIMIT = u128(1) << 96;

// --- BSTR: a 32-bit byte count before the text, a NUL after it ----------------------------------------

char16_t* bstr_alloc(const char16_t* text, size_t length) {
  if (length > 0x3FFFFFF0u) return nullptr;
  auto* block = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) + (length + 1) * sizeof(char16_t)));
  if (!block) return nullptr;
  block[0] = uint32_t(length * sizeof(char16_t));
  auto* bstr = reinterpret_cast<char16_t*>(block + 1);
  if (length) std::memcpy(bstr, text, length * sizeof(char16_t));
  bstr[length] = 0;
  return bstr;
}

void bstr_free(void* bstr) {
  if (bstr) std::free(static_cast<uint32_t*>(bstr) - 1);
}

// --- SAFEARRAY of one dimension, the system's layout -------------------------------------------------

struct SafeArray {
  uint16_t dims;
  uint16_t features;
  uint32_t element_size;
  uint32_t locks;
  void* data;
  uint32_t count;       // the one bound: elements and lower bound
  int32_t lower;
};

constexpr uint16_t FADF_HAVEVARTYPE = 0x80;

// Arrays of elements that own nothing can be copied byte for byte; only those are made here.
bool plain_elements(uint16_t type) {
  switch (type) {
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_VARIANT: return false;
    default: return true;
  }
}

SafeArray* array_copy(const SafeArray* a) {
  auto* copy = static_cast<SafeArray*>(std::malloc(sizeof(SafeArray)));
  if (!copy) return nullptr;
  *copy = *a;
  copy->locks = 0;
  const size_t bytes = size_t(a->count) * a->element_size;
  copy->data = std::malloc(bytes ? bytes : 1);
  if (!copy->data) {
    std::free(copy);
    return nullptr;
  }
  if (bytes) std::memcpy(copy->data, a->data, bytes);
  return copy;
}

void array_free(SafeArray* a) {
  if (!a) return;
  std::free(a->data);
  std::free(a);
}

// --- interfaces: the first three entries of every interface's table are QueryInterface, AddRef, Release --

struct UnknownTable {
  void* query_interface;
  uint32_t (*add_ref)(void*);
  uint32_t (*release)(void*);
};

void add_ref(void* object) {
  if (object) (*static_cast<UnknownTable**>(object))->add_ref(object);
}
void release(void* object) {
  if (object) (*static_cast<UnknownTable**>(object))->release(object);
}

// --- numbers in text --------------------------------------------------------------------------------

// A number read from text: digits × 10^exponent, the digits without leading or trailing zeros (none for 0).
struct Number {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

bool is_blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
const char16_t* skip_blanks(const char16_t* p) {
  while (is_blank(*p)) ++p;
  return p;
}
bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

void trim_digits(Number* n) {
  size_t first = 0;
  while (first < n->digits.size() && n->digits[first] == '0') ++first;
  n->digits.erase(0, first);
  size_t last = n->digits.size();
  while (last && n->digits[last - 1] == '0') --last, ++n->exponent;
  n->digits.resize(last);
  if (n->digits.empty()) n->exponent = 0;
}

// "&H1F" and "&O17": hexadecimal and octal integers.
bool parse_radix(const char16_t* p, Number* n, const char16_t** end) {
  const unsigned radix = (*p == u'H' || *p == u'h') ? 16 : (*p == u'O' || *p == u'o') ? 8 : 0;
  if (!radix) return false;
  ++p;
  uint64_t value = 0;
  bool any = false;
  for (;; ++p, any = true) {
    unsigned d;
    if (is_digit(*p)) d = unsigned(*p - u'0');
    else if (*p >= u'a' && *p <= u'f') d = unsigned(*p - u'a' + 10);
    else if (*p >= u'A' && *p <= u'F') d = unsigned(*p - u'A' + 10);
    else break;
    if (d >= radix || value > (UINT64_MAX >> 4)) return false;
    value = value * radix + d;
  }
  if (!any) return false;
  n->digits = std::to_string(value);
  n->exponent = 0;
  trim_digits(n);
  *end = p;
  return true;
}

// Blanks, a sign before or after the number or parentheses around it, a "$", digits with "," between
// thousands, a "." and an exponent; "&H" and "&O" integers.
bool parse_number(const char16_t* text, Number* n) {
  const char16_t* p = skip_blanks(text);
  const bool parens = *p == u'(';
  if (parens) p = skip_blanks(p + 1);
  bool signed_before = false;
  if (*p == u'+' || *p == u'-') {
    n->negative = *p == u'-';
    signed_before = true;
    p = skip_blanks(p + 1);
  }
  if (*p == u'$') p = skip_blanks(p + 1);
  if (*p == u'&') {
    if (!parse_radix(p + 1, n, &p)) return false;
  } else {
    bool mantissa = false;
    for (; is_digit(*p) || (*p == u',' && mantissa && is_digit(p[1])); ++p)
      if (*p != u',') n->digits += char(*p), mantissa = true;
    if (*p == u'.') {
      for (++p; is_digit(*p); ++p) n->digits += char(*p), --n->exponent, mantissa = true;
    }
    if (!mantissa) return false;
    if (*p == u'e' || *p == u'E') {
      ++p;
      bool negative_exponent = false;
      if (*p == u'+' || *p == u'-') negative_exponent = *p++ == u'-';
      if (!is_digit(*p)) return false;
      int e = 0;
      for (; is_digit(*p); ++p) e = e < 100000 ? e * 10 + (*p - u'0') : e;
      n->exponent += negative_exponent ? -e : e;
    }
    trim_digits(n);
  }
  p = skip_blanks(p);
  if (!signed_before && !parens && (*p == u'+' || *p == u'-')) {
    n->negative = *p == u'-';
    p = skip_blanks(p + 1);
  }
  if (parens) {
    if (*p != u')' || signed_before) return false;
    n->negative = true;
    p = skip_blanks(p + 1);
  }
  return *p == 0;
}

bool number_to_double(const Number& n, double* out) {
  if (n.digits.empty()) {
    *out = 0.0;
    return true;
  }
  const std::string text = n.digits + "e" + std::to_string(n.exponent);
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    if (n.exponent > 0) return false;   // overflow; an underflow is zero
    v = 0.0;
  } else if (r.ec != std::errc()) {
    return false;
  }
  *out = n.negative ? -v : v;
  return true;
}

// The magnitude × 10^scale rounded half to even; false when it reaches limit.
bool number_to_scaled(const Number& n, int scale, u128 limit, u128* out) {
  const std::string& d = n.digits;
  const int64_t shift = int64_t(n.exponent) + scale;
  // Digits kept before the point; the rest are dropped by rounding.
  const size_t drop = shift < 0 ? size_t(-shift) : 0;
  const size_t keep = drop < d.size() ? d.size() - drop : 0;
  u128 v = 0;
  for (size_t i = 0; i < keep; ++i) {
    v = v * 10 + u128(d[i] - '0');
    if (v >= limit) return false;
  }
  for (int64_t i = 0; i < shift; ++i) {
    v *= 10;
    if (v >= limit) return false;
  }
  if (drop && drop <= d.size()) {
    // The first dropped digit decides; a 5 with nothing after it (trailing zeros are trimmed) rounds to even.
    const char lead = d[keep];
    const bool more = keep + 1 < d.size();
    if (lead > '5' || (lead == '5' && (more || (v & 1)))) ++v;
    if (v >= limit) return false;
  }
  *out = v;
  return true;
}

bool number_to_int64(const Number& n, int scale, int64_t* out) {
  u128 magnitude;
  if (!number_to_scaled(n, scale, u128(INT64_MAX) + 2, &magnitude)) return false;
  if (!n.negative && magnitude > u128(INT64_MAX)) return false;
  *out = n.negative ? int64_t(0 - uint64_t(magnitude)) : int64_t(magnitude);
  return true;
}

bool fits_int32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// Half to even for a double, as the system rounds floats into integers.
bool round_double(double d, int64_t* out) {
  if (!(d > -9.2e18 && d < 9.2e18)) return false;
  *out = int64_t(std::nearbyint(d));
  return true;
}

// --- decimals --------------------------------------------------------------------------------------

u128 decimal_magnitude(const VariantData& v) {
  return (u128(uint32_t(v.reserved2) | (uint32_t(v.reserved3) << 16)) << 64) | v.u64;
}
int decimal_scale(const VariantData& v) { return v.reserved1 & 0xFF; }
bool decimal_negative(const VariantData& v) { return (v.reserved1 >> 8) & DECIMAL_NEGATIVE; }

std::string u128_text(u128 v) {
  std::string s;
  do {
    s.insert(s.begin(), char('0' + int(v % 10)));
    v /= 10;
  } while (v);
  return s;
}

Number decimal_number(const VariantData& v) {
  Number n;
  n.negative = decimal_negative(v);
  n.digits = u128_text(decimal_magnitude(v));
  n.exponent = -decimal_scale(v);
  trim_digits(&n);
  return n;
}

// Digits with a point before the last `scale` of them, without trailing zeros after the point.
std::string scaled_text(bool negative, u128 magnitude, int scale) {
  std::string digits = u128_text(magnitude);
  if (digits.size() <= size_t(scale)) digits.insert(0, size_t(scale) + 1 - digits.size(), '0');
  std::string text = digits.substr(0, digits.size() - size_t(scale));
  std::string fraction = digits.substr(digits.size() - size_t(scale));
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return (negative && magnitude ? "-" : "") + text;
}

// --- dates ---------------------------------------------------------------------------------------

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, int32_t* y, int32_t* m, int32_t* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = int32_t(doy - (153 * mp + 2) / 5 + 1);
  *m = int32_t(mp < 10 ? mp + 3 : mp - 9);
  *y = int32_t(yoe + era * 400 + (*m <= 2));
}

const int64_t DATE_EPOCH_DAYS = days_from_civil(1899, 12, 30);

int days_in_month(int32_t y, int32_t m) {
  static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : lengths[m - 1];
}

// A year written with two digits (or one) is in 1950 .. 2049.
int32_t full_year(int32_t y) { return y < 50 ? y + 2000 : y + 1900; }

bool date_from_fields(int32_t y, int32_t mo, int32_t d, int32_t h, int32_t mi, int32_t s, double* out) {
  if (y < 100 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > days_in_month(y, mo) || h < 0 || h > 23 || mi < 0 ||
      mi > 59 || s < 0 || s > 59)
    return false;
  const double days = double(days_from_civil(y, mo, d) - DATE_EPOCH_DAYS);
  const double time = (h * 3600.0 + mi * 60.0 + s) / 86400.0;
  // Before 1899-12-30 the time of day counts away from zero: -1.25 is 1899-12-29 06:00.
  const double date = days < 0 ? days - time : days + time;
  if (date < DATE_MIN || date > DATE_MAX + 1.0) return false;
  *out = date;
  return true;
}

// "%d/%d/%d" month/day/year; with a time, " h:mm:ss AM"; a date without a time or a time without a date
// alone.
std::string date_text(double date) {
  int32_t f[6];
  if (!variant_time_to_fields(date, f)) return std::string();
  char text[64];
  const bool has_time = f[3] || f[4] || f[5];
  const bool has_date = !(f[0] == 1899 && f[1] == 12 && f[2] == 30) || !has_time;
  int n = 0;
  if (has_date) n = std::snprintf(text, sizeof text, "%d/%d/%d", f[1], f[2], f[0]);
  if (has_time)
    std::snprintf(text + n, sizeof text - size_t(n), "%s%d:%02d:%02d %s", has_date ? " " : "",
                  f[3] % 12 ? f[3] % 12 : 12, f[4], f[5], f[3] < 12 ? "AM" : "PM");
  return text;
}

// Reads up to `max` digits; false when there are none.
bool read_field(const char16_t*& p, int max, int32_t* out, int* count) {
  int32_t v = 0;
  int n = 0;
  while (is_digit(*p) && n < max) v = v * 10 + (*p++ - u'0'), ++n;
  if (count) *count = n;
  *out = v;
  return n > 0;
}

bool ascii_prefix(const char16_t* p, const char* word) {
  for (; *word; ++word, ++p)
    if ((*p | 0x20) != *word) return false;
  return true;
}

// "h:mm[:ss] [AM|PM]"
bool parse_time(const char16_t*& p, int32_t* h, int32_t* mi, int32_t* s) {
  *s = 0;
  if (!read_field(p, 2, h, nullptr) || *p != u':') return false;
  ++p;
  if (!read_field(p, 2, mi, nullptr)) return false;
  if (*p == u':') {
    ++p;
    if (!read_field(p, 2, s, nullptr)) return false;
  }
  const char16_t* q = skip_blanks(p);
  const bool am = ascii_prefix(q, "am"), pm = ascii_prefix(q, "pm");
  if (am || pm) {
    if (*h < 1 || *h > 12) return false;
    *h = *h % 12 + (pm ? 12 : 0);
    p = q + 2;
  }
  return true;
}

// Month/day/year or year-month-day, each with a time after it, or a time alone.
bool parse_date(const char16_t* text, double* out) {
  const char16_t* p = skip_blanks(text);
  int32_t y = 1899, mo = 12, d = 30, h = 0, mi = 0, s = 0;
  const char16_t* start = p;
  int32_t a, b, c;
  int digits_a, digits_c;
  bool date = false;
  if (read_field(p, 4, &a, &digits_a) && (*p == u'/' || *p == u'-' || *p == u'.')) {
    const char16_t sep = *p++;
    if (!read_field(p, 2, &b, nullptr) || *p++ != sep || !read_field(p, 4, &c, &digits_c)) return false;
    if (digits_a > 2) y = a, mo = b, d = c;
    else mo = a, d = b, y = digits_c > 2 ? c : full_year(c);
    date = true;
    const char16_t* q = skip_blanks(p);
    if (q != p && *q) {
      p = q;
      if (!parse_time(p, &h, &mi, &s)) return false;
    }
  } else {
    p = start;
    if (!parse_time(p, &h, &mi, &s)) return false;
  }
  if (*skip_blanks(p)) return false;
  if (!date) return date_from_fields(1899, 12, 30, h, mi, s, out);
  return date_from_fields(y, mo, d, h, mi, s, out);
}

// --- conversions of variants ------------------------------------------------------------------------

// Every numeric kind as an exact integer, when it is one.
bool integer_value(const VariantData& v, int64_t* out) {
  switch (v.vt) {
    case VT_EMPTY: *out = 0; return true;
    case VT_I1: *out = v.i8; return true;
    case VT_UI1: *out = v.u8; return true;
    case VT_I2: *out = v.i16; return true;
    case VT_UI2: *out = v.u16; return true;
    case VT_BOOL: *out = v.i16; return true;
    case VT_I4:
    case VT_INT: *out = v.i32; return true;
    case VT_UI4:
    case VT_UINT: *out = v.u32; return true;
    case VT_I8: *out = v.i64; return true;
    case VT_UI8:
      if (v.u64 > uint64_t(INT64_MAX)) return false;
      *out = int64_t(v.u64);
      return true;
    default: return false;
  }
}

bool to_int64(const VariantData& value, int64_t* out) {
  VariantData v;
  if (!variant_dereference(value, &v)) return false;
  if (integer_value(v, out)) return true;
  switch (v.vt) {
    case VT_R4: return round_double(double(v.flt), out);
    case VT_R8:
    case VT_DATE: return round_double(v.dbl, out);
    case VT_CY: {
      Number n;
      n.negative = v.i64 < 0;
      n.digits = std::to_string(v.i64 < 0 ? 0 - uint64_t(v.i64) : uint64_t(v.i64));
      n.exponent = -CURRENCY_SCALE;
      trim_digits(&n);
      return number_to_int64(n, 0, out);
    }
    case VT_DECIMAL: return number_to_int64(decimal_number(v), 0, out);
    case VT_BSTR: {
      const auto* text = static_cast<const char16_t*>(variant_pointer(v));
      Number n;
      return parse_number(text ? text : u"", &n) && number_to_int64(n, 0, out);
    }
    default: return false;
  }
}

}  // namespace

bool variant_to_int32(const VariantData& v, int32_t* out) {
  int64_t i;
  if (!to_int64(v, &i) || !fits_int32(i)) return false;
  *out = int32_t(i);
  return true;
}

bool variant_to_double(const VariantData& value, double* out) {
  VariantData v;
  if (!variant_dereference(value, &v)) return false;
  int64_t i;
  if (v.vt == VT_UI8) {
    *out = double(v.u64);
    return true;
  }
  if (integer_value(v, &i)) {
    *out = double(i);
    return true;
  }
  switch (v.vt) {
    case VT_R4: *out = double(v.flt); return true;
    case VT_R8:
    case VT_DATE: *out = v.dbl; return true;
    case VT_CY: *out = double(v.i64) / 10000.0; return true;
    case VT_DECIMAL: return number_to_double(decimal_number(v), out);
    case VT_BSTR: {
      const auto* text = static_cast<const char16_t*>(variant_pointer(v));
      Number n;
      return parse_number(text ? text : u"", &n) && number_to_double(n, out);
    }
    default: return false;
  }
}

bool variant_to_text(const VariantData& value, std::u16string* out) {
  VariantData v;
  if (!variant_dereference(value, &v)) return false;
  std::string text;
  char buf[64];
  int64_t i;
  switch (v.vt) {
    case VT_BSTR: {
      const auto* bstr = static_cast<const char16_t*>(variant_pointer(v));
      out->assign(bstr ? bstr : u"", bstr_length(bstr));
      return true;
    }
    case VT_EMPTY: out->clear(); return true;
    case VT_UI8: text = std::to_string(v.u64); break;
    case VT_R4:
      std::snprintf(buf, sizeof buf, "%.7G", double(v.flt));
      text = buf;
      break;
    case VT_R8:
      std::snprintf(buf, sizeof buf, "%.15G", v.dbl);
      text = buf;
      break;
    case VT_CY: return currency_to_text(v.i64, out) == RESULT_OK;
    case VT_DATE:
      text = date_text(v.dbl);
      if (text.empty()) return false;
      break;
    case VT_DECIMAL: text = scaled_text(decimal_negative(v), decimal_magnitude(v), decimal_scale(v)); break;
    default:
      if (!integer_value(v, &i)) return false;
      text = std::to_string(i);
  }
  out->assign(text.begin(), text.end());
  return true;
}

int32_t currency_to_text(int64_t currency, std::u16string* out) {
  const bool negative = currency < 0;
  const std::string text =
      scaled_text(negative, negative ? 0 - uint64_t(currency) : uint64_t(currency), CURRENCY_SCALE);
  out->assign(text.begin(), text.end());
  return RESULT_OK;
}

bool variant_time_to_fields(double date, int32_t fields[6]) {
  if (!(date > DATE_MIN - 1.0 && date < DATE_MAX + 1.0)) return false;
  // The whole days count toward zero; the fraction, taken as it stands, is the time of day.
  const double whole = std::trunc(date);
  int64_t days = int64_t(whole);
  int64_t seconds = int64_t(std::floor(std::fabs(date - whole) * 86400.0 + 0.5));
  if (seconds >= 86400) {
    seconds -= 86400;
    ++days;
  }
  int32_t y, m, d;
  civil_from_days(days + DATE_EPOCH_DAYS, &y, &m, &d);
  if (y < 100 || y > 9999) return false;
  fields[0] = y;
  fields[1] = m;
  fields[2] = d;
  fields[3] = int32_t(seconds / 3600);
  fields[4] = int32_t(seconds / 60 % 60);
  fields[5] = int32_t(seconds % 60);
  return true;
}

bool fields_to_variant_time(const int32_t f[6], double* date) {
  return date_from_fields(f[0], f[1], f[2], f[3], f[4], f[5], date);
}

bool text_to_currency(const char16_t* text, int64_t* out) {
  Number n;
  return parse_number(text, &n) && number_to_int64(n, CURRENCY_SCALE, out);
}

bool text_to_decimal(const char16_t* text, VariantData* out) {
  Number n;
  if (!parse_number(text, &n)) return false;
  // The digits after the point that fit: at most 28, fewer when the magnitude needs the room.
  int scale = n.exponent < 0 ? -n.exponent : 0;
  if (scale > DECIMAL_MAX_SCALE) scale = DECIMAL_MAX_SCALE;
  u128 magnitude;
  while (!number_to_scaled(n, scale, DECIMAL_MAGNITUDE_LIMIT, &magnitude))
    if (--scale < 0) return false;
  VariantData d{};
  d.vt = VT_DECIMAL;
  d.reserved1 = uint16_t(scale | ((n.negative && magnitude ? DECIMAL_NEGATIVE : 0) << 8));
  const uint32_t high = uint32_t(magnitude >> 64);
  d.reserved2 = uint16_t(high);
  d.reserved3 = uint16_t(high >> 16);
  d.u64 = uint64_t(magnitude);
  *out = d;
  return true;
}

bool text_to_date(const char16_t* text, double* out) { return parse_date(text, out); }

bool bstr_variant(const char16_t* text, size_t length, VariantData* out) {
  char16_t* bstr = bstr_alloc(text, length);
  if (!bstr) return false;
  *out = VariantData{};
  out->vt = VT_BSTR;
  set_variant_pointer(*out, bstr);
  return true;
}

size_t bstr_length(const char16_t* bstr) {
  return bstr ? reinterpret_cast<const uint32_t*>(bstr)[-1] / sizeof(char16_t) : 0;
}

ByteArrayResult byte_array_variant(const uint8_t* bytes, size_t count, VariantData* out) {
  if (count > UINT32_MAX) return BYTE_ARRAY_NO_MEMORY;
  const SafeArray shape{1, FADF_HAVEVARTYPE, 1, 0, const_cast<uint8_t*>(bytes), uint32_t(count), 0};
  SafeArray* a = array_copy(&shape);
  if (!a) return BYTE_ARRAY_NO_MEMORY;
  *out = VariantData{};
  out->vt = VT_ARRAY | VT_UI1;
  set_variant_pointer(*out, a);
  return BYTE_ARRAY_OK;
}

bool byte_array_bytes(const VariantData& v, std::string* out) {
  const auto* a = static_cast<const SafeArray*>(variant_pointer(v));
  if (v.vt != (VT_ARRAY | VT_UI1) || !a || a->dims != 1) return false;
  out->assign(static_cast<const char*>(a->data), a->count);
  return true;
}

void variant_clear(VariantData* v) {
  if (!(v->vt & VT_BYREF)) {
    void* p = variant_pointer(*v);
    if (v->vt & VT_ARRAY) array_free(static_cast<SafeArray*>(p));
    else if (v->vt == VT_BSTR) bstr_free(p);
    else if (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) release(p);
  }
  *v = VariantData{};
}

bool variant_copy(VariantData* dst, const VariantData& src) {
  VariantData copy = src;
  void* p = variant_pointer(src);
  if (!(src.vt & VT_BYREF) && p) {
    if (src.vt & VT_ARRAY) {
      const auto* a = static_cast<const SafeArray*>(p);
      if (!plain_elements(uint16_t(src.vt & VT_TYPEMASK))) return false;
      SafeArray* c = array_copy(a);
      if (!c) return false;
      set_variant_pointer(copy, c);
    } else if (src.vt == VT_BSTR) {
      const auto* bstr = static_cast<const char16_t*>(p);
      char16_t* c = bstr_alloc(bstr, bstr_length(bstr));
      if (!c) return false;
      set_variant_pointer(copy, c);
    } else if (src.vt == VT_DISPATCH || src.vt == VT_UNKNOWN) {
      add_ref(p);
    }
  }
  *dst = copy;
  return true;
}

}  // namespace plat
