#include "lang/arrays.h"

#include <cstring>

#include "diag/errors.h"
#include "engine/context.h"
#include "lang/eval.h"
#include "lang/tokenizer.h"
#include "lang/values.h"
#include "lang/vartable.h"

namespace tov {

namespace {
constexpr double ARRAY_BYTES_LIMIT = 4000000000.0;
}

ArrayHeader* array_header(uint32_t id) {
  return id ? static_cast<ArrayHeader*>(plat::mem_address(id)) : nullptr;
}

ArrayHeader* array_checked(uint32_t id) {
  if (!id || !plat::mem_valid(id)) return nullptr;
  const uint64_t bytes = plat::mem_size(id);
  ArrayHeader* a = array_header(id);
  if (!a || bytes < ARRAY_HEADER_BYTES || a->dataOffset != ARRAY_HEADER_BYTES || a->rank > ARRAY_MAX_DIMS ||
      uint64_t(a->count) * ARRAY_ELEMENT_BYTES != a->dataSize || bytes < ARRAY_HEADER_BYTES + uint64_t(a->dataSize))
    return nullptr;
  return a;
}

int CreateMyArray(RunContext* ctx, Value* result, int32_t d1, int32_t d2, int32_t d3, int32_t d4, int32_t d5,
                  uint8_t elementKind, int32_t given) {
  int32_t d[ARRAY_MAX_DIMS] = {d1, d2, d3, d4, d5};
  for (int i = given < 0 ? 0 : given; i < ARRAY_MAX_DIMS; ++i) d[i] = 0;
  for (int32_t v : d)
    if (v < 0) {
      ctx->err = ERR_ARR_INVALID_DIM;
      return -1;
    }
  int rank = 0;
  for (int i = 0; i < ARRAY_MAX_DIMS; ++i)
    if (d[i]) rank = i + 1;
  for (int i = 0; i < rank; ++i)
    if (!d[i]) {
      ctx->err = ERR_ARR_ZERO_DIM;
      return -1;
    }
  double count = rank ? 1.0 : 0.0;
  for (int i = 0; i < rank; ++i) count *= d[i];
  if (count * ARRAY_ELEMENT_BYTES + ARRAY_HEADER_BYTES >= ARRAY_BYTES_LIMIT) {
    ctx->err = ERR_ARR_TOO_LARGE;
    return -1;
  }
  const uint32_t n = uint32_t(count);
  const size_t bytes = size_t(n) * ARRAY_ELEMENT_BYTES + ARRAY_HEADER_BYTES;
  plat::MemId id = plat::mem_alloc(bytes, true);
  auto* a = id ? static_cast<ArrayHeader*>(plat::mem_lock(id)) : nullptr;
  if (!a) {
    if (id) plat::mem_free(id);
    ctx->err = ERR_ARR_ALLOC;
    return -1;
  }
  for (int i = 0; i < ARRAY_MAX_DIMS; ++i) a->dims[i] = uint32_t(d[i]);
  a->rank = uint8_t(rank);
  a->elementKind = elementKind;
  a->dataOffset = ARRAY_HEADER_BYTES;
  a->count = n;
  a->dataSize = n * ARRAY_ELEMENT_BYTES;
  value_free(ctx, *result);
  value_init(*result);
  result->c.type = VF_ARRAY;
  result->c.str = id;
  return rank ? 1 : 0;
}

ValueCore* array_element_at(RunContext* ctx, uint32_t id, const int32_t* subs) {
  ArrayHeader* a = array_header(id);
  if (!a) {
    ctx->err = ERR_ARR_ACCESS;
    return nullptr;
  }
  if (!a->rank) {
    ctx->err = ERR_ARR_EMPTY;
    return nullptr;
  }
  uint64_t index = 0;
  for (int i = 0; i < a->rank; ++i) {
    if (subs[i] < 0 || uint32_t(subs[i]) >= a->dims[i]) {
      ctx->err = ERR_ARR_OUT_OF_BOUNDS;
      return nullptr;
    }
    index = index * a->dims[i] + uint32_t(subs[i]);
  }
  if (index >= a->count) {
    ctx->err = ERR_ARR_OUT_OF_BOUNDS;
    return nullptr;
  }
  if (plat::mem_size(id) < ARRAY_HEADER_BYTES + (index + 1) * ARRAY_ELEMENT_BYTES) {
    ctx->err = ERR_ARR_ACCESS;
    return nullptr;
  }
  return array_elements(a) + index;
}

bool array_read_subscripts(RunContext* ctx, uint32_t id, int32_t* subs) {
  ArrayHeader* a = array_header(id);
  if (!a) {
    ctx->err = ERR_ARR_ACCESS;
    return false;
  }
  if (!a->rank) {
    ctx->err = ERR_ARR_EMPTY;
    return false;
  }
  const int rank = a->rank;
  for (int i = 0; i < rank; ++i) {
    get_token(ctx);
    if (ctx->err) return false;
    Value s;
    value_init(s);
    ProcessSubExpression(ctx, &s, false, false);
    if (ctx->err) {
      value_free(ctx, s);
      return false;
    }
    if (!tok_is(ctx, KW_COMMA) && !tok_is(ctx, KW_RBRACKET)) {
      value_free(ctx, s);
      ctx->err = ERR_ARR_SYNTAX;
      return false;
    }
    const uint16_t before = ctx->err;
    bool ok = to_integer(ctx, s.c, false) || (to_float(ctx, s.c) && to_integer(ctx, s.c, true));
    if (!ok) {
      value_free(ctx, s);
      if (ctx->err == before) ctx->err = ERR_ARR_NOT_NUMERIC;
      return false;
    }
    subs[i] = s.c.i;
    value_free(ctx, s);
    // The subscript's expression may have changed the array.
    if (!(a = array_header(id)) || a->rank != rank) {
      ctx->err = ERR_ARR_ACCESS;
      return false;
    }
    if (subs[i] < 0 || uint32_t(subs[i]) >= a->dims[i]) {
      ctx->err = ERR_ARR_OUT_OF_BOUNDS;
      return false;
    }
    if (tok_is(ctx, KW_RBRACKET) && i + 1 < rank) {
      ctx->err = ERR_ARR_WRONG_DIMS;
      return false;
    }
  }
  if (!tok_is(ctx, KW_RBRACKET)) {
    ctx->err = ERR_ARR_SYNTAX;
    return false;
  }
  return true;
}

ValueCore* array_element_address(RunContext* ctx, uint32_t id) {
  int32_t subs[ARRAY_MAX_DIMS] = {};
  if (!array_read_subscripts(ctx, id, subs)) return nullptr;
  return array_element_at(ctx, id, subs);
}

bool parse_subscript_text(RunContext* ctx, uint32_t id, const char* bracketed, int32_t* subs) {
  // Subscripts handed over as text are read with a tokenizer state of their own.
  TokenState saved = ctx->tok;
  const uint16_t saved_err = ctx->err;
  ctx->err = 0;
  ctx->tok.prog = bracketed;
  get_token(ctx);
  bool ok = !ctx->err && tok_is(ctx, KW_LBRACKET) && array_read_subscripts(ctx, id, subs);
  ctx->tok = saved;
  ctx->err = saved_err;
  return ok;
}

void array_hold(uint32_t id) { plat::mem_lock(id); }
void array_unhold(uint32_t id) {
  if (plat::mem_valid(id) && plat::mem_lock_count(id) > 1) plat::mem_unlock(id);
}

namespace {

// Frees every element and the block, and clears the array field of every variable of the current table
// that refers to it.
void array_destroy(RunContext* ctx, uint32_t id) {
  ArrayHeader* a = array_header(id);
  if (!a) return;
  ValueCore* e = array_elements(a);
  for (uint32_t i = 0; i < a->count; ++i) value_free(ctx, e[i]);
  if (ctx->lpVars)
    for (uint16_t i = 0; i < ctx->nVarUsed; ++i) {
      VarSlot& s = ctx->lpVars[i];
      if ((s.c.type & VF_ARRAY) && s.c.str == id) s.c.str = 0;
    }
  plat::mem_free(id);
}

}  // namespace

void array_release(RunContext* ctx, uint32_t id, bool force) {
  if (!plat::mem_valid(id)) return;
  if (!force && plat::mem_lock_count(id) >= 3) {
    plat::mem_unlock(id);
    return;
  }
  array_destroy(ctx, id);
}

void array_release_temp(RunContext* ctx, uint32_t id) {
  if (plat::mem_valid(id) && plat::mem_lock_count(id) <= 1) array_destroy(ctx, id);
}

}  // namespace tov
