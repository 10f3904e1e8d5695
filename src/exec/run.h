// The run loop: runs a HeldScript one line at a time.
#pragma once
#include <cstdint>

namespace tov {

struct RunContext;
struct Value;
struct HeldScript;

// Returns 1 when the text ran to its end, 0 when it stopped (Exit, Terminate, cancel, reported error),
// -1 when it ended by Return. The result value receives the value of a Return.
int RunLoop(RunContext* ctx, Value* result, const HeldScript* hs, uint32_t* lineStart, uint32_t* pos);

}  // namespace tov
