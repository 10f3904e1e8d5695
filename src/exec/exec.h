// Statements: classifying and running one statement of a line.
#pragma once
#include <cstdint>

#include "exec/structs.h"

namespace tov {

struct RunContext;
struct Value;
struct HeldScript;
struct CompiledLine;

// Statement classes for the debug trace (nStmtClass).
enum StatementClass : uint32_t {
  SC_EXPRESSION = 0, SC_THEN_ELSE = 1, SC_SKIPPED = 2, SC_WHILE = 3, SC_BLOCK_END = 4, SC_SWITCH = 5,
  SC_BREAK = 6, SC_CONTINUE = 7, SC_FOR = 8, SC_GOSUB_RETURN = 9, SC_IF = 10, SC_ELSE = 11, SC_CASE = 12,
  SC_UDF_CALL = 13, SC_SCRIPT_CALL = 14, SC_ELSEIF = 15,
};

// Where a statement stands: its line, its offset in the line, the read position and the script.
struct StatementPlace {
  char* line;
  uint32_t offset;
  uint32_t* pos;
  uint32_t lineStart;
  const HeldScript* script;
  bool noRewrite;
  const CompiledLine* compiled;   // the statement's compiled form, or null: it is read from the line
};

// Returns 1 to continue, 0 to stop (error or status set), -1 for a Return from a frame or the top level.
int ExecuteStatement(RunContext* ctx, Value* result, const StatementPlace& at);

// Pushes a record on the structure stack (3353 when 100 are open). Loops and Switch save bInLoop and set it.
bool push_record(RunContext* ctx, uint16_t kind, uint32_t resume, uint32_t lineStart, uint8_t state);
void pop_record(RunContext* ctx, bool restore_loop);

}  // namespace tov
