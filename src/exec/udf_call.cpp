// Calls of user-defined functions and subroutines, and of script files (the Call built-in).
#include "exec/udf_call.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "builtins/callframe.h"
#include "diag/errors.h"
#include "diag/trace.h"
#include "diag/trace_calls.h"
#include "engine/context.h"
#include "engine/script.h"
#include "exec/exec.h"
#include "exec/run.h"
#include "ext/host_call.h"
#include "lang/arrays.h"
#include "lang/keywords.h"
#include "lang/tokenizer.h"
#include "lang/values.h"
#include "lang/vartable.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"

namespace tov {

namespace {

constexpr uint32_t NOTIFY_CALL = 4, NOTIFY_FILE = 8;   // nHostNotify

// Handler function names are mostly empty: only a name is copied.
void copy_handler_name(char (&to)[31], const char (&from)[31]) {
  if (from[0]) std::memcpy(to, from, sizeof to);
  else to[0] = 0;
}

// What a call saves of its caller and restores on the way back.
struct CallerState {
  char* szLine;
  const char* prog;
  const char* tokenStart;
  uint8_t tokType, prevType;
  int16_t delimType, prevDelim;
  uint16_t curUdfNumber;
  uint32_t lineStart;
  const HeldScript* runScript;
  uint16_t runUdf;
  // The current file is saved only when it differs from the one the callee runs in (the common case of a
  // function of the same script skips two copies); sameFile names that one otherwise.
  const char* sameFile = nullptr;
  char file[sizeof RunContext::szCurrentFile];
  const char* fileOf;
  uint16_t currentUdf;
  int32_t errorHandlerMode, cancelHandlerMode;
  char errorHandlerFunc[31], cancelHandlerFunc[31];
  int32_t pendingIf;
  uint32_t inUdf;
  DebugCallSave debug;
  const char* debugName = nullptr;   // set once the called code was entered: the trace is restored
  size_t debugNameLength = 0;
  bool debugScript = false;

  void enter_debug(RunContext* ctx, const char* name, size_t length, bool script) {
    debug_enter_call(ctx, &debug, name, length, script);
    debugName = name;
    debugNameLength = length;
    debugScript = script;
  }

  void save(const RunContext* ctx) {
    szLine = ctx->szLine;
    prog = ctx->tok.prog;
    tokenStart = ctx->tok.tokenStart;
    tokType = ctx->tok.tok_type;
    prevType = ctx->tok.prevType;
    delimType = ctx->tok.delim_type;
    prevDelim = ctx->tok.prevDelim;
    curUdfNumber = ctx->tok.curUdfNumber;
    lineStart = ctx->nLineStart;
    runScript = ctx->hRunScript;
    runUdf = ctx->nRunUdf;
    if (!sameFile) std::memcpy(file, ctx->szCurrentFile, sizeof file);
    fileOf = ctx->pCurrentFileOf;
    currentUdf = ctx->nCurrentUdf;
    errorHandlerMode = ctx->es.errorHandlerMode;
    cancelHandlerMode = ctx->es.cancelHandlerMode;
    copy_handler_name(errorHandlerFunc, ctx->es.errorHandlerFunc);
    copy_handler_name(cancelHandlerFunc, ctx->es.cancelHandlerFunc);
    pendingIf = ctx->nPendingIf;
    inUdf = ctx->bInUdf;
  }
  [[gnu::always_inline]] void restore(RunContext* ctx) const {
    if (debugName) debug_leave_call(ctx, debug, debugName, debugNameLength, debugScript);
    ctx->szLine = szLine;
    ctx->tok.prog = prog;
    ctx->tok.tokenStart = tokenStart;
    ctx->tok.tok_type = tokType;
    ctx->tok.prevType = prevType;
    ctx->tok.delim_type = delimType;
    ctx->tok.prevDelim = prevDelim;
    ctx->tok.curUdfNumber = curUdfNumber;
    ctx->nLineStart = lineStart;
    ctx->hRunScript = runScript;
    ctx->nRunUdf = runUdf;
    if (!sameFile) std::memcpy(ctx->szCurrentFile, file, sizeof file);
    else if (ctx->pCurrentFileOf != sameFile && std::strcmp(ctx->szCurrentFile, sameFile) != 0)
      std::strcpy(ctx->szCurrentFile, sameFile);
    ctx->pCurrentFileOf = sameFile ? sameFile : fileOf;
    ctx->nCurrentUdf = currentUdf;
    ctx->es.errorHandlerMode = errorHandlerMode;
    ctx->es.cancelHandlerMode = cancelHandlerMode;
    copy_handler_name(ctx->es.errorHandlerFunc, errorHandlerFunc);
    copy_handler_name(ctx->es.cancelHandlerFunc, cancelHandlerFunc);
    ctx->nPendingIf = pendingIf;
    ctx->bInUdf = inUdf;
  }
};

// Called code starts without the caller's handlers; a cancel jumps to CANCEL inside it when there is one.
void enter_called_code(RunContext* ctx) {
  ctx->es.errorHandlerMode = HANDLER_OFF;
  ctx->es.cancelHandlerMode = HANDLER_CALLED_CODE;
  ctx->es.errorHandlerFunc[0] = ctx->es.cancelHandlerFunc[0] = 0;
}

bool same_file(const char* a, const char* b) {
  if (std::strcmp(a, b) == 0) return true;
  for (; *a && *b; ++a, ++b)
    if (plat::lower_ascii(*a) != plat::lower_ascii(*b)) return false;
  return *a == *b;
}

void notify_file(RunContext* ctx, const char* file, int code) {
  if (!(ctx->nHostNotify & NOTIFY_FILE)) return;
  char c[8];
  std::snprintf(c, sizeof c, "%d", code);
  const uint16_t saved = ctx->err;
  notify_host(ctx, HOST_NOTIFY_FILE, file, c);
  ctx->err = saved;
}

void notify_call(RunContext* ctx, const char* file, int code) {
  if (!(ctx->nHostNotify & NOTIFY_CALL)) return;
  char depth[16], c[8];
  std::snprintf(depth, sizeof depth, "%u", unsigned(ctx->nCallDepth));
  std::snprintf(c, sizeof c, "%d", code);
  const uint16_t saved = ctx->err;
  notify_host(ctx, HOST_NOTIFY_CALL, file, depth, c);
  ctx->err = saved;
}

// A new variable table for a function call: the first free frame, with the current table's capacity.
int open_frame(RunContext* ctx) {
  for (uint16_t n = std::max<uint16_t>(ctx->nFirstFreeFrame, 1); n < VAR_FRAMES; ++n) {
    VarFrame& f = ctx->aVarFrame[n];
    if (f.slots) continue;
    const uint16_t capacity = ctx->nVarCapacity;
    // The table kept from the frame's last call is zero-filled already; a new one is made otherwise.
    plat::MemId table = f.spareCapacity == capacity ? f.spare : 0;
    VarSlot* slots = table ? f.spareSlots : nullptr;
    if (!table && f.spare) plat::mem_free(f.spare);
    f.spare = 0;
    f.spareCapacity = 0;
    f.spareSlots = nullptr;
    if (!table) {
      table = plat::mem_alloc(size_t(capacity) * sizeof(VarSlot), true);
      slots = table ? static_cast<VarSlot*>(plat::mem_lock(table)) : nullptr;
    }
    if (!slots) {
      if (table) plat::mem_free(table);
      return -1;
    }
    // The tick of its identity is taken when a pointer first names the frame. (Set field by field: the
    // others are as close_frame left them.)
    f.tableId = table;
    f.sequence = ctx->nFrameSerial++;
    f.tick = 0;
    f.capacity = capacity;
    f.used = 0;
    f.link = FRAME_LINK_NONE;
    f.table = table;
    f.slots = slots;
    f.layout = 0;
    ctx->nFirstFreeFrame = uint16_t(n + 1);
    return n;
  }
  return -1;
}

// The frame ends; its table, emptied by free_locals, is kept for the frame's next call.
void close_frame(RunContext* ctx, uint16_t n) {
  VarFrame& f = ctx->aVarFrame[n];
  const plat::MemId table = f.table;
  const uint16_t capacity = f.capacity;
  VarSlot* const slots = f.slots;
  f = VarFrame{n};
  f.spare = table;
  f.spareCapacity = table ? capacity : 0;
  f.spareSlots = table ? slots : nullptr;
  if (n < ctx->nFirstFreeFrame) ctx->nFirstFreeFrame = n;
}

// Frees every variable of the current (function) table and leaves its used slots zero-filled again.
void free_locals(RunContext* ctx) {
  // Freeing values leaves the table and its used count as they are.
  VarSlot* const slots = ctx->lpVars;
  const uint16_t used = ctx->nVarUsed;
  for (uint16_t i = 0; i < used; ++i)
    if (slots[i].c.type & VALUE_OWNS) value_free(ctx, slots[i].c, VFREE_HOLDER);
  std::memset(slots, 0, size_t(used) * sizeof(VarSlot));
  ctx->nVarUsed = 0;
  new_layout(ctx);
}

// Undoes what a call did before its body could run: the frame (when one was opened) and the caller's state.
// (A function of its own: a closure would keep the call's locals in memory all through it.)
void unwind_call(RunContext* ctx, const CallerState& caller, uint32_t depth, uint16_t home_frame, int frame) {
  if (frame >= 0) {
    if (ctx->nVarFrame != home_frame) {
      free_locals(ctx);
      frame_switch(ctx, home_frame);
    }
    close_frame(ctx, uint16_t(frame));
  }
  caller.restore(ctx);
  ctx->nStructDepth = depth;
  --ctx->nUdfDepth;
}

// The variables' names of the parameters, and whether they can go into a fresh table in order.
void work_out_layout(UdfRecord* rec) {
  bool distinct = true;
  for (int i = 0; i < rec->paramCount; ++i) {
    char name[VARNAME_BYTES];
    lower_name(rec->params[i], std::strlen(rec->params[i]), name, sizeof name);
    // As a new slot takes the name: at most 31 bytes, zero-padded.
    std::memset(rec->slotNames[i], 0, VARNAME_BYTES);
    std::memcpy(rec->slotNames[i], name, std::min(std::strlen(name), VARNAME_BYTES - 1));
    for (int k = 0; k < i; ++k)
      if (std::strcmp(rec->slotNames[k], rec->slotNames[i]) == 0) distinct = false;
  }
  rec->layout = distinct ? UDF_LAYOUT_IN_ORDER : UDF_LAYOUT_BY_NAME;
}

// A plain number (no string, array or variant to duplicate or hold) is stored as slot_store would, into a
// slot that holds nothing to release (a subroutine's parameter, or a repeated name, may name a variable that
// holds a string).
bool store_plain(VarSlot& slot, const ValueCore& v) {
  if ((v.type | slot.c.type) & VALUE_OWNS) return false;
  slot.c = v;
  slot.c.reserved = 0;   // value_copy leaves it out
  return true;
}

// The parameters as variables of the function's fresh table (only the reserved slot used): the arguments
// given are stored, the others left uninitialised.
void set_parameters(RunContext* ctx, UdfRecord* rec, ArgBlock* args, int argc) {
  static_assert(UDF_PARAM_SLOT_BYTES == VARNAME_BYTES);
  if (rec->layout == UDF_LAYOUT_UNKNOWN) work_out_layout(rec);
  const int count = rec->paramCount;
  // In order, each name lands in the next slot as the names differ, until an argument without a type
  // leaves its slot free for a later name to take.
  bool in_order = rec->kind == UDF_FUNCTION && rec->layout == UDF_LAYOUT_IN_ORDER && ctx->nVarUsed == 1 &&
                  count < ctx->nVarCapacity;
  const bool started_in_order = in_order;
  int i = 1;
  if (in_order && !ctx->err) {
    // The commonest call: plain numbers (with a type) given, each goes into the next slot under its name.
    VarSlot* const slots = ctx->lpVars;
    for (const int given = std::min(count, argc); i <= given; ++i) {
      VarSlot& s = slots[i];
      if (!args->slot[i].c.type || !store_plain(s, args->slot[i].c)) break;
      std::memcpy(s.name, rec->slotNames[i - 1], VARNAME_BYTES);
    }
    ctx->nVarUsed = uint16_t(i);
  }
  for (; i <= count && !ctx->err; ++i) {
    uint16_t slot;
    if (in_order) {
      slot = ctx->nVarUsed++;
      VarSlot& s = ctx->lpVars[slot];
      std::memcpy(s.name, rec->slotNames[i - 1], VARNAME_BYTES);
      // A plain number given goes straight in; the slot starts uninitialised otherwise, as a new name does.
      if (i <= argc && store_plain(s, args->slot[i].c)) {
        in_order = s.c.type != 0;
        // The names so far with a free slot: a layout of its own, before later names are looked up.
        if (!in_order) new_layout(ctx);
        continue;
      }
      set_uninitialised(s.c);
    } else {
      slot = slot_find_or_create(ctx, rec->slotNames[i - 1], false);
    }
    if (slot == SLOT_NONE || i > argc) continue;
    if (!store_plain(ctx->lpVars[slot], args->slot[i].c)) slot_store(ctx, slot, args->slot[i].c);
    if (in_order && ctx->lpVars[slot].c.type == 0) {
      in_order = false;
      new_layout(ctx);
    }
  }
  if (!started_in_order) return;
  // The names went in as on every call in order: the table takes the function's number for them.
  if (in_order && !ctx->err) {
    if (!rec->paramsLayout) rec->paramsLayout = ++ctx->nLayoutSerial;
    ctx->nVarLayout = rec->paramsLayout;
  } else if (in_order) {
    new_layout(ctx);
  }
}

}  // namespace

void release_frames(RunContext* ctx) {
  for (uint16_t n = 1; n < VAR_FRAMES; ++n) {
    VarFrame& f = ctx->aVarFrame[n];
    if (f.table) plat::mem_free(f.table);
    if (f.spare) plat::mem_free(f.spare);
    f = VarFrame{n};
  }
  ctx->nFirstFreeFrame = 1;
}

bool in_file_of(const RunContext* ctx, const UdfRecord& rec) {
  return ctx->pCurrentFileOf == rec.file || std::strcmp(ctx->szCurrentFile, rec.file) == 0;
}

int find_udf(RunContext* ctx, const char* name) {
  char lower[UDF_NAME_BYTES];
  const size_t n = std::strlen(name);
  if (!n || n >= sizeof lower) return -1;
  plat::lower_ansi(name, n, lower, sizeof lower);
  for (int32_t i = 0; i < ctx->nUdfCount; ++i)
    if (ctx->apUdf[i] && std::strcmp(ctx->apUdf[i]->name, lower) == 0) return i;
  return -1;
}

int CallUdf(RunContext* ctx, int code, Value* result, ArgBlock* args, int argc, NativeHandler native, void* data,
            uint32_t mode) {
  const int index = code - UDFSTART;
  UdfRecord* rec = (index >= 0 && index < ctx->nUdfCount) ? ctx->apUdf[index] : nullptr;
  if (!rec || !rec->hBody) {
    ctx->err = ERR_UDF_PROCESSING;
    return 0;
  }
  // The statements of the call set the record's assignment target; once it ends, the target is again that of
  // the statement of an outer call of the same function, or none: a finished call protects no variable from Drop.
  const uint32_t outer_target = rec->target;
  CallerState caller;
  if (in_file_of(ctx, *rec)) caller.sameFile = rec->file;
  caller.save(ctx);
  const uint32_t depth = ctx->nStructDepth;
  const uint16_t home_frame = ctx->nVarFrame;
  const bool function = rec->kind == UDF_FUNCTION;
  ++ctx->nUdfDepth;

  if (depth >= STRUCT_STACK_SIZE) {
    ctx->err = ERR_NESTING_TOO_COMPLEX;
    unwind_call(ctx, caller, depth, home_frame, -1);
    return 0;
  }
  // The call's record, written once: a call from an expression returns to the line that made it.
  const bool expression = mode == UDF_MODE_EXPRESSION;
  ctx->aStruct[depth] = StructRecord{SK_UDF,
                                     mode,
                                     expression ? ctx->nLineStart : 0,
                                     expression ? ctx->hRunScript : nullptr,
                                     expression ? ctx->nRunUdf : uint16_t(NO_UDF),
                                     expression ? uint16_t(ctx->bInUdf) : uint16_t(0),
                                     BS_RUNNING,
                                     uint8_t(ctx->bInLoop),
                                     0,
                                     0};
  ctx->nStructDepth = depth + 1;
  ctx->bInLoop = 0;

  int frame = -1;
  if (function && (frame = open_frame(ctx)) < 0) {
    ctx->err = ERR_UDF_MEMORY;
    unwind_call(ctx, caller, depth, home_frame, -1);
    return 0;
  }
  const bool file_changed = !caller.sameFile && !same_file(ctx->szCurrentFile, rec->file);
  if (!caller.sameFile) std::memcpy(ctx->szCurrentFile, rec->file, sizeof ctx->szCurrentFile);
  ctx->pCurrentFileOf = rec->file;
  if (file_changed) notify_file(ctx, rec->file, 1);
  ctx->nCurrentUdf = uint16_t(index);
  ctx->tok.curUdfNumber = uint16_t(index);
  enter_called_code(ctx);
  ctx->bInUdf = 1;
  caller.enter_debug(ctx, rec->name, rec->nameLength, false);
  if (function) {
    if (!frame_switch(ctx, uint16_t(frame))) {
      ctx->err = ERR_UDF_LOCK;
      unwind_call(ctx, caller, depth, home_frame, frame);
      return 0;
    }
    init_reserved_slot(&ctx->lpVars[0]);
    ctx->nVarUsed = 1;
    // Every call's table starts alike, so it takes the function's own first layout number; the names made
    // in it then lead to the numbers they led to before, and the slots the body's lines found stay good.
    if (!rec->freshLayout) rec->freshLayout = ++ctx->nLayoutSerial;
    ctx->nVarLayout = rec->freshLayout;
  }

  int run = 1;
  if (native) {
    native(ctx, result, data);
  } else {
    set_parameters(ctx, rec, args, argc);
    if (!ctx->err) {
      const HeldScript body = udf_body_script(*rec, uint16_t(index));
      uint32_t line_start = 0, pos = 0;
      run = RunLoop(ctx, result, &body, &line_start, &pos);
    }
  }
  const uint16_t error = ctx->err;
  const bool returned = ctx->aStruct[depth].aux != 0;
  if (function && ctx->nVarFrame != home_frame) {
    // A returned array outlives the locals that held it: held across their release, it is then left to
    // the caller as a temporary (or to its other holders).
    const uint32_t returned_array = (result->c.type & VF_ARRAY) ? result->c.str : 0;
    if (returned_array) array_hold(returned_array);
    free_locals(ctx);
    if (returned_array) array_unhold(returned_array);
    if (!frame_switch(ctx, home_frame) && !ctx->err) ctx->err = ERR_UDF_LOCK;
  }
  if (function) close_frame(ctx, uint16_t(frame));
  if (result->originFrame == frame) {
    result->originSlot = ORIGIN_NONE;
    result->originFrame = ORIGIN_NONE;
  }
  if (!returned) set_integer(ctx, result->c, 0);
  ctx->bInLoop = ctx->aStruct[depth].savedInLoop;
  ctx->aStruct[depth] = StructRecord{};
  caller.restore(ctx);
  rec->target = outer_target;
  ctx->nStructDepth = depth;
  --ctx->nUdfDepth;
  if (!run && error && error != STATUS_EXIT && error != STATUS_CANCEL) {
    ctx->es.extendedCode = error;
    ctx->err = STATUS_UDF_FAILED;
  }
  if (file_changed) notify_file(ctx, ctx->szCurrentFile, ctx->err ? -1 : 0);
  return ctx->err ? 0 : 1;
}

int32_t CallUdfByName(RunContext* ctx, const char* name, const int32_t values[5]) {
  ArgBlock args;
  for (Value& v : args.slot) value_init(v);
  for (int i = 0; i < 5; ++i) args.slot[i + 1].c.i = values[i];
  return CallUdfByNameArgs(ctx, name, &args);
}

int32_t CallUdfByNameArgs(RunContext* ctx, const char* name, ArgBlock* args) {
  if (!name || !((*name >= 'a' && *name <= 'z') || (*name >= 'A' && *name <= 'Z'))) return -1;
  const int udf = find_udf(ctx, name);
  if (udf < 0 || ctx->apUdf[udf]->paramCount != 5) return -1;
  Value result;
  value_init(result);
  CallUdf(ctx, UDFSTART + udf, &result, args, 5, nullptr, nullptr, UDF_MODE_DIALOG);
  const int32_t r = (result.c.type & VF_INTEGER) && !ctx->err ? result.c.i : -1;
  value_free(ctx, result);
  return r;
}

namespace {

template <typename Ch>
int split_params(RunContext* ctx, const Ch* s, bool wide) {
  uint16_t p0 = slot_lookup(ctx, "param0");
  if (p0 != SLOT_NONE && (slot_at(ctx, p0)->c.type & VF_INTEGER)) {
    const int32_t n = slot_at(ctx, p0)->c.i;
    for (int32_t i = 1; i <= n; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "param%d", int(i));
      const uint16_t slot = slot_lookup(ctx, name);
      if (slot != SLOT_NONE) slot_drop(ctx, slot);
    }
  }
  int32_t count = 0;
  set_variable_by_name(ctx, "param0", &count, VF_INTEGER);
  std::basic_string<Ch> value;
  auto is_blank = [](Ch c) { return c == Ch(' ') || c == Ch('\t'); };
  while (is_blank(*s)) ++s;
  while (*s && !ctx->err) {
    value.clear();
    while (*s && !is_blank(*s)) {
      if (*s == Ch('"') || *s == Ch('\'') || *s == Ch('`')) {
        const Ch quote = *s++;
        while (*s) {
          if (*s == quote) {
            if (s[1] != quote) {
              ++s;
              break;
            }
            ++s;
          }
          value += *s++;
        }
      } else {
        value += *s++;
      }
    }
    char name[16];
    std::snprintf(name, sizeof name, "param%d", int(++count));
    set_variable_by_name(ctx, name, value.c_str(), wide ? VF_WSTRING : VF_STRING);
    while (is_blank(*s)) ++s;
  }
  set_variable_by_name(ctx, "param0", &count, VF_INTEGER);
  return count;
}

}  // namespace

int SetParams(RunContext* ctx, const char* params) { return split_params(ctx, params ? params : "", false); }
int SetParamsW(RunContext* ctx, const char16_t* params) { return split_params(ctx, params ? params : u"", true); }

void CallScript(RunContext* ctx, Value* result, ArgBlock& args, int argc, bool wide) {
  CallerState caller;
  caller.save(ctx);
  ++ctx->nCallDepth;
  const ValueCore& p = args.slot[2].c;
  if (argc >= 2 && (p.type & VF_WSTRING)) SetParamsW(ctx, wstr_at(ctx, p.wstr));
  else SetParams(ctx, argc >= 2 && (p.type & VF_STRING) ? str_at(ctx, p.str) : "");
  // The file name may have arrived wide.
  ValueCore name = args.slot[1].c;
  const uint32_t own = name.type;
  char path[plat::MAX_PATH_CHARS + 1];
  bool found = !ctx->err && to_string(ctx, name) &&
               plat::search_file(str_at(ctx, name.str), path, sizeof path, false) != plat::FileCheck::NotFound;
  if ((name.type & VF_STRING) && !(own & VF_STRING)) VFree(ctx, name.str);
  (void)wide;
  const uint32_t depth = ctx->nStructDepth;
  if (!found) {
    if (!ctx->err) ctx->err = ERR_CALL_NOT_FOUND;
  } else if (push_record(ctx, SK_CALL, 0, ctx->nLineStart, BS_RUNNING)) {
    StructRecord& frame_rec = ctx->aStruct[depth];
    frame_rec.script = ctx->hRunScript;
    frame_rec.udf = ctx->nRunUdf;
    frame_rec.savedInLoop = uint8_t(ctx->bInLoop);
    ctx->bInLoop = 0;
    std::strcpy(ctx->szCurrentFile, path);
    ctx->pCurrentFileOf = nullptr;
    notify_file(ctx, path, 1);
    notify_call(ctx, path, 1);
    enter_called_code(ctx);
    ctx->bInUdf = 0;
    caller.enter_debug(ctx, path, std::strlen(path), true);
    const int run = LoadScriptFile(ctx, result, path);
    const uint16_t error = ctx->err;
    if (!ctx->aStruct[depth].aux) set_integer(ctx, result->c, 0);
    ctx->bInLoop = ctx->aStruct[depth].savedInLoop;
    ctx->aStruct[depth] = StructRecord{};
    ctx->nStructDepth = depth;
    caller.restore(ctx);
    if (!run && error && error != STATUS_CANCEL) {
      ctx->es.extendedCode = error;
      ctx->err = STATUS_REPORTED_IN_CALL;
    } else {
      ctx->err = error == STATUS_CANCEL ? error : 0;
    }
    notify_file(ctx, ctx->szCurrentFile, ctx->err ? -1 : 0);
    notify_call(ctx, path, ctx->err ? -1 : 0);
    --ctx->nCallDepth;
    return;
  }
  caller.restore(ctx);
  --ctx->nCallDepth;
}

}  // namespace tov
