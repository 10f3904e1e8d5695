// The debug trace, its dumps and the step debugger's hooks into the run.
#pragma once
#include <cstdint>
#include <string>

#include "diag/debug_state.h"

namespace tov {

struct RunContext;
struct Value;
struct StatementPlace;

// The name of the trace file that sends the trace to the system debugger instead.
constexpr const char* TRACE_TO_DEBUGGER = "*DEBUGDATA*";

// Whether the full trace goes to a file (or the system debugger).
inline bool full_trace_to_file(const DebugState& d) { return d.traceMode == TRACE_FULL && d.traceFile[0]; }

// Whether the per-statement hooks must run: one test per statement while nothing is watched.
inline bool debug_watching(const DebugState& d) { return (d.traceMode | uint32_t(d.stepMode)) != 0; }

// Before a statement: the step debugger. False when the user cancelled (the current error is then 9999).
bool debug_before_statement(RunContext* ctx, const StatementPlace& at);
// After a statement and its error dispatch: raised is the error the statement raised, ends whether the run
// stops with it.
void debug_after_statement(RunContext* ctx, const Value* result, const StatementPlace& at, uint16_t raised,
                           bool ends);

// The function or script of the last call record, cut to what the record holds (TRACE_CALLED_BYTES - 1).
std::string called_name(const DebugState& d);
// The full trace's record of a call as it starts, and its line as a function's call ends (debug_enter_call
// and debug_leave_call, in diag/trace_calls.h, write them only while the trace is on).
void trace_call_start(RunContext* ctx, bool script);
void trace_function_end(RunContext* ctx, const char* name);

// At the end of the main script's run: the end records, the dumps of a failing end, the step dialog's last
// view. error is the run's error or status (0 for a normal end).
void debug_run_end(RunContext* ctx, uint16_t error);
// The step dialog once more at the end of the main script, its next statement ";;;END OF JOB;;;".
void debug_step_end_of_job(RunContext* ctx);
// At the start of each run handed over by the host: the trace starts again with its banner.
void debug_new_run(RunContext* ctx);

// Free text (DebugTrace 3/4/203/204), the ErrorMode record, and the extender-loaded record.
void trace_text(RunContext* ctx, const char* text, bool framed);
void trace_error_mode(RunContext* ctx);
void trace_extender_loaded(RunContext* ctx, const char* path, const char* version);

// Dumps, written to the trace file (nothing when none is set).
void trace_function_table_dump(RunContext* ctx);
void trace_variable_table_dump(RunContext* ctx);
void trace_structure_stack_dump(RunContext* ctx);
void trace_settings_file_dump(RunContext* ctx);
void trace_environment_report(RunContext* ctx);
// The internal information dump; item empty: the whole list.
void trace_internal_info_dump(RunContext* ctx, const char* item);
// The keyword lookup dump, with the rest of the line being parsed.
void trace_keyword_lookup_dump(RunContext* ctx, const char* rest);

// One item of the internal information: a number (is_text false) or a list text (is_text true, the
// entries separated by delimiter). False for an unknown item.
bool internal_info(RunContext* ctx, int32_t item, char delimiter, int32_t* number, std::string* text,
                   bool* is_text);

// The outcome words of the statement just run (its trace kind and condition), with its value.
std::string trace_outcome(RunContext* ctx, const Value* result);

// The trace is written to a file (not to the system debugger) and one is set.
bool trace_has_file(const DebugState& d);

}  // namespace tov
