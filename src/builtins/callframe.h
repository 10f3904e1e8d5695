// The built-in call frame: parsing argument lists, converting arguments by their types, choosing the ANSI
// or wide form, dispatching by id and normalising the result.
#pragma once
#include <cstdint>

#include "lang/keywords.h"
#include "lang/value.h"

namespace tov {

struct RunContext;

constexpr int ARG_SLOTS = 17;     // slot 0 unused, arguments 1..16

struct ArgBlock {
  Value slot[ARG_SLOTS];
};

// The implementation of one built-in: arguments 1..argc converted by the signature, text arguments as
// wide strings when `wide` is set. Sets the result or ctx->err.
using BuiltinFn = void (*)(RunContext* ctx, Value* result, ArgBlock& args, int argc, bool wide);

struct BuiltinEntry {
  int id;
  BuiltinFn fn;
};

// Called by the evaluator when the current token names a function (kind 2 or 6, user-defined, host,
// extender) or an object reference. Leaves the token after the call current.
void ParseFunctionCall(RunContext* ctx, Value* result);

// Converts, dispatches and normalises one call whose arguments are in the block.
void CallBuiltin(RunContext* ctx, const char* name, int id, Value* result, ArgBlock& args, bool variadic,
                 int argc, uint64_t signature);

// CallBuiltin for a built-in of pure_builtin's list with a fixed argument list, into a fresh result.
void CallPureBuiltin(RunContext* ctx, int id, Value* result, ArgBlock& args, int argc, uint64_t signature);

// A user-defined function's token code.
inline bool is_udf_code(int id) { return id >= UDFSTART && id < UDFSTART + 999; }
// A call of a user-defined function from an expression whose arguments are all whole numbers (CallBuiltin's
// contract for it, with nothing to convert or release). result is set afresh.
void CallUdfWithNumbers(RunContext* ctx, int id, Value* result, const int32_t* numbers, int argc);

// Whether a text argument of this type arrives as a wide string: in a wide call, on the NT platform.
bool text_arrives_wide(unsigned type, bool wide_call, bool nt);

// Built-ins that compute their result from their arguments alone: they show nothing, wait for nothing, touch
// no variable and leave their arguments' strings as they are (results are new strings). A variable's or a
// constant's string can be handed to them without a copy, and a call to them is no reason to ask the
// system for messages.
bool pure_builtin(int id);

// Built-ins whose effects stay in the files they read and write: they run no script code, show nothing and
// read nothing of the running statement but their arguments, so a line calling one of them can run straight.
bool file_line_builtin(int id);

// Releases argument slots 0..last.
void release_args(RunContext* ctx, ArgBlock& args, int last);

}  // namespace tov
