// Function bodies worked out on whole numbers alone: assignments of whole-number expressions and a Return.
#pragma once
#include <cstdint>

#include "engine/context.h"
#include "exec/udf.h"
#include "lang/keywords.h"

namespace tov {

// CallUdfWhole's work for a record whose body may be of whole-number steps.
bool call_whole_body(RunContext* ctx, UdfRecord* rec, uint16_t index, const int32_t* numbers, int argc, int32_t* out);

// A call of a user-defined function with whole numbers whose body is whole-number assignments and a Return:
// worked out with no frame, leaving what the call made the usual way would (true with its value). False with
// nothing done when the call is to be made the usual way. (Inline: a body found to be of another kind is
// turned away at once for the record's life; at worst a call is then made the usual way.)
inline bool CallUdfWhole(RunContext* ctx, int code, const int32_t* numbers, int argc, int32_t* out) {
  const int index = code - UDFSTART;
  UdfRecord* rec = (index >= 0 && index < ctx->nUdfCount) ? ctx->apUdf[index] : nullptr;
  if (!rec || rec->whole.state == WHOLE_BODY_NONE) return false;
  return call_whole_body(ctx, rec, uint16_t(index), numbers, argc, out);
}

}  // namespace tov
