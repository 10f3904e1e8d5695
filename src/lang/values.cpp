#include "lang/values.h"

#include <atomic>
#include <cerrno>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstring>

#include "com/variants.h"
#include "diag/errors.h"
#include "lang/arrays.h"
#include "platform/text.h"

namespace tov {

// --- strings --------------------------------------------------------------------------------------------

size_t wstr_len(const wchar* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

uint32_t str_new(RunContext* ctx, const char* s, size_t len) {
  if (len >= 0xFFFFFFF0u) {
    ctx->err = ERR_OUT_OF_STRINGS;
    return 0;
  }
  uint32_t off = VMalloc(ctx, uint32_t(len + 1));
  if (!off) {
    ctx->err = ERR_OUT_OF_STRINGS;
    return 0;
  }
  char* p = str_at(ctx, off);
  if (len) std::memcpy(p, s, len);
  p[len] = 0;
  return off;
}

uint32_t wstr_new(RunContext* ctx, const wchar* s, size_t len) {
  if (len >= 0x7FFFFFF0u) {
    ctx->err = ERR_OUT_OF_STRINGS;
    return 0;
  }
  uint32_t off = VMalloc(ctx, uint32_t((len + 1) * sizeof(wchar)));
  if (!off) {
    ctx->err = ERR_OUT_OF_STRINGS;
    return 0;
  }
  wchar* p = wstr_at(ctx, off);
  if (len) std::memcpy(p, s, len * sizeof(wchar));
  p[len] = 0;
  return off;
}

void set_integer(RunContext* ctx, ValueCore& v, int32_t i) {
  value_free(ctx, v);
  v.i = i;
  v.type = VF_INTEGER;
}

void set_float(RunContext* ctx, ValueCore& v, double f) {
  value_free(ctx, v);
  v.f = f;
  v.type = VF_FLOAT;
}

bool set_string(RunContext* ctx, ValueCore& v, const char* s, size_t len) {
  uint32_t off = str_new(ctx, s, len);
  if (!off) return false;
  value_free(ctx, v);
  v.str = off;
  v.type = VF_STRING;
  return true;
}

bool assign_string(RunContext* ctx, ValueCore& v, const char* s, size_t len) {
  // A block kept for a shorter text wastes at most about the text's size.
  constexpr size_t REUSE_SLACK = 64;
  uint32_t block = 0;
  if (v.type == VF_STRING && v.str) {
    const uint32_t room = heap_capacity(ctx, v.str);
    if (room > len && room <= 2 * len + REUSE_SLACK) block = v.str;
  }
  if (block) {
    // The block's text changes: what was noted about it is no guide.
    if (ctx->itemMark.text == block) ctx->itemMark.text = 0;
    if (ctx->lengthMark.text == block) ctx->lengthMark.text = 0;
    char* p = str_at(ctx, block);
    std::memmove(p, s, len);
    p[len] = 0;
  } else {
    if (!(block = str_new(ctx, s, len))) return false;
    value_free(ctx, v);
  }
  v = ValueCore{};
  v.type = VF_STRING;
  v.str = block;
  return true;
}

bool set_wstring(RunContext* ctx, ValueCore& v, const wchar* s, size_t len) {
  uint32_t off = wstr_new(ctx, s, len);
  if (!off) return false;
  value_free(ctx, v);
  v.wstr = off;
  v.type = VF_WSTRING;
  return true;
}

// --- the pending floating-point error ----------------------------------------------------------------

namespace {
std::atomic<uint16_t> g_fp_pending{0};
}

void fp_clear() { g_fp_pending.store(0, std::memory_order_relaxed); }
uint16_t fp_pending() { return g_fp_pending.load(std::memory_order_relaxed); }
void fp_set(uint16_t number) { g_fp_pending.store(number, std::memory_order_relaxed); }

bool fp_raise(RunContext* ctx) {
  // Looked at before it is taken: most calls find nothing, and a read costs less than an exchange.
  if (!g_fp_pending.load(std::memory_order_relaxed)) return false;
  uint16_t n = g_fp_pending.exchange(0, std::memory_order_relaxed);
  if (!n) return false;
  if (!ctx->err) ctx->err = n;
  return true;
}

void fp_begin() {
  errno = 0;
  std::feclearexcept(FE_ALL_EXCEPT);
}

double fp_end(double result) {
  const int e = errno;
  const int x = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW);
  if ((x & FE_INVALID) || e == EDOM || std::isnan(result)) {
    fp_set(ERR_FP_DOMAIN);
    return 1.0;
  }
  if (x & FE_DIVBYZERO) {
    fp_set(ERR_FP_SINGULARITY);
    return 1.0;
  }
  if ((x & FE_OVERFLOW) || std::isinf(result)) {
    fp_set(ERR_FP_OVERFLOW);
    return 1.0;
  }
  if ((x & FE_UNDERFLOW) || (e == ERANGE && std::fabs(result) < 1.0)) return std::fabs(result) < 1e-300 ? 0.0 : result;
  return result;
}

// --- text tests and parsing --------------------------------------------------------------------------

namespace {

bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(int c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

template <typename Ch>
bool number_text_test(const Ch* s, bool hex) {
  while (*s == ' ' || *s == '\t') ++s;
  if (*s == '+' || *s == '-') ++s;
  while (hex ? is_hex_digit(*s) : is_digit(*s)) ++s;
  while (*s == ' ' || *s == '\t') ++s;
  return *s == 0;
}

}  // namespace

bool is_integer_text(const char* s) { return number_text_test(s, false); }
bool is_hex_text(const char* s) { return number_text_test(s, true); }
bool is_integer_text_w(const wchar* s) { return number_text_test(s, false); }
bool is_hex_text_w(const wchar* s) { return number_text_test(s, true); }

void integer_to_radix(int64_t value, int radix, char* out) {
  static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  if (radix < 2 || radix > 36) radix = 10;
  char tmp[72];
  size_t n = 0;
  uint64_t u = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
  do {
    tmp[n++] = digits[u % uint64_t(radix)];
    u /= uint64_t(radix);
  } while (u);
  size_t o = 0;
  if (value < 0) out[o++] = '-';
  while (n) out[o++] = tmp[--n];
  out[o] = 0;
}

int64_t radix_to_integer(const char* s, int radix) {
  if (radix < 2 || radix > 36) return -1;
  bool negative = false;
  if (*s == '-') {
    negative = true;
    ++s;
  }
  uint64_t v = 0;
  for (; *s; ++s) {
    int c = *s, d;
    if (is_digit(c)) d = c - '0';
    else if (c >= 'a' && c <= 'z') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z') d = c - 'A' + 10;
    else return -2;
    if (d >= radix) return -2;
    v = v * uint64_t(radix) + uint64_t(d);
  }
  return negative ? -int64_t(v) : int64_t(v);
}

bool parse_integer_text(const char* s, int32_t* out) {
  while (*s == ' ') ++s;
  bool negative = false, digits = false;
  uint32_t v = 0;
  for (; *s; ++s) {
    if (is_digit(*s)) {
      v = v * 10u + uint32_t(*s - '0');
      digits = true;
    } else if ((*s == '+' || *s == '-') && !digits) {
      if (*s == '-') negative = !negative;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  *out = int32_t(negative ? 0u - v : v);
  return true;
}

bool parse_float_text(const char* s, double* out) {
  // The decimal form only: [blanks][sign]digits[.digits][(e|E)[sign]digits], with a digit in the mantissa.
  const char* p = s;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
  const char* start = p;
  if (*p == '+' || *p == '-') ++p;
  bool mantissa = false;
  while (is_digit(*p)) ++p, mantissa = true;
  if (*p == '.') {
    ++p;
    while (is_digit(*p)) ++p, mantissa = true;
  }
  if (!mantissa) return false;
  if (*p == 'e' || *p == 'E') {
    ++p;
    if (*p == '+' || *p == '-') ++p;
    if (!is_digit(*p)) return false;
    while (is_digit(*p)) ++p;
  }
  if (*p) return false;
  const char* first = *start == '+' ? start + 1 : start;
  double v = 0;
  auto r = std::from_chars(first, p, v, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Overflow fails; an underflow to zero is accepted.
    if (std::fabs(std::strtod(first, nullptr)) > 1.0) return false;
    v = 0.0;
  } else if (r.ec != std::errc() || r.ptr != p) {
    return false;
  }
  *out = v;
  return true;
}

// --- float text -------------------------------------------------------------------------------------

namespace {

// Writes the exponent of a text such as "1.5e+10" with at least three digits.
void widen_exponent(char* text) {
  char* e = std::strchr(text, 'e');
  if (!e) return;
  char* digits = e + 1;
  if (*digits == '+' || *digits == '-') ++digits;
  size_t n = std::strlen(digits);
  if (n >= 3) return;
  std::memmove(digits + (3 - n), digits, n + 1);
  std::memset(digits, '0', 3 - n);
}

// printf's "%#1.*e" / "%#1.*f": always a decimal point, sign and exponent like the C library.
size_t format_float(double x, int precision, bool exponent, char* out, size_t cap) {
  auto r = std::to_chars(out, out + cap - 8, x, exponent ? std::chars_format::scientific : std::chars_format::fixed,
                         precision);
  if (r.ec != std::errc()) {
    out[0] = 0;
    return 0;
  }
  *r.ptr = 0;
  if (!std::strchr(out, '.') && std::isfinite(x)) {
    // "#" keeps the point even without decimals: "3." and "3.e+10".
    char* e = std::strchr(out, 'e');
    char* at = e ? e : r.ptr;
    std::memmove(at + 1, at, std::strlen(at) + 1);
    *at = '.';
  }
  return std::strlen(out);
}

}  // namespace

bool float_to_text(RunContext* ctx, double x, char* out) {
  const int d = ctx->decimals;
  if (std::isnan(x)) {
    ctx->err = ERR_FP_NAN;
    out[0] = 0;
    return false;
  }
  // A negative zero is written as zero, so that it also compares equal to zero as text.
  if (x == 0.0) x = 0.0;
  if (x == 0.0 && d == -1) {
    std::strcpy(out, "0.0");
    return true;
  }
  if (d == 0 && std::fabs(x) <= 2147483647.0) {
    double r = x < 0 ? -std::floor(-x + 0.5) : std::floor(x + 0.5);
    auto res = std::to_chars(out, out + 32, int64_t(r));
    *res.ptr = 0;
    return true;
  }
  if (d == -2 || d == -3) {
    auto r = std::to_chars(out, out + FLOAT_TEXT_BYTES - 8, x,
                           d == -2 ? std::chars_format::general : std::chars_format::scientific, 6);
    *r.ptr = 0;
    widen_exponent(out);
    if (out[0] == '.') {
      std::memmove(out + 1, out, std::strlen(out) + 1);
      out[0] = '0';
    }
    return true;
  }
  // Precision is bounded so the text always fits the buffer.
  const int p = d >= 0 ? (d > 400 ? 400 : d) : 8;
  const int m = d >= 0 ? p : 1;
  const double ax = std::fabs(x);
  const bool exponent = ax > 999999999.0 || (d == -1 && ax < 0.0001);
  format_float(x, p, exponent, out, FLOAT_TEXT_BYTES);
  widen_exponent(out);
  bool appended = false;
  if (!std::strchr(out, '.')) {
    std::strcat(out, ".0");
    appended = true;
  }
  if ((!exponent && d < 0) || appended) {
    size_t n = std::strlen(out);
    while (n && out[n - 1] == '0') out[--n] = 0;
  }
  char* dot = std::strchr(out, '.');
  if (dot && !std::strchr(dot, 'e')) {
    size_t frac = std::strlen(dot + 1);
    if (frac < size_t(m)) {
      std::memset(dot + 1 + frac, '0', size_t(m) - frac);
      dot[1 + m] = 0;
    }
  }
  return true;
}

// --- conversions ------------------------------------------------------------------------------------

bool number_text(RunContext* ctx, const ValueCore& v, char* buf, size_t* length) {
  if (v.type & VF_INTEGER) {
    char* end = std::to_chars(buf, buf + 16, v.i).ptr;
    *end = 0;
    *length = size_t(end - buf);
    return true;
  }
  if (!(v.type & VF_FLOAT) || !float_to_text(ctx, v.f, buf)) return false;
  *length = std::strlen(buf);
  return true;
}

bool to_string(RunContext* ctx, ValueCore& v) {
  if (v.type & VF_STRING) return true;
  if (v.type & VF_VARIANT) return variant_to_string(ctx, v, false);
  if (v.type & VF_WSTRING) {
    const wchar* w = wstr_at(ctx, v.wstr);
    int wl = int(wstr_len(w));
    int need = wl ? plat::wide_to_ansi(w, wl, nullptr, 0, ctx->nCodePage) : 0;
    if (wl && need <= 0) return false;
    uint32_t off = VMalloc(ctx, uint32_t(need + 1));
    if (!off) {
      ctx->err = ERR_OUT_OF_STRINGS;
      return false;
    }
    w = wstr_at(ctx, v.wstr);  // unchanged: the heap grows in place
    char* p = str_at(ctx, off);
    if (need) plat::wide_to_ansi(w, wl, p, need, ctx->nCodePage);
    p[need] = 0;
    v.str = off;
    v.type |= VF_STRING;
    return true;
  }
  char buf[FLOAT_TEXT_BYTES];
  size_t length;
  if (!number_text(ctx, v, buf, &length)) return false;
  uint32_t off = str_new(ctx, buf, length);
  if (!off) return false;
  v.str = off;
  v.type |= VF_STRING;
  return true;
}

bool to_wstring(RunContext* ctx, ValueCore& v) {
  if (v.type & VF_WSTRING) return true;
  if (v.type & VF_VARIANT) return variant_to_string(ctx, v, true);
  char buf[FLOAT_TEXT_BYTES];
  const char* text = buf;
  size_t length;
  if (v.type & VF_STRING) {
    text = str_at(ctx, v.str);
    length = std::strlen(text);
  } else if (!number_text(ctx, v, buf, &length)) {
    return false;
  }
  int al = int(length);
  int need = al ? plat::ansi_to_wide(text, al, nullptr, 0, ctx->nCodePage) : 0;
  if (al && need <= 0) return false;
  uint32_t off = VMalloc(ctx, uint32_t((need + 1) * sizeof(wchar)));
  if (!off) {
    ctx->err = ERR_OUT_OF_STRINGS;
    return false;
  }
  if (v.type & VF_STRING) text = str_at(ctx, v.str);
  wchar* w = wstr_at(ctx, off);
  if (need) plat::ansi_to_wide(text, al, w, need, ctx->nCodePage);
  w[need] = 0;
  v.wstr = off;
  v.type |= VF_WSTRING;
  return true;
}

bool to_integer(RunContext* ctx, ValueCore& v, bool allow_float) {
  if (v.type & VF_INTEGER) return true;
  if (v.type & VF_FLOAT) {
    if (!allow_float) return false;
    if (!(v.f >= -2147483645.0 && v.f < 2147483645.0)) return false;
    v.i = int32_t(v.f < 0 ? -std::floor(-v.f + 0.5) : std::floor(v.f + 0.5));
    v.type = (v.type & ~uint32_t(VF_FLOAT)) | VF_INTEGER;
    fp_raise(ctx);
    return true;
  }
  if (v.type & VF_VARIANT) return variant_to_integer(ctx, v, allow_float);
  if ((v.type & VF_WSTRING) && !(v.type & VF_STRING) && !to_string(ctx, v)) return false;
  if (v.type & VF_STRING) {
    int32_t i;
    if (!parse_integer_text(str_at(ctx, v.str), &i)) return false;
    v.i = i;
    v.type |= VF_INTEGER;
    return true;
  }
  return false;
}

bool to_float(RunContext* ctx, ValueCore& v) {
  if (v.type & VF_FLOAT) return true;
  if (v.type & VF_INTEGER) {
    v.f = double(v.i);
    v.type |= VF_FLOAT;
    return true;
  }
  if (v.type & VF_VARIANT) return variant_to_float(ctx, v);
  if ((v.type & VF_WSTRING) && !(v.type & VF_STRING) && !to_string(ctx, v)) return false;
  if (v.type & VF_STRING) {
    const char* s = str_at(ctx, v.str);
    if (std::strpbrk(s, "dD")) return false;
    double f;
    if (!parse_float_text(s, &f)) return false;
    v.f = f;
    v.type |= VF_FLOAT;
    return true;
  }
  return false;
}

// --- copy and free ------------------------------------------------------------------------------------

void value_release(RunContext* ctx, ValueCore& v, uint32_t mode) {
  if ((v.type & VF_ARRAY) && !(mode & VFREE_KEEP_ARRAY)) {
    if (v.str) {
      if (mode & VFREE_TEMP) array_release_temp(ctx, v.str);
      else array_release(ctx, v.str, false);
    }
    v.str = 0;
    v.type &= ~uint32_t(VF_ARRAY);
  }
  if ((v.type & VF_STRING) && v.str) VFree(ctx, v.str);
  if (v.type & VF_STRING) {
    v.str = 0;
    v.type &= ~uint32_t(VF_STRING);
  }
  if ((v.type & VF_WSTRING) && v.wstr) VFree(ctx, v.wstr);
  v.wstr = 0;
  v.type &= ~uint32_t(VF_WSTRING);
  if ((v.type & VF_VARIANT) && !(mode & VFREE_KEEP_VARIANT)) {
    plat::variant_clear(&v.variant);
    v.type &= ~uint32_t(VF_VARIANT);
  }
}

bool value_copy(RunContext* ctx, const ValueCore& src, ValueCore& dst, uint32_t mode) {
  dst.variant = src.variant;
  dst.f = src.f;
  dst.i = src.i;
  dst.type = src.type;
  dst.str = src.str;
  dst.wstr = src.wstr;
  if (mode & VCOPY_DUP_STRINGS) {
    if ((src.type & VF_STRING) && src.str) {
      const char* s = str_at(ctx, src.str);
      dst.str = 0;
      dst.type &= ~uint32_t(VF_STRING | VF_WSTRING);
      uint32_t off = str_new(ctx, s, std::strlen(s));
      if (!off) return false;
      dst.str = off;
      dst.type |= VF_STRING;
    }
    if ((src.type & VF_WSTRING) && src.wstr) {
      const wchar* w = wstr_at(ctx, src.wstr);
      dst.wstr = 0;
      uint32_t off = wstr_new(ctx, w, wstr_len(w));
      if (!off) {
        value_free(ctx, dst);
        return false;
      }
      dst.wstr = off;
      dst.type |= VF_WSTRING;
    }
  }
  if ((src.type & VF_VARIANT) && (mode & VCOPY_DUP_VARIANT) && !plat::variant_copy(&dst.variant, src.variant)) {
    // The copy must not release the source's variant.
    dst.variant = VariantData{};
    dst.type &= ~uint32_t(VF_VARIANT);
    value_free(ctx, dst);
    ctx->err = ERR_COM_MEMORY;
    return false;
  }
  if ((src.type & VF_ARRAY) && (mode & VCOPY_LOCK_ARRAY) && src.str) array_hold(src.str);
  return true;
}

bool value_read(RunContext* ctx, const ValueCore& src, Value& dst) {
  value_init(dst);
  if (!value_copy(ctx, src, dst.c, VCOPY_DUP_STRINGS | VCOPY_DUP_VARIANT)) {
    value_init(dst);
    return false;
  }
  return true;
}

int32_t MyVariantStrToNum(const char* name, uint32_t* cls) {
  static const struct { const char* name; int32_t vt; uint32_t cls; } names[] = {
      {"I1", 16, 1}, {"I2", 2, 1},  {"I4", 3, 1},       {"UI1", 17, 1}, {"UI2", 18, 1}, {"UI4", 19, 1},
      {"BOOL", 11, 1}, {"CY", 6, 2}, {"DATE", 7, 2}, {"DECIMAL", 14, 2}, {"NULL", 1, 2}};
  const char* n = name ? name : "";
  if (plat::upper_ascii(n[0]) == 'V' && plat::upper_ascii(n[1]) == 'T' && n[2] == '_') n += 3;
  for (const auto& e : names) {
    size_t i = 0;
    while (e.name[i] && plat::upper_ascii(n[i]) == e.name[i]) ++i;
    if (!e.name[i] && !n[i]) {
      if (cls) *cls = e.cls;
      return e.vt;
    }
  }
  if (cls) *cls = 0;
  return -1;
}

}  // namespace tov
