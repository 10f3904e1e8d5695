// System built-ins that need no window or device: DataCast, ParseData, the versions, the environment, the
// clock, Delay, the run's settings (Yields, Sounds, Exclusive, IgnoreInput), and the Ctrl+Break request of
// IntControl.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "builtins/args.h"
#include "builtins/intcontrol.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/pump.h"
#include "exec/udf_call.h"
#include "lang/keywords.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace tov {

namespace {

// The longest delay: its milliseconds still fit the wait's 32-bit count.
constexpr double DELAY_MAX_SECONDS = 4294967.0;

// nBreakFlags bits that IntControl 12 sets.
constexpr uint32_t BREAK_FLAGS_SCRIPT = 4 | 8;

// --- DataCast -------------------------------------------------------------------------------------------

enum DataCastMode : int32_t {
  CAST_INTEGER = 0,          // a number or numeric text to an integer (floats rounded half away from zero)
  CAST_FLOAT = 1,
  CAST_STRING = 2,
  CAST_WSTRING = 3,
  CAST_BITS_TO_SINGLE = 4,   // the integer's 32 bits read as a single-precision float
  CAST_SINGLE_TO_BITS = 5,   // the float rounded to single precision, its 32 bits as an integer
};

// The integer conversion of integer arguments: a whole integer text, or else a float rounded.
bool cast_integer(RunContext* ctx, ValueCore& v) {
  if (to_integer_rounded(ctx, v)) return true;
  if (!ctx->err) ctx->err = ERR_NOT_NUMBER;
  return false;
}

bool cast_float(RunContext* ctx, ValueCore& v) {
  if (to_float(ctx, v)) return true;
  if (!ctx->err) ctx->err = ERR_FP_NOT_FLOAT;
  return false;
}

void bi_datacast(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  ValueCore& v = a.slot[1].c;
  switch (arg_int(a, 2)) {
    case CAST_INTEGER:
      if (cast_integer(ctx, v)) set_integer(ctx, result->c, v.i);
      return;
    case CAST_FLOAT:
      if (cast_float(ctx, v)) set_float(ctx, result->c, v.f);
      return;
    case CAST_STRING:
      if (!to_string(ctx, v)) {
        if (!ctx->err) ctx->err = ERR_NOT_STRING;
        return;
      }
      set_string(ctx, result->c, str_at(ctx, v.str), std::strlen(str_at(ctx, v.str)));
      return;
    case CAST_WSTRING:
      if (!to_wstring(ctx, v)) {
        if (!ctx->err) ctx->err = ERR_NOT_UNICODE;
        return;
      }
      set_wstring(ctx, result->c, wstr_at(ctx, v.wstr), wstr_len(wstr_at(ctx, v.wstr)));
      return;
    case CAST_BITS_TO_SINGLE: {
      if (!cast_integer(ctx, v)) return;
      float single;
      std::memcpy(&single, &v.i, sizeof single);
      if (std::isnan(single)) ctx->err = ERR_FP_NAN;
      else if (std::isinf(single)) ctx->err = ERR_FP_OVERFLOW;
      else set_float(ctx, result->c, double(single));
      return;
    }
    case CAST_SINGLE_TO_BITS: {
      if (!cast_float(ctx, v)) return;
      const auto single = float(v.f);
      if (std::isinf(single)) {
        ctx->err = ERR_FP_OVERFLOW;
        return;
      }
      int32_t bits;
      std::memcpy(&bits, &single, sizeof bits);
      set_integer(ctx, result->c, bits);
      return;
    }
    default: ctx->err = ERR_DATACAST_MODE; return;
  }
}

// --- ParseData, Version, VersionDll ---------------------------------------------------------------------

void bi_parsedata(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const int count = wide ? SetParamsW(ctx, arg_wstr(ctx, a, 1)) : SetParams(ctx, arg_str(ctx, a, 1));
  if (!ctx->err) set_integer(ctx, result->c, count);
}

void version_result(RunContext* ctx, Value* result) {
  set_string(ctx, result->c, TOV_VERSION_STRING, std::strlen(TOV_VERSION_STRING));
}
void bi_version(RunContext* ctx, Value* result, ArgBlock&, int, bool) { version_result(ctx, result); }
void bi_versiondll(RunContext* ctx, Value* result, ArgBlock&, int, bool) { version_result(ctx, result); }

// --- the environment ------------------------------------------------------------------------------------
// Names and values pass through UTF-16, so they reach the system exactly in either form of the call.

void bi_environment(RunContext* ctx, Value* result, ArgBlock& a, int, bool wide) {
  const std::u16string name = arg_wide(ctx, a, 1);
  std::u16string value;
  if (name.empty() || !plat::env_get_w(name.c_str(), &value)) value.clear();
  set_text_result(ctx, result, value, wide);
}

void bi_environset(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const std::u16string name = arg_wide(ctx, a, 1), value = arg_wide(ctx, a, 2);
  if (name.empty() || name.find(u'=', 1) != std::u16string::npos) {
    ctx->err = ERR_ENV_NAME;
    return;
  }
  std::u16string old;
  // An empty value removes the variable; removing one that does not exist is no failure.
  const bool removing = value.empty();
  if (!(removing && !plat::env_get_w(name.c_str(), &old)) &&
      !plat::env_set_w(name.c_str(), removing ? nullptr : value.c_str())) {
    ctx->err = ERR_ENV_SET;
    return;
  }
  set_integer(ctx, result->c, 1);
}

// "NAME=value" items separated by tabs.
void bi_envitemize(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  std::u16string list;
  for (const std::u16string& item : plat::env_items_w()) {
    if (!list.empty()) list += u'\t';
    list += item;
  }
  set_text_result(ctx, result, list, false);
}

// --- the clock and waiting ------------------------------------------------------------------------------

void bi_gettickcount(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  set_integer(ctx, result->c, int32_t(plat::tick_count()));
}

// The local date and time to the millisecond: "YYYY:MM:DD:HH:MM:SS.mmm".
void bi_getexacttime(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  const plat::LocalTime t = plat::local_time();
  char text[40];
  const int n = std::snprintf(text, sizeof text, "%04d:%02d:%02d:%02d:%02d:%02d.%03d", t.year, t.month, t.day,
                              t.hour, t.minute, t.second, t.millisecond);
  set_string(ctx, result->c, text, size_t(n));
}

void bi_delay(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const double seconds = arg_float(a, 1);
  if (!(seconds >= 0.0 && seconds <= DELAY_MAX_SECONDS)) {
    ctx->err = ERR_DELAY_TIME;
    return;
  }
  Wait(ctx, uint32_t(std::llround(seconds * 1000.0)));
  set_integer(ctx, result->c, 1);
}

// --- settings of the run --------------------------------------------------------------------------------
// Each takes @ON (any value but 0) or @OFF and returns the previous setting.

void flag_result(RunContext* ctx, Value* result, uint32_t& flag, bool on) {
  set_integer(ctx, result->c, flag ? 1 : 0);
  flag = on ? 1 : 0;
}

void bi_yields(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  flag_result(ctx, result, ctx->bFastPump, arg_int(a, 1) != 0);
}

void bi_sounds(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  flag_result(ctx, result, ctx->bSounds, arg_int(a, 1) != 0);
}

// The run's thread at a raised priority where the system allows it; put back when the run ends.
void bi_exclusive(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const bool on = arg_int(a, 1) != 0;
  plat::thread_priority_raise(on);
  flag_result(ctx, result, ctx->bExclusive, on);
}

// The user's keyboard and mouse input blocked; unblocked when the run ends at the latest.
void bi_ignoreinput(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const bool on = arg_int(a, 1) != 0;
  uint32_t code = 0;
  if (on != (ctx->bIgnoreInput != 0) && !plat::block_input(on, &code)) {
    ReportApiError(ctx, code, "BlockInput", true);
    ctx->err = ERR_FUNCTION_FAILED;
    return;
  }
  flag_result(ctx, result, ctx->bIgnoreInput, on);
}

// --- IntControl -----------------------------------------------------------------------------------------

// 12: how Ctrl+Break acts: 4 = a stop by Ctrl+Break is not reported, 8 = Ctrl+Break is ignored. A negative
// p1 leaves the setting as it is.
void ic_break_flags(RunContext* ctx, Value* result, const char* const p[4]) {
  const int32_t previous = int32_t(ctx->nBreakFlags & BREAK_FLAGS_SCRIPT);
  const int32_t wanted = intcontrol_number(p[0]);
  if (wanted >= 0)
    ctx->nBreakFlags = (ctx->nBreakFlags & ~BREAK_FLAGS_SCRIPT) | (uint32_t(wanted) & BREAK_FLAGS_SCRIPT);
  intcontrol_result(ctx, result, previous);
}

const BuiltinEntry kEntries[] = {
    {KW_DATACAST, bi_datacast},
    {KW_PARSEDATA, bi_parsedata},
    {KW_VERSION, bi_version},
    {KW_VERSIONDLL, bi_versiondll},
    {KW_ENVIRONMENT, bi_environment},
    {KW_ENVIRONSET, bi_environset},
    {KW_ENVITEMIZE, bi_envitemize},
    {KW_GETTICKCOUNT, bi_gettickcount},
    {KW_GETEXACTTIME, bi_getexacttime},
    {KW_DELAY, bi_delay},
    {KW_YIELDS, bi_yields},
    {KW_SOUNDS, bi_sounds},
    {KW_EXCLUSIVE, bi_exclusive},
    {KW_IGNOREINPUT, bi_ignoreinput},
};

const IntControlEntry kRequests[] = {
    {12, ic_break_flags},
};

}  // namespace

extern const BuiltinFamily kSystemBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};
extern const IntControlFamily kSystemIntControls = {kRequests, sizeof kRequests / sizeof kRequests[0]};

}  // namespace tov
