// Array built-ins.
#include "builtins/args.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "lang/arrays.h"
#include "lang/keywords.h"

namespace tov {

namespace {

constexpr int32_t ARRINFO_IS_ARRAY = -1, ARRINFO_RANK = 0, ARRINFO_COUNT = 6;

void bi_arrdimension(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  int32_t d[ARRAY_MAX_DIMS] = {};
  for (int i = 0; i < argc && i < ARRAY_MAX_DIMS; ++i) d[i] = arg_int(a, i + 1);
  CreateMyArray(ctx, result, d[0], d[1], d[2], d[3], d[4], 0, argc);
}

void bi_arrinfo(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const ValueCore& v = a.slot[1].c;
  const int32_t request = arg_int(a, 2);
  const bool is_array = (v.type & VF_ARRAY) != 0;
  if (request == ARRINFO_IS_ARRAY) {
    set_integer(ctx, result->c, is_array ? 1 : 0);
    return;
  }
  if (!is_array) {
    ctx->err = ERR_ARR_NOT_ARRAY_PARAM;
    return;
  }
  const ArrayHeader* h = array_header(v.str);
  if (!h) {
    ctx->err = ERR_ARR_ACCESS;
    return;
  }
  if (request == ARRINFO_RANK) set_integer(ctx, result->c, h->rank);
  else if (request >= 1 && request <= ARRAY_MAX_DIMS) set_integer(ctx, result->c, int32_t(h->dims[request - 1]));
  else if (request == ARRINFO_COUNT) set_integer(ctx, result->c, int32_t(h->count));
  else ctx->err = ERR_ARRINFO_REQUEST;
}

const BuiltinEntry kEntries[] = {
    {KW_ARRDIMENSION, bi_arrdimension},
    {KW_ARRINFO, bi_arrinfo},
};

}  // namespace

extern const BuiltinFamily kArrayBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
