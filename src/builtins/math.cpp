// Math built-ins: the functions of one float, Abs and Int, Min, Max and Average, Random, Decimals and the
// number tests IsInt, IsFloat and IsNumber.
#include <cmath>
#include <cstdio>

#include "builtins/args.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "lang/eval.h"
#include "lang/keywords.h"
#include "lang/tokenizer.h"

namespace tov {

namespace {

// Decimals: the modes -1 (shortest), -2 ("%g"), -3 ("%e") and digit counts up to what the float text
// buffer holds in every form.
constexpr int32_t DECIMALS_MIN = -3, DECIMALS_MAX = 400;

// From 2^55 on, adjacent floats lie more than a whole period (2 pi) apart: an angle that large has no
// significant digits left for the trigonometric functions.
constexpr double TRIG_SIGNIFICANCE_LIMIT = 36028797018963968.0;

constexpr double INT32_LOWEST = -2147483648.0, INT32_HIGHEST = 2147483647.0;

// --- functions of one float -----------------------------------------------------------------------------
// Failures are left pending (the call frame raises them) with the substitute result 1.0. Arguments the
// libraries do not report alike on every platform are checked before the call.

double pending(uint16_t number) {
  fp_set(number);
  return 1.0;
}

template <typename F>
double library(F fn, double x) {
  fp_begin();
  return fp_end(fn(x));
}

double inverse_trig(double (*fn)(double), double x) {
  return std::fabs(x) > 1.0 ? pending(ERR_FP_DOMAIN) : library(fn, x);
}
double f_acos(double x) { return inverse_trig([](double v) { return std::acos(v); }, x); }
double f_asin(double x) { return inverse_trig([](double v) { return std::asin(v); }, x); }
double f_atan(double x) { return library([](double v) { return std::atan(v); }, x); }
double f_ceiling(double x) { return std::ceil(x); }
double f_floor(double x) { return std::floor(x); }
double f_fabs(double x) { return std::fabs(x); }
double f_cosh(double x) { return library([](double v) { return std::cosh(v); }, x); }
double f_sinh(double x) { return library([](double v) { return std::sinh(v); }, x); }
double f_tanh(double x) { return library([](double v) { return std::tanh(v); }, x); }
double f_exp(double x) { return library([](double v) { return std::exp(v); }, x); }

double trig(double (*fn)(double), double x) {
  return std::fabs(x) >= TRIG_SIGNIFICANCE_LIMIT ? pending(ERR_FP_TOTAL_LOSS) : library(fn, x);
}
double f_cos(double x) { return trig([](double v) { return std::cos(v); }, x); }
double f_sin(double x) { return trig([](double v) { return std::sin(v); }, x); }
double f_tan(double x) { return trig([](double v) { return std::tan(v); }, x); }

double logarithm(double (*fn)(double), double x) {
  if (x < 0.0) return pending(ERR_FP_DOMAIN);
  if (x == 0.0) return pending(ERR_FP_SINGULARITY);
  return library(fn, x);
}
double f_log10(double x) { return logarithm([](double v) { return std::log10(v); }, x); }
double f_loge(double x) { return logarithm([](double v) { return std::log(v); }, x); }
double f_sqrt(double x) { return x < 0.0 ? pending(ERR_FP_DOMAIN) : library([](double v) { return std::sqrt(v); }, x); }

template <double (*F)(double)>
void bi_float_function(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  set_float(ctx, result->c, F(arg_float(a, 1)));
}

// --- integers -------------------------------------------------------------------------------------------

void bi_abs(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int32_t i = arg_int(a, 1);
  if (i == INT32_MIN) {  // its magnitude is not an integer
    ctx->err = ERR_FP_OVERFLOW;
    return;
  }
  set_integer(ctx, result->c, i < 0 ? -i : i);
}

// The integer part, toward zero (argument conversions round instead).
void bi_int(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const double t = std::trunc(arg_float(a, 1));
  if (t < INT32_LOWEST || t > INT32_HIGHEST) {
    ctx->err = ERR_FP_OVERFLOW;
    return;
  }
  set_integer(ctx, result->c, int32_t(t));
}

// --- Min, Max, Average: variadic, the argument list is read here ----------------------------------------

enum class Fold { Min, Max, Average };

// One argument as a number, converted as the arithmetic operators convert their operands: an integer as
// it is, a text to an integer when it is a whole integer and otherwise to a float. False with 3057.
bool argument_number(RunContext* ctx, ValueCore& v, int n, double* value, bool* is_float) {
  const uint16_t before = ctx->err;
  *is_float = false;
  if (v.type & VF_INTEGER) {
    *value = v.i;
    return true;
  }
  if (v.type & VF_FLOAT) {
    *value = v.f;
    *is_float = true;
    return true;
  }
  if (v.type & (VF_STRING | VF_WSTRING | VF_VARIANT)) {
    if (to_integer(ctx, v, false)) {
      *value = v.i;
      return true;
    }
    if (ctx->err == before && to_float(ctx, v)) {
      *value = v.f;
      *is_float = true;
      return true;
    }
  }
  if (ctx->err != before) return false;
  ctx->err = ERR_NOT_NUMBER;
  char info[64];
  std::snprintf(info, sizeof info, "Argument number %d could not be converted", n);
  AddErrorInfo(ctx, info);
  return false;
}

// The current token is the "(" after the name; on return it is the closing ")".
void fold_arguments(RunContext* ctx, Value* result, Fold how) {
  get_token(ctx);
  if (ctx->err) return;
  if (tok_is(ctx, KW_RPAREN)) {
    ctx->err = ERR_WRONG_ARG_COUNT;
    AddErrorInfo(ctx, "At least one argument is required");
    return;
  }
  bool any_float = false;
  double best = 0.0;
  int64_t integer_sum = 0;         // exact for any count of integer arguments that fits in memory
  long double float_sum = 0.0L;    // wider range and precision than the arguments
  int n = 0;
  for (;;) {
    Value v;
    value_init(v);
    ProcessSubExpression(ctx, &v, false, false);
    double x = 0.0;
    bool is_float = false;
    const bool ok = !ctx->err && argument_number(ctx, v.c, ++n, &x, &is_float);
    value_free(ctx, v);
    if (!ok) return;
    any_float |= is_float;
    if (n == 1 || (how == Fold::Min && x < best) || (how == Fold::Max && x > best)) best = x;
    if (is_float) float_sum += x;
    else integer_sum += int64_t(x);
    if (tok_is(ctx, KW_RPAREN)) break;
    if (!tok_is(ctx, KW_COMMA)) {
      ctx->err = ERR_WRONG_ARG_COUNT;
      AddErrorInfo(ctx, "or missing parenthesis");
      return;
    }
    get_token(ctx);
    if (ctx->err) return;
  }
  if (how == Fold::Average) set_float(ctx, result->c, double((float_sum + (long double)integer_sum) / n));
  else if (any_float) set_float(ctx, result->c, best);
  else set_integer(ctx, result->c, int32_t(best));
}

void bi_min(RunContext* ctx, Value* result, ArgBlock&, int, bool) { fold_arguments(ctx, result, Fold::Min); }
void bi_max(RunContext* ctx, Value* result, ArgBlock&, int, bool) { fold_arguments(ctx, result, Fold::Max); }
void bi_average(RunContext* ctx, Value* result, ArgBlock&, int, bool) { fold_arguments(ctx, result, Fold::Average); }

// --- Random ---------------------------------------------------------------------------------------------

// SplitMix64: a 64-bit state that any seed may start, full period, output that passes the usual
// statistical batteries.
uint32_t next_random(RunContext* ctx) {
  uint64_t z = (ctx->randomState += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return uint32_t((z ^ (z >> 31)) >> 32);
}

// A uniform integer 0..n without the bias of a plain remainder (multiply and reject).
void bi_random(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int32_t n = arg_int(a, 1);
  if (n < 0) {
    ctx->err = ERR_RANDOM_RANGE;
    return;
  }
  const uint32_t range = uint32_t(n) + 1;
  uint64_t m = uint64_t(next_random(ctx)) * range;
  if (uint32_t(m) < range) {
    const uint32_t threshold = (0u - range) % range;
    while (uint32_t(m) < threshold) m = uint64_t(next_random(ctx)) * range;
  }
  set_integer(ctx, result->c, int32_t(m >> 32));
}

// --- Decimals -------------------------------------------------------------------------------------------

void bi_decimals(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const int32_t d = arg_int(a, 1);
  if (d < DECIMALS_MIN || d > DECIMALS_MAX) {
    ctx->err = ERR_DECIMALS_RANGE;
    return;
  }
  set_integer(ctx, result->c, ctx->decimals);
  ctx->decimals = d;
}

// --- number tests ---------------------------------------------------------------------------------------

// A whole decimal integer text (the conversion's form) whose value fits in 32 bits; the conversion itself
// wraps larger values around, which a test must not hide.
bool integer_text_fits(const char* s) {
  int32_t wrapped;
  if (!parse_integer_text(s, &wrapped)) return false;
  while (*s == ' ') ++s;
  bool negative = false;
  for (; *s == '+' || *s == '-'; ++s) negative ^= *s == '-';
  uint64_t magnitude = 0;
  for (; *s; ++s) {
    magnitude = magnitude * 10 + uint64_t(*s - '0');
    if (magnitude > 2147483648ull) return false;
  }
  return magnitude <= (negative ? 2147483648ull : 2147483647ull);
}

enum class NumberKind { None, Integer, Float };

// What kind of number a value is: integers and floats by their type; texts (ANSI or wide) that are whole
// 32-bit integers are integers, other decimal number texts floats.
NumberKind number_kind(RunContext* ctx, ValueCore& v) {
  if (v.type & VF_INTEGER) return NumberKind::Integer;
  if (v.type & VF_FLOAT) return NumberKind::Float;
  if (!(v.type & (VF_STRING | VF_WSTRING)) || !to_string(ctx, v)) return NumberKind::None;
  const char* s = str_at(ctx, v.str);
  if (integer_text_fits(s)) return NumberKind::Integer;
  double f;
  return parse_float_text(s, &f) ? NumberKind::Float : NumberKind::None;
}

void number_test(RunContext* ctx, Value* result, ArgBlock& a, bool integer, bool floating) {
  const NumberKind kind = number_kind(ctx, a.slot[1].c);
  if (ctx->err) return;
  const bool yes = (integer && kind == NumberKind::Integer) || (floating && kind == NumberKind::Float);
  set_integer(ctx, result->c, yes ? 1 : 0);
}

void bi_isint(RunContext* ctx, Value* result, ArgBlock& a, int, bool) { number_test(ctx, result, a, true, false); }
void bi_isfloat(RunContext* ctx, Value* result, ArgBlock& a, int, bool) { number_test(ctx, result, a, false, true); }
void bi_isnumber(RunContext* ctx, Value* result, ArgBlock& a, int, bool) { number_test(ctx, result, a, true, true); }

const BuiltinEntry kEntries[] = {
    {KW_ABS, bi_abs},
    {KW_ACOS, bi_float_function<f_acos>},
    {KW_ASIN, bi_float_function<f_asin>},
    {KW_ATAN, bi_float_function<f_atan>},
    {KW_AVERAGE, bi_average},
    {KW_CEILING, bi_float_function<f_ceiling>},
    {KW_COS, bi_float_function<f_cos>},
    {KW_COSH, bi_float_function<f_cosh>},
    {KW_DECIMALS, bi_decimals},
    {KW_EXP, bi_float_function<f_exp>},
    {KW_FABS, bi_float_function<f_fabs>},
    {KW_FLOOR, bi_float_function<f_floor>},
    {KW_INT, bi_int},
    {KW_ISFLOAT, bi_isfloat},
    {KW_ISINT, bi_isint},
    {KW_ISNUMBER, bi_isnumber},
    {KW_LOG10, bi_float_function<f_log10>},
    {KW_LOGE, bi_float_function<f_loge>},
    {KW_MAX, bi_max},
    {KW_MIN, bi_min},
    {KW_RANDOM, bi_random},
    {KW_SIN, bi_float_function<f_sin>},
    {KW_SINH, bi_float_function<f_sinh>},
    {KW_SQRT, bi_float_function<f_sqrt>},
    {KW_TAN, bi_float_function<f_tan>},
    {KW_TANH, bi_float_function<f_tanh>},
};

}  // namespace

extern const BuiltinFamily kMathBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
