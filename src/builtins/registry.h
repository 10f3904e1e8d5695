// The table of built-in implementations by keyword id, filled from the families' tables.
#pragma once
#include <cstddef>

#include "builtins/callframe.h"

namespace tov {

// The implementation of a keyword id, or nullptr when the id has none.
BuiltinFn builtin_for(int id);

// Every family lists its implementations in one table.
struct BuiltinFamily {
  const BuiltinEntry* entries;
  size_t count;
};

}  // namespace tov
