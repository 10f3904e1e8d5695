// Running one statement: commands, structured statements and expression statements.
#include <cstring>

#include "diag/dispatch.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "engine/pump.h"
#include "engine/script.h"
#include "exec/compiled.h"
#include "exec/exec.h"
#include "exec/frames.h"
#include "ext/host_call.h"
#include "lang/eval.h"
#include "lang/keywords.h"
#include "lang/tokenizer.h"
#include "lang/values.h"
#include "lang/vartable.h"
#include "platform/ui.h"

namespace tov {

namespace {

constexpr uint8_t LOOP_RUNS_MASK = BS_FALSE | BS_OUTER_SKIP | BS_BREAK;

StructRecord* top(RunContext* ctx) { return ctx->nStructDepth ? &ctx->aStruct[ctx->nStructDepth - 1] : nullptr; }

bool is_loop_kind(uint16_t kind) { return kind == SK_FOR || kind == SK_FOREACH || kind == SK_WHILE || kind == SK_SWITCH; }

int fail(RunContext* ctx, uint16_t number) {
  ctx->err = number;
  return 0;
}

// A condition's value as a truth: integers by value; a float that does not convert counts as true.
bool condition_truth(RunContext* ctx, Value& v, bool* truth) {
  if (v.c.type == VF_INTEGER) {
    *truth = v.c.i != 0;
    return true;
  }
  if (to_integer(ctx, v.c, true)) {
    *truth = v.c.i != 0;
    return true;
  }
  if (ctx->err) return false;
  if (v.c.type & VF_FLOAT) {
    *truth = true;
    return true;
  }
  ctx->err = ERR_NOT_NUMBER;
  return false;
}

// Evaluates the expression at the current token (which has been read).
bool evaluate(RunContext* ctx, Value& v) {
  ProcessSubExpression(ctx, &v, false, false);
  return !ctx->err;
}

// The rest of the statement must be empty.
bool expect_end(RunContext* ctx) {
  if (ctx->tok.tok_type == TT_END) return true;
  ctx->err = ERR_EXPRESSION_CONTINUES;
  add_hint(ctx, HINT_EXTRA_TOKENS);
  return false;
}

// The truth of a compiled condition through the general evaluation.
bool evaluated_condition(RunContext* ctx, const CompiledLine& cl, int n, bool* truth) {
  Value cond;
  value_init(cond);
  EvaluateCompiled(ctx, cl, n, &cond);
  // (An integer, the commonest truth, is read here; a value that owns nothing has nothing to free.)
  const bool integer = cond.c.type == VF_INTEGER;
  if (integer) *truth = cond.c.i != 0;
  const bool ok = !ctx->err && (integer || condition_truth(ctx, cond, truth));
  if (cond.c.type & VALUE_OWNS) value_free(ctx, cond);
  return ok;
}

// The truth of a compiled condition: whole numbers directly, anything else through the general evaluation.
bool compiled_condition(RunContext* ctx, const CompiledLine& cl, int n, bool* truth) {
  int32_t i;
  if (!EvaluateWholeNumber(ctx, cl, n, &i)) return evaluated_condition(ctx, cl, n, truth);
  *truth = i != 0;
  return true;
}

// Evaluates the expression that ends the statement: read at the current token, or compiled expression n.
bool evaluate_to_end(RunContext* ctx, const StatementPlace& at, int n, Value& v) {
  if (at.compiled) {
    EvaluateCompiled(ctx, *at.compiled, n, &v);
    return !ctx->err;
  }
  return evaluate(ctx, v) && expect_end(ctx);
}

// In the skipping state an If reads its condition without evaluating it, passing over what it cannot read.
void skip_to_then(RunContext* ctx) {
  for (;;) {
    get_token(ctx);
    if (ctx->err) {
      ctx->err = 0;
      if (*ctx->tok.prog) ++ctx->tok.prog;
      continue;
    }
    if (ctx->tok.tok_type == TT_END || tok_is(ctx, KW_THEN)) return;
  }
}

// A compiled If in the skipping state reads the names of its condition as the tokens would.
void touch_to_then(RunContext* ctx, const CompiledLine& cl) {
  for (uint16_t k = 0; k < cl.touchCount; ++k) {
    resolve_var(ctx, cl.vars[cl.ops[cl.touchFirst + k].payload.index]);
    ctx->err = 0;
  }
}

int then_or_else(RunContext* ctx, Value* result, const StatementPlace& at, bool is_then);

// If cond [Then [statement]]
int stmt_if(RunContext* ctx, Value* result, const StatementPlace& at) {
  ctx->nStmtClass = SC_IF;
  if (block_is_skipping(ctx)) {
    if (at.compiled) touch_to_then(ctx, *at.compiled);
    else skip_to_then(ctx);
    ctx->nPendingIf = 0;
  } else if (at.compiled) {
    bool truth = false;
    if (!compiled_condition(ctx, *at.compiled, 0, &truth)) return 0;
    ctx->nPendingIf = truth ? 1 : 0;
    ctx->bBranch = truth;
  } else {
    get_token(ctx);
    if (ctx->err) return 0;
    Value cond;
    value_init(cond);
    bool truth = false;
    const bool ok = evaluate(ctx, cond) &&
                    (tok_is(ctx, KW_THEN) || ctx->tok.tok_type == TT_END ||
                     (ctx->err = ERR_THEN_MISSING, add_hint(ctx, HINT_THEN_MISSING), false)) &&
                    condition_truth(ctx, cond, &truth);
    value_free(ctx, cond);
    if (!ok) return 0;
    ctx->nPendingIf = truth ? 1 : 0;
    ctx->bBranch = truth;
  }
  // An If without Then goes on as a Then: with nothing after it, it opens a block.
  return then_or_else(ctx, result, at, true);
}

// Then / Else: the block form when nothing follows, else the single-line form.
int then_or_else(RunContext* ctx, Value* result, const StatementPlace& at, bool is_then) {
  const char* rest;
  bool block;
  if (at.compiled) {
    rest = at.line + at.compiled->innerOffset;
    block = at.compiled->block;
  } else {
    rest = ctx->tok.prog;
    while (*rest == ' ' || *rest == '\t') ++rest;
    block = *rest == 0 || *rest == ';';
  }
  const bool skip = block_is_skipping(ctx);
  if (block) {
    if (is_then) {
      ctx->nStmtClass = SC_IF;
      if (skip) {
        ctx->nPendingIf = -1;
        return push_record(ctx, SK_IF, 0, at.lineStart, BS_OUTER_SKIP) ? 1 : 0;
      }
      if (ctx->nPendingIf == -1) return fail(ctx, ERR_NO_IF);
      const uint8_t state = ctx->nPendingIf == 1 ? BS_RUNNING : BS_FALSE;
      ctx->nPendingIf = -1;
      return push_record(ctx, SK_IF, 0, at.lineStart, state) ? 1 : 0;
    }
    ctx->nStmtClass = SC_ELSE;
    ctx->nPendingIf = -1;
    StructRecord* t = top(ctx);
    if (!t) return fail(ctx, ERR_END_NO_MATCH);
    if (t->kind != SK_IF) return fail(ctx, ERR_ELSE_NO_IF);
    if (t->state == BS_RUNNING || t->state == BS_FALSE) t->state ^= BS_FALSE;
    t->kind = SK_ELSE;
    ctx->bBranch = t->state == BS_RUNNING;
    return 1;
  }
  ctx->nStmtClass = SC_THEN_ELSE;
  if (!skip && ctx->nPendingIf == -1) return fail(ctx, ERR_NO_IF);
  const bool taken = ctx->nPendingIf == (is_then ? 1 : 0);
  ctx->bBranch = taken;
  if (!taken) return 1;
  StatementPlace inner = at;
  inner.offset = uint32_t(rest - at.line);
  inner.compiled = at.compiled ? at.compiled->inner : nullptr;
  if (!inner.compiled) ensure_line(ctx);
  return ExecuteStatement(ctx, result, inner);
}

int stmt_elseif(RunContext* ctx, const StatementPlace& at) {
  ctx->nStmtClass = SC_ELSEIF;
  ctx->nPendingIf = -1;
  StructRecord* t = top(ctx);
  if (!t || t->kind != SK_IF) return fail(ctx, ERR_ELSEIF_NO_IF);
  if (t->state == BS_RUNNING) {
    t->state = BS_OUTER_SKIP;  // a branch ran already: everything up to EndIf is skipped
    return 1;
  }
  if (t->state != BS_FALSE) return 1;
  Value cond;
  value_init(cond);
  bool truth = false;
  if (at.compiled) {
    if (!compiled_condition(ctx, *at.compiled, 0, &truth)) return 0;
    if (truth) top(ctx)->state = BS_RUNNING;
    ctx->bBranch = truth;
    return 1;
  }
  get_token(ctx);
  if (ctx->err) return 0;
  bool ok = evaluate(ctx, cond);
  if (ok && !tok_is(ctx, KW_THEN) && ctx->tok.tok_type != TT_END) {
    ctx->err = ERR_THEN_MISSING;
    add_hint(ctx, HINT_THEN_MISSING);
    ok = false;
  }
  if (ok && tok_is(ctx, KW_THEN)) {
    get_token(ctx);
    ok = !ctx->err && expect_end(ctx);
  }
  ok = ok && condition_truth(ctx, cond, &truth);
  value_free(ctx, cond);
  if (!ok) return 0;
  if (truth) top(ctx)->state = BS_RUNNING;
  ctx->bBranch = truth;
  return 1;
}

// Closes the top record when it is one of the two kinds; 3354 on an empty stack, 3357 otherwise.
StructRecord* closing_record(RunContext* ctx, uint16_t kind1, uint16_t kind2) {
  StructRecord* t = top(ctx);
  if (!t) {
    ctx->err = ERR_END_NO_MATCH;
    return nullptr;
  }
  if (t->kind != kind1 && t->kind != kind2) {
    ctx->err = ERR_END_MISMATCH;
    return nullptr;
  }
  return t;
}

int stmt_endif(RunContext* ctx) {
  ctx->nStmtClass = SC_BLOCK_END;
  StructRecord* t = closing_record(ctx, SK_IF, SK_ELSE);
  if (!t) return 0;
  const uint8_t loop_bits = t->state & (BS_CONTINUE | BS_BREAK);
  pop_record(ctx, false);
  if (loop_bits) {
    StructRecord* outer = top(ctx);
    if (!outer) return fail(ctx, ERR_BREAK_NOT_IN_LOOP);
    outer->state |= loop_bits;
  }
  return 1;
}

int stmt_while(RunContext* ctx, const StatementPlace& at) {
  ctx->nStmtClass = SC_WHILE;
  if (block_is_skipping(ctx)) return push_record(ctx, SK_WHILE, at.lineStart, at.lineStart, BS_OUTER_SKIP) ? 1 : 0;
  if (at.compiled) {
    bool truth = false;
    if (!compiled_condition(ctx, *at.compiled, 0, &truth)) return 0;
    ctx->bBranch = truth;
    return push_record(ctx, SK_WHILE, at.lineStart, at.lineStart, truth ? BS_RUNNING : BS_FALSE) ? 1 : 0;
  }
  {
    get_token(ctx);
    if (ctx->err) return 0;
    if (ctx->tok.tok_type == TT_END) return fail(ctx, ERR_MISSING_STATEMENT);
  }
  Value cond;
  value_init(cond);
  bool truth = false;
  const bool ok = evaluate_to_end(ctx, at, 0, cond) && condition_truth(ctx, cond, &truth);
  value_free(ctx, cond);
  if (!ok) return 0;
  ctx->bBranch = truth;
  return push_record(ctx, SK_WHILE, at.lineStart, at.lineStart, truth ? BS_RUNNING : BS_FALSE) ? 1 : 0;
}

// The end of a While whose record is on top: back to the While while the loop runs.
void close_while(RunContext* ctx, StructRecord* t, uint32_t* pos) {
  ctx->nStmtClass = SC_BLOCK_END;
  if (!(t->state & LOOP_RUNS_MASK)) *pos = t->resume;
  pop_record(ctx, true);
}

// The end of a loop whose record (one of two kinds) must be on top.
int stmt_loop_end(RunContext* ctx, const StatementPlace& at, uint16_t kind1, uint16_t kind2,
                  void (*close)(RunContext*, StructRecord*, uint32_t*)) {
  StructRecord* t = closing_record(ctx, kind1, kind2);
  if (!t) {
    ctx->nStmtClass = SC_BLOCK_END;
    return 0;
  }
  close(ctx, t, at.pos);
  return 1;
}

int stmt_endwhile(RunContext* ctx, const StatementPlace& at) {
  return stmt_loop_end(ctx, at, SK_WHILE, SK_WHILE, close_while);
}

bool numeric(const ValueCore& v) { return (v.type & (VF_INTEGER | VF_FLOAT)) != 0; }

// A For counter, limit or step: a number, or text that converts to one.
bool make_counter(RunContext* ctx, Value& v) {
  if (numeric(v.c)) return true;
  if (v.c.type & (VF_STRING | VF_WSTRING)) {
    const uint16_t before = ctx->err;
    if (to_integer(ctx, v.c, true) || to_float(ctx, v.c)) return true;
    ctx->err = before;
  }
  ctx->err = ERR_FOR_NOT_NUMBER;
  return false;
}

// Whole numbers throughout: the counter steps and compares without the general conversions. False with
// nothing done but variable lookups when a part is not a plain whole number.
[[gnu::always_inline]] inline bool for_step_whole(RunContext* ctx, StructRecord* t, bool step_first,
                                                   const CompiledLine& cl) {
  int32_t last, by = 1;
  VarSlot* s = slot_at(ctx, t->aux);
  if (s->c.type != VF_INTEGER || !EvaluateWholeNumber(ctx, cl, 1, &last) ||
      (cl.e[2].first != NO_EXPR && !EvaluateWholeNumber(ctx, cl, 2, &by)))
    return false;
  int32_t n = s->c.i;
  if (step_first) {
    n = int32_t(uint32_t(n) + uint32_t(by));
    s->c = ValueCore{};
    s->c.i = n;
    s->c.type = VF_INTEGER;
  }
  const bool runs = by < 0 ? last <= n : last >= n;
  t->state = runs ? BS_RUNNING : BS_FALSE;
  ctx->bBranch = runs;
  return true;
}

// The "to" part of a For: limit, optional step, the step itself when reached through Next, and the test.
int for_continuation(RunContext* ctx, bool step_first, const CompiledLine* cl) {
  ctx->nStmtClass = SC_FOR;
  StructRecord* t = top(ctx);
  if (!t || t->kind != SK_FOR) return fail(ctx, ERR_TO_WITHOUT_FOR);
  if (t->state & BS_OUTER_SKIP) return 1;
  const uint16_t var = t->aux;
  if (cl && for_step_whole(ctx, t, step_first, *cl)) return 1;
  Value limit, step, counter;
  value_init(limit);
  value_init(step);
  value_init(counter);
  step.c.i = 1;
  bool ok;
  if (cl) {
    if (EvaluateWholeNumber(ctx, *cl, 1, &limit.c.i)) {
      ok = true;
    } else {
      EvaluateCompiled(ctx, *cl, 1, &limit);
      ok = !ctx->err && make_counter(ctx, limit);
    }
    if (ok && cl->e[2].first != NO_EXPR && !EvaluateWholeNumber(ctx, *cl, 2, &step.c.i)) {
      EvaluateCompiled(ctx, *cl, 2, &step);
      ok = !ctx->err && make_counter(ctx, step);
    }
    // Whole numbers throughout: the counter steps and compares without the general conversions.
    VarSlot* s = slot_at(ctx, var);
    if (ok && s->c.type == VF_INTEGER && limit.c.type == VF_INTEGER && step.c.type == VF_INTEGER) {
      int32_t n = s->c.i;
      if (step_first) {
        n = int32_t(uint32_t(n) + uint32_t(step.c.i));
        s->c = ValueCore{};
        s->c.i = n;
        s->c.type = VF_INTEGER;
      }
      const bool runs = step.c.i < 0 ? limit.c.i <= n : limit.c.i >= n;
      top(ctx)->state = runs ? BS_RUNNING : BS_FALSE;
      ctx->bBranch = runs;
      return 1;
    }
  } else {
    get_token(ctx);
    if (ctx->err) return 0;
    ok = evaluate(ctx, limit) && make_counter(ctx, limit);
    if (ok && tok_is(ctx, KW_BY)) {
      get_token(ctx);
      ok = !ctx->err && evaluate(ctx, step) && expect_end(ctx) && make_counter(ctx, step);
    } else if (ok) {
      ok = expect_end(ctx);
    }
  }
  if (ok) {
    const ValueCore& cv = slot_at(ctx, var)->c;
    ok = value_read(ctx, cv, counter) && make_counter(ctx, counter);
  }
  const bool negative = (step.c.type & VF_INTEGER) ? step.c.i < 0 : step.c.f < 0.0;
  if (ok && step_first) {
    Value s;
    value_init(s);
    ok = value_copy(ctx, step.c, s.c, 0);
    if (ok) apply_binary(ctx, KW_PLUS, counter, s);
    ok = ok && !ctx->err && slot_store(ctx, var, counter.c);
  }
  bool runs = false;
  if (ok) {
    Value l;
    value_init(l);
    l.c = limit.c;
    value_init(limit);
    Value c;
    value_init(c);
    ok = value_copy(ctx, counter.c, c.c, VCOPY_DUP_STRINGS);
    if (ok) apply_binary(ctx, negative ? KW_LESS_EQUAL : KW_GREATER_EQUAL, l, c);
    ok = ok && !ctx->err;
    runs = ok && l.c.i != 0;
    value_free(ctx, l);
    value_free(ctx, c);
  }
  value_free(ctx, limit);
  value_free(ctx, step);
  value_free(ctx, counter);
  if (!ok) return 0;
  top(ctx)->state = runs ? BS_RUNNING : BS_FALSE;
  ctx->bBranch = runs;
  return 1;
}

// Offset in the held script of the "to" part of a For line whose text was changed by substitution:
// the first whole word "to" outside quotes and outside %names%.
uint32_t find_to_in_script(const HeldScript* hs, uint32_t lineStart) {
  const char* text = hs->text;
  for (uint32_t i = lineStart; i < hs->length && text[i] != '\n'; ++i) {
    const char c = text[i];
    if (c == '"' || c == '\'' || c == '`') {
      while (++i < hs->length && text[i] != c && text[i] != '\n') {}
      continue;
    }
    if ((c == 't' || c == 'T') && (text[i + 1] == 'o' || text[i + 1] == 'O') && i > lineStart &&
        (text[i - 1] == ' ' || text[i - 1] == '\t') &&
        (text[i + 2] == ' ' || text[i + 2] == '\t' || text[i + 2] == '%'))
      return i;
  }
  return lineStart;
}

// For with a compiled line: the variable, its start, and the "to" part.
int stmt_for_compiled(RunContext* ctx, const StatementPlace& at, const CompiledLine& cl) {
  const uint16_t var = resolve_var(ctx, cl.vars[cl.target]);
  if (var == SLOT_NONE) return 0;
  Value start;
  value_init(start);
  EvaluateCompiled(ctx, cl, 0, &start);
  const bool ok = !ctx->err && make_counter(ctx, start) && slot_store(ctx, var, start.c);
  value_free(ctx, start);
  if (!ok) return 0;
  if (!push_record(ctx, SK_FOR, at.lineStart + cl.innerOffset, at.lineStart, BS_RUNNING)) return 0;
  top(ctx)->aux = var;
  return for_continuation(ctx, false, &cl);
}

int stmt_for(RunContext* ctx, const StatementPlace& at) {
  ctx->nStmtClass = SC_FOR;
  if (block_is_skipping(ctx)) return push_record(ctx, SK_FOR, 0, at.lineStart, BS_OUTER_SKIP) ? 1 : 0;
  if (at.compiled) return stmt_for_compiled(ctx, at, *at.compiled);
  get_token(ctx);
  if (ctx->err) return 0;
  if (ctx->tok.tok_type == TT_END) return fail(ctx, ERR_MISSING_STATEMENT);
  if (ctx->tok.tok_type != TT_VARIABLE) return fail(ctx, ERR_FOR_SYNTAX);
  const uint16_t var = ctx->tok.varSlot;
  get_token(ctx);
  if (ctx->err) return 0;
  if (!tok_is(ctx, KW_ASSIGN)) return fail(ctx, ERR_FOR_SYNTAX);
  get_token(ctx);
  if (ctx->err) return 0;
  Value start;
  value_init(start);
  bool ok = evaluate(ctx, start) && make_counter(ctx, start) && slot_store(ctx, var, start.c);
  value_free(ctx, start);
  if (!ok) return 0;
  if (!tok_is(ctx, KW_TO)) return fail(ctx, ERR_FOR_SYNTAX);
  const uint32_t to_at = at.noRewrite ? find_to_in_script(at.script, at.lineStart)
                                      : at.lineStart + uint32_t(ctx->tok.tokenStart - at.line);
  if (!push_record(ctx, SK_FOR, to_at, at.lineStart, BS_RUNNING)) return 0;
  top(ctx)->aux = var;
  return for_continuation(ctx, false, nullptr);
}

// The end of a For or ForEach whose record is on top: back to its "to" part while the loop runs.
void close_for(RunContext* ctx, StructRecord* t, uint32_t* pos) {
  ctx->nStmtClass = SC_BLOCK_END;
  if (t->kind == SK_FOREACH && (t->state & BS_BREAK)) foreach_release(ctx, *t);
  if (!(t->state & LOOP_RUNS_MASK)) {
    *pos = t->resume;
    t->state = BS_RUNNING;
    return;
  }
  if (t->kind == SK_FOREACH) foreach_release(ctx, *t);
  pop_record(ctx, true);
}

int stmt_next(RunContext* ctx, const StatementPlace& at) {
  return stmt_loop_end(ctx, at, SK_FOR, SK_FOREACH, close_for);
}

bool switch_value(RunContext* ctx, const StatementPlace& at, int32_t* out) {
  // Whole numbers, as most Switch and Case values are, directly; anything else through the general evaluation.
  int32_t whole;
  if (at.compiled && EvaluateWholeNumber(ctx, *at.compiled, 0, &whole)) {
    *out = ctx->dbg.switchValue = whole;
    return true;
  }
  Value v;
  value_init(v);
  bool ok = evaluate_to_end(ctx, at, 0, v);
  if (ok && (v.c.type & VF_FLOAT) && !(v.c.type & (VF_INTEGER | VF_STRING | VF_WSTRING))) {
    ctx->err = ERR_SWITCH_INTEGERS;
    ok = false;
  }
  if (ok && !to_integer(ctx, v.c, false)) {
    if (!ctx->err) ctx->err = ERR_SWITCH_INTEGERS;
    ok = false;
  }
  if (ok) *out = ctx->dbg.switchValue = v.c.i;
  value_free(ctx, v);
  return ok;
}

int stmt_switch(RunContext* ctx, const StatementPlace& at) {
  ctx->nStmtClass = SC_SWITCH;
  if (block_is_skipping(ctx)) return push_record(ctx, SK_SWITCH, 0, at.lineStart, BS_OUTER_SKIP) ? 1 : 0;
  if (!at.compiled) get_token(ctx);
  if (ctx->err) return 0;
  int32_t value;
  if (!switch_value(ctx, at, &value)) return 0;
  if (!push_record(ctx, SK_SWITCH, uint32_t(value) >> 16, at.lineStart, BS_FALSE)) return 0;
  top(ctx)->aux = uint16_t(uint32_t(value) & 0xFFFF);
  return 1;
}

int stmt_case(RunContext* ctx, const StatementPlace& at) {
  ctx->nStmtClass = SC_CASE;
  StructRecord* t = top(ctx);
  if (!t || t->kind != SK_SWITCH) return fail(ctx, ERR_CASE_NO_SWITCH);
  if (t->state != BS_FALSE && t->state != BS_CONTINUE) return 1;
  if (!at.compiled) get_token(ctx);
  if (ctx->err) return 0;
  int32_t value;
  if (!switch_value(ctx, at, &value)) return 0;
  const uint32_t wanted = t->resume << 16 | t->aux;
  const bool match = uint32_t(value) == wanted;
  if (match) t->state = BS_RUNNING;
  ctx->bBranch = match;
  return 1;
}

int stmt_endswitch(RunContext* ctx) {
  ctx->nStmtClass = SC_BLOCK_END;
  if (!closing_record(ctx, SK_SWITCH, SK_SWITCH)) return 0;
  pop_record(ctx, true);
  return 1;
}

int stmt_break_continue(RunContext* ctx, bool is_break) {
  ctx->nStmtClass = is_break ? SC_BREAK : SC_CONTINUE;
  ctx->bBranch = 0;
  if (block_is_skipping(ctx)) return 1;
  if (!ctx->bInLoop) return fail(ctx, is_break ? ERR_BREAK_NOT_IN_STRUCT : ERR_CONTINUE_NOT_IN_STRUCT);
  top(ctx)->state |= is_break ? BS_BREAK : BS_CONTINUE;
  ctx->bBranch = 1;
  return 1;
}

int stmt_end(RunContext* ctx, const StatementPlace& at) {
  get_token(ctx);
  if (ctx->err) return 0;
  if (ctx->tok.tok_type == TT_DELIMITER) {
    switch (ctx->tok.delim_type) {
      case KW_FOR: return stmt_next(ctx, at);
      case KW_IF: return stmt_endif(ctx);
      case KW_SELECT:
      case KW_SWITCH: return stmt_endswitch(ctx);
      case KW_WHILE: return stmt_endwhile(ctx, at);
      default: break;
    }
  }
  return fail(ctx, ERR_END_UNIDENTIFIED);
}

int structure_statement(RunContext* ctx, Value* result, const StatementPlace& at, int code) {
  // Every structure statement forgets a pending single-line If, except those that use it.
  if (code != KW_IF && code != KW_THEN && code != KW_ELSE && code != KW_GOSUB) ctx->nPendingIf = -1;
  switch (code) {
    case KW_IF: return stmt_if(ctx, result, at);
    case KW_THEN: return then_or_else(ctx, result, at, true);
    case KW_ELSE: return then_or_else(ctx, result, at, false);
    case KW_ELSEIF: return stmt_elseif(ctx, at);
    case KW_ENDIF: return stmt_endif(ctx);
    case KW_WHILE: return stmt_while(ctx, at);
    case KW_ENDWHILE: return stmt_endwhile(ctx, at);
    case KW_FOR: return stmt_for(ctx, at);
    case KW_TO:
      if (block_is_skipping(ctx)) return 1;
      return for_continuation(ctx, true, at.compiled);
    case KW_NEXT:
    case KW_ENDFOR: return stmt_next(ctx, at);
    case KW_FOREACH: return stmt_foreach(ctx, at);
    case KW_SWITCH:
    case KW_SELECT: return stmt_switch(ctx, at);
    case KW_CASE: return stmt_case(ctx, at);
    case KW_ENDSWITCH:
    case KW_ENDSELECT: return stmt_endswitch(ctx);
    case KW_BREAK: return stmt_break_continue(ctx, true);
    case KW_CONTINUE: return stmt_break_continue(ctx, false);
    case KW_END: return stmt_end(ctx, at);
    case KW_GOSUB: return stmt_gosub(ctx, at);
    case KW_RETURN: return stmt_return(ctx, result, at);
    default: return fail(ctx, ERR_COMMAND_NOT_DEFINED);
  }
}

int cmd_goto(RunContext* ctx, const StatementPlace& at) {
  ctx->nPendingIf = -1;
  for (uint32_t i = ctx->nStructDepth; i-- > 0;) {
    const uint16_t kind = ctx->aStruct[i].kind;
    if (kind == SK_UDF) break;
    if (kind == SK_FOREACH) return fail(ctx, ERR_GOTO_IN_FOREACH);
  }
  const uint32_t offset = uint32_t(ctx->tok.tokenStart - at.line);
  get_string_token(ctx);
  if (ctx->err) return 0;
  if (ctx->tok.tok_type == TT_END) return fail(ctx, ERR_MISSING_STATEMENT);
  if (ctx->tok.tok_type != TT_STRING) return fail(ctx, ERR_LABEL_NOT_SPECIFIED);
  uint32_t target;
  if (!FindLabel(ctx, ctx->tok.text, &target, at.lineStart, offset, at.script, at.noRewrite)) return 0;
  *at.pos = target;
  return 1;
}

int command(RunContext* ctx, Value* result, const StatementPlace& at, int code) {
  if (block_is_skipping(ctx)) {
    ctx->nStmtClass = SC_SKIPPED;
    return 1;
  }
  ctx->nStmtClass = SC_EXPRESSION;
  switch (code) {
    case KW_BEEP:
      plat::message_beep(-1);
      plat::message_beep(0);
      return 1;
    case KW_EXECUTE: return cmd_execute(ctx, result, at);
    case KW_EXIT:
      ctx->nPendingIf = -1;
      return fail(ctx, STATUS_EXIT);
    case KW_GOTO: return cmd_goto(ctx, at);
    case KW_YIELD:
      PumpMessages(ctx);
      return 1;
    default:
      if ((code >= PARENTSTART && code < PARENTSTART + HOST_KEYWORDS_MAX) || code >= ADDONSTART) {
        call_external_command(ctx, code, result);
        return ctx->err ? 0 : 1;
      }
      return fail(ctx, ERR_COMMAND_NOT_DEFINED);
  }
}

}  // namespace

bool push_record(RunContext* ctx, uint16_t kind, uint32_t resume, uint32_t lineStart, uint8_t state) {
  if (ctx->nStructDepth >= STRUCT_STACK_SIZE) {
    ctx->err = ERR_NESTING_TOO_COMPLEX;
    return false;
  }
  StructRecord& r = ctx->aStruct[ctx->nStructDepth++];
  r = StructRecord{};
  r.kind = kind;
  r.resume = resume;
  r.lineStart = lineStart;
  r.script = ctx->curScript;
  r.udf = ctx->nCurrentUdf;
  r.inUdf = uint16_t(ctx->bInUdf);
  r.state = state;
  if (is_loop_kind(kind)) {
    r.savedInLoop = uint8_t(ctx->bInLoop);
    ctx->bInLoop = 1;
  }
  return true;
}

void pop_record(RunContext* ctx, bool restore_loop) {
  if (!ctx->nStructDepth) return;
  StructRecord& r = ctx->aStruct[--ctx->nStructDepth];
  if (restore_loop) ctx->bInLoop = r.savedInLoop;
  r = StructRecord{};
}

namespace {

// What every statement starts with.
void start_statement(RunContext* ctx) {
  ctx->lpVars[0].name[0] = 0;
  ctx->tok.derefPending = 0;
  ctx->tok.addressOfPending = 0;
}

// An expression statement in a block that runs.
void run_expression(RunContext* ctx, Value* result, const CompiledLine& cl) {
  ctx->nStmtClass = SC_EXPRESSION;
  if (cl.target != NO_VAR) AssignCompiled(ctx, cl, result);
  else EvaluateCompiled(ctx, cl, 0, result);
}

}  // namespace

int ExecuteCompiled(RunContext* ctx, Value* result, const StatementPlace& at, const CompiledLine& cl) {
  start_statement(ctx);
  int r;
  if (cl.kind == LK_EXPRESSION) {
    if (block_is_skipping(ctx)) {
      // A skipped statement still reads its first word, which makes a variable of a new name.
      if (cl.firstVar != NO_VAR) {
        resolve_var(ctx, cl.vars[cl.firstVar]);
        ctx->err = 0;
      }
      ctx->nStmtClass = SC_SKIPPED;
      r = 1;
    } else {
      run_expression(ctx, result, cl);
      r = ctx->err ? 0 : 1;
    }
  } else {
    static constexpr int kCode[] = {
        -1, -1, -1, -1, -1, KW_IF, KW_ELSEIF, KW_ELSE, KW_ENDIF, KW_WHILE, KW_ENDWHILE, KW_FOR, KW_TO,
        KW_NEXT, KW_SWITCH, KW_CASE, KW_ENDSWITCH, KW_BREAK, KW_CONTINUE, KW_RETURN};
    static_assert(sizeof kCode / sizeof kCode[0] == LK_RETURN + 1);
    r = structure_statement(ctx, result, at, kCode[cl.kind]);
  }
  ctx->tok.tok_type = TT_END;
  ctx->tok.text[0] = 0;
  return r;
}

int ExecuteStatement(RunContext* ctx, Value* result, const StatementPlace& at) {
  if (at.compiled) return ExecuteCompiled(ctx, result, at, *at.compiled);
  char* stmt = at.line + at.offset;
  const uint8_t first = uint8_t(stmt[0]);
  if (first == RESOLVED_GOTO || first == RESOLVED_GOSUB) {
    if (block_is_skipping(ctx)) {
      ctx->nStmtClass = SC_SKIPPED;
      return 1;
    }
    if (first == RESOLVED_GOSUB && !open_gosub_frame(ctx, *at.pos)) return 0;
    *at.pos = decode_24(reinterpret_cast<const uint8_t*>(stmt + 1));
    return 1;
  }
  bool through_pointer = false;
  ctx->lpVars[0].name[0] = 0;
  if (*stmt == '*') {
    through_pointer = true;
    ++stmt;
  }
  ctx->tok.prog = stmt;
  ctx->tok.derefPending = through_pointer;
  get_token(ctx);
  if (ctx->err) {
    if (!block_is_skipping(ctx)) return 0;
    ctx->err = 0;
    ctx->nStmtClass = SC_SKIPPED;
    return 1;
  }
  if (ctx->tok.tok_type == TT_END) return fail(ctx, ERR_MISSING_STATEMENT);
  if (ctx->tok.tok_type == TT_DELIMITER && !through_pointer) {
    const int code = ctx->tok.delim_type;
    const uint32_t kind = keyword_kind(ctx, code);
    if (kind == KW_COMMAND) return command(ctx, result, at, code);
    if (kind == KW_STRUCTURE) return structure_statement(ctx, result, at, code);
  }
  if (block_is_skipping(ctx)) {
    ctx->nStmtClass = SC_SKIPPED;
    return 1;
  }
  ctx->nStmtClass = SC_EXPRESSION;
  ProcessSubExpression(ctx, result, true, through_pointer);
  if (ctx->err) return 0;
  if (!expect_end(ctx)) return 0;
  return 1;
}

namespace {

// Whether a line in the skipping state of record t only reads its first word, which is all passing over
// it takes.
[[gnu::always_inline]] inline bool passable(const StructRecord* t, const CompiledLine& cl) {
  switch (cl.kind) {
    case LK_EMPTY:
    case LK_EXPRESSION:
    case LK_BREAK:
    case LK_CONTINUE: return true;
    // Once a case has run, later cases are not tested.
    case LK_CASE: return t->kind == SK_SWITCH && t->state != BS_FALSE && t->state != BS_CONTINUE;
    case LK_ELSEIF: return t->kind == SK_IF && t->state != BS_FALSE;
    case LK_ELSE: return cl.block && t->kind == SK_IF && t->state != BS_FALSE;
    default: return false;
  }
}

// Whether a variable reference names a variable of the current table, without making it.
bool variable_exists(RunContext* ctx, const VarRef& ref) {
  if (hint_holds(ctx, ref)) return true;
  return slot_lookup(ctx, ref.name) != SLOT_NONE;
}

// The variable reference and number of a test "variable == number" (expression 0 of a line).
bool equality_test(const CompiledLine& cl, VarRef** var, int32_t* number) {
  const CompiledExpr& e = cl.e[0];
  if (e.count != 3) return false;
  const Op* op = cl.ops + e.first;
  if (op[0].code != OP_VARIABLE || op[1].code != OP_INT || op[2].code != OP_BINARY || op[2].kw != KW_EQUAL)
    return false;
  *var = &cl.vars[op[0].payload.index];
  *number = op[1].payload.i;
  return true;
}

// The number a branch line of a chain tests, when it tests one: a Case's number, or the number an ElseIf
// compares the If's variable (tested) with.
bool branch_number(const CompiledLine& cl, const VarRef* tested, int32_t* number) {
  if (!tested) {
    const CompiledExpr& e = cl.e[0];
    if (e.count != 1 || cl.ops[e.first].code != OP_INT) return false;
    *number = cl.ops[e.first].payload.i;
    return true;
  }
  VarRef* var;
  return equality_test(cl, &var, number) && var->length == tested->length &&
         std::memcmp(var->name, tested->name, var->length) == 0;
}

// Looks for the branch of value v after the head of a chain (a Switch, or an If testing the variable tested)
// whose record (state: no branch taken) is on top: the branches before it must test numbers, and the lines
// between them only read an existing first word.
bool find_branch(RunContext* ctx, const HeldScript* hs, const CompiledLine& head, const VarRef* tested, int32_t v,
                 CaseJump* out) {
  const StructRecord* t = top(ctx);
  const uint8_t branch = tested ? LK_ELSEIF : LK_CASE;
  const CompiledLine* n = &head;
  for (uint32_t lines = 0; lines < 1000; ++lines) {
    n = linecache_after(ctx, hs, *n, n->next);
    if (!n) return false;
    int32_t number;
    if (n->kind == branch) {
      if (!branch_number(*n, tested, &number)) return false;
      if (number != v) continue;
    } else if (!(tested && n->kind == LK_ELSE && n->block)) {
      if (!passable(t, *n) || (n->kind == LK_EXPRESSION && n->firstVar != NO_VAR &&
                               !variable_exists(ctx, n->vars[n->firstVar])))
        return false;
      continue;
    }
    *out = CaseJump{v, n};
    return true;
  }
  return false;
}

// The noted branch for v, looked for and noted the first time v is met.
const CaseJump* branch_jump(RunContext* ctx, const HeldScript* hs, const CompiledLine& head, const VarRef* tested,
                            int32_t v) {
  const LineCache* cache = ctx->lineCache;
  if (!cache) return nullptr;
  CaseTable* table = head.cases;
  if (table && (table->epoch != cache->epoch || table->layout != ctx->nVarLayout)) table->count = 0;
  if (table)
    for (uint32_t k = 0; k < table->count; ++k)
      if (table->jump[k].value == v) return &table->jump[k];
  if (table && table->count == CASE_JUMPS) return nullptr;
  CaseJump found;
  if (!find_branch(ctx, hs, head, tested, v, &found)) return nullptr;
  if (!table) {
    table = head.cases = static_cast<CaseTable*>(linecache_extra(ctx, sizeof(CaseTable)));
    if (!table) return nullptr;
    table->count = 0;
  }
  if (!table->count) {
    table->epoch = cache->epoch;
    table->layout = ctx->nVarLayout;
  }
  table->jump[table->count] = found;
  return &table->jump[table->count++];
}

// A chain's branch taken at once: its line runs as it would after the branches before it were tested.
// Returns the branch's line, whose link leads on from it whatever branch was taken the time before.
const CompiledLine* take_branch(RunContext* ctx, const CaseJump& j, uint32_t* pos, uint32_t* start,
                                uint32_t* length) {
  const CompiledLine& branch = *j.line;
  StructRecord* t = top(ctx);
  t->state = BS_RUNNING;
  if (branch.kind == LK_ELSE) t->kind = SK_ELSE;
  ctx->bBranch = 1;
  ctx->nStmtClass = branch.kind == LK_CASE ? SC_CASE : branch.kind == LK_ELSEIF ? SC_ELSEIF : SC_ELSE;
  *pos = branch.next;
  *start = branch.lineStart;
  *length = branch.length;
  return &branch;
}

// The value an opening statement tests: none (0) in a block that does not run, else its whole number;
// false when it is not one.
[[gnu::always_inline]] inline bool tested_value(RunContext* ctx, const CompiledLine& cl, bool skipping, int32_t* v) {
  *v = 0;
  // (What the whole-number evaluation declines at once is declined here without calling it.)
  return skipping || (cl.e[0].whole != WHOLE_NONE && EvaluateWholeNumber(ctx, cl, 0, v));
}

// A line whose expressions call only pure built-ins failed as it ran straight: the error, and what it added
// to the error's information, are undone for the general form to read the line again and report it.
void undo_pure_failure(RunContext* ctx, size_t info_length) {
  ctx->err = 0;
  error_info_cut(ctx, info_length);
}

// (The whole-number evaluation declined the condition already.)
[[gnu::noinline]] bool pure_truth(RunContext* ctx, const CompiledLine& cl, int32_t* v) {
  const size_t info = error_info_length(ctx);
  bool truth;
  if (!evaluated_condition(ctx, cl, 0, &truth)) {
    undo_pure_failure(ctx, info);
    return false;
  }
  *v = truth;
  return true;
}

// The truth (1 or 0) an opening statement tests: tested_value's, a text comparison's, or the general
// evaluation's of a line that calls only pure built-ins. False with nothing done but variable lookups.
[[gnu::always_inline]] inline bool tested_truth(RunContext* ctx, const CompiledLine& cl, bool skipping, int32_t* v) {
  return tested_value(ctx, cl, skipping, v) ||
         (cl.pure && (CompareTextWithConstant(ctx, cl, 0, v) || pure_truth(ctx, cl, v)));
}

// An assignment of text, or of calls of pure built-ins, as the general form assigns it. False with
// nothing done but variable lookups.
[[gnu::noinline]] bool assign_pure(RunContext* ctx, const CompiledLine& cl, Value* result) {
  const size_t info = error_info_length(ctx);
  AssignCompiled(ctx, cl, result, false);
  if (!ctx->err) return true;
  undo_pure_failure(ctx, info);
  return false;
}

// A line that calls out runs as the general form runs it, from its own place: its error is left set, for the
// caller to dispatch. A Return among them is known to leave a function's frame.
const CompiledLine* run_call_line(RunContext* ctx, Value* result, const HeldScript* hs, const CompiledLine& cl) {
  ctx->pendingLine = hs->text + cl.lineStart;
  ctx->nPendingLineLength = cl.length;
  ctx->nLineStart = cl.lineStart;
  *assignment_target_of_run(ctx) = 0xFFFFFFFFu;
  start_statement(ctx);
  ++ctx->nCompiledActive;
  if (cl.kind == LK_RETURN) {
    ctx->nPendingIf = -1;
    return_from_function(ctx, result, cl);
  } else {
    run_expression(ctx, result, cl);
  }
  --ctx->nCompiledActive;
  return &cl;
}

const CompiledLine* single_line_if(RunContext* ctx, Value* result, const HeldScript* hs, const CompiledLine& cl,
                                   bool skipping, uint32_t* pos, uint32_t* start, uint32_t* length) {
  if (!cl.inner || !cl.straight) return nullptr;
  int32_t v;
  if (!tested_truth(ctx, cl, skipping, &v)) return nullptr;
  if (skipping) touch_to_then(ctx, cl);
  // What If and Then leave, as they run one after the other in the general form.
  ctx->nPendingIf = v ? 1 : 0;
  ctx->bBranch = v != 0;
  ctx->nStmtClass = SC_THEN_ELSE;
  if (!v) return &cl;
  // The statement after Then; when it does not run straight, the general form reads the line again and
  // leaves the same.
  return RunQuick(ctx, result, hs, *cl.inner, pos, start, length) ? &cl : nullptr;
}

// A loop's end that goes back runs its head too (the While line, or the For's "to" part) when nothing would
// happen between the two statements: no message pump is due, no cancel is pending and no host listens.
// They run as the two statements they are, without a pass through the run loop; false with nothing done
// but variable lookups when the head is not one that runs straight. Returns the head when it ran.
[[gnu::always_inline]] inline const CompiledLine* run_loop_head(RunContext* ctx, Value* result, const HeldScript* hs,
                                                               const CompiledLine& end, StructRecord* t, uint32_t* pos,
                                                               uint32_t* start, uint32_t* length) {
  if (!ctx->nPumpSkip || ctx->nHostNotify || ctx->hdr.bCancel) return nullptr;
  const CompiledLine* head = linked_after(ctx, hs, end, t->resume);
  if (!head || !head->straight) return nullptr;
  if (t->kind == SK_WHILE) {
    int32_t v;
    if (head->kind != LK_WHILE || !tested_truth(ctx, *head, false, &v)) return nullptr;
    // Closing the loop's record and opening it again leaves it as it is but for its state: the While line
    // that opened it opens it, in the same script and function.
    t->state = v ? BS_RUNNING : BS_FALSE;
    ctx->bInLoop = 1;
    ctx->bBranch = v != 0;
    ctx->nStmtClass = SC_WHILE;
  } else {
    if (t->kind != SK_FOR || head->kind != LK_TO || !for_step_whole(ctx, t, true, *head)) return nullptr;
    ctx->nStmtClass = SC_FOR;
  }
  // What follows the loop's end as a statement: its result goes (no Return is pending) and one statement
  // counts towards the next message pump.
  if (result->c.type & VALUE_OWNS) value_free(ctx, *result);
  value_init(*result);
  --ctx->nPumpSkip;
  *pos = head->next;
  *start = head->lineStart;
  *length = head->length;
  return head;
}

}  // namespace

bool RunsStraight(const CompiledLine& cl) {
  const auto whole = [&cl](int n) { return cl.e[n].whole != WHOLE_NONE; };
  // A condition worked out without an effect: a plain whole number, or one calling only pure built-ins.
  const auto testable = [&cl, &whole](int n) { return whole(n) || cl.pure; };
  // The statement after Then of a single-line If: one that only changes variables, leaves its loop or returns.
  const auto inner_straight = [](const CompiledLine* in) {
    return in && in->straight && !in->callsOut &&
           (in->kind == LK_EXPRESSION || in->kind == LK_BREAK || in->kind == LK_CONTINUE || in->kind == LK_RETURN);
  };
  switch (cl.kind) {
    case LK_EXPRESSION: return (cl.target != NO_VAR && cl.pure) || cl.callsOut;
    case LK_WHILE:
    case LK_ELSEIF: return testable(0);
    case LK_SWITCH:
    case LK_CASE: return whole(0);
    case LK_IF: return testable(0) && (cl.block || inner_straight(cl.inner));
    case LK_ELSE: return cl.block;
    case LK_TO: return whole(1) && (cl.e[2].first == NO_EXPR || whole(2));
    case LK_ENDWHILE:
    case LK_NEXT:
    case LK_ENDIF:
    case LK_ENDSWITCH:
    case LK_BREAK:
    case LK_CONTINUE: return true;
    case LK_RETURN: return cl.e[0].first == NO_EXPR || whole(0) || cl.callsOut;
    default: return false;
  }
}

const CompiledLine* RunQuickExpression(RunContext* ctx, Value* result, const HeldScript* hs, const CompiledLine& cl) {
  if (!cl.straight) return nullptr;
  if (cl.callsOut) return run_call_line(ctx, result, hs, cl);
  if ((cl.append || !AssignWholeNumber(ctx, cl)) && !assign_pure(ctx, cl, result)) return nullptr;
  if (result->c.type & VALUE_OWNS) value_free(ctx, *result);
  value_init(*result);
  ctx->nStmtClass = SC_EXPRESSION;
  return &cl;
}

const CompiledLine* RunQuick(RunContext* ctx, Value* result, const HeldScript* hs, const CompiledLine& cl,
                             uint32_t* pos, uint32_t* start, uint32_t* length) {
  const CompiledLine* ran = &cl;
  const uint32_t lineStart = cl.lineStart;
  StructRecord* const t = top(ctx);
  const bool skipping = t && t->state != BS_RUNNING;
  const bool room = ctx->nStructDepth < STRUCT_STACK_SIZE;
  int32_t v;
  switch (cl.kind) {
    case LK_EXPRESSION: return skipping ? nullptr : RunQuickExpression(ctx, result, hs, cl);
    case LK_WHILE:
      if (!room || !tested_truth(ctx, cl, skipping, &v)) return nullptr;
      if (!skipping) ctx->bBranch = v != 0;
      ctx->nStmtClass = SC_WHILE;
      push_record(ctx, SK_WHILE, lineStart, lineStart, skipping ? BS_OUTER_SKIP : v ? BS_RUNNING : BS_FALSE);
      break;
    case LK_ENDWHILE:
      if (!t || t->kind != SK_WHILE) return nullptr;
      if (t->state & LOOP_RUNS_MASK || !(ran = run_loop_head(ctx, result, hs, cl, t, pos, start, length))) {
        ran = &cl;
        close_while(ctx, t, pos);
      }
      break;
    case LK_TO:
      if (!skipping) {
        if (!t || t->kind != SK_FOR || !for_step_whole(ctx, t, true, cl)) return nullptr;
        ctx->nStmtClass = SC_FOR;
      }
      break;
    case LK_NEXT:
      if (!t || (t->kind != SK_FOR && t->kind != SK_FOREACH)) return nullptr;
      if (t->state & LOOP_RUNS_MASK || !(ran = run_loop_head(ctx, result, hs, cl, t, pos, start, length))) {
        ran = &cl;
        close_for(ctx, t, pos);
      }
      break;
    case LK_IF:
      if (!cl.block) return single_line_if(ctx, result, hs, cl, skipping, pos, start, length);
      if (!room || !tested_truth(ctx, cl, skipping, &v)) return nullptr;
      if (skipping) touch_to_then(ctx, cl);
      else ctx->bBranch = v != 0;
      ctx->nStmtClass = SC_IF;
      ctx->nPendingIf = -1;
      push_record(ctx, SK_IF, 0, lineStart, skipping ? BS_OUTER_SKIP : v ? BS_RUNNING : BS_FALSE);
      if (!skipping && !v) {
        // A chain that tests one variable against numbers goes to its branch for the variable's value.
        VarRef* tested;
        int32_t number;
        // (The variable holds a whole number unless the test was worked out the general way.)
        const VarSlot* s = equality_test(cl, &tested, &number) ? slot_at(ctx, resolve_var(ctx, *tested)) : nullptr;
        if (s && s->c.type == VF_INTEGER)
          if (const CaseJump* j = branch_jump(ctx, hs, cl, tested, s->c.i))
            ran = take_branch(ctx, *j, pos, start, length);
      }
      return ran;
    case LK_ELSEIF:
      if (!t || t->kind != SK_IF) return nullptr;
      if (t->state == BS_FALSE) {
        if (!tested_truth(ctx, cl, false, &v)) return nullptr;
        if (v) t->state = BS_RUNNING;
        ctx->bBranch = v != 0;
      } else if (t->state == BS_RUNNING) {
        t->state = BS_OUTER_SKIP;  // a branch ran already: everything up to EndIf is skipped
      }
      ctx->nStmtClass = SC_ELSEIF;
      break;
    case LK_ELSE:
      if (!cl.block || !t || t->kind != SK_IF) return nullptr;
      if (t->state == BS_RUNNING || t->state == BS_FALSE) t->state ^= BS_FALSE;
      t->kind = SK_ELSE;
      ctx->bBranch = t->state == BS_RUNNING;
      ctx->nStmtClass = SC_ELSE;
      break;
    case LK_ENDIF: {
      if (!t || (t->kind != SK_IF && t->kind != SK_ELSE)) return nullptr;
      const uint8_t loop_bits = t->state & (BS_CONTINUE | BS_BREAK);
      if (loop_bits && ctx->nStructDepth < 2) return nullptr;
      pop_record(ctx, false);
      if (loop_bits) top(ctx)->state |= loop_bits;
      ctx->nStmtClass = SC_BLOCK_END;
      break;
    }
    case LK_SWITCH:
      if (!room || !tested_value(ctx, cl, skipping, &v)) return nullptr;
      if (!skipping) ctx->dbg.switchValue = v;
      ctx->nStmtClass = SC_SWITCH;
      push_record(ctx, SK_SWITCH, skipping ? 0 : uint32_t(v) >> 16, lineStart, skipping ? BS_OUTER_SKIP : BS_FALSE);
      if (!skipping) {
        top(ctx)->aux = uint16_t(uint32_t(v) & 0xFFFF);
        if (const CaseJump* j = branch_jump(ctx, hs, cl, nullptr, v)) ran = take_branch(ctx, *j, pos, start, length);
      }
      break;
    case LK_CASE:
      if (!t || t->kind != SK_SWITCH) return nullptr;
      if (t->state == BS_FALSE || t->state == BS_CONTINUE) {
        if (!EvaluateWholeNumber(ctx, cl, 0, &v)) return nullptr;
        ctx->dbg.switchValue = v;
        const bool match = uint32_t(v) == (t->resume << 16 | t->aux);
        if (match) t->state = BS_RUNNING;
        ctx->bBranch = match;
      }
      ctx->nStmtClass = SC_CASE;
      break;
    case LK_ENDSWITCH:
      if (!t || t->kind != SK_SWITCH) return nullptr;
      pop_record(ctx, true);
      ctx->nStmtClass = SC_BLOCK_END;
      break;
    case LK_RETURN:
      if (skipping) return nullptr;
      // A Return that calls out leaves its function's frame the general way: it cannot be declined later.
      if (cl.callsOut) return returns_from_function(ctx) ? run_call_line(ctx, result, hs, cl) : nullptr;
      return quick_return(ctx, result, cl) ? ran : nullptr;
    case LK_BREAK:
    case LK_CONTINUE:
      if (skipping || !ctx->bInLoop) return nullptr;
      ctx->bBranch = 1;
      t->state |= cl.kind == LK_BREAK ? BS_BREAK : BS_CONTINUE;
      ctx->nStmtClass = cl.kind == LK_BREAK ? SC_BREAK : SC_CONTINUE;
      break;
    default: return nullptr;
  }
  // Every structure statement but If forgets a pending single-line If.
  ctx->nPendingIf = -1;
  return ran;
}

namespace {

// Passes over a passable line: its effects (SKIP_*), with its statement class.
uint8_t pass_line(RunContext* ctx, StructRecord* t, const CompiledLine& cl, uint8_t* cls) {
  switch (cl.kind) {
    case LK_EXPRESSION:
      // A skipped statement still reads its first word, which makes a variable of a new name.
      if (cl.firstVar != NO_VAR) {
        resolve_var(ctx, cl.vars[cl.firstVar]);
        ctx->err = 0;
      }
      *cls = SC_SKIPPED;
      return 0;
    case LK_BREAK:
    case LK_CONTINUE:
      *cls = cl.kind == LK_BREAK ? SC_BREAK : SC_CONTINUE;
      return SKIP_FORGETS_IF | SKIP_CLEARS_BRANCH;
    case LK_CASE:
      *cls = SC_CASE;
      return SKIP_FORGETS_IF;
    case LK_ELSEIF:
      *cls = SC_ELSEIF;
      return SKIP_FORGETS_IF;
    case LK_ELSE:
      t->kind = SK_ELSE;
      *cls = SC_ELSE;
      return SKIP_FORGETS_IF | SKIP_CLEARS_BRANCH | SKIP_MEETS_ELSE;
    default: return 0;
  }
}

void apply_skip_effects(RunContext* ctx, uint8_t effects, uint8_t cls) {
  ctx->nStmtClass = cls;
  if (effects & SKIP_FORGETS_IF) ctx->nPendingIf = -1;
  if (effects & SKIP_CLEARS_BRANCH) ctx->bBranch = 0;
}

}  // namespace

const CompiledLine* PassSkippedLines(RunContext* ctx, const HeldScript* hs, const CompiledLine& first) {
  StructRecord* const t = top(ctx);
  const LineCache* const cache = ctx->lineCache;
  if (!t || t->state == BS_RUNNING || !cache || !passable(t, first)) return nullptr;
  SkipRun& known = first.skip[t->state == BS_FALSE || t->state == BS_CONTINUE ? 0 : 1];
  if ((known.effects & SKIP_VALID) && known.epoch == cache->epoch && known.layout == ctx->nVarLayout &&
      known.kind == t->kind && known.state == t->state) {
    if (known.effects & SKIP_MEETS_ELSE) t->kind = SK_ELSE;
    apply_skip_effects(ctx, known.effects, known.lastClass);
    return known.last;
  }
  SkipRun run{};
  run.kind = t->kind;
  run.state = t->state;
  run.epoch = cache->epoch;
  run.layout = ctx->nVarLayout;
  uint8_t effects = 0, cls = 0;
  const CompiledLine* last = nullptr;
  for (const CompiledLine* n = &first; n && passable(t, *n); n = linecache_find(ctx, hs, n->next)) {
    effects |= pass_line(ctx, t, *n, &cls);
    last = n;
  }
  apply_skip_effects(ctx, effects, cls);
  // Noted only when passing made no variable: the next time the lines need not be read.
  if (run.layout == ctx->nVarLayout && run.epoch == cache->epoch) {
    run.last = last;
    run.lastClass = cls;
    run.effects = effects | SKIP_VALID;
    known = run;
  }
  return last;
}

}  // namespace tov
