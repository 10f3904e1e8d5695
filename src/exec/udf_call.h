// Calls of user-defined functions and subroutines, and of script files.
#pragma once
#include <cstdint>

namespace tov {

struct RunContext;
struct Value;
struct ArgBlock;

enum UdfMode : uint32_t {
  UDF_MODE_EXPRESSION = 0,
  UDF_MODE_DIALOG = 1,
  UDF_MODE_ERROR_HANDLER = 2,
  UDF_MODE_COM_EVENT = 3,
};

// Code that other subsystems run in a function frame instead of a body.
using NativeHandler = void (*)(RunContext* ctx, Value* result, void* data);

// Calls function code (4000..4998) with arguments 1..argc of args. Returns 1 when it returned normally,
// 0 when it failed (error set; 9015 when the error was reported inside the function).
int CallUdf(RunContext* ctx, int code, Value* result, ArgBlock* args, int argc, NativeHandler native, void* data,
            uint32_t mode);
// Calls a function with five integer values by name; its integer result, or -1.
// A call of a user-defined function with whole numbers whose body is whole-number assignments and a Return:
// worked out with no frame, leaving what the call made the usual way would (true with its value). False with
// nothing done when the call is to be made the usual way.
bool CallUdfWhole(RunContext* ctx, int code, const int32_t* numbers, int argc, int32_t* out);
int32_t CallUdfByName(RunContext* ctx, const char* name, const int32_t values[5]);
// The same with the five values in slots 1..5 of args (which the caller still owns and releases).
int32_t CallUdfByNameArgs(RunContext* ctx, const char* name, ArgBlock* args);
// The Call built-in: runs a script file in the caller's variables with a parameter string.
void CallScript(RunContext* ctx, Value* result, ArgBlock& args, int argc, bool wide);
// Splits a parameter string into param1..paramN and param0; returns N.
int SetParams(RunContext* ctx, const char* params);
int SetParamsW(RunContext* ctx, const char16_t* params);
// Frees the variable tables that function frames keep for their next calls (shutdown).
void release_frames(RunContext* ctx);
// The number of the user-defined function with this name (case-insensitive), or -1.
int find_udf(RunContext* ctx, const char* name);

}  // namespace tov
