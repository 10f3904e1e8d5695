// The built-ins whose arguments are variable names: drop, isdefined, vartype, objecttypeget and the
// variable-pointer functions.
#pragma once

namespace tov {

struct RunContext;
struct Value;

// Parses and runs a name-argument built-in; the current token is its name. Leaves the token after ")".
void call_varfunc(RunContext* ctx, int id, const char* name, Value* result);

}  // namespace tov
