// The expression evaluator: recursive descent over the token stream, one function per precedence level.
#pragma once
#include <cstdint>

#include "lang/value.h"

namespace tov {

struct RunContext;

// Evaluates from the current token into result (which it owns on return; it is freed first). On return
// the current token is the first token after the expression. With allow_assign, an expression that starts
// with a variable, an array element or (ptr_target) a pointer variable followed by "=" assigns the rest.
void ProcessSubExpression(RunContext* ctx, Value* result, bool allow_assign, bool ptr_target);

// Comparison of two values by the rules of the "==" family: returns -1, 0, 1, or 2 when they are unordered
// under a text-equality mode (floats compared as text that differ). Raises 3057 for values that cannot be
// compared. ignore_case selects the case-insensitive text mode (array search and sort).
int compare_values(RunContext* ctx, const ValueCore& left, const ValueCore& right, bool equality, bool ignore_case);

// Applies a binary arithmetic or bitwise operator (keyword code) to left and right; the result replaces left.
void apply_binary(RunContext* ctx, int op, Value& left, Value& right);

// The value of a constant keyword (Engine, host or extender table).
bool constant_value(RunContext* ctx, int code, Value& out);

}  // namespace tov
