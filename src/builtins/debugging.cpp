// Debugging built-ins: DebugTrace (the trace file and its dumps), Debug (the step debugger), DebugData
// (text for the system debugger) and the debugging requests of IntControl (71 dumps, 77 internal counters).
#include <cstdio>
#include <cstring>
#include <string>

#include "builtins/args.h"
#include "builtins/intcontrol.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "diag/report.h"
#include "diag/trace.h"
#include "engine/context.h"
#include "lang/keywords.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace tov {

namespace {

// Sets the trace file from a script's name: a full path, or the debugger name as it stands. False (the
// file unchanged) for a name whose full path does not fit.
bool set_trace_file(RunContext* ctx, const char* name) {
  DebugState& d = ctx->dbg;
  if (std::strcmp(name, TRACE_TO_DEBUGGER) == 0 || !*name) {
    std::snprintf(d.traceFile, sizeof d.traceFile, "%s", name);
    return true;
  }
  char path[TRACE_FILE_BYTES];
  const size_t n = plat::full_path(name, path, sizeof path);
  if (!n || n >= sizeof path) return false;
  std::memcpy(d.traceFile, path, n + 1);
  return true;
}

void delete_trace_file(RunContext* ctx) {
  if (!trace_has_file(ctx->dbg)) return;
  std::u16string wide(std::strlen(ctx->dbg.traceFile) + 1, u'\0');
  const int n = plat::ansi_to_wide(ctx->dbg.traceFile, int(std::strlen(ctx->dbg.traceFile)), wide.data(),
                                   int(wide.size()));
  wide.resize(n > 0 ? size_t(n) : 0);
  uint32_t system_error = 0;
  plat::file_delete_w(wide.c_str(), &system_error);   // a trace that did not exist yet is fine
}

// Requests 1, 10, 100 and 101: a non-empty name becomes the trace file; an empty one keeps the current
// file, and without one raises 1771.
bool take_file(RunContext* ctx, const char* name) {
  if (*name) {
    set_trace_file(ctx, name);
    return true;
  }
  if (ctx->dbg.traceFile[0]) return true;
  ctx->err = ERR_DEBUGTRACE_NO_FILE;
  return false;
}

void bi_debugtrace(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  DebugState& d = ctx->dbg;
  const int32_t request = arg_int(a, 1);
  const char* file = argc >= 2 ? arg_str(ctx, a, 2) : "";
  const int32_t value = argc >= 3 ? arg_int(a, 3) : 0;
  const int32_t previous = d.traceMode != TRACE_OFF;
  auto flag = [&](uint32_t bit) { d.traceFlags = value ? d.traceFlags | bit : d.traceFlags & ~bit; };
  switch (request) {
    case -1: break;
    case 0: d.traceMode = TRACE_OFF; break;
    case 1:
    case 10:
      if (!take_file(ctx, file)) return;
      if (request == 10) delete_trace_file(ctx);
      d.traceMode = TRACE_FULL;
      break;
    case 2:
      set_trace_file(ctx, file);
      d.traceMode = TRACE_ERROR_DUMP;
      break;
    case 3:
    case 4:
      if (d.traceMode == TRACE_FULL) trace_text(ctx, file, request == 4);
      break;
    case 22:
      if ((ctx->bInUdf || ctx->nCallDepth) && d.traceMode == TRACE_OFF) d.traceMode = d.savedTraceMode;
      break;
    case 100:
    case 101:
      if (!*file) {
        ctx->err = ERR_DEBUGTRACE_NO_FILE;
        return;
      }
      set_trace_file(ctx, file);
      if (request == 101) delete_trace_file(ctx);
      break;
    case 102: flag(TRACE_DUMP_AT_ERROR); break;
    case 103: flag(TRACE_KEYWORD_DUMP); break;
    case 104: flag(TRACE_NO_TIMES); break;
    case 200:
      d.traceMode = TRACE_OFF;
      d.traceFlags = 0;
      set_trace_file(ctx, file);
      break;
    case 203:
    case 204: trace_text(ctx, file, request == 204); break;
    case 205: trace_function_table_dump(ctx); break;
    case 206: trace_variable_table_dump(ctx); break;
    case 207: trace_structure_stack_dump(ctx); break;
    case 208: trace_environment_report(ctx); break;
    case 277: trace_internal_info_dump(ctx, argc >= 3 ? std::to_string(value).c_str() : ""); break;
    default: ctx->err = ERR_INVALID_REQUEST; return;
  }
  set_integer(ctx, result->c, previous);
}

void bi_debug(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  DebugState& d = ctx->dbg;
  const int32_t previous = d.stepMode;
  const int32_t mode = arg_int(a, 1);
  d.stepMode = mode > 0 ? 1 : mode < 0 ? -1 : 0;
  if (argc >= 2) std::snprintf(d.stepVariable, sizeof d.stepVariable, "%s", arg_str(ctx, a, 2));
  set_integer(ctx, result->c, previous);
}

void bi_debugdata(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  const char* label = arg_str(ctx, a, 1);
  const char* data = arg_str(ctx, a, 2);
  if (ctx->es.quietMode) {
    write_quiet_log(ctx, label, data);
  } else {
    char heading[64];
    load_string(ctx, 836, heading, sizeof heading);
    plat::debugger_output((std::string(heading) + label + " " + data + "\r\n").c_str());
  }
  set_integer(ctx, result->c, 1);
}

// IntControl 71: 1 the function table dump, 3 the variable table dump (in a full trace to a file), 2 sets
// or clears the keyword lookup dump flag.
void ic_dumps(RunContext* ctx, Value* result, const char* const p[4]) {
  DebugState& d = ctx->dbg;
  const int32_t request = intcontrol_number(p[0]);
  int32_t done = 0;
  const bool traced = d.traceMode == TRACE_FULL && trace_has_file(d);
  if (request == 1 && traced) {
    trace_function_table_dump(ctx);
    done = 1;
  } else if (request == 3 && traced) {
    trace_variable_table_dump(ctx);
    done = 1;
  } else if (request == 2) {
    d.traceFlags = intcontrol_number(p[1]) ? d.traceFlags | TRACE_KEYWORD_DUMP : d.traceFlags & ~TRACE_KEYWORD_DUMP;
    done = 1;
  }
  set_integer(ctx, result->c, done);
}

// IntControl 77: one internal counter, or a list as text; unknown items give 0. The second parameter is
// the OLE object of item 63 or the delimiter of the lists (a tab when empty).
void ic_internal_info(RunContext* ctx, Value* result, const char* const p[4]) {
  int32_t number = 0;
  std::string text;
  bool is_text = false;
  const char delimiter = *p[1] ? p[1][0] : '\t';
  if (internal_info(ctx, intcontrol_number(p[0]), delimiter, &number, &text, &is_text) && is_text) {
    if (!set_string(ctx, result->c, text.data(), text.size())) ctx->err = ERR_OUT_OF_STRINGS;
    return;
  }
  set_integer(ctx, result->c, number);
}

const BuiltinEntry kEntries[] = {
    {KW_DEBUG, bi_debug},
    {KW_DEBUGDATA, bi_debugdata},
    {KW_DEBUGTRACE, bi_debugtrace},
};

const IntControlEntry kRequests[] = {
    {71, ic_dumps},
    {77, ic_internal_info},
};

}  // namespace

extern const BuiltinFamily kDebugBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};
extern const IntControlFamily kDebugIntControls = {kRequests, sizeof kRequests / sizeof kRequests[0]};

}  // namespace tov
