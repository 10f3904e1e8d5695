// GoSub, Return, ForEach, Execute and the handler functions.
#include "exec/frames.h"

#include <cstdio>
#include <cstring>

#include "builtins/callframe.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "engine/script.h"
#include "exec/compiled.h"
#include "exec/udf_call.h"
#include "lang/eval.h"
#include "lang/tokenizer.h"
#include "lang/values.h"
#include "lang/vartable.h"
#include "platform/ui.h"
#include "resources/strings.h"

namespace tov {

namespace {

uint16_t gosub_kind(int32_t pending_if) {
  return pending_if == 0 ? SK_GOSUB_FALSE : pending_if == 1 ? SK_GOSUB_TRUE : SK_GOSUB_NONE;
}

int32_t pending_if_of(uint16_t kind) { return kind == SK_GOSUB_FALSE ? 0 : kind == SK_GOSUB_TRUE ? 1 : -1; }

bool is_gosub(uint16_t kind) { return kind == SK_GOSUB_FALSE || kind == SK_GOSUB_TRUE || kind == SK_GOSUB_NONE; }

// The record of the innermost GoSub, function or called script; nStructDepth when there is none.
uint32_t innermost_frame(const RunContext* ctx) {
  for (uint32_t i = ctx->nStructDepth; i-- > 0;) {
    const uint16_t kind = ctx->aStruct[i].kind;
    if (is_gosub(kind) || kind == SK_UDF || kind == SK_CALL) return i;
  }
  return ctx->nStructDepth;
}

// The record of the function or called script a Return here leaves; the stack's depth when it leaves none
// (a GoSub's frame, or the top level).
uint32_t function_frame(const RunContext* ctx) {
  const uint32_t i = innermost_frame(ctx);
  return i != ctx->nStructDepth && is_gosub(ctx->aStruct[i].kind) ? ctx->nStructDepth : i;
}

// A Return leaves the call frame at record i: the records above it go, and the frame stays readable just
// above the stack's top, its flag keeping the result for the caller.
void leave_frame(RunContext* ctx, uint32_t i) {
  for (uint32_t j = ctx->nStructDepth; j-- > i + 1;) ctx->aStruct[j] = StructRecord{};
  ctx->nStructDepth = i;
  ctx->aStruct[i].aux = 1;
}

}  // namespace

bool open_gosub_frame(RunContext* ctx, uint32_t resume) {
  const uint16_t kind = gosub_kind(ctx->nPendingIf);
  ctx->nPendingIf = -1;
  ctx->nStmtClass = SC_GOSUB_RETURN;
  ctx->bBranch = 1;
  const uint32_t saved_in_loop = ctx->bInLoop;
  if (!push_record(ctx, kind, resume, ctx->nLineStart, BS_RUNNING)) return false;
  StructRecord& r = ctx->aStruct[ctx->nStructDepth - 1];
  r.savedInLoop = uint8_t(saved_in_loop);
  ctx->bInLoop = 0;
  return true;
}

void close_gosub_frame(RunContext* ctx) {
  if (!ctx->nStructDepth) return;
  ctx->bInLoop = ctx->aStruct[ctx->nStructDepth - 1].savedInLoop;
  pop_record(ctx, false);
}

int stmt_gosub(RunContext* ctx, const StatementPlace& at) {
  if (block_is_skipping(ctx)) {
    ctx->nPendingIf = -1;
    ctx->nStmtClass = SC_GOSUB_RETURN;
    return 1;
  }
  const uint32_t offset = uint32_t(ctx->tok.tokenStart - at.line);
  get_string_token(ctx);
  if (ctx->err) return 0;
  if (ctx->tok.tok_type == TT_END) {
    ctx->err = ERR_MISSING_STATEMENT;
    return 0;
  }
  if (ctx->tok.tok_type != TT_STRING) {
    ctx->err = ERR_LABEL_NOT_SPECIFIED;
    return 0;
  }
  char label[LABEL_COMPARE_MAX + 1];
  std::snprintf(label, sizeof label, "%s", ctx->tok.text);
  get_token(ctx);
  if (ctx->err) return 0;
  if (ctx->tok.tok_type != TT_END) {
    ctx->err = ERR_EXPRESSION_CONTINUES;
    add_hint(ctx, HINT_EXTRA_TOKENS);
    return 0;
  }
  if (!open_gosub_frame(ctx, *at.pos)) return 0;
  uint32_t target;
  if (!FindLabel(ctx, label, &target, at.lineStart, offset, at.script, at.noRewrite)) {
    close_gosub_frame(ctx);
    return 0;
  }
  *at.pos = target;
  return 1;
}

int stmt_return(RunContext* ctx, Value* result, const StatementPlace& at) {
  ctx->nStmtClass = SC_GOSUB_RETURN;
  ctx->bBranch = 0;
  if (block_is_skipping(ctx)) return 1;
  const CompiledLine* cl = at.compiled;
  if (!cl) get_token(ctx);
  if (ctx->err) return 0;
  const bool with_value = cl ? cl->e[0].first != NO_EXPR : ctx->tok.tok_type != TT_END;
  if (with_value && cl) {
    EvaluateCompiled(ctx, *cl, 0, result);
    if (ctx->err) return 0;
  } else if (with_value) {
    ProcessSubExpression(ctx, result, false, false);
    if (ctx->err) return 0;
    if (ctx->tok.tok_type != TT_END) {
      ctx->err = ERR_EXPRESSION_CONTINUES;
      add_hint(ctx, HINT_EXTRA_TOKENS);
      return 0;
    }
  } else {
    set_integer(ctx, result->c, 0);
  }
  const uint32_t i = innermost_frame(ctx);
  if (i == ctx->nStructDepth) return -1;
  const StructRecord& r = ctx->aStruct[i];
  if (is_gosub(r.kind)) {
    if (with_value) {
      ctx->err = ERR_RETURN_FROM_GOSUB;
      return 0;
    }
    const uint32_t resume = r.resume;
    const uint8_t saved_in_loop = r.savedInLoop;
    const int32_t pending = pending_if_of(r.kind);
    while (ctx->nStructDepth > i) pop_record(ctx, false);
    ctx->bInLoop = saved_in_loop;
    ctx->nPendingIf = pending;
    ctx->bBranch = 0;
    *at.pos = resume;
    return 1;
  }
  leave_frame(ctx, i);
  return -1;
}

bool returns_from_function(const RunContext* ctx) { return function_frame(ctx) != ctx->nStructDepth; }

int return_from_function(RunContext* ctx, Value* result, const CompiledLine& cl) {
  ctx->nStmtClass = SC_GOSUB_RETURN;
  ctx->bBranch = 0;
  EvaluateCompiled(ctx, cl, 0, result);
  if (ctx->err) return 0;
  leave_frame(ctx, innermost_frame(ctx));
  return -1;
}

bool quick_return(RunContext* ctx, Value* result, const CompiledLine& cl) {
  const uint32_t i = function_frame(ctx);
  if (i == ctx->nStructDepth) return false;
  int32_t v = 0;
  const CompiledExpr& e = cl.e[0];
  if (e.first != NO_EXPR && !EvaluateWholeNumber(ctx, cl, 0, &v)) return false;
  if (result->c.type & VALUE_OWNS) value_free(ctx, *result);
  value_init(*result);
  result->c.i = v;
  // A variable alone is the value's origin, as the general evaluation notes it.
  if (e.first != NO_EXPR && e.count == 1 && cl.ops[e.first].code == OP_VARIABLE) {
    result->originSlot = cl.vars[cl.ops[e.first].payload.index].slot;
    result->originFrame = ctx->nVarFrame;
  }
  ctx->nStmtClass = SC_GOSUB_RETURN;
  ctx->bBranch = 0;
  ctx->nPendingIf = -1;
  leave_frame(ctx, i);
  return true;
}

void foreach_release(RunContext* ctx, StructRecord& record) {
  if (!record.aux2) return;
  slot_drop(ctx, record.aux2);
  record.aux2 = 0;
}

int stmt_foreach(RunContext* ctx, const StatementPlace& at) {
  ctx->nStmtClass = SC_FOR;
  ctx->nPendingIf = -1;
  if (block_is_skipping(ctx)) return push_record(ctx, SK_FOREACH, at.lineStart, at.lineStart, BS_OUTER_SKIP) ? 1 : 0;
  get_token(ctx);
  if (ctx->err) return 0;
  if (ctx->tok.tok_type == TT_END) {
    ctx->err = ERR_MISSING_STATEMENT;
    return 0;
  }
  if (ctx->tok.tok_type != TT_VARIABLE) {
    ctx->err = ERR_FOREACH_SYNTAX;
    return 0;
  }
  const uint16_t var = ctx->tok.varSlot;
  if (!push_record(ctx, SK_FOREACH, at.lineStart, at.lineStart, BS_RUNNING)) return 0;
  StructRecord& r = ctx->aStruct[ctx->nStructDepth - 1];
  r.aux = var;
  // The word "in" and a collection after it.
  ctx->tok.derefPending = 1;
  get_token(ctx);
  if (ctx->err) return 0;
  const bool in_word = ctx->tok.tok_type == TT_VARIABLE && std::strcmp(ctx->tok.text, "in") == 0;
  const char* rest = ctx->tok.prog;
  while (*rest == ' ' || *rest == '\t') ++rest;
  if (!in_word || !*rest || *rest == ';') {
    ctx->err = ERR_FOREACH_SYNTAX;
    return 0;
  }
  get_token(ctx);
  if (ctx->err) return 0;
  Value collection;
  value_init(collection);
  ProcessSubExpression(ctx, &collection, false, false);
  if (!ctx->err && ctx->tok.tok_type != TT_END) {
    ctx->err = ERR_EXPRESSION_CONTINUES;
    add_hint(ctx, HINT_EXTRA_TOKENS);
  }
  if (ctx->err) {
    value_free(ctx, collection);
    return 0;
  }
  if (collection.originSlot >= ORIGIN_ELEMENT) {
    // A computed collection is kept in a temporary variable that also remembers its expression.
    char name[VARNAME_BYTES];
    std::snprintf(name, sizeof name, "@tempcolvar%u", unsigned(ctx->nStructDepth));
    uint16_t slot = slot_find_or_create(ctx, name, false);
    if (slot != SLOT_NONE && slot_store(ctx, slot, collection.c)) r.aux2 = slot;
  }
  value_free(ctx, collection);
  if (ctx->err) return 0;
  // Collections are enumerated by the COM automation layer; no other value can be enumerated.
  foreach_release(ctx, r);
  r.state = BS_FALSE;
  ctx->err = ERR_COM_TYPE_MISMATCH;
  return 0;
}

int cmd_execute(RunContext* ctx, Value* result, const StatementPlace& at) {
  const char* rest = ctx->tok.prog;
  while (*rest == ' ' || *rest == '\t') ++rest;
  if (*rest == ';') return 1;
  if (!*rest) {
    ctx->err = ERR_MISSING_STATEMENT;
    return 0;
  }
  StatementPlace inner = at;
  inner.offset = uint32_t(rest - at.line);
  inner.noRewrite = true;
  const int r = ExecuteStatement(ctx, result, inner);
  const uint16_t e = ctx->err;
  const bool handled_here = e && (e < STATUS_EXIT || e == STATUS_REPORTED_IN_CALL || e == STATUS_UDF_FAILED ||
                                  e == STATUS_USER_ERROR_REPORTED);
  if (!handled_here) return r;
  const bool shown_inside = (e == STATUS_REPORTED_IN_CALL || e == STATUS_UDF_FAILED) && ctx->es.extendedCode;
  // Cancel in the box of an inner Execute ends the run: it is not asked again.
  if (shown_inside && ctx->es.extendedCode == EXTENDED_ALREADY_SHOWN) return r;
  const uint32_t setting = ctx->es.executeSetting;
  if (setting != 2) {
    char message[2050], caption[2100];
    load_string(ctx, shown_inside ? ctx->es.extendedCode : e, message, sizeof message);
    std::snprintf(caption, sizeof caption, "EXECUTE::%s", message);
    if (plat::execute_error_box(ctx->hwndOwner, at.line, caption, setting != 1) == plat::ID_CANCEL) {
      ctx->err = STATUS_REPORTED_IN_CALL;
      ctx->es.extendedCode = EXTENDED_ALREADY_SHOWN;
      return 0;
    }
  }
  ctx->err = 0;
  error_info_free(ctx);
  return 1;
}

HandlerOutcome call_handler_function(RunContext* ctx, const char* name, bool cancel) {
  const int udf = find_udf(ctx, name);
  if (udf < 0 || ctx->apUdf[udf]->paramCount != 1) return HandlerOutcome::NotHandled;
  const uint16_t slot = slot_lookup(ctx, "qzerrorarray");
  if (slot == SLOT_NONE) return HandlerOutcome::NotHandled;
  ArgBlock args;
  for (Value& v : args.slot) value_init(v), v.c.type = 0;
  if (!value_copy(ctx, slot_at(ctx, slot)->c, args.slot[1].c, VCOPY_LOCK_ARRAY)) return HandlerOutcome::NotHandled;
  Value result;
  value_init(result);
  const int ok = CallUdf(ctx, UDFSTART + udf, &result, &args, 1, nullptr, nullptr, UDF_MODE_ERROR_HANDLER);
  release_args(ctx, args, 1);
  if (!ok || ctx->err) {
    value_free(ctx, result);
    return HandlerOutcome::Failed;
  }
  const uint16_t before = ctx->err;
  const int32_t bits = to_integer(ctx, result.c, true) ? result.c.i : 0;
  ctx->err = before;
  value_free(ctx, result);
  int32_t& mode = cancel ? ctx->es.cancelHandlerMode : ctx->es.errorHandlerMode;
  if (!(bits & 1)) mode = HANDLER_OFF;
  return (bits & 2) ? HandlerOutcome::NotHandled : HandlerOutcome::Handled;
}

}  // namespace tov
