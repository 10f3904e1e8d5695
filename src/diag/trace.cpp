// The debug trace: one record per statement with its outcome and timing, the records of calls and of the
// end of a run, and the dumps of the Engine's tables. Every write opens the trace file, appends and closes
// it again, so the trace survives a crash and no handle stays open between statements.
#include "diag/trace.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "builtins/time.h"
#include "diag/errors.h"
#include "diag/traceback.h"
#include "engine/context.h"
#include "engine/settings.h"
#include "exec/exec.h"
#include "ext/ext_state.h"
#include "lang/keywords.h"
#include "lang/values.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/text.h"
#include "resources/strings.h"

namespace tov {

namespace {

constexpr size_t MESSAGE_BYTES = 2050;
constexpr size_t OUTCOME_MAX = TRACE_OUTCOME_BYTES - 1;
constexpr size_t STATEMENT_MAX = 2042;
constexpr uint32_t TERMINAL = 10000;
constexpr const char* LINE_END = "\r\n";

// TOV_TRACE_STABLE set: every time is 0, every date and time a fixed text, and the environment report
// only its error mode, so that traces can be compared with expected files.
bool stable_trace() {
  char v[8];
  return plat::env_get("TOV_TRACE_STABLE", v, sizeof v) > 0 && v[0] != '0';
}

std::string message(RunContext* ctx, uint32_t id) {
  char buf[MESSAGE_BYTES];
  load_string(ctx, id, buf, sizeof buf);
  return buf;
}

void write_raw(RunContext* ctx, const char* text, size_t n) {
  const DebugState& d = ctx->dbg;
  if (!d.traceFile[0] || !n) return;
  if (std::strcmp(d.traceFile, TRACE_TO_DEBUGGER) == 0) {
    plat::debugger_output(std::string(text, n).c_str());
    return;
  }
  // A file that cannot be opened is skipped for this write.
  plat::file_append(d.traceFile, text, n);
}

void write(RunContext* ctx, const std::string& s) { write_raw(ctx, s.data(), s.size()); }

std::string printf_text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string printf_text(const char* format, ...) {
  char buf[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

unsigned long elapsed_ms(const RunContext* ctx) {
  if (stable_trace()) return 0;
  return static_cast<unsigned long>(plat::tick_count() - ctx->dbg.startTick);
}

std::string date_time_text(RunContext* ctx) {
  if (stable_trace()) return "<date and time>";
  Value v;
  value_init(v);
  set_date_time_text(ctx, &v, plat::local_time());
  std::string s = (v.c.type & VF_STRING) ? str_at(ctx, v.c.str) : "";
  value_free(ctx, v);
  return s;
}

const char* error_mode_name(uint32_t mode) {
  switch (mode) {
    case EM_CANCEL: return "@CANCEL";
    case EM_NOTIFY: return "@NOTIFY";
    case EM_OFF: return "@OFF";
    default: return "???";
  }
}

std::string ruler(char c, size_t n) { return std::string(n, c); }

void initialise(RunContext* ctx, bool by_error_dump) {
  DebugState& d = ctx->dbg;
  if (d.startTick) return;
  d.startTick = plat::tick_count() | 1u;
  d.lastTracedUdf = NO_UDF;
  write(ctx, LINE_END + ruler('*', 60) + LINE_END + LINE_END + message(ctx, by_error_dump ? 870 : 807) + LINE_END);
  trace_environment_report(ctx);
}

// The statement text as traced: resolved jumps spelled "goto " and "gosub", at most 2042 characters.
std::string statement_text(const char* text) {
  std::string s = jumps_spelled(text);
  if (s.size() > STATEMENT_MAX) s.resize(STATEMENT_MAX);
  return s;
}

std::string type_word(const ValueCore& v) {
  const uint32_t t = v.type;
  if (!(t & (VF_HAS_VALUE | VF_FILE | VF_UNINIT))) return "UNDEFINED";
  if (t & VF_UNINIT) return "UNINITIALIZED";
  std::string s;
  auto add = [&](const char* part) {
    if (!s.empty()) s += '/';
    s += part;
  };
  if ((t & VF_INTEGER) && !(t & (VF_FILE | VF_BINARY))) add("INT");
  if (t & VF_STRING) add("STRING");
  if ((t & VF_INTEGER) && (t & VF_FILE)) add("FILE");
  if (t & VF_FLOAT) add("FLOAT");
  if ((t & VF_INTEGER) && (t & VF_BINARY)) add("BINBUF");
  if (t & VF_ARRAY) add("ARRAY");
  if (t & VF_VARIANT) add("VARIANT_");
  if (t & VF_WSTRING) add("UNICODE");
  return s.empty() ? "UNKNOWN" : s;
}

// The value as text: strings in double quotes, "<array>" for an array.
std::string value_text(RunContext* ctx, const ValueCore& v) {
  if (v.type & VF_ARRAY) return "<array>";
  if (v.type & VF_STRING) return std::string("\"") + str_at(ctx, v.str) + "\"";
  if (v.type & VF_WSTRING) {
    const wchar* w = wstr_at(ctx, v.wstr);
    std::string a(wstr_len(w) * 4 + 1, '\0');
    const int n = plat::wide_to_ansi(w, int(wstr_len(w)), a.data(), int(a.size()));
    a.resize(n > 0 ? size_t(n) : 0);
    return "\"" + a + "\"";
  }
  if (v.type & VF_FLOAT) {
    char buf[FLOAT_TEXT_BYTES];
    const uint16_t saved = ctx->err;
    if (!float_to_text(ctx, v.f, buf)) std::strcpy(buf, "NaN");
    ctx->err = saved;
    return buf;
  }
  if (v.type & (VF_INTEGER | VF_FILE | VF_BINARY)) return std::to_string(v.i);
  return "";
}

// The error line's prefix and number for a traced error; false when no line is written.
bool error_line(RunContext* ctx, uint32_t traced, std::string* line) {
  if (traced == 0 || traced == TERMINAL || traced == TERMINAL + STATUS_EXIT) return false;
  const bool terminal = traced > TERMINAL;
  const uint32_t e = terminal ? traced - TERMINAL : traced;
  const uint32_t ext = ctx->es.extendedCode;
  auto extender = [](uint32_t n) {
    return n == ERR_EXTENDER_MINOR || n == ERR_EXTENDER_MODERATE || n == ERR_EXTENDER_SEVERE ||
           n == STATUS_EXTENDER_REPORTED;
  };
  uint32_t number = e, terminal_id = 832, suppressed_id = 833;
  bool user_text = false;
  if (extender(e) || (e == STATUS_REPORTED_IN_CALL && extender(ext))) {
    number = ext, terminal_id = 830, suppressed_id = 831, user_text = true;
  } else if (e == STATUS_UDF_FAILED) {
    if (!terminal) return false;
    number = ext, terminal_id = 873;
  } else if (e == ERR_USER_MINOR || e == ERR_USER_MODERATE || e == ERR_USER_SEVERE ||
             e == STATUS_USER_ERROR_REPORTED) {
    number = ext, terminal_id = 877, suppressed_id = 878, user_text = true;
  }
  *line = message(ctx, terminal ? terminal_id : suppressed_id) + std::to_string(number);
  const std::string text = user_text ? std::string(e == ERR_USER_MINOR || e == ERR_USER_MODERATE ||
                                                           e == ERR_USER_SEVERE || e == STATUS_USER_ERROR_REPORTED
                                                       ? ctx->es.userErrorText
                                                       : ctx->es.extenderErrorText)
                                     : message(ctx, number);
  if (!text.empty()) *line += " (" + text + ")";
  return true;
}

// The record of one statement: the "In UDF" header when needed, the text, the time, the outcome and the
// error line.
void write_statement_record(RunContext* ctx, const char* text, const std::string& outcome, uint32_t traced,
                            bool by_call) {
  DebugState& d = ctx->dbg;
  initialise(ctx, false);
  if (!by_call && ctx->bInUdf && ctx->nCurrentUdf != d.lastTracedUdf) {
    const uint16_t u = ctx->nCurrentUdf;
    const char* name = (u != NO_UDF && int32_t(u) < ctx->nUdfCount && ctx->apUdf[u]) ? ctx->apUdf[u]->name : "";
    std::string header = LINE_END;
    if (d.traceFlags & TRACE_NO_TIMES) header += printf_text("--- %s (%s) ---", message(ctx, 875).c_str(), name);
    else header += printf_text("--- (%lu) %s (%s) ---", elapsed_ms(ctx), message(ctx, 875).c_str(), name);
    write(ctx, header + LINE_END + date_time_text(ctx) + LINE_END);
    d.lastTracedUdf = u;
  }
  const std::string statement = statement_text(text);
  if (statement.empty()) return;
  const bool return_half =
      (ctx->nStmtClass == SC_UDF_CALL || ctx->nStmtClass == SC_SCRIPT_CALL) && !ctx->bBranch && !by_call;
  std::string record = LINE_END;
  if (!return_half) {
    record += statement + LINE_END;
    if (!(d.traceFlags & TRACE_NO_TIMES)) record += printf_text("(%lu) ", elapsed_ms(ctx));
  }
  record += outcome + LINE_END;
  std::string err;
  if (error_line(ctx, traced, &err)) record += LINE_END + err + LINE_END;
  write(ctx, record);
}

bool is_error(uint16_t e) {
  return (e && e < STATUS_EXIT) || (e >= STATUS_REPORTED_IN_CALL && e <= STATUS_USER_ERROR_REPORTED);
}

std::string internal_label(int32_t item) {
  switch (item) {
    case 0: return "Total memory allocated for strings, in bytes: %ld";
    case 10: return "Number of variables assigned: %ld";
    case 11: return "Number of variable slots available: %ld";
    case 12: return "List of variables assigned:";
    case 20: return "Number of files open: %ld";
    case 21: return "Number of file slots available: %ld";
    case 30: return "Number of binary buffers open: %ld";
    case 31: return "Number of binary buffer slots available: %ld";
    case 40: return "Number of extenders loaded: %ld";
    case 41: return "Number of extender slots available: %ld";
    case 42: return "List of extenders loaded:";
    case 50: return "Number of extender functions loaded: %ld";
    case 51: return "Number of extender function slots available: %ld";
    case 60: return "Number of OLE objects open: %ld";
    case 61: return "Number of OLE object slots available: %ld";
    case 62: return "List of OLE objects:";
    case 63: return "Reference count of specified OLE object: %ld";
    case 70: return "Current structure depth: %ld";
    case 71: return "Current structure slots remaining: %ld";
    case 72: return "List of structure stack info:";
    case 80: return "Current Call level depth: %ld";
    case 90: return "Number of UDF's defined: %ld";
    case 91: return "Number of UDF slots available: %ld";
    case 100: return "List of TOV function table entries:";
    case 101: return "List of parent application function table entries:";
    case 102: return "List of loaded extender function table entries:";
    case 103: return "List of UDF's:";
    case 110: return "Number of DDE conversations open: %ld";
    case 111: return "Number of DDE conversations available: %ld";
    default: return "";
  }
}

std::string keyword_line(const KeywordEntry& k, const char* format, char delimiter) {
  if (delimiter)
    return printf_text(format, int(k.id), delimiter, int(k.kind), delimiter, static_cast<unsigned long>(k.argTypesHigh),
                       static_cast<unsigned long>(k.argTypesLow), delimiter, static_cast<unsigned long>(k.value),
                       delimiter, int(k.nameLength), delimiter, k.name);
  return printf_text(format, int(k.id), int(k.kind), static_cast<unsigned long>(k.argTypesHigh),
                     static_cast<unsigned long>(k.argTypesLow), static_cast<unsigned long>(k.value), int(k.nameLength),
                     k.name);
}

const char* const LIST_ENTRY_FORMAT = "%d%c%d%c%08lX%08lX%c%lX%c%d%c%s";

int32_t used_udfs(const RunContext* ctx) {
  int32_t n = 0;
  for (int32_t i = 0; i < ctx->nUdfCount; ++i) n += ctx->apUdf[i] != nullptr;
  return n;
}

// The value of the loop variable of the innermost For.
std::string loop_value(RunContext* ctx) {
  if (!ctx->nStructDepth) return "";
  const StructRecord& r = ctx->aStruct[ctx->nStructDepth - 1];
  if (r.kind != SK_FOR || r.aux >= ctx->nVarUsed) return "";
  return value_text(ctx, ctx->lpVars[r.aux].c);
}

}  // namespace

bool trace_has_file(const DebugState& d) {
  return d.traceFile[0] && std::strcmp(d.traceFile, TRACE_TO_DEBUGGER) != 0;
}

std::string trace_outcome(RunContext* ctx, const Value* result) {
  const bool on = ctx->bBranch != 0;
  const ValueCore& v = result->c;
  std::string s;
  auto with_value = [&](uint32_t id) { s = message(ctx, id) + " " + type_word(v) + " => " + value_text(ctx, v); };
  switch (ctx->nStmtClass) {
    case SC_EXPRESSION: with_value(808); break;
    case SC_THEN_ELSE: s = on ? message(ctx, 809) + " " + value_text(ctx, v) : message(ctx, 810); break;
    case SC_SKIPPED: s = message(ctx, 811); break;
    case SC_WHILE: s = message(ctx, on ? 812 : 813); break;
    case SC_BLOCK_END: s = message(ctx, 814); break;
    case SC_SWITCH: s = message(ctx, 815) + std::to_string(ctx->dbg.switchValue); break;
    case SC_BREAK: s = message(ctx, on ? 816 : 817); break;
    case SC_CONTINUE: s = message(ctx, on ? 818 : 819); break;
    case SC_FOR: s = message(ctx, on ? 820 : 821) + loop_value(ctx); break;
    case SC_GOSUB_RETURN:
      if (on) {
        s = message(ctx, 822);
        if (ctx->dbg.handlerGosub) s += " " + message(ctx, ctx->dbg.handlerGosub == 1 ? 882 : 883);
      } else {
        with_value(823);
      }
      break;
    case SC_IF: s = message(ctx, on ? 824 : 825); break;
    case SC_ELSE: s = message(ctx, on ? 826 : 827); break;
    case SC_CASE: s = message(ctx, on ? 828 : 829) + std::to_string(ctx->dbg.switchValue); break;
    case SC_UDF_CALL: s = message(ctx, on ? 871 : 872) + " (" + called_name(ctx->dbg) + ")"; break;
    case SC_SCRIPT_CALL: s = message(ctx, on ? 884 : 885) + " (" + called_name(ctx->dbg) + ")"; break;
    case SC_ELSEIF: s = message(ctx, on ? 889 : 890); break;
    default: break;
  }
  if (s.size() > OUTCOME_MAX) s.resize(OUTCOME_MAX);
  return s;
}

void debug_after_statement(RunContext* ctx, const Value* result, const StatementPlace& at, uint16_t raised,
                           bool ends) {
  DebugState& d = ctx->dbg;
  // Statuses (Exit, Terminate, Cancel) write no error line.
  const uint32_t traced = is_error(raised) ? raised + (ends ? TERMINAL : 0) : 0;
  const std::string outcome = trace_outcome(ctx, result);
  if (full_trace_to_file(d)) write_statement_record(ctx, at.line + at.offset, outcome, traced, false);
  if (d.stepMode) {
    std::snprintf(d.stepPrevious, sizeof d.stepPrevious, "%s", statement_text(at.line + at.offset).c_str());
    std::snprintf(d.stepOutcome, sizeof d.stepOutcome, "%s", outcome.c_str());
    std::string err;
    if (!error_line(ctx, traced, &err)) err.clear();
    std::snprintf(d.stepError, sizeof d.stepError, "%s", err.c_str());
  }
  d.handlerGosub = 0;
}

std::string called_name(const DebugState& d) {
  if (!d.calledFunction) return d.calledName;
  return std::string(d.calledFunction, std::min<size_t>(d.calledFunctionLength, TRACE_CALLED_BYTES - 1));
}

void trace_call_start(RunContext* ctx, bool script) {
  ctx->nStmtClass = script ? SC_SCRIPT_CALL : SC_UDF_CALL;
  ctx->bBranch = 1;
  Value none;
  value_init(none);
  write_statement_record(ctx, ctx->szLine ? ctx->szLine : "", trace_outcome(ctx, &none), 0, true);
}

void trace_function_end(RunContext* ctx, const char* name) {
  write(ctx, std::string(LINE_END) + printf_text("--- %s (%s) ---", message(ctx, 876).c_str(), name));
  ctx->dbg.lastTracedUdf = NO_UDF;
}

void debug_new_run(RunContext* ctx) {
  ctx->dbg.startTick = 0;
  ctx->dbg.stepPlaced = 0;
  ctx->dbg.handlerGosub = 0;
}

void debug_run_end(RunContext* ctx, uint16_t error) {
  DebugState& d = ctx->dbg;
  const bool failed = is_error(error);
  if (d.stepMode && (!error || failed || error == STATUS_EXIT)) debug_step_end_of_job(ctx);
  if (d.traceMode == TRACE_FULL && d.traceFile[0] && !(d.traceFlags & TRACE_DUMP_AT_ERROR)) {
    initialise(ctx, false);
    std::string end;
    if (ctx->nStructDepth) end += std::string(LINE_END) + "********** Warning: Structure level not 0 **********";
    const bool normal = !error || error == STATUS_EXIT;
    if (normal) end += std::string(LINE_END) + printf_text("--- %s ---", message(ctx, 869).c_str());
    end += std::string(LINE_END) + printf_text(";;;%s;;;", message(ctx, 805).c_str()) + LINE_END;
    write(ctx, end);
    if (failed && error != STATUS_UDF_FAILED) {
      trace_structure_stack_dump(ctx);
      trace_settings_file_dump(ctx);
      if (error == ERR_UNINITIALIZED) trace_function_table_dump(ctx);
    }
  } else if ((d.traceMode == TRACE_ERROR_DUMP || d.traceMode == TRACE_FULL) && d.traceFile[0] && failed) {
    // The failing line is the traced statement, after the error-dump banner when the trace starts here.
    initialise(ctx, true);
    std::string err, record = std::string(LINE_END) + statement_text(ctx->es.reportTitle) + LINE_END;
    if (error_line(ctx, error + TERMINAL, &err)) record += LINE_END + err + LINE_END;
    write(ctx, record);
    write(ctx, std::string(LINE_END) + printf_text(";;;%s;;;", message(ctx, 805).c_str()) + LINE_END);
    if (error != STATUS_UDF_FAILED && d.traceMode == TRACE_FULL) trace_variable_table_dump(ctx);
  }
}

void trace_text(RunContext* ctx, const char* text, bool framed) {
  if (!ctx->dbg.traceFile[0]) return;
  initialise(ctx, false);
  const std::string dollars = framed ? ruler('$', 80) : "";
  write(ctx, LINE_END + dollars + text + dollars + LINE_END);
}

void trace_error_mode(RunContext* ctx) {
  if (!full_trace_to_file(ctx->dbg)) return;
  initialise(ctx, false);
  write(ctx, std::string(LINE_END) + printf_text("********** ErrorMode: %s **********", error_mode_name(ctx->es.errorMode)));
}

void trace_extender_loaded(RunContext* ctx, const char* path, const char* version) {
  if (!full_trace_to_file(ctx->dbg)) return;
  initialise(ctx, false);
  write(ctx, printf_text("----- Extender loaded: %s (file version: %s)\r\n", path, version));
}

void trace_function_table_dump(RunContext* ctx) {
  if (!ctx->dbg.traceFile[0]) return;
  const char* format = "%4d,  %d,  %08lX%08lX,  %8lX,  %2d,  %s";
  std::string s = std::string(LINE_END) + "---------- Begin function table dump ----------" + LINE_END;
  for (const KeywordEntry& k : g_keywordTable) s += keyword_line(k, format, 0) + LINE_END;
  if (ctx->ext.nFunctions) {
    s += std::string("------------------ Extenders ------------------") + LINE_END;
    for (uint32_t i = 0; i < ctx->ext.nFunctions; ++i) s += keyword_line(ctx->ext.functions[i], format, 0) + LINE_END;
  }
  s += std::string("----------- End function table dump -----------") + LINE_END + LINE_END + ruler('*', 60) +
       LINE_END + LINE_END;
  write(ctx, s);
}

void trace_variable_table_dump(RunContext* ctx) {
  if (!ctx->dbg.traceFile[0]) return;
  std::string s = std::string("---------- Begin variable table dump ----------") + LINE_END;
  for (uint16_t i = 0; i < ctx->nVarUsed; ++i) {
    const VarSlot& slot = ctx->lpVars[i];
    if (!slot.name[0]) continue;
    const ValueCore& v = slot.c;
    std::string shown;
    if (!(v.type & (VF_HAS_VALUE | VF_UNINIT | VF_FILE))) shown = "<undefined>";
    else if (v.type & VF_UNINIT) shown = "<uninitialized>";
    else if (v.type & VF_ARRAY) shown = "<array>";
    else if ((v.type & VF_INTEGER) && (v.type & VF_BINARY)) shown = std::to_string(v.i) + "  <binary buffer>";
    else if (v.type & VF_VARIANT) shown = "<complex data type>";
    else {
      shown = value_text(ctx, v);
      if ((v.type & (VF_STRING | VF_WSTRING)) && shown.size() >= 2) shown = shown.substr(1, shown.size() - 2);
      if (shown.size() > 255) shown.resize(255);
    }
    s += printf_text("%-13s  %s", slot.name, shown.c_str()) + LINE_END;
  }
  s += std::string("----------- End variable table dump -----------") + LINE_END + LINE_END + ruler('*', 60) +
       LINE_END + LINE_END;
  write(ctx, s);
}

void trace_structure_stack_dump(RunContext* ctx) {
  if (!ctx->dbg.traceFile[0]) return;
  std::string s = std::string("---------- Begin structure stack dump ----------") + LINE_END;
  for (const std::string& line : traceback_lines(ctx)) s += line + LINE_END;
  s += std::string("-------- End structure stack dump --------") + LINE_END;
  write(ctx, s);
}

void trace_settings_file_dump(RunContext* ctx) {
  if (!ctx->dbg.traceFile[0]) return;
  std::string s = std::string("---------- Begin ZRKQUILL.INI dump ----------") + LINE_END;
  char path[plat::MAX_PATH_CHARS + 1];
  uint32_t sys = 0;
  const plat::FileHandle f =
      settings_file_path(path, sizeof path) ? plat::file_open_read(path, &sys) : plat::INVALID_FILE;
  if (f == plat::INVALID_FILE) {
    s += std::string("<File not found>") + LINE_END;
  } else {
    uint64_t size = 0;
    std::string body;
    if (plat::file_size(f, &size) && size < (64u << 20)) {
      body.resize(size_t(size));
      if (plat::file_read(f, body.data(), body.size()) != int64_t(body.size())) body = "<Error reading file>\r\n";
    } else {
      body = "<Unable to allocate or lock memory>\r\n";
    }
    plat::file_close(f);
    s += body;
  }
  s += std::string("----------- End ZRKQUILL.INI dump -----------") + LINE_END + LINE_END;
  write(ctx, s);
}

void trace_environment_report(RunContext* ctx) {
  if (!ctx->dbg.traceFile[0]) return;
  const uint16_t saved_error = ctx->err;
  const uint32_t saved_mode = ctx->es.errorMode;
  std::string s = ruler('=', 30) + LINE_END;
  if (!stable_trace()) {
    s += date_time_text(ctx) + LINE_END;
    s += std::string(ctx->szHostName) + LINE_END;
    s += std::string("TOV DLL ") + TOV_VERSION_STRING + LINE_END;
    if (ctx->szHostScriptFile[0]) s += std::string(ctx->szHostScriptFile) + LINE_END;
    const plat::OsInfo& os = plat::os_info();
    s += printf_text("Windows platform: %s, version: %lu.%lu, build: %lu", os.nt_family ? "NT" : "9x",
                     static_cast<unsigned long>(os.major), static_cast<unsigned long>(os.minor),
                     static_cast<unsigned long>(os.build)) +
         LINE_END;
  }
  s += printf_text("ErrorMode: %s", error_mode_name(ctx->es.errorMode)) + LINE_END;
  if (!stable_trace()) {
    uint32_t type = 0;
    std::string data;
    if (plat::reg_get_value(plat::REGROOT_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\PerfProc\\Performance",
                            u"Disable Performance Counters", &type, &data) == 0 &&
        type == 4 && data.size() == 4 && data[0] == 1 && !data[1] && !data[2] && !data[3])
      s += std::string("Performance counters are disabled (HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\"
                       "PerfProc\\Performance[Disable Performance Counters])") +
           LINE_END;
    const plat::HostSecurity security = plat::host_security();
    s += printf_text("Valid Code Signature: %s", security.validSignature ? "Yes" : "No") + LINE_END;
    if (!security.manifestLevel.empty()) s += "UAC Manifest Settings:" + security.manifestLevel + LINE_END;
    s += printf_text("UAC Elevation Level: %s", security.elevation) + LINE_END;
  }
  s += ruler('=', 30) + LINE_END;
  write(ctx, s);
  ctx->err = saved_error;
  ctx->es.errorMode = saved_mode;
}

bool internal_info(RunContext* ctx, int32_t item, char delimiter, int32_t* number, std::string* text,
                   bool* is_text) {
  *is_text = false;
  *number = 0;
  auto count_files = [&] {
    int32_t n = 0;
    for (const FileSlot& f : ctx->files.open) n += f.handle != 0;
    return n;
  };
  auto count_binaries = [&] {
    int32_t n = 0;
    for (const BinaryEntry& b : ctx->binaries.entry) n += b.mem != 0;
    return n;
  };
  auto list = [&](const std::string& entry) {
    if (!text->empty()) *text += delimiter;
    *text += entry;
  };
  switch (item) {
    case 0: *number = int32_t(ctx->heapEnd); return true;
    case 10: *number = ctx->nVarUsed; return true;
    case 11: *number = int32_t(ctx->nVarCapacity) - int32_t(ctx->nVarUsed); return true;
    case 20: *number = count_files(); return true;
    case 21: *number = OPEN_FILE_SLOTS - count_files(); return true;
    case 30: *number = count_binaries(); return true;
    case 31: *number = BINARY_SLOTS - count_binaries(); return true;
    case 40: *number = int32_t(ctx->ext.nExtenders); return true;
    case 41: *number = int32_t(EXTENDER_SLOTS - ctx->ext.nExtenders); return true;
    case 50: *number = int32_t(ctx->ext.nFunctions); return true;
    case 51: *number = int32_t(EXT_FUNCTIONS_MAX - ctx->ext.nFunctions); return true;
    case 60: *number = 0; return true;
    case 61: *number = -1; return true;
    case 63: *number = 0; return true;
    case 70: *number = int32_t(ctx->nStructDepth); return true;
    case 71: *number = int32_t(STRUCT_STACK_SIZE + 1 - ctx->nStructDepth); return true;
    case 80: *number = int32_t(ctx->nUdfDepth); return true;
    case 90: *number = used_udfs(ctx); return true;
    case 91: *number = int32_t(UDF_MAX) - used_udfs(ctx); return true;
    case 110: *number = 0; return true;
    case 111: *number = 0; return true;
    default: break;
  }
  *is_text = true;
  text->clear();
  switch (item) {
    case 12:
      for (uint16_t i = 0; i < ctx->nVarUsed; ++i)
        if (ctx->lpVars[i].name[0] && value_has_value(ctx->lpVars[i].c)) list(ctx->lpVars[i].name);
      return true;
    case 42:
      for (const ExtenderSlot& x : ctx->ext.slots) {
        char path[1024];
        if (x.module && plat::library_path(x.module, path, sizeof path)) list(path);
      }
      return true;
    case 62: return true;   // automation objects are not kept open by the Engine between statements
    case 101:
      if (const auto* table = static_cast<const KeywordEntry*>(ctx->lpHostKeywords))
        for (int i = 0; i < HOST_KEYWORDS_MAX && table[i].nameLength != 0; ++i)
          list(keyword_line(table[i], LIST_ENTRY_FORMAT, delimiter));
      return true;
    case 72: {
      const auto lines = traceback_lines(ctx);
      for (size_t i = 2; i + 1 < lines.size(); ++i) list(lines[i]);
      return true;
    }
    case 100:
      for (const KeywordEntry& k : g_keywordTable) list(keyword_line(k, LIST_ENTRY_FORMAT, delimiter));
      return true;
    case 102:
      for (uint32_t i = 0; i < ctx->ext.nFunctions; ++i)
        list(keyword_line(ctx->ext.functions[i], LIST_ENTRY_FORMAT, delimiter));
      return true;
    case 103:
      for (int32_t i = 0; i < ctx->nUdfCount; ++i)
        if (ctx->apUdf[i]) list(ctx->apUdf[i]->name);
      return true;
    default: *is_text = false; return false;
  }
}

void trace_internal_info_dump(RunContext* ctx, const char* item) {
  if (!ctx->dbg.traceFile[0]) return;
  std::string s = std::string("---------- Begin internal info dump -----------") + LINE_END;
  auto one = [&](int32_t i) {
    int32_t number;
    std::string text;
    bool is_text;
    if (!internal_info(ctx, i, '\t', &number, &text, &is_text)) return false;
    const std::string label = internal_label(i);
    if (is_text) s += label + LINE_END + text + LINE_END;
    else s += printf_text(label.c_str(), long(number)) + LINE_END;
    return true;
  };
  if (item && *item) {
    int32_t i;
    if (!parse_integer_text(item, &i) || internal_label(i).empty() || !one(i))
      s += printf_text("Invalid param: %s", item) + LINE_END;
  } else {
    for (int32_t i : {0, 10, 11, 20, 21, 30, 31, 40, 41, 50, 51, 60, 61, 70, 71, 80, 90, 91, 110, 111}) one(i);
  }
  s += std::string("----------- End internal info dump ------------") + LINE_END;
  write(ctx, s);
}

void trace_keyword_lookup_dump(RunContext* ctx, const char* rest) {
  if (!full_trace_to_file(ctx->dbg)) return;
  std::string s = std::string("------- Begin keyword lookup debug dump -------") + LINE_END;
  s += std::string("QuickLook structure is okay.") + LINE_END;
  s += printf_text("VARNAMESIZE:          %ld", long(VARNAMESIZE)) + LINE_END;
  s += printf_text("PARENTSTART:          %ld", long(PARENTSTART)) + LINE_END;
  s += printf_text("UDFSTART:             %ld", long(UDFSTART)) + LINE_END;
  s += printf_text("ADDONSTART:           %ld", long(ADDONSTART)) + LINE_END;
  s += printf_text("NKEYTOKENS:           %ld", long(NKEYTOKENS)) + LINE_END;
  s += printf_text("lpBDS->nNextExtEntry: %ld", long(ctx->ext.nFunctions)) + LINE_END;
  s += printf_text("lpBDS->delim_type:    %ld", long(ctx->tok.delim_type)) + LINE_END;
  s += printf_text("lpBDS->prog:          %s ", rest ? rest : "") + LINE_END;
  s += std::string("-------- End keyword lookup debug dump --------") + LINE_END;
  write(ctx, s);
}

}  // namespace tov
