// The error dispatch after each statement: handlers, suppression, the report, and whether the run goes on.
#pragma once
#include <cstdint>

#include "engine/context.h"
#include "exec/exec.h"

namespace tov {

struct RunContext;
struct Value;
struct HeldScript;

// Runs one statement (or raises the deferred error in its place) and handles its error.
// Returns 1 to continue, 0 to end the run, -1 for a Return.
int run_statement(RunContext* ctx, Value* result, const StatementPlace& at);

// Reports the current error of a line that could not become a statement (substitution, definitions).
void report_statement_error(RunContext* ctx, const char* line, uint32_t lineStart, const HeldScript* hs);
// Reports a stop by Ctrl+Break (message 194).
void report_break(RunContext* ctx, const char* line, uint32_t lineStart, const HeldScript* hs);

// The assignment target of the running function, or of the top level: frame << 16 | slot, all ones none.
inline uint32_t* assignment_target_of_run(RunContext* ctx) {
  const uint16_t u = ctx->nCurrentUdf;
  if (u != NO_UDF && int32_t(u) < ctx->nUdfCount && ctx->apUdf[u]) return &ctx->apUdf[u]->target;
  return &ctx->nTopTarget;
}

// The error dispatch of a statement that ended with an error set: handlers, the report, and whether
// the run goes on (run_statement's result).
int dispatch_statement_error(RunContext* ctx, const StatementPlace& at);

// The number a handler sees for an error, and whether its text is the user error text.
uint32_t handler_number(const RunContext* ctx, uint32_t number, bool* user_text);

// An error (or cancel) in the right side of an assignment while a handler function (mode 3) is armed: the
// handler runs at once. True when it handled the error: value then holds what the handler left in element
// 11 of qzerrorarray, to be assigned, and the error is cleared. Otherwise the error stands (the original
// one, or the handler's own, or Exit).
bool handle_assignment_error(RunContext* ctx, Value* value);

// Fills qzerrorarray (and with singles the qzerror... variables) for an error or a cancel.
void fill_error_variables(RunContext* ctx, uint32_t number, bool cancel, bool singles);

}  // namespace tov
