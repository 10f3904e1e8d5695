// The variable table: lookups that other parts of the language core need.
#pragma once
#include <cstddef>

namespace tov {

struct RunContext;

// Whether the variable `name` (len bytes, as written in the line, at most VARNAMESIZE) names an array:
// it holds an array, a COM variant that holds an array, or a string holding a valid variable pointer
// to an array variable. The keyword lookup asks this to tell `name[...].member` from other text.
bool variable_names_array(RunContext* ctx, const char* name, size_t len);

}  // namespace tov
