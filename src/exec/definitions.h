// Reading #DefineFunction ... #EndFunction definitions into the UdfTable.
#pragma once
#include <cstdint>

namespace tov {

struct RunContext;
struct HeldScript;

// Handles a line starting with "#": 1 when it was a definition line (handled), 0 when it is not one, -1 after
// an error (reported; the run ends). pos is the read position after the line.
int handle_definition_line(RunContext* ctx, const char* line, uint32_t lineStart, uint32_t pos, const HeldScript* hs);

// Frees the body copies and the blocks of the UdfTable (shutdown).
void release_udf_table(RunContext* ctx);

}  // namespace tov
