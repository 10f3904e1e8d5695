// Extender libraries: AddExtender, the calls of their functions, and closing them when the context goes.
#pragma once
#include <cstdint>

namespace tov {

struct RunContext;
struct Value;
struct ArgBlock;

// Loads an extender and registers its functions (AddExtender). A library that is loaded already in this
// context is a success without effect. False with the error set.
bool add_extender(RunContext* ctx, const char* file, int32_t required_version);

// Calls the extender function of a token code (10000..10500) with the call frame's converted arguments;
// the answer becomes the result. A failing extender sets the error (and is reported as the error model
// says).
void call_extender(RunContext* ctx, int code, Value* result, ArgBlock& args, int argc, uint64_t signature,
                   bool wide);
// Runs an extender command (a function of kind 4) with five empty strings.
void call_extender_command(RunContext* ctx, int code, Value* result);

// Teardown of the context: every extender is told to close (while the variables still exist), then,
// after the variables are gone, every library is unloaded.
void close_extenders(RunContext* ctx);
void unload_extenders(RunContext* ctx);

}  // namespace tov
