#include "builtins/callframe.h"

#include <cstdio>
#include <cstring>

#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "exec/udf_call.h"
#include "ext/host_call.h"
#include "lang/arrays.h"
#include "lang/eval.h"
#include "lang/keywords.h"
#include "lang/tokenizer.h"
#include "lang/values.h"
#include "builtins/varfuncs.h"
#include "platform/system.h"

namespace tov {

namespace {

bool is_host(int id) { return id >= PARENTSTART && id < PARENTSTART + 999; }

void extra_text(RunContext* ctx, const char* format, const char* a, const char* b = "") {
  char buf[300];
  std::snprintf(buf, sizeof buf, format, a, b);
  AddErrorInfo(ctx, buf);
}

bool holds_wide_text(const ValueCore& v) {
  if (v.type & VF_WSTRING) return true;
  // A variant holding a BSTR, directly or by reference.
  return (v.type & VF_VARIANT) && ((v.variant.vt & 0x0FFF) == 8);
}

bool wide_call(const ArgBlock& args, int argc, uint64_t signature, bool nt) {
  for (int n = 1; n <= argc; ++n) {
    const unsigned type = unsigned(signature >> (4 * (n - 1))) & 15u;
    if ((type == ARG_TEXT || (nt && type == ARG_TEXT_BOTH)) && holds_wide_text(args.slot[n].c)) return true;
  }
  return false;
}

// Converts argument n by its type; false with the error set.
bool convert_argument(RunContext* ctx, ValueCore& v, unsigned type, int n, bool wide, bool nt) {
  const uint16_t before = ctx->err;
  auto fail = [&](uint16_t number) {
    if (ctx->err == before) ctx->err = number;
    return false;
  };
  switch (type) {
    case ARG_STRING: return to_string(ctx, v) || fail(ERR_NOT_STRING);
    case ARG_FLOAT: return to_float(ctx, v) || fail(ERR_FP_NOT_FLOAT);
    case ARG_ARRAY: return (v.type & VF_ARRAY) || fail(ERR_NOT_ARRAY);
    case ARG_VARIANT:
      if (v.type & VF_VARIANT) return true;
      return fail(ERR_NOT_VARIANT);
    case ARG_WSTRING: return to_wstring(ctx, v) || fail(ERR_NOT_UNICODE);
    case ARG_TEXT:
    case ARG_TEXT_NT:
    case ARG_TEXT_BOTH:
      if (text_arrives_wide(type, wide, nt)) return to_wstring(ctx, v) || fail(ERR_NOT_UNICODE);
      return to_string(ctx, v) || fail(ERR_NOT_STRING);
    case ARG_ANY: return true;
    default:  // ARG_INT and the unused codes
      if (to_integer_rounded(ctx, v)) return true;
      if (ctx->err != before) return false;
      ctx->err = ERR_NOT_NUMBER;
      char buf[80];
      std::snprintf(buf, sizeof buf, "Argument number %d could not be converted", n);
      AddErrorInfo(ctx, buf);
      return false;
  }
}

void dispatch(RunContext* ctx, int id, Value* result, ArgBlock& args, int argc, bool wide, uint64_t signature) {
  if (is_udf_code(id)) {
    CallUdf(ctx, id, result, &args, argc, nullptr, nullptr, UDF_MODE_EXPRESSION);
    return;
  }
  // A built-in may have shown a window or waited, and a stop asked for meanwhile is seen after its statement.
  // Reading or writing a line of a file does neither: the usual count to the next pump holds.
  if (!pure_builtin(id) && !file_line_builtin(id)) ctx->nPumpSkip = 0;
  if (is_host(id) || id >= ADDONSTART) {
    call_external(ctx, id, result, args, argc, signature, wide);
    return;
  }
  if (BuiltinFn fn = builtin_for(id)) {
    fn(ctx, result, args, argc, wide);
    return;
  }
  ctx->err = (id == OBJECT_REFERENCE_CODE) ? ERR_NOT_AVAILABLE : ERR_FUNCTION_NOT_DEFINED;
}

}  // namespace

bool text_arrives_wide(unsigned type, bool wide_call, bool nt) {
  switch (type) {
    case ARG_WSTRING: return true;
    case ARG_TEXT: return wide_call;
    case ARG_TEXT_NT: return nt;
    case ARG_TEXT_BOTH: return wide_call && nt;
    default: return false;
  }
}

bool pure_builtin(int id) {
  switch (id) {
    case KW_ABS:
    case KW_ITEMCOUNT:
    case KW_ITEMEXTRACT:
    case KW_ITEMINSERT:
    case KW_ITEMLOCATE:
    case KW_ITEMREMOVE:
    case KW_ITEMREPLACE:
    case KW_STRCMP:
    case KW_STRICMP:
    case KW_STRINDEX:
    case KW_STRINDEXNC:
    case KW_STRLEN:
    case KW_STRLOWER:
    case KW_STRSUB:
    case KW_STRTRIM:
    case KW_STRUPPER: return true;
    default: return false;
  }
}

bool file_line_builtin(int id) { return id == KW_FILEREAD || id == KW_FILEWRITE; }

void release_args(RunContext* ctx, ArgBlock& args, int last) {
  for (int n = 0; n <= last && n < ARG_SLOTS; ++n) {
    if (args.slot[n].c.type & VALUE_OWNS) value_free(ctx, args.slot[n], VFREE_HOLDER);
    args.slot[n].c.type = 0;
  }
}

namespace {

// Converts arguments 1..argc by their types and tells whether the call takes the wide form; false with the
// error set.
// The argument types that take plain text as it stands, one bit per type.
uint32_t single_byte_text_types(bool wide, bool nt) {
  uint32_t bits = 1u << ARG_STRING;
  for (const unsigned type : {ARG_TEXT, ARG_TEXT_NT, ARG_TEXT_BOTH})
    if (!text_arrives_wide(type, wide, nt)) bits |= 1u << type;
  return bits;
}

[[gnu::always_inline]] inline bool convert_arguments(RunContext* ctx, ArgBlock& args, int argc, uint64_t signature,
                                                  bool* wide) {
  static const bool nt = plat::os_info().nt_family;
  static const uint32_t text_types[2] = {single_byte_text_types(false, nt), single_byte_text_types(true, nt)};
  // Only an argument holding wide text or a variant can make the call wide.
  uint32_t kinds = 0;
  for (int n = 1; n <= argc; ++n) kinds |= args.slot[n].c.type;
  *wide = (kinds & (VF_WSTRING | VF_VARIANT)) && wide_call(args, argc, signature, nt);
  const uint32_t text_as_is = text_types[*wide];
  uint64_t types = signature;
  for (int n = 1; n <= argc; ++n, types >>= 4) {
    const unsigned type = unsigned(types) & 15u;
    ValueCore& v = args.slot[n].c;
    // An integer (as the conversion takes it, whatever else the value holds) or plain text already in the
    // form the built-in takes.
    if (type == ARG_INT ? (v.type & VF_INTEGER) != 0 : v.type == VF_STRING && (text_as_is >> type & 1u)) continue;
    if (!convert_argument(ctx, v, type, n, *wide, nt)) return false;
  }
  return true;
}

// A number result carries no string beside it; a floating-point fault of the call is raised.
void normalise_result(RunContext* ctx, Value* result) {
  if ((result->c.type & (VF_INTEGER | VF_FLOAT)) && (result->c.type & VF_STRING)) {
    if (result->c.str) VFree(ctx, result->c.str);
    result->c.str = 0;
    result->c.type &= ~uint32_t(VF_STRING);
  }
  fp_raise(ctx);
}

}  // namespace

void CallUdfWithNumbers(RunContext* ctx, int id, Value* result, const int32_t* numbers, int argc) {
  // The function reads arguments 1..argc only and copies what it keeps: the other slots stay unset and
  // nothing is released.
  ArgBlock args;
  for (int n = 1; n <= argc; ++n) {
    value_init(args.slot[n]);
    args.slot[n].c.i = numbers[n - 1];
  }
  value_init(*result);
  CallUdf(ctx, id, result, &args, argc, nullptr, nullptr, UDF_MODE_EXPRESSION);
  normalise_result(ctx, result);
}

void CallBuiltin(RunContext* ctx, const char* name, int id, Value* result, ArgBlock& args, bool variadic,
                 int argc, uint64_t signature) {
  if (result->c.type & VALUE_OWNS) value_free(ctx, *result);
  value_init(*result);
  bool wide = false;
  if (!variadic && !is_udf_code(id) && !convert_arguments(ctx, args, argc, signature, &wide)) return;
  (void)name;
  dispatch(ctx, id, result, args, argc, wide, signature);
  normalise_result(ctx, result);
}

void CallPureBuiltin(RunContext* ctx, int id, Value* result, ArgBlock& args, int argc, uint64_t signature) {
  value_init(*result);
  bool wide = false;
  if (!convert_arguments(ctx, args, argc, signature, &wide)) return;
  builtin_for(id)(ctx, result, args, argc, wide);
  normalise_result(ctx, result);
}

void ParseFunctionCall(RunContext* ctx, Value* result) {
  const int id = ctx->tok.delim_type;
  KeywordInfo info;
  if (!keyword_info(ctx, id, &info)) {
    ctx->err = ERR_ILLEGAL_SYNTAX;
    return;
  }
  if (info.kind == KW_VARFUNC) {
    call_varfunc(ctx, id, info.name, result);
    return;
  }
  const int required = int(info.value & 0xFF), optional = int((info.value >> 8) & 0xFF);
  const bool variadic = uint32_t(required) == VARIADIC;
  const int total = variadic ? 0 : required + optional;
  if (too_many_args(info.value)) {
    ctx->err = ERR_TOO_MANY_ARGS_DEFINED;
    return;
  }
  if (id != OBJECT_REFERENCE_CODE) {
    get_token(ctx);
    if (ctx->err) return;
    if (!tok_is(ctx, KW_LPAREN)) {
      ctx->err = ERR_NO_OPEN_PAREN;
      extra_text(ctx, "%s %s", info.name, "not followed by open parenthesis");
      return;
    }
  }
  ArgBlock args;
  for (Value& v : args.slot) value_init(v), v.c.type = 0;
  int argc = 0;
  if (!variadic) {
    get_token(ctx);
    if (ctx->err) return;
    int n = 1;
    while (n <= total) {
      if (tok_is(ctx, KW_RPAREN) && n > required) break;
      if (n > 1) {
        get_token(ctx);
        if (ctx->err) break;
      }
      Value v;
      value_init(v);
      ProcessSubExpression(ctx, &v, false, false);
      if (ctx->err) {
        value_free(ctx, v);
        break;
      }
      // The slot takes over the value; an array is held while it sits there.
      if ((v.c.type & VF_ARRAY) && v.c.str) array_hold(v.c.str);
      value_move(v, args.slot[n]);
      if (n < required && !tok_is(ctx, KW_COMMA)) {
        ctx->err = ERR_ILLEGAL_DELIMITER;
        AddErrorInfo(ctx, "Function may need more parameters, or a period was used when a comma was expected");
        break;
      }
      ++n;
    }
    if (!ctx->err && !tok_is(ctx, KW_RPAREN)) {
      ctx->err = ERR_WRONG_ARG_COUNT;
      AddErrorInfo(ctx, "or missing parenthesis");
    }
    if (ctx->err) {
      release_args(ctx, args, total);
      return;
    }
    argc = n - 1;
  }
  const uint64_t signature = info.argTypes;
  CallBuiltin(ctx, info.name, id, result, args, variadic, argc, signature);
  release_args(ctx, args, total);
  if (ctx->err) return;
  get_token(ctx);
}

}  // namespace tov
