#include "com/variants.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "builtins/ymdhms.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "lang/values.h"
#include "platform/text.h"
#include "platform/variant.h"

namespace tov {

namespace {

using plat::VariantData;

constexpr int32_t RESULT_OUT_OF_MEMORY = int32_t(0x8007000E);
// Single-precision values this large have no decimals left to reduce.
constexpr double SINGLE_REDUCTION_LIMIT = 9e9;
// A date that the system cannot convert reads as this.
constexpr char NO_DATE_TEXT[] = "0000:00:00:00:00:00";

bool is_object(uint16_t type) { return type == plat::VT_DISPATCH || type == plat::VT_UNKNOWN; }

// The variant a value holds, a reference followed to what it refers to. A null reference to an object is
// the null object; any other null reference has no value.
bool referred(const ValueCore& v, VariantData* out) {
  if (plat::variant_dereference(v.variant, out)) return true;
  if (!is_object(uint16_t(v.variant.vt & ~plat::VT_BYREF))) return false;
  *out = VariantData{};
  out->vt = uint16_t(v.variant.vt & ~plat::VT_BYREF);
  return true;
}

// An interface pointer as the integer that stands for the object.
int32_t object_integer(const VariantData& d) { return int32_t(uint32_t(reinterpret_cast<uintptr_t>(plat::variant_pointer(d)))); }

bool mismatch(RunContext* ctx) {
  ctx->err = ERR_COM_TYPE_MISMATCH;
  return false;
}

// The value of a floating, currency, decimal, date or numeric text variant as a double.
bool double_of(const VariantData& d, double* out) {
  if (d.vt == plat::VT_R4) {
    *out = single_value(d.flt);
    return true;
  }
  if (d.vt == plat::VT_R8) {
    *out = d.dbl;
    return true;
  }
  return plat::variant_to_double(d, out);
}

// Stores text as the value's string of the requested form, releasing the one it replaces.
bool store_text(RunContext* ctx, ValueCore& v, const std::u16string& text, bool wide) {
  if (wide) {
    const uint32_t off = wstr_new(ctx, text.data(), text.size());
    if (!off) return false;
    if ((v.type & VF_WSTRING) && v.wstr) VFree(ctx, v.wstr);
    v.wstr = off;
    v.type |= VF_WSTRING;
    return true;
  }
  const int len = int(text.size());
  const int need = len ? plat::wide_to_ansi(text.data(), len, nullptr, 0, ctx->nCodePage) : 0;
  std::string ansi(need > 0 ? size_t(need) : 0, '\0');
  if (need > 0) plat::wide_to_ansi(text.data(), len, ansi.data(), need, ctx->nCodePage);
  const uint32_t off = str_new(ctx, ansi.data(), ansi.size());
  if (!off) return false;
  if ((v.type & VF_STRING) && v.str) VFree(ctx, v.str);
  v.str = off;
  v.type |= VF_STRING;
  return true;
}

std::u16string ascii_text(const char* s) { return std::u16string(s, s + std::strlen(s)); }

// The text of a variant by the table of the language: floats by the run's float formatting, currency in the
// user's locale, dates as YmdHms text, objects as their integer.
bool text_of(RunContext* ctx, const VariantData& d, std::u16string* out) {
  switch (d.vt) {
    case plat::VT_NULL: out->clear(); return true;
    case plat::VT_R4:
    case plat::VT_R8: {
      char text[FLOAT_TEXT_BYTES];
      if (!float_to_text(ctx, d.vt == plat::VT_R4 ? single_value(d.flt) : d.dbl, text)) return false;
      *out = ascii_text(text);
      return true;
    }
    case plat::VT_CY: {
      const int32_t result = plat::currency_to_text(d.i64, out);
      if (result) ctx->err = com_error_number(result);
      return !result;
    }
    case plat::VT_DATE: {
      int32_t f[6];
      char text[YMDHMS_TEXT_BYTES];
      if (plat::variant_time_to_fields(d.dbl, f))
        std::snprintf(text, sizeof text, "%04d:%02d:%02d:%02d:%02d:%02d", f[0], f[1], f[2], f[3], f[4], f[5]);
      else
        std::snprintf(text, sizeof text, "%s", NO_DATE_TEXT);
      *out = ascii_text(text);
      return true;
    }
    case plat::VT_BSTR: {
      const auto* bstr = static_cast<const char16_t*>(plat::variant_pointer(d));
      out->assign(bstr ? bstr : u"", plat::bstr_length(bstr));
      return true;
    }
    default:
      if (is_object(d.vt)) {
        *out = ascii_text(std::to_string(object_integer(d)).c_str());
        return true;
      }
      return plat::variant_to_text(d, out) || mismatch(ctx);
  }
}

bool has_prefix(const std::u16string& text, const char* prefix) {
  size_t i = 0;
  for (; prefix[i]; ++i)
    if (i >= text.size() || text[i] > 0x7F || plat::upper_ascii(char(text[i])) != prefix[i]) return false;
  return true;
}

bool string_variant(RunContext* ctx, const std::u16string& text, VariantData* out) {
  if (plat::bstr_variant(text.data(), text.size(), out)) return true;
  ctx->err = ERR_COM_MEMORY;
  return false;
}

// Currency or decimal text, after its optional prefix; other text goes as a string unless it had the prefix.
bool number_variant(RunContext* ctx, const std::u16string& text, bool currency, VariantData* out) {
  const char* prefix = currency ? "#CURRENCY:" : "#DECIMAL:";
  const bool prefixed = has_prefix(text, prefix);
  const std::u16string number = prefixed ? text.substr(std::strlen(prefix)) : text;
  VariantData d{};
  bool ok;
  if (currency) {
    ok = plat::text_to_currency(number.c_str(), &d.i64);
    d.vt = plat::VT_CY;
  } else {
    ok = plat::text_to_decimal(number.c_str(), &d);
  }
  if (ok) {
    *out = d;
    return true;
  }
  if (prefixed) {
    ctx->err = currency ? ERR_CURRENCY_FORMAT : ERR_DECIMAL_FORMAT;
    return false;
  }
  return string_variant(ctx, text, out);
}

// A YmdHms text (two-digit years expanded) as the local time it names, else what the system reads as a date,
// else the text as a string.
bool date_variant(RunContext* ctx, const std::u16string& text, VariantData* out) {
  std::string ascii;
  for (char16_t c : text) ascii += c < 0x80 ? char(c) : '?';
  Ymdhms t;
  double date;
  bool ok = false;
  if (ymdhms_parse(ascii.c_str(), &t, YMD_DATETIME, true)) {
    const int32_t fields[6] = {t.year, t.month, t.day, t.hour, t.minute, t.second};
    ok = plat::fields_to_variant_time(fields, &date);
  } else {
    ok = plat::text_to_date(text.c_str(), &date);
  }
  if (!ok) return string_variant(ctx, text, out);
  *out = VariantData{};
  out->vt = plat::VT_DATE;
  out->dbl = date;
  return true;
}

// Two bytes for each UTF-16 unit, at least one byte.
bool byte_array_variant(RunContext* ctx, const std::u16string& text, VariantData* out) {
  std::string bytes(text.empty() ? 1 : text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = char(text[i] & 0xFF);
    bytes[2 * i + 1] = char(text[i] >> 8);
  }
  switch (plat::byte_array_variant(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out)) {
    case plat::BYTE_ARRAY_OK: return true;
    case plat::BYTE_ARRAY_NO_MEMORY: ctx->err = ERR_COM_MEMORY; return false;
    default: ctx->err = ERR_SAFEARRAY_ACCESS; return false;
  }
}

}  // namespace

double single_value(float f) {
  const double d = f;
  if (!(std::fabs(d) < SINGLE_REDUCTION_LIMIT)) return d;
  return std::round(d * 1e6) / 1e6;
}

bool variant_to_integer(RunContext* ctx, ValueCore& v, bool allow_float) {
  const uint16_t saved = ctx->err;
  VariantData d;
  if (!referred(v, &d)) return mismatch(ctx);
  if (is_object(d.vt)) {
    v.i = object_integer(d);
    v.type |= VF_INTEGER;
    ctx->err = saved;
    return true;
  }
  double f = 0;
  const bool has_double = double_of(d, &f);
  const bool whole = has_double && f == std::trunc(f) && f >= -2147483648.0 && f <= 2147483647.0;
  if (d.vt != plat::VT_R4 && d.vt != plat::VT_R8 && (whole || !has_double)) {
    int32_t i;
    if (plat::variant_to_int32(d, &i)) {
      v.i = i;
      v.type |= VF_INTEGER;
      ctx->err = saved;
      return true;
    }
    if (!has_double) return mismatch(ctx);
  }
  // A value with a fraction or beyond the integer range follows the rule for floats.
  v.f = f;
  v.type |= VF_FLOAT;
  if (!to_integer(ctx, v, allow_float)) return false;
  ctx->err = saved;
  return true;
}

bool variant_to_float(RunContext* ctx, ValueCore& v) {
  const uint16_t saved = ctx->err;
  VariantData d;
  double f;
  if (v.type & VF_INTEGER) {
    f = v.i;
  } else if (!referred(v, &d)) {
    return mismatch(ctx);
  } else if (is_object(d.vt)) {
    f = object_integer(d);
  } else if (!double_of(d, &f)) {
    return mismatch(ctx);
  }
  v.f = f;
  v.type |= VF_FLOAT;
  ctx->err = saved;
  return true;
}

bool variant_to_string(RunContext* ctx, ValueCore& v, bool wide) {
  const uint16_t saved = ctx->err;
  VariantData d;
  std::u16string text;
  if (!referred(v, &d)) return mismatch(ctx);
  if (!text_of(ctx, d, &text) || !store_text(ctx, v, text, wide)) return false;
  ctx->err = saved;
  return true;
}

bool variant_to_operand(RunContext* ctx, ValueCore& v) {
  VariantData d;
  if (!referred(v, &d)) return mismatch(ctx);
  switch (d.vt) {
    case plat::VT_R4:
    case plat::VT_R8:
    case plat::VT_CY:
    case plat::VT_DECIMAL:
    case plat::VT_DATE: return variant_to_float(ctx, v);
    case plat::VT_BSTR:
    case plat::VT_NULL: return variant_to_string(ctx, v, true);
    default: {
      const uint16_t before = ctx->err;
      if (variant_to_integer(ctx, v, false) || (v.type & VF_FLOAT)) return true;
      ctx->err = before;
      return variant_to_string(ctx, v, true);
    }
  }
}

bool param_variant_from_string(RunContext* ctx, const std::u16string& text, ParamType type, VariantData* out) {
  switch (type) {
    case ParamType::Currency: return number_variant(ctx, text, true, out);
    case ParamType::Decimal: return number_variant(ctx, text, false, out);
    case ParamType::Date: return date_variant(ctx, text, out);
    case ParamType::ByteArray: return byte_array_variant(ctx, text, out);
  }
  return false;
}

uint16_t com_error_number(int32_t result) {
  return result == RESULT_OUT_OF_MEMORY ? ERR_COM_MEMORY : ERR_COM_TYPE_MISMATCH;
}

}  // namespace tov
