// The variable table: slot lookup and creation, values as text, names handed over by hosts.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tov {

struct RunContext;

// Writes the value of the named variable as text (a name may carry a bracketed subscript list for an
// array element; an array without subscripts gives "<array>"). Returns the full length of the text, which
// may exceed what fitted into out (out_cap - 1 bytes are copied and NUL-terminated), or -1 when there is
// no such variable or it has no value that turns into text.
long variable_value_as_text(RunContext* ctx, const char* name, char* out, size_t out_cap);

// True when the named variable (len characters at name) holds an array, a COM variant holding an array, or
// a valid pointer to an array variable.
bool variable_names_array(RunContext* ctx, const char* name, size_t len);

}  // namespace tov
