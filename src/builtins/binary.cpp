// Binary buffers: allocation, the end of data, and buffer information.
#include <cstdint>

#include "builtins/binary_support.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "lang/keywords.h"

namespace tov {

namespace {

enum BufInfoRequest : int32_t {
  BUFINFO_VALID = -1,
  BUFINFO_SIZE = 0,
  BUFINFO_ADDRESS = 1,
  BUFINFO_EOD = 2,
};

void bi_binaryalloc(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  int32_t handle = 0;
  if (const uint16_t err = binary_alloc(ctx, arg_int(a, 1), &handle)) {
    ctx->err = err;
    return;
  }
  set_handle_result(ctx, result, handle);
}

void bi_binaryfree(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  if (!binary_free(ctx, arg_int(a, 1))) ctx->err = ERR_BINARY_HANDLE;
}

// The value must be a buffer handle by its type, not only by its number.
void bi_binarybufinfo(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const ValueCore& v = a.slot[1].c;
  const int32_t request = arg_int(a, 2);
  const bool typed = (v.type & (VF_INTEGER | VF_BINARY)) == (VF_INTEGER | VF_BINARY);
  BinaryEntry* b = typed ? binary_find(ctx, v.i) : nullptr;
  if (request == BUFINFO_VALID) {
    set_integer(ctx, result->c, b ? 1 : 0);
    return;
  }
  if (!b) {
    ctx->err = ERR_BINARY_HANDLE;
    return;
  }
  switch (request) {
    case BUFINFO_SIZE: set_integer(ctx, result->c, b->size); return;
    case BUFINFO_EOD: set_integer(ctx, result->c, b->eod); return;
    case BUFINFO_ADDRESS: {
      // An address that an integer cannot hold (64-bit systems) is given as a float, which holds it exactly.
      const auto address = uintptr_t(b->data);
      if (address <= uintptr_t(INT32_MAX)) set_integer(ctx, result->c, int32_t(address));
      else set_float(ctx, result->c, double(address));
      return;
    }
    default: ctx->err = ERR_INVALID_REQUEST; return;
  }
}

void bi_binaryeodget(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  if (BinaryEntry* b = arg_buffer(ctx, a, 1)) set_integer(ctx, result->c, b->eod);
}

void bi_binaryeodset(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  BinaryEntry* b = arg_buffer(ctx, a, 1);
  if (!b) return;
  int32_t previous = 0;
  if (const uint16_t err = binary_set_eod(b, arg_int(a, 2), &previous)) ctx->err = err;
  else set_integer(ctx, result->c, previous);
}

const BuiltinEntry kEntries[] = {
    {KW_BINARYALLOC, bi_binaryalloc},     {KW_BINARYFREE, bi_binaryfree},
    {KW_BINARYBUFINFO, bi_binarybufinfo}, {KW_BINARYEODGET, bi_binaryeodget},
    {KW_BINARYEODSET, bi_binaryeodset},
};

}  // namespace

extern const BuiltinFamily kBinaryBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

}  // namespace tov
