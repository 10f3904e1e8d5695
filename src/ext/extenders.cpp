// Extender libraries: loading, the interface query, registration of their functions, calls of them, and
// the close request and unloading at teardown.
#include "ext/extenders.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "builtins/args.h"
#include "builtins/registry.h"
#include "diag/error_model.h"
#include "diag/errors.h"
#include "diag/trace.h"
#include "engine/context.h"
#include "ext/host_call.h"
#include "ext/services.h"
#include "lang/values.h"
#include "platform/library.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "resources/strings.h"

namespace tov {

namespace {

constexpr uint32_t WIDE_KIND_OFFSET = 100000;
constexpr uint32_t SLOT_ID_STEP = 10000;        // record id = 10000 * (slot + 1) + function number
constexpr int32_t QUERY_BUFFER_CHARS = 2049;
constexpr int32_t INIT_MESSAGE_CHARS = 256;
constexpr uint32_t KIND1_ARG_TYPES = 0x11111;   // five string arguments
constexpr size_t WIDE_NAME_MAX = 30;

// Message ids of the boxes.
enum : uint32_t {
  MSG_LOAD_ERROR_TITLE = 850, MSG_DEPENDENCY_MISSING = 851, MSG_INVALID_31 = 852, MSG_INVALID_127 = 853,
  MSG_INVALID = 854, MSG_INIT_FAILED = 855, MSG_INTERNAL_ERROR = 837, MSG_NO_CLOSE_ENTRY = 863,
  MSG_NO_CALL_ENTRY = 864,
};

// Known older extenders that this Engine refuses: two library names always, one below a file version,
// and one title (string 1000 of a kind-1 library).
const char* const kRetiredNames[] = {"tovx16", "tovxw16"};
constexpr const char* kRetiredBelowVersion = "tovxnet";
constexpr uint64_t kRetiredVersion = 20033;
constexpr const char* kRetiredTitle = "TOV 16-bit Extender";
constexpr uint32_t TITLE_STRING_ID = 1000;

enum EntryPoint { ENTRY_QUERY_W, ENTRY_QUERY, ENTRY_STRINGS, ENTRY_RECORDS, ENTRY_RECORDS_W };

// The exported names; 32-bit Windows builds use the names with their stdcall decoration.
const struct {
  const char* name;
  int argBytes;
} kEntries[] = {{"TOVExtenderQueryW", 12}, {"TOVExtenderQuery", 12}, {"TOVExtender", 48}, {"TOVExtender2", 40},
                {"TOVExtender2W", 40}};

void* find_entry(void* module, EntryPoint which) {
#if defined(_WIN32) && !defined(_WIN64)
  char name[48];
  std::snprintf(name, sizeof name, "_%s@%d", kEntries[which].name, kEntries[which].argBytes);
  if (void* p = plat::library_symbol(module, name)) return p;
  return plat::library_symbol(module, name + 1);   // as the GNU tools export a stdcall name
#else
  return plat::library_symbol(module, kEntries[which].name);
#endif
}

EntryPoint entry_of_kind(uint32_t kind) {
  if (kind == TOVX_KIND_STRINGS) return ENTRY_STRINGS;
  return kind == TOVX_KIND_WIDE ? ENTRY_RECORDS_W : ENTRY_RECORDS;
}

bool supported_kind(uint32_t kind) { return (kind >= 1 && kind <= 5) || kind == TOVX_KIND_WIDE; }
bool uses_records20(uint32_t kind) { return kind == TOVX_KIND_RECORD20_A || kind == TOVX_KIND_RECORD20_B; }

bool fail(RunContext* ctx, uint16_t number) {
  ctx->err = number;
  return false;
}

void box(RunContext* ctx, const char* text, uint32_t title_id) {
  char title[128];
  load_string(ctx, title_id, title, sizeof title);
  plat::message_box(ctx->hwndOwner, text, title, plat::MB_OK_ONLY | plat::MB_ICON_EXCLAMATION);
}

void message_box_of(RunContext* ctx, uint32_t text_id, uint32_t title_id) {
  char text[512];
  load_string(ctx, text_id, text, sizeof text);
  box(ctx, text, title_id);
}

// A library that cannot be loaded: not found is an error alone; everything else shows why in a box.
bool load_failure(RunContext* ctx, uint32_t code, const char* detail) {
  uint32_t text_id = 0;
  switch (code) {
    case plat::LOAD_NOT_FOUND: return fail(ctx, ERR_ADDEXT_NOT_FOUND);
    case plat::LOAD_DEPENDENCY_MISSING: case 1157: text_id = MSG_DEPENDENCY_MISSING; break;
    case 31: text_id = MSG_INVALID_31; break;
    case plat::LOAD_SYMBOL_MISSING: text_id = MSG_INVALID_127; break;
    case plat::LOAD_BAD_FORMAT: text_id = MSG_INVALID; break;
    case plat::LOAD_INIT_FAILED: text_id = MSG_INIT_FAILED; break;
    default: break;
  }
  if (text_id) {
    message_box_of(ctx, text_id, MSG_LOAD_ERROR_TITLE);
  } else {
    char text[64];
    std::snprintf(text, sizeof text, "%s %ld", "Windows API error code", long(code));
    box(ctx, text, MSG_LOAD_ERROR_TITLE);
  }
  // The loader's own explanation (POSIX) tells which file or symbol is at fault.
  if (detail && *detail) AddErrorInfo(ctx, detail);
  return fail(ctx, ERR_ADDEXT_LOAD_FAILED);
}

// The base name of a library file, lower case, without folder and extensions.
void base_name(const char* path, char* out, size_t cap) {
  const char* base = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\' || *p == ':') base = p + 1;
  size_t n = 0;
  while (base[n] && base[n] != '.' && n + 1 < cap) {
    out[n] = plat::lower_ascii(base[n]);
    ++n;
  }
  out[n] = 0;
}

// A file version "2.0.0.33" read as the number its digits make (20033); 0 when there is none.
uint64_t numeric_version(const char* path) {
  char text[64];
  if (!plat::library_file_version(path, text, sizeof text)) return 0;
  uint64_t v = 0;
  for (const char* p = text; *p && v < UINT64_MAX / 100; ++p)
    if (*p >= '0' && *p <= '9') v = v * 10 + uint64_t(*p - '0');
  return v;
}

// The trace names each library loaded, with the file version it carries ("" when none).
void trace_loaded(RunContext* ctx, void* module) {
  char path[1024] = "", version[64] = "";
  plat::library_path(module, path, sizeof path);
  if (!plat::library_file_version(path, version, sizeof version)) version[0] = 0;
  trace_extender_loaded(ctx, path, version);
}

bool retired(void* module, uint32_t kind) {
  char path[4096], base[64];
  plat::library_path(module, path, sizeof path);
  base_name(path, base, sizeof base);
  for (const char* name : kRetiredNames)
    if (std::strcmp(base, name) == 0) return true;
  if (std::strcmp(base, kRetiredBelowVersion) == 0 && numeric_version(path) < kRetiredVersion) return true;
  char title[128];
  return kind == TOVX_KIND_STRINGS && plat::library_string(module, TITLE_STRING_ID, title, sizeof title) &&
         std::strcmp(title, kRetiredTitle) == 0;
}

// The interface version and kind the library offers (kind 1, version 0 without a query entry).
void query(void* module, int32_t* version, uint32_t* kind) {
  int32_t offered[] = {1, 2, 3, 4, 5};
  const int32_t count = int32_t(sizeof offered / sizeof offered[0]);
  *version = 0;
  *kind = TOVX_KIND_STRINGS;
  if (auto q = reinterpret_cast<TovQueryEntry>(find_entry(module, ENTRY_QUERY_W))) {
    char16_t text[QUERY_BUFFER_CHARS] = {};
    *version = q(TOVX_QUERY_VERSION, text, QUERY_BUFFER_CHARS);
    *kind = uint32_t(q(TOVX_QUERY_KIND, offered, count)) + WIDE_KIND_OFFSET;
  } else if (auto qa = reinterpret_cast<TovQueryEntry>(find_entry(module, ENTRY_QUERY))) {
    char text[QUERY_BUFFER_CHARS] = {};
    *version = qa(TOVX_QUERY_VERSION, text, QUERY_BUFFER_CHARS);
    *kind = uint32_t(qa(TOVX_QUERY_KIND, offered, count));
  }
}

plat::WindowHandle owner_window(RunContext* ctx) {
  return plat::is_window(ctx->hwndOwner) ? ctx->hwndOwner : plat::focus_window();
}

// Calls the records entry (kinds 2 to 5, 100005) with a request and its argument array.
int32_t call_records(RunContext* ctx, uint32_t slot, int32_t request, void* answer, ServiceBlock* block, void* args,
                     int32_t argc, void* result) {
  ExtenderSlot& s = ctx->ext.slots[slot];
  auto entry = reinterpret_cast<TovEntry2>(find_entry(s.module, entry_of_kind(s.kind)));
  if (!entry) return TOVX_FAIL_MEMORY;
  return entry(owner_window(ctx), plat::program_module(), INTERFACE_STAMP, request, answer, block, &s.privateWord,
               args, argc, result);
}

// The initialisation request: a negative answer refuses the load, with the extender's message in a box.
bool initialise(RunContext* ctx, uint32_t slot) {
  ServiceBlock block;
  make_service_block(ctx, &block, nullptr);
  const bool wide = ctx->ext.slots[slot].kind == TOVX_KIND_WIDE;
  char16_t wmessage[INIT_MESSAGE_CHARS] = {};
  char message[INIT_MESSAGE_CHARS * 3] = {};
  void* buffer = wide ? static_cast<void*>(wmessage) : static_cast<void*>(message);
  if (call_records(ctx, slot, TOVX_INIT, nullptr, &block, buffer, INIT_MESSAGE_CHARS, nullptr) >= 0) return true;
  if (wide) {
    wmessage[INIT_MESSAGE_CHARS - 1] = 0;
    const int n = plat::wide_to_ansi(wmessage, int(wstr_len(wmessage)), message, int(sizeof message) - 1,
                                     ctx->nCodePage);
    message[n > 0 ? n : 0] = 0;
  }
  message[INIT_MESSAGE_CHARS - 1] = 0;
  if (message[0]) box(ctx, message, MSG_LOAD_ERROR_TITLE);
  return false;
}

// Appends one reported function. A record whose number cannot be told apart from the slot in the id, whose
// name is empty, or whose kind is neither a function nor a command, is left out: no script could call it
// correctly.
void append_function(RunContext* ctx, uint32_t slot, int64_t number, uint32_t kind, uint64_t arg_types,
                     uint32_t value, const char* name) {
  if (number < 0 || number >= SLOT_ID_STEP || !name[0] || (kind != KW_FUNCTION && kind != KW_COMMAND)) return;
  KeywordEntry& e = ctx->ext.functions[ctx->ext.nFunctions++];
  e = KeywordEntry{};
  e.id = SLOT_ID_STEP * (slot + 1) + uint32_t(number);
  e.kind = kind;
  e.argTypesLow = uint32_t(arg_types);
  e.argTypesHigh = uint32_t(arg_types >> 32);
  e.value = value;
  // The name's own length: the tokenizer steps back over a name by it.
  std::snprintf(e.name, sizeof e.name, "%s", name);
  e.nameLength = uint16_t(std::strlen(e.name));
}

void add_reported(RunContext* ctx, uint32_t slot, uint32_t kind, const void* record) {
  if (kind == TOVX_KIND_STRINGS) {
    TovRegistration1 r;
    std::memcpy(&r, record, sizeof r);
    r.name[sizeof r.name - 1] = 0;
    append_function(ctx, slot, r.number, uint32_t(r.kind), KIND1_ARG_TYPES, r.value, r.name);
    return;
  }
  char name[KEYWORD_NAME_BYTES];
  TovRegistration r;
  std::memcpy(&r, record, sizeof r);
  if (kind == TOVX_KIND_WIDE) {
    TovRegistrationW w;
    std::memcpy(&w, record, sizeof w);
    size_t n = 0;
    while (n < WIDE_NAME_MAX && w.name[n]) ++n;
    const int bytes = plat::wide_to_ansi(reinterpret_cast<const wchar*>(w.name), int(n), name, int(sizeof name) - 1,
                                         ctx->nCodePage);
    name[bytes > 0 ? bytes : 0] = 0;
  } else {
    std::memcpy(name, r.name, sizeof name);
    name[sizeof name - 1] = 0;
  }
  append_function(ctx, slot, r.number, r.kind, uint64_t(r.argTypesHigh) << 32 | r.argTypesLow, r.value, name);
}

// Asks the extender for its functions one by one while the table has room; the last answer.
int32_t register_functions(RunContext* ctx, uint32_t slot) {
  ExtenderSlot& s = ctx->ext.slots[slot];
  ServiceBlock block;
  make_service_block(ctx, &block, nullptr);
  int32_t last = 0;
  for (int32_t i = 0; ctx->ext.nFunctions < EXT_FUNCTIONS_MAX; ++i) {
    union {
      TovRegistration records;
      TovRegistrationW wide;
      TovRegistration1 strings;
    } record{};
    if (s.kind == TOVX_KIND_STRINGS) {
      auto entry = reinterpret_cast<TovEntry1>(find_entry(s.module, ENTRY_STRINGS));
      last = entry(owner_window(ctx), plat::program_module(), INTERFACE_STAMP, TOVX1_ENUMERATE, nullptr, &block,
                   &s.privateWord, reinterpret_cast<const char*>(&record),
                   reinterpret_cast<const char*>(intptr_t(i)), nullptr, nullptr, "");
    } else {
      last = call_records(ctx, slot, TOVX_ENUMERATE, nullptr, &block, &record, i, nullptr);
    }
    if (last != 1) break;
    add_reported(ctx, slot, s.kind, &record);
  }
  return last;
}

struct Target {
  uint32_t slot;
  int32_t number;
};

// The slot and function number behind a token code.
bool target_of(RunContext* ctx, int code, Target* t) {
  const uint32_t index = uint32_t(code - ADDONSTART);
  if (code < ADDONSTART || index >= ctx->ext.nFunctions) return false;
  const uint32_t id = ctx->ext.functions[index].id;
  t->slot = (id - SLOT_ID_STEP) / SLOT_ID_STEP;
  t->number = int32_t(id % SLOT_ID_STEP);
  return t->slot < EXTENDER_SLOTS;
}

void internal_error(RunContext* ctx, uint32_t text_id) { message_box_of(ctx, text_id, MSG_INTERNAL_ERROR); }

// Text arguments of a kind-1 call: the first five arguments as strings ("" for those not given).
void string_arguments(RunContext* ctx, ArgBlock& args, int argc, const char* texts[5]) {
  for (int n = 1; n <= 5; ++n) texts[n - 1] = n <= argc ? arg_str(ctx, args, n) : "";
}

// Records of kinds 2 and 3: the older 20-byte form, strings always ANSI.
bool records20(RunContext* ctx, ArgBlock& args, int argc, ExtValue20* out) {
  for (int n = 1; n <= argc && n <= int(MAX_ARGS); ++n) {
    ValueCore& v = args.slot[n].c;
    if ((v.type & VF_WSTRING) && !(v.type & VF_STRING) && !to_string(ctx, v)) return false;
    ExtValue r;
    record_of(ctx, v, RecordText::Ansi, &r);
    out[n - 1] = ExtValue20{r.f, r.i, r.type, r.str};
  }
  return true;
}

// Calls function `number` of the slot; args40 or args20 carry the arguments of the records kinds.
int32_t invoke(RunContext* ctx, const Target& t, Value* result, void* entry, const char* const texts[5],
               ExtValue* args40, ExtValue20* args20, int32_t argc) {
  ExtenderSlot& s = ctx->ext.slots[t.slot];
  ServiceBlock block;
  make_service_block(ctx, &block, result);
  ctx->es.extenderErrorText[0] = 0;
  AnswerTarget target(ctx, result);
  if (s.kind == TOVX_KIND_STRINGS)
    return reinterpret_cast<TovEntry1>(entry)(owner_window(ctx), plat::program_module(), INTERFACE_STAMP, t.number,
                                             reinterpret_cast<void*>(&viper_answer1), &block, &s.privateWord,
                                             texts[0], texts[1], texts[2], texts[3], texts[4]);
  if (uses_records20(s.kind)) {
    ExtValue20 answer{};
    return reinterpret_cast<TovEntry2>(entry)(owner_window(ctx), plat::program_module(), INTERFACE_STAMP, t.number,
                                             reinterpret_cast<void*>(&viper_answer20), &block, &s.privateWord,
                                             args20, argc, &answer);
  }
  ExtValue answer{};
  return reinterpret_cast<TovEntry2>(entry)(owner_window(ctx), plat::program_module(), INTERFACE_STAMP, t.number,
                                           reinterpret_cast<void*>(&viper_answer), &block, &s.privateWord, args40,
                                           argc, &answer);
}

// The entry of the slot a call goes to, or nullptr after the internal-error box.
void* call_entry(RunContext* ctx, int code, Target* t) {
  void* entry = nullptr;
  if (target_of(ctx, code, t) && ctx->ext.slots[t->slot].module)
    entry = find_entry(ctx->ext.slots[t->slot].module, entry_of_kind(ctx->ext.slots[t->slot].kind));
  if (!entry) {
    internal_error(ctx, MSG_NO_CALL_ENTRY);
    ctx->err = ERR_FUNCTION_NOT_DEFINED;
  }
  return entry;
}

void bi_addextender(RunContext* ctx, Value* result, ArgBlock& a, int argc, bool) {
  const std::string file = arg_ansi(ctx, a, 1);
  if (add_extender(ctx, file.c_str(), argc >= 2 ? arg_int(a, 2) : 0)) set_integer(ctx, result->c, 1);
}

const BuiltinEntry kEntriesTable[] = {
    {KW_ADDEXTENDER, bi_addextender},
};

}  // namespace

extern const BuiltinFamily kExtenderBuiltins = {kEntriesTable, sizeof kEntriesTable / sizeof kEntriesTable[0]};

bool add_extender(RunContext* ctx, const char* file, int32_t required_version) {
  ExtState& x = ctx->ext;
  if (x.nExtenders >= EXTENDER_SLOTS) return fail(ctx, ERR_ADDEXT_TOO_MANY);
  if (x.nFunctions >= EXT_FUNCTIONS_MAX) return fail(ctx, ERR_ADDEXT_TABLE_FULL);
  uint32_t code = 0;
  char detail[512];
  void* module = plat::library_load(file, &code, detail, sizeof detail);
  if (!module) return load_failure(ctx, code, detail);
  trace_loaded(ctx, module);
  int32_t version = 0;
  uint32_t kind = 0;
  query(module, &version, &kind);
  uint16_t refusal = 0;
  if (version < required_version) refusal = ERR_ADDEXT_VERSION;
  else if (retired(module, kind)) refusal = ERR_ADDEXT_OUTDATED;
  else if (!supported_kind(kind)) refusal = ERR_ADDEXT_UNSUPPORTED;
  else if (!find_entry(module, entry_of_kind(kind))) refusal = ERR_ADDEXT_NOT_EXTENDER;
  if (refusal) {
    plat::library_free(module);
    return fail(ctx, refusal);
  }
  uint32_t slot = EXTENDER_SLOTS;
  for (uint32_t i = 0; i < EXTENDER_SLOTS; ++i) {
    if (x.slots[i].module == module) {
      plat::library_free(module);   // the extra reference of this load
      return true;
    }
    if (!x.slots[i].module && slot == EXTENDER_SLOTS) slot = i;
  }
  if (slot == EXTENDER_SLOTS) {
    plat::library_free(module);
    return fail(ctx, ERR_ADDEXT_TOO_MANY);
  }
  // The slot is filled only once the extender agreed to load, so a refusal leaves it free.
  x.slots[slot] = ExtenderSlot{module, kind, 0};
  if (kind != TOVX_KIND_STRINGS && !initialise(ctx, slot)) {
    x.slots[slot] = ExtenderSlot{};
    plat::library_free(module);
    return fail(ctx, ERR_ADDEXT_REFUSED);
  }
  ++x.nExtenders;
  if (register_functions(ctx, slot) == TOVX_FAIL_MINOR) return fail(ctx, ERR_ADDEXT_REFUSED);
  return true;
}

void call_extender(RunContext* ctx, int code, Value* result, ArgBlock& args, int argc, uint64_t signature,
                   bool wide) {
  Target t{};
  void* entry = call_entry(ctx, code, &t);
  if (!entry) return;
  const uint32_t kind = ctx->ext.slots[t.slot].kind;
  const char* texts[5] = {"", "", "", "", ""};
  ExtValue args40[MAX_ARGS] = {};
  ExtValue20 args20[MAX_ARGS] = {};
  if (kind == TOVX_KIND_STRINGS) string_arguments(ctx, args, argc, texts);
  else if (uses_records20(kind) && !records20(ctx, args, argc, args20)) return;
  else fill_records(ctx, args, argc, signature, wide, args40);
  const int32_t status = invoke(ctx, t, result, entry, texts, args40, args20, argc);
  if (status < 0) extender_failure(ctx, status);
}

void call_extender_command(RunContext* ctx, int code, Value* result) {
  Target t{};
  void* entry = call_entry(ctx, code, &t);
  if (!entry) return;
  static const char* const texts[5] = {"", "", "", "", ""};
  ExtValue args40[5];
  string_records(texts, args40);
  ExtValue20 args20[5];
  for (int n = 0; n < 5; ++n) args20[n] = ExtValue20{0.0, 0, VF_STRING, ""};
  const int32_t status = invoke(ctx, t, result, entry, texts, args40, args20, 5);
  if (status < 0) extender_failure(ctx, status);
}

void close_extenders(RunContext* ctx) {
  ServiceBlock block;
  make_service_block(ctx, &block, nullptr);
  for (uint32_t i = 0; i < EXTENDER_SLOTS; ++i) {
    ExtenderSlot& s = ctx->ext.slots[i];
    if (!s.module) continue;
    void* entry = find_entry(s.module, entry_of_kind(s.kind));
    if (!entry) {
      internal_error(ctx, MSG_NO_CLOSE_ENTRY);
      return;
    }
    if (s.kind == TOVX_KIND_STRINGS)
      reinterpret_cast<TovEntry1>(entry)(owner_window(ctx), plat::program_module(), INTERFACE_STAMP, TOVX1_CLOSE,
                                        nullptr, &block, &s.privateWord, "", "", "", "", "");
    else
      call_records(ctx, i, TOVX_CLOSE, nullptr, &block, nullptr, 0, nullptr);
  }
}

void unload_extenders(RunContext* ctx) {
  for (ExtenderSlot& s : ctx->ext.slots) {
    if (s.module) plat::library_free(s.module);
    s = ExtenderSlot{};
  }
  ctx->ext.nExtenders = 0;
  ctx->ext.nFunctions = 0;
}

}  // namespace tov
