// GoSub, Return, ForEach, Execute and the handler functions: statements that open or close frames.
#pragma once
#include <cstdint>

#include "exec/exec.h"

namespace tov {

struct CompiledLine;
struct RunContext;
struct Value;

// Opens a GoSub frame that returns to resume; its kind remembers the pending single-line If.
bool open_gosub_frame(RunContext* ctx, uint32_t resume);
// Removes the GoSub frame on top again (a handler label that was not found).
void close_gosub_frame(RunContext* ctx);

int stmt_gosub(RunContext* ctx, const StatementPlace& at);
int stmt_return(RunContext* ctx, Value* result, const StatementPlace& at);
// The compiled Return of a line that runs straight, from a function or a called script with a whole number
// or no value: true when it returned (the run is to end); false with nothing done but variable lookups.
bool quick_return(RunContext* ctx, Value* result, const CompiledLine& cl);
// Whether a Return here leaves a function's or a called script's frame (not a GoSub's, not the top level's).
bool returns_from_function(const RunContext* ctx);
// The compiled Return of a value from a function's frame (returns_from_function holds): stmt_return's result.
int return_from_function(RunContext* ctx, Value* result, const CompiledLine& cl);
int stmt_foreach(RunContext* ctx, const StatementPlace& at);
// Releases the enumeration of a ForEach record and drops its temporary collection variable.
void foreach_release(RunContext* ctx, StructRecord& record);
int cmd_execute(RunContext* ctx, Value* result, const StatementPlace& at);

enum class HandlerOutcome { Handled, NotHandled, Failed };
// Calls the error or cancel handler function with qzerrorarray. NotHandled when it does not exist, does not
// take one parameter, or its result says so; Failed when the call raised an error (then current) or Exit.
HandlerOutcome call_handler_function(RunContext* ctx, const char* name, bool cancel);

}  // namespace tov
