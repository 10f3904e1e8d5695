// IntControl: one built-in whose requests belong to many families. Each family lists its requests in a
// table; the built-in dispatches by request number.
#pragma once
#include <cstddef>
#include <cstdint>

#include "builtins/callframe.h"

namespace tov {

// A request gets the four parameters as text (arguments 2..5) and sets the result.
using IntControlFn = void (*)(RunContext* ctx, Value* result, const char* const p[4]);

struct IntControlEntry {
  int32_t request;
  IntControlFn fn;
};

struct IntControlFamily {
  const IntControlEntry* entries;
  size_t count;
};

// A parameter's integer value (its decimal text; 0 when it is not a number).
int32_t intcontrol_number(const char* p);
// Sets the result to the decimal text of a number, as the requests that return a previous value do.
void intcontrol_result(RunContext* ctx, Value* result, int32_t previous);

}  // namespace tov
