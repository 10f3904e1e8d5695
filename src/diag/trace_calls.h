// Entering and leaving a user-defined function or a called script: the call record, then the trace and the
// step debugger are off inside (DebugTrace 22 turns the trace back on) and restored on return. Inline: every
// call does both, and with the trace off they are a few copies.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "diag/trace.h"
#include "engine/context.h"
#include "exec/exec.h"

namespace tov {

struct DebugCallSave {
  uint32_t traceMode, savedTraceMode, traceFlags;
  int32_t stepMode;
  char traceFile[TRACE_FILE_BYTES];
};

// Calls save and restore the trace file's name; it is mostly empty.
inline void copy_trace_file(char* to, const char* from) {
  if (!from[0]) to[0] = 0;
  else std::memcpy(to, from, std::strlen(from) + 1);
}

// Every call sets the called name, so no formatter is run for it: a script's is copied, cut to what the
// record holds; a function's is pointed to (called_name cuts it).
inline void set_called_name(DebugState& d, const char* name, size_t length, bool script) {
  d.calledFunction = script ? nullptr : name;
  d.calledFunctionLength = uint32_t(length);
  if (!script) return;
  const size_t n = length < sizeof d.calledName ? length : sizeof d.calledName - 1;
  std::memmove(d.calledName, name, n);
  d.calledName[n] = 0;
}

// What a call leaves behind it: the called name, and the statement class of a call that did not branch.
inline void note_call_ended(RunContext* ctx, const char* name, size_t length, bool script) {
  set_called_name(ctx->dbg, name, length, script);
  ctx->nStmtClass = script ? SC_SCRIPT_CALL : SC_UDF_CALL;
  ctx->bBranch = 0;
}

// name is the function's or script's, of length characters.
inline void debug_enter_call(RunContext* ctx, DebugCallSave* save, const char* name, size_t length, bool script) {
  DebugState& d = ctx->dbg;
  set_called_name(d, name, length, script);
  if (full_trace_to_file(d)) trace_call_start(ctx, script);
  save->traceMode = d.traceMode;
  save->savedTraceMode = d.savedTraceMode;
  save->traceFlags = d.traceFlags;
  save->stepMode = d.stepMode;
  copy_trace_file(save->traceFile, d.traceFile);
  d.savedTraceMode = d.traceMode;
  d.traceMode = TRACE_OFF;
  d.stepMode = 0;
}

inline void debug_leave_call(RunContext* ctx, const DebugCallSave& save, const char* name, size_t length,
                             bool script) {
  DebugState& d = ctx->dbg;
  if (full_trace_to_file(d) && !script) trace_function_end(ctx, name);
  d.traceMode = save.traceMode;
  d.savedTraceMode = save.savedTraceMode;
  d.traceFlags = save.traceFlags;
  d.stepMode = save.stepMode;
  copy_trace_file(d.traceFile, save.traceFile);
  note_call_ended(ctx, name, length, script);
}

}  // namespace tov
