// Foreign function calls: what the rest of the Engine needs beyond the built-ins themselves.
#pragma once

namespace tov {

struct RunContext;

// Frees the libraries that DllLoad keeps loaded (teardown of the context).
void release_dll_loads(RunContext* ctx);

}  // namespace tov
