// Calls of user-defined functions and subroutines, and of script files.
#pragma once
#include <cstdint>

namespace tov {

struct RunContext;
struct Value;
struct ArgBlock;
struct UdfRecord;

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
// Whether the current file is the function's: the one met last is known by its address, others by name.
bool in_file_of(const RunContext* ctx, const UdfRecord& rec);

}  // namespace tov
