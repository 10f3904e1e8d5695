// Foreign function calls: DllCall and DllCallCdecl read their own argument lists (type words, ":" and
// values), load the library, call the entry point through the platform layer and convert its result;
// DllLoad and DllFree keep libraries loaded between calls; DllLastError gives the system's error code.
#include "ext/dllcall.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "builtins/args.h"
#include "builtins/binary.h"
#include "builtins/registry.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "lang/eval.h"
#include "lang/tokenizer.h"
#include "lang/values.h"
#include "platform/library.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "resources/strings.h"

namespace tov {

namespace {

// Arguments after the library and the entry point; the slots of the call hold 20.
constexpr size_t DLLCALL_ARGS_MAX = plat::FOREIGN_ARGS_MAX;
constexpr size_t LIBRARY_NAME_MAX = 259;
constexpr size_t ENTRY_NAME_MAX = 127;
constexpr char HANDLE_MARK = '?';

// Message ids of the stack-check box.
enum : uint32_t { MSG_STACK_TITLE = 801, MSG_OLD_SP = 802, MSG_NEW_SP = 803 };

enum DllType { T_WORD, T_LONG, T_LPSTR, T_LPBINARY, T_LPNULL, T_DOUBLE, T_LPWSTR, T_VOID };

const struct {
  const char* word;
  DllType type;
  bool argument, result;
} kTypeWords[] = {
    {"word", T_WORD, true, true},         {"long", T_LONG, true, true},       {"lpstr", T_LPSTR, true, true},
    {"lpbinary", T_LPBINARY, true, false}, {"lpnull", T_LPNULL, true, false}, {"double", T_DOUBLE, true, true},
    {"lpwstr", T_LPWSTR, true, true},     {"void", T_VOID, false, true},
};

// The values of one call; they are released whatever happens.
struct CallArgs {
  explicit CallArgs(RunContext* ctx) : ctx(ctx) {
    for (Value& v : values) value_init(v);
    value_init(library);
    value_init(entry);
  }
  ~CallArgs() {
    value_free(ctx, library);
    value_free(ctx, entry);
    for (size_t n = 0; n < count; ++n) value_free(ctx, values[n]);
  }
  CallArgs(const CallArgs&) = delete;
  CallArgs& operator=(const CallArgs&) = delete;

  RunContext* ctx;
  Value library, entry;
  DllType result = T_VOID;
  DllType types[DLLCALL_ARGS_MAX] = {};
  Value values[DLLCALL_ARGS_MAX];
  size_t count = 0;
};

bool fail(RunContext* ctx, uint16_t number) {
  if (!ctx->err) ctx->err = number;
  return false;
}

// Reads a type word; false (with no error) for anything that is not one of the kind asked for.
bool read_type(RunContext* ctx, bool as_result, DllType* type) {
  get_string_token(ctx);
  const bool word = !ctx->err && ctx->tok.tok_type == TT_STRING;
  ctx->err = 0;
  if (!word) return false;
  for (const auto& t : kTypeWords) {
    if (plat::compare_ansi(ctx->tok.text, t.word, true) == 0 && (as_result ? t.result : t.argument)) {
      *type = t.type;
      return true;
    }
  }
  return false;
}

bool at_end_of_argument(RunContext* ctx) { return tok_is(ctx, KW_COMMA) || tok_is(ctx, KW_RPAREN); }

bool convert(RunContext* ctx, DllType type, ValueCore& v) {
  switch (type) {
    case T_WORD: return to_integer_rounded(ctx, v) || fail(ctx, ERR_DLLCALL_WORD);
    case T_LONG: return to_integer_rounded(ctx, v) || fail(ctx, ERR_DLLCALL_LONG);
    case T_LPSTR: return to_string(ctx, v) || fail(ctx, ERR_DLLCALL_STRING);
    case T_LPWSTR: return to_wstring(ctx, v) || fail(ctx, ERR_DLLCALL_STRING);
    case T_DOUBLE: return to_float(ctx, v) || fail(ctx, ERR_DLLCALL_DOUBLE);
    case T_LPBINARY: return (to_integer_rounded(ctx, v) && binary_get(ctx, v.i)) || fail(ctx, ERR_BINARY_HANDLE);
    default: return true;
  }
}

// Evaluates one expression from the next token into v.
bool evaluate(RunContext* ctx, Value& v) {
  get_token(ctx);
  if (ctx->err) return false;
  ProcessSubExpression(ctx, &v, false, false);
  return !ctx->err;
}

// Reads the whole argument list; on return the current token is the closing parenthesis.
bool parse(RunContext* ctx, CallArgs& a) {
  // The library.
  get_token(ctx);
  if (ctx->err || tok_is(ctx, KW_RPAREN)) return fail(ctx, ERR_DLLCALL_TOO_FEW);
  ProcessSubExpression(ctx, &a.library, false, false);
  if (ctx->err) return false;
  if (tok_is(ctx, KW_RPAREN)) return fail(ctx, ERR_DLLCALL_TOO_FEW);
  if (!tok_is(ctx, KW_COMMA)) return fail(ctx, ERR_DLLCALL_PUNCTUATION);
  if (!to_string(ctx, a.library.c)) return fail(ctx, ERR_DLLCALL_LIBRARY);
  // The result type and the entry point.
  if (!read_type(ctx, true, &a.result)) return fail(ctx, ERR_DLLCALL_RETURN_TYPE);
  get_token(ctx);
  if (ctx->err) return false;
  if (!tok_is(ctx, KW_COLON)) return fail(ctx, ERR_DLLCALL_COLON);
  if (!evaluate(ctx, a.entry)) return false;
  if (!at_end_of_argument(ctx) || !to_string(ctx, a.entry.c)) return fail(ctx, ERR_DLLCALL_ENTRY_NAME);
  // The arguments.
  while (tok_is(ctx, KW_COMMA)) {
    if (a.count == DLLCALL_ARGS_MAX) return fail(ctx, ERR_DLLCALL_TOO_MANY);
    DllType type;
    if (!read_type(ctx, false, &type)) return fail(ctx, ERR_DLLCALL_TYPE);
    Value& v = a.values[a.count];
    a.types[a.count++] = type;
    if (type == T_LPNULL) {
      get_token(ctx);
      if (ctx->err) return false;
    } else {
      get_token(ctx);
      if (ctx->err) return false;
      if (!tok_is(ctx, KW_COLON)) return fail(ctx, ERR_DLLCALL_COLON);
      if (!evaluate(ctx, v)) return false;
    }
    if (!at_end_of_argument(ctx)) return fail(ctx, ERR_DLLCALL_PUNCTUATION);
    if (type != T_LPNULL && !convert(ctx, type, v.c)) return false;
  }
  return true;
}

// "?" and the decimal number of a handle that DllLoad gave; nullptr for any other text.
void* loaded_handle(RunContext* ctx, const char* text) {
  if (text[0] != HANDLE_MARK || !text[1]) return nullptr;
  uintmax_t n = 0;
  for (const char* p = text + 1; *p; ++p) {
    if (*p < '0' || *p > '9' || n > (UINTPTR_MAX - 9) / 10) return nullptr;
    n = n * 10 + uintmax_t(*p - '0');
  }
  void* handle = reinterpret_cast<void*>(uintptr_t(n));
  for (uint32_t i = 0; i < DLLLOAD_SLOTS; ++i)
    if (handle && ctx->ext.dllLoaded[i] == handle) return handle;
  return nullptr;
}

// Loads a library by name (1299 when it is not found, 1300 when it cannot be loaded).
void* load(RunContext* ctx, const char* name) {
  uint32_t code = 0;
  void* library = plat::library_load(name, &code);
  if (!library) ctx->err = code == plat::LOAD_NOT_FOUND || code == 1157 ? ERR_DLL_NOT_FOUND : ERR_DLL_NOT_LOADABLE;
  return library;
}

plat::ForeignArg foreign_arg(RunContext* ctx, DllType type, ValueCore& v) {
  plat::ForeignArg f{};
  switch (type) {
    case T_WORD: f.type = plat::ForeignType::Int32; f.i = v.i & 0xFFFF; break;
    case T_LONG: f.type = plat::ForeignType::Int32; f.i = v.i; break;
    case T_LPSTR: f.type = plat::ForeignType::Pointer; f.p = str_at(ctx, v.str); break;
    case T_LPWSTR: f.type = plat::ForeignType::Pointer; f.p = wstr_at(ctx, v.wstr); break;
    case T_LPBINARY: f.type = plat::ForeignType::Pointer; f.p = binary_find(ctx, v.i)->data; break;
    case T_DOUBLE: f.type = plat::ForeignType::Double; f.d = v.f; break;
    default: f.type = plat::ForeignType::Pointer; break;   // lpnull
  }
  return f;
}

plat::ForeignType foreign_result(DllType type) {
  switch (type) {
    case T_WORD: case T_LONG: return plat::ForeignType::Int32;
    case T_LPSTR: case T_LPWSTR: return plat::ForeignType::Pointer;
    case T_DOUBLE: return plat::ForeignType::Double;
    default: return plat::ForeignType::Void;
  }
}

void stack_box(RunContext* ctx, const plat::ForeignResult& r) {
  char title[128], old_sp[32], new_sp[32], text[256];
  load_string(ctx, MSG_STACK_TITLE, title, sizeof title);
  load_string(ctx, MSG_OLD_SP, old_sp, sizeof old_sp);
  load_string(ctx, MSG_NEW_SP, new_sp, sizeof new_sp);
  std::snprintf(text, sizeof text, "%s: %ld <%lx> %s: %ld <%lx>", old_sp, long(r.stackBefore),
                static_cast<unsigned long>(r.stackBefore), new_sp, long(r.stackAfter),
                static_cast<unsigned long>(r.stackAfter));
  plat::message_box(ctx->hwndOwner, text, title, plat::MB_OK_ONLY | plat::MB_SET_FOREGROUND);
}

void set_result(RunContext* ctx, DllType type, const plat::ForeignResult& r, Value* result) {
  switch (type) {
    case T_WORD: set_integer(ctx, result->c, r.i & 0xFFFF); break;
    case T_LONG: set_integer(ctx, result->c, r.i); break;
    case T_DOUBLE: set_float(ctx, result->c, r.d); break;
    case T_LPSTR: {
      // A null string stands for the empty string.
      const char* s = r.p ? static_cast<const char*>(r.p) : "";
      set_string(ctx, result->c, s, std::strlen(s));
      break;
    }
    case T_LPWSTR: {
      const auto* w = r.p ? static_cast<const wchar*>(r.p) : u"";
      set_wstring(ctx, result->c, w, wstr_len(w));
      break;
    }
    default: break;
  }
}

void dll_call(RunContext* ctx, Value* result, plat::CallConvention convention) {
  CallArgs a(ctx);
  if (!parse(ctx, a)) return;
  const char* name = str_at(ctx, a.library.c.str);
  const char* entry_name = str_at(ctx, a.entry.c.str);
  if (std::strlen(entry_name) > ENTRY_NAME_MAX) {
    ctx->err = ERR_DLLCALL_ENTRY_NAME;
    return;
  }
  // A "?" handle must be one that DllLoad gave: any other number is no library of this run.
  void* library = name[0] == HANDLE_MARK ? loaded_handle(ctx, name) : nullptr;
  const bool by_name = name[0] != HANDLE_MARK;
  if (!library && !by_name) {
    ctx->err = ERR_DLLCALL_LIBRARY;
    return;
  }
  if (by_name) {
    if (std::strlen(name) > LIBRARY_NAME_MAX) {
      ctx->err = ERR_DLLCALL_LIBRARY;
      return;
    }
    if (!(library = load(ctx, name))) return;
  }
  if (void* fn = plat::library_symbol(library, entry_name)) {
    plat::ForeignArg args[DLLCALL_ARGS_MAX];
    for (size_t n = 0; n < a.count; ++n) args[n] = foreign_arg(ctx, a.types[n], a.values[n].c);
    plat::ForeignResult r;
    if (!plat::foreign_call(fn, convention, args, a.count, foreign_result(a.result), &r)) {
      ctx->err = ERR_DLL_ENTRY_POINT;
    } else {
      ctx->ext.dllLastError = r.systemError;
      if (r.stackMismatch) {
        ctx->err = ERR_DLLCALL_STACK;
        stack_box(ctx, r);
      } else {
        set_result(ctx, a.result, r, result);
      }
    }
  } else {
    ctx->err = ERR_DLL_ENTRY_POINT;
  }
  if (by_name) plat::library_free(library);
}

void bi_dllcall(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  dll_call(ctx, result, plat::CallConvention::Stdcall);
}

void bi_dllcallcdecl(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  dll_call(ctx, result, plat::CallConvention::Cdecl);
}

void bi_dllload(RunContext* ctx, Value* result, ArgBlock& a, int, bool) {
  ExtState& x = ctx->ext;
  uint32_t slot = 0;
  while (slot < DLLLOAD_SLOTS && x.dllLoaded[slot]) ++slot;
  if (slot == DLLLOAD_SLOTS) {
    ctx->err = ERR_DLLLOAD_TOO_MANY;
    return;
  }
  void* library = load(ctx, arg_str(ctx, a, 1));
  if (!library) return;
  x.dllLoaded[slot] = library;
  ++x.nDllLoaded;
  char text[32];
  std::snprintf(text, sizeof text, "%c%" PRIuPTR, HANDLE_MARK, reinterpret_cast<uintptr_t>(library));
  set_string(ctx, result->c, text, std::strlen(text));
}

void bi_dllfree(RunContext* ctx, Value*, ArgBlock& a, int, bool) {
  void* library = loaded_handle(ctx, arg_str(ctx, a, 1));
  if (!library) {
    ctx->err = ERR_DLLFREE_HANDLE;
    return;
  }
  for (void*& slot : ctx->ext.dllLoaded) {
    if (slot != library) continue;
    plat::library_free(library);
    slot = nullptr;
    --ctx->ext.nDllLoaded;
    return;
  }
}

void bi_dlllasterror(RunContext* ctx, Value* result, ArgBlock&, int, bool) {
  set_integer(ctx, result->c, int32_t(ctx->ext.dllLastError));
}

const BuiltinEntry kEntries[] = {
    {KW_DLLCALL, bi_dllcall},   {KW_DLLCALLCDECL, bi_dllcallcdecl}, {KW_DLLLOAD, bi_dllload},
    {KW_DLLFREE, bi_dllfree},   {KW_DLLLASTERROR, bi_dlllasterror},
};

}  // namespace

extern const BuiltinFamily kDllBuiltins = {kEntries, sizeof kEntries / sizeof kEntries[0]};

void release_dll_loads(RunContext* ctx) {
  for (void*& library : ctx->ext.dllLoaded) {
    if (library) plat::library_free(library);
    library = nullptr;
  }
  ctx->ext.nDllLoaded = 0;
}

}  // namespace tov
