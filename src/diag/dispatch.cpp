#include "diag/dispatch.h"

#include <cstdio>
#include <cstring>

#include "diag/error_model.h"
#include "diag/errors.h"
#include "diag/report.h"
#include "diag/trace.h"
#include "engine/context.h"
#include "engine/script.h"
#include "exec/frames.h"
#include "lang/arrays.h"
#include "lang/values.h"
#include "lang/vartable.h"
#include "platform/files.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace tov {

namespace {

constexpr uint32_t REPORT_LINE_MAX = 2049;
constexpr uint32_t ERROR_ARRAY_SIZE = 12;

bool is_user_or_extender(uint32_t n) {
  return n == 1213 || n == 1668 || n == 2214 || n == 2669 || n == 3215 || n == 3670 ||
         n == STATUS_EXTENDER_REPORTED || n == STATUS_USER_ERROR_REPORTED;
}

// The text of the failing line for the report, multi-byte aware and bounded.
void set_report_title(RunContext* ctx, const char* line) {
  size_t n = 0;
  while (line[n] && n < REPORT_LINE_MAX) {
    const size_t cs = plat::char_size(line + n, std::strlen(line + n));
    if (n + cs > REPORT_LINE_MAX) break;
    n += cs;
  }
  std::memcpy(ctx->es.reportTitle, line, n);
  ctx->es.reportTitle[n] = 0;
}

bool set_string_var(RunContext* ctx, const char* name, const char* text) {
  return set_variable_by_name(ctx, name, text, VF_STRING);
}
bool set_int_var(RunContext* ctx, const char* name, int32_t i) { return set_variable_by_name(ctx, name, &i, VF_INTEGER); }

void set_element(RunContext* ctx, ArrayHeader* a, uint32_t i, const char* text, int32_t number, bool is_text) {
  ValueCore& e = array_elements(a)[i];
  if (is_text) {
    if ((e.str = str_new(ctx, text, std::strlen(text)))) e.type = VF_STRING;
  } else {
    e.i = number;
    e.type = VF_INTEGER;
  }
}

// Jumps to a handler label (as GoSub in mode 2). Returns true when the script goes on at the label.
bool enter_handler_label(RunContext* ctx, const StatementPlace& at, int32_t mode, const char* label,
                         uint16_t overflow_error, uint32_t number, bool cancel) {
  bool pushed = false;
  if (mode == HANDLER_GOSUB) {
    if (!open_gosub_frame(ctx, *at.pos)) {
      ctx->err = overflow_error;
      return false;
    }
    pushed = true;
    // The trace shows the statement as the GoSub its handler made.
    ctx->nStmtClass = SC_GOSUB_RETURN;
    ctx->bBranch = 1;
    ctx->dbg.handlerGosub = cancel ? 1 : 2;
  }
  fill_error_variables(ctx, number, cancel, true);
  ctx->err = 0;
  uint32_t target;
  if (FindLabel(ctx, label, &target, at.lineStart, at.offset, at.script, true)) {
    *at.pos = target;
    return true;
  }
  if (pushed) close_gosub_frame(ctx);
  return false;
}

int report_pending(RunContext* ctx, const StatementPlace& at) {
  const uint16_t number = ctx->err;
  set_report_title(ctx, at.line);
  const Severity sev = severity_of(number);
  if (ctx->es.errorMode == EM_OFF && sev == SEV_MINOR && !ctx->es.handlerFilledVars) {
    ctx->es.lastError = number;
    fill_error_variables(ctx, number, false, true);
  }
  const int r = ReportError(ctx, ctx->hwndOwner, 1, number, sev);
  error_info_free(ctx);
  return r;
}

int handle_cancel(RunContext* ctx, const StatementPlace& at) {
  const int32_t mode = ctx->es.cancelHandlerMode;
  if (mode == HANDLER_UDF && !ctx->es.handlerTried) {
    fill_error_variables(ctx, STATUS_CANCEL, true, false);
    ctx->err = 0;
    const HandlerOutcome o = call_handler_function(ctx, ctx->es.cancelHandlerFunc, true);
    if (o == HandlerOutcome::Handled) return 1;
    if (ctx->err == STATUS_EXIT) return 0;
    if (o != HandlerOutcome::Failed) ctx->err = STATUS_CANCEL;
    return ctx->err == STATUS_CANCEL ? 0 : report_pending(ctx, at);
  }
  if (mode == HANDLER_GOTO || mode == HANDLER_GOSUB || mode == HANDLER_CALLED_CODE) {
    if (mode != HANDLER_CALLED_CODE) ctx->es.cancelHandlerMode = HANDLER_OFF;
    if (enter_handler_label(ctx, at, mode, "CANCEL", ERR_CANCEL_HANDLER_NESTING, STATUS_CANCEL, true)) return 1;
    if (ctx->err == ERR_CANCEL_HANDLER_NESTING) return report_pending(ctx, at);
    ctx->err = STATUS_CANCEL;
  }
  return 0;
}

int handle_error(RunContext* ctx, const StatementPlace& at) {
  const uint16_t number = ctx->err;
  const int32_t mode = ctx->es.errorHandlerMode;
  ctx->es.handlerFilledVars = 0;
  if (mode == HANDLER_UDF && !ctx->es.handlerTried) {
    ctx->es.lastError = number;
    fill_error_variables(ctx, number, false, false);
    ctx->err = 0;
    const HandlerOutcome o = call_handler_function(ctx, ctx->es.errorHandlerFunc, false);
    if (o == HandlerOutcome::Handled) return 1;
    if (ctx->err == STATUS_EXIT) return 0;
    if (o != HandlerOutcome::Failed) ctx->err = number;
  } else if (mode == HANDLER_GOTO || mode == HANDLER_GOSUB) {
    ctx->es.lastError = number;
    ctx->es.errorHandlerMode = HANDLER_OFF;
    if (enter_handler_label(ctx, at, mode, "QZERRORHANDLER", ERR_ERROR_HANDLER_NESTING, number, false)) return 1;
    // A missing label: the error is reported as if there were no handler.
    if (ctx->err != ERR_ERROR_HANDLER_NESTING) ctx->err = number;
  }
  if (!ctx->err) return 1;
  if (ctx->err >= STATUS_EXIT) return 0;
  return report_pending(ctx, at);
}

}  // namespace

uint32_t handler_number(const RunContext* ctx, uint32_t number, bool* user_text) {
  *user_text = is_user_or_extender(number);
  if (*user_text || number == STATUS_REPORTED_IN_CALL || number == STATUS_UDF_FAILED) return ctx->es.extendedCode;
  return number;
}

void fill_error_variables(RunContext* ctx, uint32_t number, bool cancel, bool singles) {
  ensure_line(ctx);
  const uint16_t saved = ctx->err;
  ctx->err = 0;
  bool user_text = false;
  const uint32_t seen = cancel ? number : handler_number(ctx, number, &user_text);
  char message[2050];
  if (cancel) std::strcpy(message, "Cancel");
  else if (user_text) std::snprintf(message, sizeof message, "%s", ctx->es.userErrorText);
  else load_string(ctx, number, message, sizeof message);
  const char* info = cancel ? "User pressed Cancel" : error_info_text(ctx);

  char file[plat::MAX_PATH_CHARS + 1] = "";
  uint32_t line = 0, line_in_udf = 0;
  int kind = -1;
  if (ctx->hRunScript)
    line = LocateLine(ctx, ctx->hRunScript, ctx->nLineStart, file, sizeof file, nullptr, 0, &line_in_udf, &kind);
  if (!file[0]) std::strcpy(file, ctx->szCurrentFile);
  const uint16_t u = ctx->nRunUdf;
  const char* segment = (u != NO_UDF && int32_t(u) < ctx->nUdfCount && ctx->apUdf[u]) ? ctx->apUdf[u]->name : "";
  char assigned[VARNAME_BYTES] = "";
  const uint32_t target = *assignment_target_of_run(ctx);
  if (target != 0xFFFFFFFFu) {
    const uint16_t frame = uint16_t(target >> 16), slot = uint16_t(target);
    if (frame == ctx->nVarFrame && slot < ctx->nVarUsed) std::strcpy(assigned, slot_at(ctx, slot)->name);
  }
  const char* line_text = ctx->es.reportTitle[0] ? ctx->es.reportTitle : (ctx->szLine ? ctx->szLine : "");

  if (singles) {
    set_string_var(ctx, "qzerrorhandlerline", line_text);
    set_int_var(ctx, "qzerrorhandleroffset", int32_t(ctx->nLineStart));
    set_string_var(ctx, "qzerrorhandlerassignment", assigned);
    set_string_var(ctx, "qzerrorhandlerfile", file);
    set_string_var(ctx, "qzerrortextstring", message);
    set_string_var(ctx, "qzerroradditionalinfo", info);
    set_string_var(ctx, "qzerrorinsegment", segment);
    set_int_var(ctx, "qzerrorhandlerlinenumber", int32_t(line));
    ctx->es.handlerFilledVars = 1;
  }
  Value array;
  value_init(array);
  if (CreateMyArray(ctx, &array, int32_t(ERROR_ARRAY_SIZE), 0, 0, 0, 0, 0, 1) == 1) {
    ArrayHeader* a = array_header(array.c.str);
    set_element(ctx, a, 0, nullptr, int32_t(seen), false);
    set_element(ctx, a, 1, line_text, 0, true);
    set_element(ctx, a, 2, nullptr, int32_t(ctx->nLineStart), false);
    set_element(ctx, a, 3, assigned, 0, true);
    set_element(ctx, a, 4, file, 0, true);
    set_element(ctx, a, 5, message, 0, true);
    set_element(ctx, a, 6, info, 0, true);
    set_element(ctx, a, 7, segment, 0, true);
    set_element(ctx, a, 8, nullptr, int32_t(line), false);
    set_element(ctx, a, 9, nullptr, int32_t(line_in_udf), false);
    set_element(ctx, a, 10, nullptr, kind, false);
    set_element(ctx, a, 11, nullptr, 0, false);
    set_variable_by_name(ctx, "qzerrorarray", &array.c.str, VF_ARRAY);
  }
  value_free(ctx, array);
  // Running out of memory here leaves the variables unset; the dispatch goes on.
  ctx->err = saved;
}

bool handle_assignment_error(RunContext* ctx, Value* value) {
  const uint16_t number = ctx->err;
  const bool cancel = number == STATUS_CANCEL;
  if (!cancel && (number == 0 || number >= STATUS_EXIT)) return false;
  if ((cancel ? ctx->es.cancelHandlerMode : ctx->es.errorHandlerMode) != HANDLER_UDF) return false;
  if (!cancel) ctx->es.lastError = number;
  fill_error_variables(ctx, number, cancel, false);
  ctx->err = 0;
  const HandlerOutcome o =
      call_handler_function(ctx, cancel ? ctx->es.cancelHandlerFunc : ctx->es.errorHandlerFunc, cancel);
  if (o == HandlerOutcome::Failed) return false;
  if (o == HandlerOutcome::NotHandled) {
    ctx->err = number;
    ctx->es.handlerTried = 1;   // the dispatch reports it without asking the handler a second time
    return false;
  }
  // The value assigned is what the handler left in element 11 of the array it was given.
  value_free(ctx, *value);
  value_init(*value);
  const uint16_t slot = slot_lookup(ctx, "qzerrorarray");
  const ValueCore* holder = slot == SLOT_NONE ? nullptr : &slot_at(ctx, slot)->c;
  int32_t eleven[ARRAY_MAX_DIMS] = {11};
  const ValueCore* e = holder && (holder->type & VF_ARRAY) ? array_element_at(ctx, holder->str, eleven) : nullptr;
  if (e && e->type && !value_read(ctx, *e, *value)) return false;
  ctx->err = 0;
  ctx->es.extendedCode = number;
  return true;
}

static int dispatch_statement(RunContext* ctx, Value* result, const StatementPlace& at) {
  ctx->err = 0;
  ctx->es.handlerTried = 0;
  // The failing line of an earlier report is not this statement's: handlers read the current line.
  ctx->es.reportTitle[0] = 0;
  int r;
  if (ctx->nDeferredError) {
    ctx->err = ctx->nDeferredError;
    ctx->nDeferredError = 0;
    r = 0;
  } else {
    r = ExecuteStatement(ctx, result, at);
  }
  ctx->dbg.raisedError = ctx->err;
  return ctx->err ? dispatch_statement_error(ctx, at) : r;
}

int dispatch_statement_error(RunContext* ctx, const StatementPlace& at) {
  ensure_line(ctx);
  const uint16_t e = ctx->err;
  if (e == STATUS_ASSIGNMENT_HANDLED) {
    ctx->err = 0;
    ctx->es.extendedCode = 0;
    return 1;
  }
  if (e == STATUS_CANCEL) return handle_cancel(ctx, at);
  if (e >= STATUS_EXIT) {
    if (!ctx->es.continueFlag) return 0;
    ctx->es.continueFlag = 0;
    ctx->err = 0;
    return 1;
  }
  return handle_error(ctx, at);
}

int run_statement(RunContext* ctx, Value* result, const StatementPlace& at) {
  if (!debug_watching(ctx->dbg)) return dispatch_statement(ctx, result, at);
  // The step debugger's Cancel takes the statement's place.
  if (!debug_before_statement(ctx, at)) ctx->nDeferredError = STATUS_CANCEL;
  const int r = dispatch_statement(ctx, result, at);
  const uint16_t error = ctx->err;
  debug_after_statement(ctx, result, at, ctx->dbg.raisedError, r == 0);
  ctx->err = error;
  return r;
}

void report_statement_error(RunContext* ctx, const char* line, uint32_t lineStart, const HeldScript* hs) {
  ctx->nLineStart = lineStart;
  ctx->hRunScript = hs;
  ctx->nRunUdf = ctx->nCurrentUdf;
  set_report_title(ctx, line);
  const uint16_t number = ctx->err;
  ReportError(ctx, ctx->hwndOwner, 1, number, severity_of(number));
  error_info_free(ctx);
  ctx->err = number;
}

void report_break(RunContext* ctx, const char* line, uint32_t lineStart, const HeldScript* hs) {
  ctx->nLineStart = lineStart;
  ctx->hRunScript = hs;
  set_report_title(ctx, line);
  const uint16_t number = ctx->err ? ctx->err : uint16_t(ERR_TERMINATED_BY_USER);
  ReportError(ctx, ctx->hwndOwner, ERR_TERMINATED_BY_USER, number, SEV_SEVERE);
  error_info_free(ctx);
}

}  // namespace tov
