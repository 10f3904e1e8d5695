// The run loop: fetches each line, handles definitions, substitution and labels, runs the statement through
// the error dispatch, and keeps the host responsive between statements.
#include "exec/run.h"

#include <cstdio>
#include <cstring>

#include "diag/dispatch.h"
#include "diag/errors.h"
#include "diag/report.h"
#include "diag/trace.h"
#include "engine/context.h"
#include "engine/pump.h"
#include "engine/script.h"
#include "exec/compiled.h"
#include "exec/definitions.h"
#include "exec/exec.h"
#include "ext/host_call.h"
#include "lang/values.h"
#include "platform/system.h"

namespace tov {

namespace {

constexpr uint32_t NOTIFY_STATEMENT = 2;       // nHostNotify
constexpr uint32_t BREAK_NOT_REPORTED = 4;     // nBreakFlags

// The statement of a label line starts after the label and its blanks; none when only a comment follows.
bool label_statement(const char* line, uint32_t* offset) {
  const char* p = line;
  while (*p && !is_blank(*p)) ++p;
  while (is_blank(*p)) ++p;
  if (!*p || *p == ';') return false;
  *offset = uint32_t(p - line);
  return true;
}

void notify_statement(RunContext* ctx, const HeldScript* hs, uint32_t lineStart) {
  char script[24], offset[16], link[8], state[8];
  std::snprintf(script, sizeof script, "%p", static_cast<const void*>(hs));
  std::snprintf(offset, sizeof offset, "%u", unsigned(lineStart + hs->bodyOffset));
  std::snprintf(link, sizeof link, "%u", unsigned(ctx->aVarFrame[ctx->nVarFrame].link));
  std::snprintf(state, sizeof state, "%u",
                unsigned(ctx->nStructDepth ? ctx->aStruct[ctx->nStructDepth - 1].state : 0));
  const uint16_t saved = ctx->err;
  ctx->err = 0;
  notify_host(ctx, HOST_NOTIFY_PUMP, ctx->bInUdf ? "3" : "2", script, offset, link, state);
  const bool terminate = ctx->err == STATUS_TERMINATED;
  ctx->err = terminate ? uint16_t(STATUS_TERMINATED) : saved;
}

// The value of a Return stays in the result when the frame just above the stack's top says so.
bool keep_result(const RunContext* ctx) {
  if (ctx->nStructDepth >= STRUCT_STACK_SIZE) return false;
  const StructRecord& above = ctx->aStruct[ctx->nStructDepth];
  return (above.kind == SK_UDF || above.kind == SK_CALL) && above.aux;
}

// True when the result went (it is as value_init leaves it).
[[gnu::always_inline]] inline bool drop_result(RunContext* ctx, Value* result) {
  if (keep_result(ctx)) return false;
  if (result->c.type & VALUE_OWNS) value_free(ctx, *result);
  value_init(*result);
  return true;
}

// What follows every statement that ran: its result goes, the system is asked for messages every few
// statements (a host that wants every pump is told each time), and a cancel ends the run (false).
[[gnu::always_inline]] inline bool after_statement(RunContext* ctx, Value* result, char* line, uint32_t lineStart,
                                                  const HeldScript* hs) {
  drop_result(ctx, result);
  if (ctx->nPumpSkip && !ctx->nHostNotify) --ctx->nPumpSkip;
  else PumpMessages(ctx, ctx->bFastPump != 0, true);
  if (!ctx->hdr.bCancel) return true;
  if (ctx->bCtrlBreak && ctx->bReportBreak && !(ctx->nBreakFlags & BREAK_NOT_REPORTED)) {
    ensure_line(ctx);
    report_break(ctx, line, lineStart, hs);
    ctx->bCtrlBreak = 0;
  }
  return false;
}

// What follows a statement that ran the general way, by its outcome *r: false when the run ends (*r says how).
bool finish_statement(RunContext* ctx, Value* result, char* line, uint32_t lineStart, const HeldScript* hs, int* r) {
  if (*r != 1) {
    drop_result(ctx, result);
    return false;
  }
  if (after_statement(ctx, result, line, lineStart, hs)) return true;
  *r = 0;
  return false;
}

enum class Straight { NotRun, LastRan, Stopped, Returned, Failed };

// Runs the compiled line cl, found at *pos, and the lines after it while each is one that runs straight,
// or a run of lines a skipping block passes over. Between them, what follows every statement is done here
// while it is only the count to the next message pump. LastRan: the last line's own epilogue is the
// caller's to do (handed: the next line when it was found, to run the general way); Stopped: every epilogue
// is done and *pos is at a line to run the general way; NotRun: cl itself is such a line, with nothing done;
// Returned: the last line was a Return, which ends the run; Failed: the last line (handed) failed, its
// error to be dispatched and its epilogue done by the caller.
Straight run_straight(RunContext* ctx, Value* result, const HeldScript* hs, const CompiledLine* cl,
                      uint32_t* lineStart, uint32_t* pos, const CompiledLine** handed) {
  // What every statement starts with; the straight forms leave it as it is.
  ctx->err = 0;
  ctx->es.handlerTried = 0;
  ctx->es.reportTitle[0] = 0;
  ctx->lpVars[0].name[0] = 0;
  ctx->tok.derefPending = 0;
  ctx->tok.addressOfPending = 0;
  ctx->hRunScript = hs;
  ctx->nRunUdf = ctx->nCurrentUdf;
  uint32_t at = *pos, start = 0, length = 0;
  Straight outcome = Straight::NotRun;
  bool dropped = false;
  for (;;) {
    const bool skipping = block_is_skipping(ctx);
    // The last line passed over: the line the run goes on from, as a line that ran would be.
    const CompiledLine* ran = skipping ? PassSkippedLines(ctx, hs, *cl) : nullptr;
    const bool passed = ran != nullptr;
    const CompiledLine* const place = passed ? ran : cl;
    uint32_t next_pos = place->next, last_start = place->lineStart, last_length = place->length;
    if (!passed) {
      // A statement that fails or does something else is run the general way, from its own place. The
      // straight forms do not read the line's text or place: those of the last line are set at the end.
      ran = cl->kind == LK_EXPRESSION && !skipping ? RunQuickExpression(ctx, result, hs, *cl)
                                                   : RunQuick(ctx, result, hs, *cl, &next_pos, &last_start, &last_length);
      if (!ran) break;
    }
    outcome = Straight::LastRan;
    at = next_pos;
    start = last_start;
    length = last_length;
    if (!passed && cl->mayEnd) {
      if (cl->callsOut && ctx->err) {
        outcome = Straight::Failed;
        *handed = ran;
        break;
      }
      // A Return, alone or after Then (of the statements a single-line If runs straight, only it can end the run).
      if (cl->kind != LK_EXPRESSION && keep_result(ctx)) {
        outcome = Straight::Returned;
        break;
      }
      // A function called may leave a value in the result (what watches statements it restores on its way out).
      if (cl->callsOut) dropped = false;
    }
    if (!ctx->nPumpSkip || ctx->nHostNotify || ctx->hdr.bCancel) break;
    const CompiledLine* next = linked_after(ctx, hs, *ran, next_pos);
    if (!next || next->kind <= LK_SLOW) break;
    if (!next->straight && !block_is_skipping(ctx)) {
      *handed = next;
      break;
    }
    // The straight statements leave no value: once the result went, there is nothing more to drop.
    if (!dropped) dropped = drop_result(ctx, result);
    --ctx->nPumpSkip;
    cl = next;
    outcome = Straight::Stopped;
  }
  *pos = at;
  if (outcome == Straight::NotRun) return outcome;
  *lineStart = start;
  ctx->pendingLine = hs->text + start;
  ctx->nPendingLineLength = length;
  ctx->nLineStart = start;
  ctx->tok.tok_type = TT_END;
  ctx->tok.text[0] = 0;
  return outcome;
}

}  // namespace

int RunLoop(RunContext* ctx, Value* result, const HeldScript* hs, uint32_t* lineStart, uint32_t* pos) {
  char line[LINE_BUFFER_BYTES];
  char* const saved_line = ctx->szLine;
  const char* const saved_pending = ctx->pendingLine;
  const uint32_t saved_pending_length = ctx->nPendingLineLength;
  const HeldScript* const saved_script = ctx->curScript;
  ctx->szLine = line;
  ctx->pendingLine = nullptr;
  ctx->curScript = hs;
  int r = 1;
  const CompiledLine* handed = nullptr;   // the line at *pos, found by the straight run before it

  for (;;) {
    // A line met before comes from the cache; others are read, and noted for the next time.
    uint32_t from = *pos;
    const bool cacheable = !ctx->nDeferredError && !ctx->bInDefinition;
    const CompiledLine* cl = handed ? handed : cacheable ? linecache_find(ctx, hs, from) : nullptr;
    // Blank lines (a function's body starts with its file's marker) are passed as the general way below passes
    // them, the line after each found through its link (the cache was found in step just above).
    while (!handed && cl && cl->kind == LK_EMPTY) {
      ctx->pendingLine = nullptr;
      *lineStart = cl->lineStart;
      *pos = from = cl->next;
      *assignment_target_of_run(ctx) = 0xFFFFFFFFu;
      cl = linked_after(ctx, hs, *cl, from);
    }
    // The commonest compiled statements run straight, with only what every statement needs around them.
    if (!handed && cl && cl->kind > LK_SLOW && (cl->straight || block_is_skipping(ctx)) && !ctx->bDebugOutput &&
        !debug_watching(ctx->dbg) && !(ctx->nHostNotify & NOTIFY_STATEMENT)) {
      const Straight done = run_straight(ctx, result, hs, cl, lineStart, pos, &handed);
      if (done == Straight::Stopped) continue;
      if (done == Straight::Returned) {
        r = -1;
        break;
      }
      if (done == Straight::LastRan) {
        if (!after_statement(ctx, result, line, *lineStart, hs)) {
          r = 0;
          break;
        }
        continue;
      }
      if (done == Straight::Failed) {
        // Its error is dispatched as the general form dispatches it.
        const StatementPlace at{line, handed->offset, pos, *lineStart, hs, false, handed};
        handed = nullptr;
        ++ctx->nCompiledActive;
        r = dispatch_statement_error(ctx, at);
        --ctx->nCompiledActive;
        if (!finish_statement(ctx, result, line, *lineStart, hs, &r)) break;
        continue;
      }
    }
    handed = nullptr;
    ctx->pendingLine = nullptr;
    if (cl) {
      *lineStart = cl->lineStart;
      *pos = cl->next;
      // Compiled lines are run from the script's text; the line is copied only when something shows it.
      if (cl->kind > LK_SLOW && !ctx->bDebugOutput && !debug_watching(ctx->dbg)) {
        ctx->pendingLine = hs->text + cl->lineStart;
        ctx->nPendingLineLength = cl->length;
      } else if (cl->kind != LK_EMPTY) {
        std::memcpy(line, hs->text + cl->lineStart, cl->length);
        line[cl->length] = 0;
        if (cl->kind == LK_SEEN) cl = linecache_record(ctx, hs, from, cl->lineStart, cl->next, line);
      }
    } else if (!FetchLine(ctx, line, sizeof line, hs, lineStart, pos)) {
      break;
    } else if (cacheable && !ctx->nDeferredError && line[0] != '#') {
      linecache_record(ctx, hs, from, *lineStart, *pos, line);
    }
    *assignment_target_of_run(ctx) = 0xFFFFFFFFu;
    if (cl && cl->kind == LK_EMPTY) continue;
    int substituted = 1;
    uint32_t offset = 0;
    if (cl && cl->kind != LK_SUBST) {
      offset = cl->offset;
    } else {
      cl = nullptr;
      if (!line[0] || line[0] == ';') continue;
      if (!ctx->nDeferredError && line[0] == '#') {
        const int d = handle_definition_line(ctx, line, *lineStart, *pos, hs);
        if (d < 0) {
          r = 0;
          break;
        }
        if (d > 0) continue;
      }
      if (ctx->bInDefinition) {
        if (ctx->nDeferredError) {
          ctx->err = ctx->nDeferredError;
          ctx->nDeferredError = 0;
          report_statement_error(ctx, line, *lineStart, hs);
          r = 0;
          break;
        }
        continue;
      }
      if (!ctx->nDeferredError) {
        substituted = SubstituteLine(ctx, line);
        if (!substituted) {
          if (!block_is_skipping(ctx)) {
            report_statement_error(ctx, line, *lineStart, hs);
            r = 0;
            break;
          }
          ctx->err = 0;
        }
      }
      if (line[0] == ':' && !label_statement(line, &offset)) continue;
      // A substituted line may have been met with the same text before.
      if (substituted == 2 && cacheable && line[0] != '#') {
        const CompiledLine* t = linecache_text(ctx, line, offset);
        if (t && t->kind > LK_SLOW) cl = t;
      }
    }
    if (ctx->bDebugOutput && !ctx->es.quietMode) {
      plat::debugger_output(">>>>>");
      plat::debugger_output(line);
      plat::debugger_output("<<<<<\r\n");
    }
    ctx->nLineStart = *lineStart;
    ctx->hRunScript = hs;
    ctx->nRunUdf = ctx->nCurrentUdf;
    if (ctx->nHostNotify & NOTIFY_STATEMENT) {
      notify_statement(ctx, hs, *lineStart);
      if (ctx->err == STATUS_TERMINATED) {
        r = 0;
        break;
      }
    }
    // The trace and the step debugger watch each statement as it is read, through run_statement.
    const CompiledLine* compiled = cl && cl->kind > LK_SLOW && !debug_watching(ctx->dbg) ? cl : nullptr;
    const StatementPlace at{line, offset, pos, *lineStart, hs, substituted == 2, compiled};
    if (compiled) {
      ++ctx->nCompiledActive;
      ctx->err = 0;
      ctx->es.handlerTried = 0;
      ctx->es.reportTitle[0] = 0;
      r = ExecuteCompiled(ctx, result, at, *compiled);
      if (ctx->err) r = dispatch_statement_error(ctx, at);
      --ctx->nCompiledActive;
    } else {
      r = run_statement(ctx, result, at);
    }
    if (!finish_statement(ctx, result, line, *lineStart, hs, &r)) break;
  }

  if (ctx->bInDefinition && (r == 1 || ctx->nDeferredError)) {
    // A definition still open at the end of the text (a deferred long line takes its place).
    ctx->err = ctx->nDeferredError ? ctx->nDeferredError : uint16_t(ERR_DEFINITION_NOT_CLOSED);
    ctx->nDeferredError = 0;
    report_statement_error(ctx, "", *lineStart, hs);
    ctx->bInDefinition = 0;
    r = 0;
  }
  // The string constants compiled lines lent are kept from statement to statement, not past the run.
  if (!ctx->nCompiledActive) release_lent_texts(ctx);
  ctx->hdr.nRunResult = r;
  ctx->hdr.nRunError = ctx->err;
  ctx->hdr.nExtendedCode = ctx->es.extendedCode;
  ctx->nLineStart = *lineStart;
  ctx->hRunScript = hs;
  ctx->nRunUdf = ctx->nCurrentUdf;
  ctx->szLine = saved_line;
  ctx->pendingLine = saved_pending;
  ctx->nPendingLineLength = saved_pending_length;
  ctx->curScript = saved_script;
  return r;
}

}  // namespace tov
