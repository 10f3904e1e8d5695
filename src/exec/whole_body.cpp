#include "exec/whole_body.h"

#include <algorithm>
#include <cstring>

#include "diag/trace.h"
#include "diag/trace_calls.h"
#include "engine/pump.h"
#include "exec/compiled.h"
#include "exec/udf_call.h"
#include "lang/int_ops.h"
#include "lang/keywords.h"
#include "lang/values.h"

namespace tov {

namespace {

// Lines that are not compiled yet are looked at again on later calls, this many times at most.
constexpr uint8_t WHOLE_TRIES = 8;

// A keyword's code (an operator's or a constant's): what a step keeps in 16 bits.
bool is_keyword(int kw) { return kw >= 0 && kw < int(NKEYTOKENS); }

class StepWriter {
 public:
  StepWriter(WholeBody& body, const UdfRecord& rec) : body_(body) {
    for (uint16_t i = 0; i < rec.paramCount; ++i) std::memcpy(names_[i], rec.slotNames[i], VARNAME_BYTES);
    count_ = rec.paramCount;
  }

  // An assignment: its expression, then the store into the target (a new local takes the next register).
  bool assignment(const CompiledLine& cl) {
    if (cl.target == NO_VAR || cl.append || !cl.straight || cl.callsOut || !expression(cl, cl.e[0])) return false;
    int reg = register_of(cl.vars[cl.target].name);
    if (reg < 0) {
      if (count_ >= int(WHOLE_REGISTERS)) return false;
      std::memcpy(names_[count_], cl.vars[cl.target].name, VARNAME_BYTES);
      reg = count_++;
    }
    return emit(WS_STORE, uint8_t(reg), 0, 0, -1);
  }

  bool finish(const CompiledLine& ret) {
    if (!ret.straight || ret.callsOut || (ret.e[0].first != NO_EXPR && !expression(ret, ret.e[0]))) return false;
    if (!emit(WS_RETURN, 0, 0, 0, 0)) return false;
    body_.registers = uint8_t(count_);
    return true;
  }

 private:
  int register_of(const char* name) const {
    for (int r = 0; r < count_; ++r)
      if (std::memcmp(names_[r], name, VARNAME_BYTES) == 0) return r;
    return -1;
  }

  bool emit(uint8_t code, uint8_t reg, uint16_t op, int32_t value, int stack_change) {
    if (steps_ >= WHOLE_STEPS) return false;
    body_.steps[steps_++] = WholeStep{code, reg, op, value};
    depth_ += stack_change;
    return depth_ >= 0 && depth_ <= int(WHOLE_STACK);
  }

  // An operator. Its right operand ends just before it: when that is a number or a register alone, the
  // operator takes it as its own.
  bool binary(uint16_t op) {
    WholeStep* const last = steps_ ? &body_.steps[steps_ - 1] : nullptr;
    if (last && depth_ >= 2 && (last->code == WS_READ || last->code == WS_INT)) {
      last->code = last->code == WS_READ ? WS_BINARY_READ : WS_BINARY_INT;
      last->op = op;
      --depth_;
      return true;
    }
    return emit(WS_BINARY, 0, op, 0, -1);
  }

  // A whole-number expression of numbers, integer constants, variables made before it and operators.
  bool expression(const CompiledLine& cl, const CompiledExpr& e) {
    if (e.first == NO_EXPR || e.whole == WHOLE_NONE || e.calls) return false;
    for (const Op* op = cl.ops + e.first; op < cl.ops + e.first + e.count; ++op) {
      bool written = false;
      switch (op->code) {
        case OP_INT: written = emit(WS_INT, 0, 0, op->payload.i, 1); break;
        case OP_CONSTANT: {
          if (!is_keyword(op->kw)) return false;
          const uint32_t value = g_keywordTable[op->kw].value;
          if (is_float_constant(value) || is_string_constant(value)) return false;
          written = emit(WS_INT, 0, 0, int32_t(value), 1);
          break;
        }
        case OP_VARIABLE: {
          const int reg = register_of(cl.vars[op->payload.index].name);
          written = reg >= 0 && emit(WS_READ, uint8_t(reg), 0, 0, 1);
          break;
        }
        case OP_UNARY: written = is_keyword(op->kw) && emit(WS_UNARY, 0, uint16_t(op->kw), 0, 0); break;
        case OP_BINARY: written = is_keyword(op->kw) && binary(uint16_t(op->kw)); break;
        default: return false;
      }
      if (!written) return false;
    }
    return depth_ == 1;
  }

  WholeBody& body_;
  char names_[WHOLE_REGISTERS][VARNAME_BYTES];
  int count_ = 0;
  uint32_t steps_ = 0;
  int depth_ = 0;
};

// The steps of the body from its compiled lines: READY, NONE when a line is of another kind, or UNKNOWN
// while one is not compiled yet.
WholeBodyState write_steps(RunContext* ctx, const UdfRecord& rec, uint16_t index, WholeBody& body) {
  // The parameters' layout is worked out by the first call made the usual way.
  if (rec.layout == UDF_LAYOUT_UNKNOWN) return WHOLE_BODY_UNKNOWN;
  if (rec.kind != UDF_FUNCTION || rec.layout != UDF_LAYOUT_IN_ORDER || rec.paramCount > WHOLE_REGISTERS)
    return WHOLE_BODY_NONE;
  const HeldScript script = udf_body_script(rec, index);
  StepWriter writer(body, rec);
  uint8_t statements = 0;
  for (uint32_t pos = 0; pos < rec.bodyLength;) {
    const CompiledLine* cl = linecache_find(ctx, &script, pos);
    if (!cl || cl->kind == LK_SEEN) return WHOLE_BODY_UNKNOWN;
    if (cl->kind == LK_RETURN) {
      if (!writer.finish(*cl)) return WHOLE_BODY_NONE;
      body.statements = statements;
      return WHOLE_BODY_READY;
    }
    if (cl->kind == LK_EXPRESSION) {
      if (!writer.assignment(*cl)) return WHOLE_BODY_NONE;
      ++statements;
    } else if (cl->kind != LK_EMPTY) {
      return WHOLE_BODY_NONE;
    }
    pos = cl->next;
  }
  return WHOLE_BODY_NONE;
}

// Whether the body has its whole-number steps under the names the context and the line cache have now:
// looked at (again) from the compiled lines of its body when it has not been under them, until its lines are
// compiled.
bool whole_body_ready(RunContext* ctx, UdfRecord* rec, uint16_t index) {
  WholeBody& body = rec->whole;
  const LineCache* const cache = ctx->lineCache;
  if (!cache) return false;
  const bool same = body.udfCount == ctx->nUdfCount && body.extCount == ctx->ext.nFunctions &&
                    body.hostKeywords == ctx->lpHostKeywords && body.cacheEpoch == cache->epoch;
  if (same && body.state == WHOLE_BODY_READY) return true;
  if (!same) body.tries = 0;
  // Only the cache's own lines, made under these names, are looked at: nothing is read or reset here.
  if (!linecache_in_step(cache, ctx)) return false;
  WholeBodyState state = write_steps(ctx, *rec, index, body);
  if (state == WHOLE_BODY_UNKNOWN && ++body.tries >= WHOLE_TRIES) state = WHOLE_BODY_NONE;
  body.state = state;
  body.udfCount = ctx->nUdfCount;
  body.extCount = ctx->ext.nFunctions;
  body.hostKeywords = ctx->lpHostKeywords;
  body.cacheEpoch = cache->epoch;
  return state == WHOLE_BODY_READY;
}

// Works the steps out with the arguments (one per parameter): false when a step would raise an error, with
// nothing done.
bool run_whole_body(const WholeBody& body, const int32_t* args, int argc, int32_t* out) {
  int32_t regs[WHOLE_REGISTERS];
  for (int n = 0; n < argc; ++n) regs[n] = args[n];   // a few: a call of memcpy would cost more
  int32_t stack[WHOLE_STACK];
  int sp = 0;
  for (const WholeStep* s = body.steps;; ++s) {
    switch (s->code) {
      case WS_INT: stack[sp++] = s->value; continue;
      case WS_READ: stack[sp++] = regs[s->reg]; continue;
      case WS_UNARY: whole_unary(s->op, stack[sp - 1]); continue;
      case WS_BINARY:
        if (!int_compare_or_arith(s->op, stack[sp - 2], stack[sp - 1], &stack[sp - 2])) return false;
        --sp;
        continue;
      case WS_BINARY_READ:
        if (!int_compare_or_arith(s->op, stack[sp - 1], regs[s->reg], &stack[sp - 1])) return false;
        continue;
      case WS_BINARY_INT:
        if (!int_compare_or_arith(s->op, stack[sp - 1], s->value, &stack[sp - 1])) return false;
        continue;
      case WS_STORE: regs[s->reg] = stack[--sp]; continue;
      default: *out = sp ? stack[sp - 1] : 0; return true;
    }
  }
}

}  // namespace

bool call_whole_body(RunContext* ctx, UdfRecord* rec, uint16_t index, const int32_t* numbers, int argc, int32_t* out) {
  if (!rec->hBody || argc != rec->paramCount || ctx->err) return false;
  // Only while nothing watches the statements, the lines are read from the cache, no message pump or cancel
  // falls among them, the call's record and table could be made, and the caller's file is the function's
  // (no file notes).
  const uint32_t depth = ctx->nStructDepth;
  const uint16_t frame = std::max<uint16_t>(ctx->nFirstFreeFrame, 1);
  if (ctx->nHostNotify || ctx->hdr.bCancel || ctx->bDebugOutput || debug_watching(ctx->dbg) || ctx->nDiagMode ||
      ctx->bLineCacheOff || !in_file_of(ctx, *rec) || depth >= STRUCT_STACK_SIZE || frame >= VAR_FRAMES ||
      ctx->aVarFrame[frame].slots || fp_pending() || !whole_body_ready(ctx, rec, index))
    return false;
  const WholeBody& body = rec->whole;
  if (body.registers >= ctx->nVarCapacity) return false;
  // Each statement but the Return counts towards the next message pump; one that falls among them is taken
  // here only when it would do nothing but start the count again.
  uint32_t skip = ctx->nPumpSkip, count = 0;
  if (skip < body.statements && !pump_only_counts(ctx, &count)) return false;
  if (skip >= body.statements) skip -= body.statements;
  else for (uint32_t n = 0; n < body.statements; ++n) skip = skip ? skip - 1 : count;
  if (!run_whole_body(body, numbers, argc, out)) return false;
  // What the call made the usual way leaves behind: the statements' count to the next pump, what each
  // statement starts with, the ended run's outcome, the file met last, the frame's serial number, the emptied
  // record above the stack's top, and the called name with the statement class of a call.
  ctx->nPumpSkip = skip;
  ctx->es.handlerTried = 0;
  ctx->es.reportTitle[0] = 0;
  ctx->tok.derefPending = 0;
  ctx->tok.addressOfPending = 0;
  ctx->tok.text[0] = 0;
  ctx->hdr.nRunResult = -1;
  ctx->hdr.nRunError = 0;
  ctx->hdr.nExtendedCode = ctx->es.extendedCode;
  ctx->pCurrentFileOf = rec->file;
  ++ctx->nFrameSerial;
  ctx->nFirstFreeFrame = frame;
  ctx->aStruct[depth] = StructRecord{};
  note_call_ended(ctx, rec->name, rec->nameLength, false);
  return true;
}

}  // namespace tov
