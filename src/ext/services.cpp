// The services that host and extender code calls back into: the answer routines and the variable, array,
// error-information and general services. Every service locks the run context through its handle for the
// time of the call and leaves the script's error number as it found it.
#include "ext/services.h"

#include <cstdio>
#include <cstring>

#include "builtins/array_support.h"
#include "diag/error_model.h"
#include "ext/service_internal.h"
#include "diag/errors.h"
#include "engine/context.h"
#include "lang/arrays.h"
#include "lang/heap.h"
#include "lang/values.h"
#include "lang/variables.h"
#include "lang/vartable.h"
#include "platform/memory.h"
#include "platform/text.h"

namespace tov {

namespace {

// Names handed to the variable services: at most 67 characters, the length of a variable pointer.
constexpr size_t SERVICE_NAME_MAX = POINTER_MAX;
constexpr char POINTER_NAME_PREFIX[] = "#VAR$PTR#";
constexpr size_t POINTER_NAME_MIN = 38;
constexpr uint32_t KNOWN_FLAGS = VF_INTEGER | VF_STRING | VF_UNINIT | VF_FLOAT | VF_BINARY | VF_WSTRING | VF_ARRAY |
                                 VF_VARIANT;

// Status of DllVarHandler.
enum VarStatus : int32_t {
  VS_NO_NAME = 2, VS_NAME_TOO_LONG = 3, VS_NO_RECORD = 4, VS_NO_CONTEXT = 5, VS_NO_TABLE = 6, VS_UNDEFINED = 7,
  VS_OBJECT_READ = 8, VS_TABLE_FULL = 9, VS_OBJECT_STORE = 10, VS_NO_STRING_MEMORY = 11, VS_UNKNOWN_REQUEST = 12,
  VS_BAD_POINTER = 13, VS_POINTER_TABLE = 14, VS_SWITCH_BACK = 15, VS_IN_ENGINE_MEMORY = 16, VS_BAD_ARRAY = 17,
};

// Status of DllArrHandler.
enum ElementStatus : int32_t {
  ES_NO_RECORD = 2, ES_NOT_ARRAY = 3, ES_NO_HANDLE = 4, ES_NO_STORAGE = 5, ES_NO_ELEMENT_RECORD = 6,
  ES_NO_CONTEXT = 7, ES_OUT_OF_RANGE = 8, ES_NO_TABLE = 11, ES_OBJECT_READ = 12, ES_EMBEDDED_ARRAY = 13,
  ES_OBJECT_STORE = 14, ES_NO_STRING_MEMORY = 15, ES_UNKNOWN_REQUEST = 16, ES_IN_ENGINE_MEMORY = 17,
};

// Status of DllArrayServices, DllArrayStringsTo... and DllArraySwapElements.
enum ArrayStatus : int32_t {
  AS_FAILED = 1, AS_NO_RECORD = 2, AS_NOT_ARRAY = 3, AS_NO_HANDLE = 4, AS_NO_CONTEXT = 5, AS_NO_TABLE = 6,
  AS_BAD_BLOCK = 7, AS_INVALID_DIMENSION = 8, AS_ZERO_DIMENSION = 9, AS_TOO_LARGE = 10, AS_NO_MEMORY = 11,
  AS_INVALID_TYPE = 12, AS_EMPTY = 13, AS_ACCESS = 14, AS_NO_STRING_MEMORY = 15, AS_UNKNOWN_REQUEST = 16,
};
// DllArraySwapElements numbers some of them its own way.
enum SwapStatus : int32_t { SW_NO_DIMENSIONS = 4, SW_NO_STORAGE = 5, SW_NO_CONTEXT = 6, SW_OUT_OF_RANGE = 7 };

bool record_fits(const void* record, int32_t size) { return record && size >= int32_t(sizeof(ExtValue)); }

uint32_t handle_of(const ExtValue& r) {
  const uintptr_t h = reinterpret_cast<uintptr_t>(r.str);
  return h <= UINT32_MAX ? uint32_t(h) : 0;
}

// Strings in the Engine's string memory may move when it grows: an extender must hand in its own copy.
bool in_string_memory(const RunContext* ctx, const void* p) {
  const auto at = reinterpret_cast<uintptr_t>(p), base = reinterpret_cast<uintptr_t>(ctx->lpHeap);
  return p && ctx->lpHeap && at >= base && at < base + ctx->heapSize;
}

enum class Taken { Ok, Object, InEngineMemory, NoMemory, BadArray };

// A value made from a record: strings copied into the string memory, an array referred to.
Taken value_from_record(RunContext* ctx, const ExtValue& r, ValueCore* out) {
  *out = ValueCore{};
  uint32_t type = r.type & KNOWN_FLAGS;
  if (type & VF_VARIANT) return Taken::Object;
  out->f = r.f;
  out->i = r.i;
  if (type & VF_ARRAY) {
    const uint32_t id = handle_of(r);
    if (!array_checked(id)) return Taken::BadArray;
    out->str = id;
    out->type = type & ~uint32_t(VF_STRING | VF_WSTRING);
    return Taken::Ok;
  }
  if (type & (VF_STRING | VF_WSTRING)) {
    if (in_string_memory(ctx, r.str)) return Taken::InEngineMemory;
    if (type & VF_STRING) {
      const char* s = r.str ? static_cast<const char*>(r.str) : "";
      type &= ~uint32_t(VF_WSTRING);
      if (!(out->str = str_new(ctx, s, std::strlen(s)))) return Taken::NoMemory;
    } else {
      const auto* w = r.str ? static_cast<const wchar*>(r.str) : u"";
      if (!(out->wstr = wstr_new(ctx, w, wstr_len(w)))) return Taken::NoMemory;
    }
  }
  out->type = type;
  return Taken::Ok;
}

// Reads a variable or element into a record. A read asking for one string form adds that form to the
// value when it holds only the other.
bool read_value(RunContext* ctx, ValueCore& v, ExtValue* out, int32_t request) {
  const bool ansi = v.type & VF_STRING, wide = v.type & VF_WSTRING;
  if (request == TOVX_VAR_READ && wide && !ansi && !to_string(ctx, v)) return false;
  if (request == TOVX_VAR_READ_WIDE && ansi && !wide && !to_wstring(ctx, v)) return false;
  record_of(ctx, v, request == TOVX_VAR_READ_WIDE ? RecordText::Wide
                    : request == TOVX_VAR_READ    ? RecordText::Ansi
                                                  : RecordText::AsHeld, out);
  return true;
}

bool is_pointer_name(const char* name, size_t length) {
  return length >= POINTER_NAME_MIN && std::strncmp(name, POINTER_NAME_PREFIX, sizeof POINTER_NAME_PREFIX - 1) == 0;
}

int32_t var_request(RunContext* ctx, const char* name, ExtValue* record, int32_t request) {
  switch (request) {
    case TOVX_VAR_READ:
    case TOVX_VAR_READ_WIDE:
    case TOVX_VAR_READ_RAW: {
      const uint16_t slot = slot_lookup(ctx, name);
      if (slot == SLOT_NONE) return VS_UNDEFINED;
      ValueCore& v = slot_at(ctx, slot)->c;
      if (v.type & VF_VARIANT) return VS_OBJECT_READ;
      return read_value(ctx, v, record, request) ? 0 : VS_NO_STRING_MEMORY;
    }
    case TOVX_VAR_WRITE: {
      ValueCore v;
      switch (value_from_record(ctx, *record, &v)) {
        case Taken::Ok: break;
        case Taken::Object: return VS_OBJECT_STORE;
        case Taken::InEngineMemory: return VS_IN_ENGINE_MEMORY;
        case Taken::NoMemory: return VS_NO_STRING_MEMORY;
        case Taken::BadArray: return VS_BAD_ARRAY;
      }
      const uint16_t slot = slot_find_or_create(ctx, name, false);
      const bool stored = slot != SLOT_NONE && slot_store(ctx, slot, v);
      value_free(ctx, v, VFREE_KEEP_ARRAY);
      if (slot == SLOT_NONE) return VS_TABLE_FULL;
      return stored ? 0 : VS_NO_STRING_MEMORY;
    }
    case TOVX_VAR_DROP: {
      const uint16_t slot = slot_lookup(ctx, name);
      if (slot == SLOT_NONE) return VS_UNDEFINED;
      slot_drop(ctx, slot);
      return 0;
    }
    default: return VS_UNKNOWN_REQUEST;
  }
}

// The array of an array record, or nullptr with the status of what is wrong: not an array, no handle.
ArrayHeader* record_array(const ExtValue* record, int32_t* status, int32_t not_array, int32_t no_handle) {
  if (!(record->type & VF_ARRAY)) {
    *status = not_array;
    return nullptr;
  }
  ArrayHeader* a = array_checked(handle_of(*record));
  if (!a) *status = no_handle;
  return a;
}

ValueCore* element_at(ArrayHeader* a, const int32_t* subs) {
  uint32_t number = 0;
  return element_number(a, subs, &number) ? &array_elements(a)[number] : nullptr;
}

int32_t element_request(RunContext* ctx, ValueCore& e, ExtValue* record, int32_t request) {
  switch (request) {
    case TOVX_VAR_READ:
    case TOVX_VAR_READ_WIDE:
    case TOVX_VAR_READ_RAW:
      if (e.type & VF_VARIANT) return ES_OBJECT_READ;
      return read_value(ctx, e, record, request) ? 0 : ES_NO_STRING_MEMORY;
    case TOVX_VAR_WRITE: {
      if (record->type & VF_ARRAY) return ES_EMBEDDED_ARRAY;
      ValueCore v;
      switch (value_from_record(ctx, *record, &v)) {
        case Taken::Ok: break;
        case Taken::Object: return ES_OBJECT_STORE;
        case Taken::InEngineMemory: return ES_IN_ENGINE_MEMORY;
        case Taken::NoMemory: return ES_NO_STRING_MEMORY;
        case Taken::BadArray: return ES_EMBEDDED_ARRAY;
      }
      const bool stored = store_element(ctx, e, v);
      value_free(ctx, v);
      return stored ? 0 : ES_NO_STRING_MEMORY;
    }
    case TOVX_VAR_DROP:
      value_free(ctx, e);
      e = ValueCore{};
      return 0;
    default: return ES_UNKNOWN_REQUEST;
  }
}

// The status of DllArrayServices for an error number that creating or filling an array raised.
int32_t array_status_of(uint16_t err) {
  switch (err) {
    case ERR_ARR_INVALID_DIM: return AS_INVALID_DIMENSION;
    case ERR_ARR_ZERO_DIM: return AS_ZERO_DIMENSION;
    case ERR_ARR_TOO_LARGE: return AS_TOO_LARGE;
    case ERR_ARR_ALLOC: return AS_NO_MEMORY;
    case ERR_OUT_OF_STRINGS: return AS_NO_STRING_MEMORY;
    default: return AS_FAILED;
  }
}

int32_t array_info(ArrayHeader* a, void* block, int32_t block_size) {
  if (!block || block_size < int32_t(sizeof(TovArrayInfo))) return AS_BAD_BLOCK;
  TovArrayInfo info{};
  std::memcpy(info.dims, a->dims, sizeof info.dims);
  info.rank = a->rank;
  info.elementKind = a->elementKind;
  info.count = a->count;
  info.dataSize = a->dataSize;
  std::memcpy(block, &info, sizeof info);
  return 0;
}

int32_t array_create(RunContext* ctx, ExtValue* record, const void* block, int32_t block_size) {
  int32_t d[ARRAY_MAX_DIMS];
  if (!block || block_size < int32_t(sizeof d)) return AS_BAD_BLOCK;
  std::memcpy(d, block, sizeof d);
  Value made;
  value_init(made);
  if (CreateMyArray(ctx, &made, d[0], d[1], d[2], d[3], d[4], 0, ARRAY_MAX_DIMS) < 0) return array_status_of(ctx->err);
  // The record now holds the new array as its creator; a variable or an answer that takes it holds it too.
  *record = ExtValue{};
  record->type = VF_ARRAY;
  record->str = reinterpret_cast<const void*>(uintptr_t(made.c.str));
  return 0;
}

int32_t array_fill(RunContext* ctx, ArrayHeader* a, const void* block, int32_t block_size) {
  if (!block || block_size < int32_t(sizeof(ExtValue))) return AS_BAD_BLOCK;
  const auto* model = static_cast<const ExtValue*>(block);
  if (model->type & (VF_ARRAY | VF_VARIANT)) return AS_INVALID_TYPE;
  if (!a->rank) return AS_EMPTY;
  ValueCore v;
  switch (value_from_record(ctx, *model, &v)) {
    case Taken::Ok: break;
    case Taken::NoMemory: return AS_NO_STRING_MEMORY;
    default: return AS_INVALID_TYPE;
  }
  int32_t status = 0;
  ValueCore* e = array_elements(a);
  for (uint32_t i = 0; i < a->count && !status; ++i)
    if (!store_element(ctx, e[i], v)) status = AS_NO_STRING_MEMORY;
  value_free(ctx, v);
  return status;
}

int32_t convert_array_strings(void* context, ExtValue* array, int32_t size, bool wide) {
  if (!record_fits(array, size)) return AS_NO_RECORD;
  int32_t status = 0;
  ArrayHeader* a = record_array(array, &status, AS_NOT_ARRAY, AS_NO_HANDLE);
  if (!a) return status;
  ServiceLock lock(context);
  RunContext* ctx = lock.ctx();
  if (!ctx) return AS_NO_CONTEXT;
  if (!lock.tables()) return AS_NO_TABLE;
  ValueCore* e = array_elements(a);
  for (uint32_t i = 0; i < a->count; ++i) {
    const uint32_t has = e[i].type & (VF_STRING | VF_WSTRING);
    if (!has || (has & (wide ? VF_WSTRING : VF_STRING))) continue;
    if (!(wide ? to_wstring(ctx, e[i]) : to_string(ctx, e[i]))) return AS_FAILED;
  }
  return 0;
}

}  // namespace

// --- Records and the service block -----------------------------------------------------------------------

void make_service_block(RunContext* ctx, ServiceBlock* block, Value* request) {
  *block = ServiceBlock{};
  block->context = ctx->hContext;
  block->request = request;
  block->version = TOVX_BLOCK_VERSION;
  block->size = sizeof(ServiceBlock);
  block->dllServices = &dll_services;
  block->hostData = ctx->ext.hostData;
  block->hostWindow = ctx->hwndHost;
  block->varHandler = &dll_var_handler;
  block->arrHandler = &dll_arr_handler;
  block->arrayServices = &dll_array_services;
  block->storeErrorInfo = &dll_store_error_info;
  block->binaryServices = &dll_binary_services;
  block->varHandlerW = &dll_var_handler_w;
  block->arrayStringsToAnsi = &dll_array_strings_to_ansi;
  block->arrayStringsToUnicode = &dll_array_strings_to_unicode;
  block->arraySwapElements = &dll_array_swap_elements;
}

void record_of(RunContext* ctx, const ValueCore& v, RecordText text, ExtValue* out) {
  *out = ExtValue{};
  std::memcpy(out->internal, &v.variant, sizeof out->internal);
  out->f = v.f;
  out->i = v.i;
  uint32_t type = v.type;
  if (type & VF_ARRAY) {
    out->str = reinterpret_cast<const void*>(uintptr_t(v.str));
  } else {
    const bool ansi = type & VF_STRING, wide = type & VF_WSTRING;
    const bool take_wide = text == RecordText::Wide ? wide : (wide && !ansi);
    if (take_wide) {
      out->str = v.wstr ? wstr_at(ctx, v.wstr) : u"";
      type &= ~uint32_t(VF_STRING);
    } else if (ansi) {
      out->str = v.str ? str_at(ctx, v.str) : "";
      type &= ~uint32_t(VF_WSTRING);
    }
  }
  out->type = type;
}

// --- Answers ---------------------------------------------------------------------------------------------

void set_extender_message(RunContext* ctx, const char* text) {
  if (!text) text = "Extender Error: Undefined error occurred";
  std::snprintf(ctx->es.extenderErrorText, sizeof ctx->es.extenderErrorText, "%s", text);
  std::snprintf(ctx->es.userErrorText, sizeof ctx->es.userErrorText, "%s", text);
}

int32_t TOVX_CALL viper_answer(int32_t status, int32_t, ServiceBlock* block, ExtValue* value) {
  if (!block || !value) return TOVX_FAIL_MEMORY;
  ServiceLock lock(block->context);
  RunContext* ctx = lock.ctx();
  if (!ctx) return TOVX_FAIL_MEMORY;
  const uint32_t flags = value->type;
  if ((flags & TOVX_OBJECT_REFERENCE) == TOVX_OBJECT_REFERENCE) return TOVX_FAIL_MEMORY;
  if (status < 0) {
    const bool message = !(flags & (VF_VARIANT | VF_ARRAY | VF_WSTRING | VF_FLOAT | VF_INTEGER)) && value->str;
    set_extender_message(ctx, message ? static_cast<const char*>(value->str) : nullptr);
    return status;
  }
  // Only the call in progress takes an answer.
  auto* out = static_cast<Value*>(block->request);
  if (!out || out != ctx->ext.answerTarget || !ctx->lpHeap) return TOVX_FAIL_MEMORY;
  bool ok = true;
  if (flags & VF_VARIANT) {
    ok = false;   // object values need the COM layer
  } else if (flags & VF_ARRAY) {
    const uint32_t id = handle_of(*value);
    ok = array_checked(id) != nullptr;
    if (ok) {
      value_free(ctx, out->c);
      out->c = ValueCore{};
      out->c.type = VF_ARRAY;
      out->c.str = id;
    }
  } else if (flags & VF_WSTRING) {
    const auto* w = value->str ? static_cast<const wchar*>(value->str) : u"";
    ok = set_wstring(ctx, out->c, w, wstr_len(w));
  } else if (flags & VF_FLOAT) {
    set_float(ctx, out->c, value->f);
  } else if (flags & VF_INTEGER) {
    set_integer(ctx, out->c, value->i);
    if (flags & VF_BINARY) out->c.type |= VF_BINARY;
  } else if (flags & VF_STRING) {
    const char* s = value->str ? static_cast<const char*>(value->str) : "";
    ok = set_string(ctx, out->c, s, std::strlen(s));
  } else if ((flags & TOVX_WSTRING_AT_INTEGER) && sizeof(void*) == sizeof(int32_t)) {
    // Only a 32-bit build can carry an address in the integer.
    const auto* w = reinterpret_cast<const wchar*>(uintptr_t(uint32_t(value->i)));
    ok = set_wstring(ctx, out->c, w ? w : u"", w ? wstr_len(w) : 0);
  } else {
    ok = false;
  }
  return ok ? status : TOVX_FAIL_MEMORY;
}

int32_t TOVX_CALL viper_answer20(int32_t status, int32_t reserved, ServiceBlock* block, ExtValue20* value) {
  if (!value) return TOVX_FAIL_MEMORY;
  ExtValue wide{};
  wide.f = value->f;
  wide.i = value->i;
  wide.type = value->type;
  wide.str = value->str;
  return viper_answer(status, reserved, block, &wide);
}

int32_t TOVX_CALL viper_answer1(int32_t status, int32_t reserved, ServiceBlock* block, int32_t kind, int32_t integer,
                                const char* text) {
  enum { ANSWER1_INTEGER = 0, ANSWER1_NUMBER_TEXT = 2 };
  ExtValue v{};
  v.str = text;
  if (status >= 0 && kind == ANSWER1_INTEGER) {
    v.type = VF_INTEGER;
    v.i = integer;
  } else if (status >= 0 && kind == ANSWER1_NUMBER_TEXT) {
    if (!text || !parse_float_text(text, &v.f)) return TOVX_FAIL_MEMORY;
    v.type = VF_FLOAT;
  } else {
    v.type = status >= 0 ? uint32_t(VF_STRING) : 0;
  }
  return viper_answer(status, reserved, block, &v);
}

// --- Variables and elements ------------------------------------------------------------------------------

int32_t TOVX_CALL dll_var_handler(void* context, const char* name, ExtValue* value, int32_t size, int32_t request) {
  if (!name || !*name) return VS_NO_NAME;
  const size_t length = strnlen(name, SERVICE_NAME_MAX + 1);
  if (length > SERVICE_NAME_MAX) return VS_NAME_TOO_LONG;
  if (request != TOVX_VAR_DROP && !record_fits(value, size)) return VS_NO_RECORD;
  ServiceLock lock(context);
  RunContext* ctx = lock.ctx();
  if (!ctx) return VS_NO_CONTEXT;
  if (!lock.tables()) return VS_NO_TABLE;
  const uint16_t home = ctx->nVarFrame;
  char folded[VARNAME_BYTES];
  if (is_pointer_name(name, length)) {
    // A variable pointer names a variable of its own table, which is current for the call.
    uint16_t frame = 0;
    if (!parse_pointer(ctx, name, &frame, folded)) return VS_BAD_POINTER;
    if (frame != home && !frame_switch(ctx, frame)) return VS_POINTER_TABLE;
  } else {
    fold_name(name, folded);
  }
  const int32_t status = var_request(ctx, folded, value, request);
  if (ctx->nVarFrame != home && !frame_switch(ctx, home)) return VS_SWITCH_BACK;
  return status;
}

int32_t TOVX_CALL dll_var_handler_w(void* context, const uint16_t* name, ExtValue* value, int32_t size,
                                    int32_t request) {
  if (!name || !*name) return VS_NO_NAME;
  // The wide name is cut to the 30 characters of a variable name, then converted like any text.
  const auto* w = reinterpret_cast<const wchar*>(name);
  int n = 0;
  while (n < int(VARNAMESIZE) && w[n]) ++n;
  char narrow[VARNAME_BYTES * 4];
  const int bytes = plat::wide_to_ansi(w, n, narrow, int(sizeof narrow) - 1);
  if (bytes <= 0) return VS_NO_NAME;
  narrow[bytes] = 0;
  return dll_var_handler(context, narrow, value, size, request);
}

int32_t TOVX_CALL dll_arr_handler(void* context, ExtValue* array, int32_t i1, int32_t i2, int32_t i3, int32_t i4,
                                  int32_t i5, ExtValue* element, int32_t size, int32_t request) {
  if (!record_fits(array, size)) return ES_NO_RECORD;
  int32_t status = 0;
  ArrayHeader* a = record_array(array, &status, ES_NOT_ARRAY, ES_NO_HANDLE);
  if (!a) return status;
  if (!a->rank) return ES_NO_HANDLE;
  if (!a->count) return ES_NO_STORAGE;
  if (request != TOVX_VAR_DROP && !record_fits(element, size)) return ES_NO_ELEMENT_RECORD;
  ServiceLock lock(context);
  RunContext* ctx = lock.ctx();
  if (!ctx) return ES_NO_CONTEXT;
  const int32_t subs[ARRAY_MAX_DIMS] = {i1, i2, i3, i4, i5};
  ValueCore* e = element_at(a, subs);
  if (!e) return ES_OUT_OF_RANGE;
  if (!lock.tables()) return ES_NO_TABLE;
  return element_request(ctx, *e, element, request);
}

int32_t TOVX_CALL dll_array_services(void* context, ExtValue* array, int32_t size, void* block, int32_t block_size,
                                     int32_t request) {
  if (!record_fits(array, size)) return AS_NO_RECORD;
  if (request < TOVX_ARRAY_INFO || request > TOVX_ARRAY_FREE) return AS_UNKNOWN_REQUEST;
  int32_t status = 0;
  ArrayHeader* a = nullptr;
  if (request != TOVX_ARRAY_CREATE && !(a = record_array(array, &status, AS_NOT_ARRAY, AS_NO_HANDLE))) return status;
  ServiceLock lock(context);
  RunContext* ctx = lock.ctx();
  if (!ctx) return AS_NO_CONTEXT;
  if (!lock.tables()) return AS_NO_TABLE;
  switch (request) {
    case TOVX_ARRAY_INFO: return array_info(a, block, block_size);
    case TOVX_ARRAY_CREATE: return array_create(ctx, array, block, block_size);
    case TOVX_ARRAY_FILL: return array_fill(ctx, a, block, block_size);
    default:
      // The record lets go of the array: it goes when nothing else holds it.
      array_release_temp(ctx, handle_of(*array));
      array->type = 0;
      array->str = nullptr;
      return 0;
  }
}

int32_t TOVX_CALL dll_array_strings_to_ansi(void* context, ExtValue* array, int32_t size) {
  return convert_array_strings(context, array, size, false);
}

int32_t TOVX_CALL dll_array_strings_to_unicode(void* context, ExtValue* array, int32_t size) {
  return convert_array_strings(context, array, size, true);
}

int32_t TOVX_CALL dll_array_swap_elements(void* context, ExtValue* array, int32_t size, int32_t i1, int32_t i2,
                                          int32_t i3, int32_t i4, int32_t i5, int32_t j1, int32_t j2, int32_t j3,
                                          int32_t j4, int32_t j5) {
  if (!record_fits(array, size)) return AS_NO_RECORD;
  int32_t status = 0;
  ArrayHeader* a = record_array(array, &status, AS_NOT_ARRAY, SW_NO_DIMENSIONS);
  if (!a) return status;
  if (!a->rank) return SW_NO_DIMENSIONS;
  if (!a->count) return SW_NO_STORAGE;
  ServiceLock lock(context);
  if (!lock.ctx()) return SW_NO_CONTEXT;
  const int32_t first[ARRAY_MAX_DIMS] = {i1, i2, i3, i4, i5}, second[ARRAY_MAX_DIMS] = {j1, j2, j3, j4, j5};
  ValueCore *x = element_at(a, first), *y = element_at(a, second);
  if (!x || !y) return SW_OUT_OF_RANGE;
  std::swap(*x, *y);
  return 0;
}

// --- Additional error information and the general entry -------------------------------------------------

int32_t TOVX_CALL dll_store_error_info(void* context, const char* text) {
  ServiceLock lock(context);
  if (!lock.ctx()) return 2;
  if (text && *text) AddErrorInfo(lock.ctx(), text);
  return 0;
}

intptr_t TOVX_CALL dll_services(void* context, int32_t request, intptr_t p2, intptr_t p3, intptr_t p4, intptr_t p5) {
  ServiceLock lock(context);
  RunContext* ctx = lock.ctx();
  if (!ctx) return 0;
  const auto* text2 = reinterpret_cast<const char*>(p2);
  switch (request & 0xFFFF) {
    case TOVX_SVC_SET_VARIABLE: return dll_services_set_variable(ctx, text2, reinterpret_cast<const void*>(p3), p5);
    case TOVX_SVC_GET_VARIABLE: {
      auto* out = reinterpret_cast<char*>(p3);
      // The name may carry a subscript list ("a[1, 2]") for an element.
      if (!lock.tables() || !text2 || !out || p4 <= 0) return 0;
      return variable_value_as_text(ctx, text2, out, size_t(p4)) >= 0 ? 1 : 0;
    }
    case TOVX_SVC_PUT_BINARY: return dll_services_put_binary(ctx, int32_t(p5), reinterpret_cast<const void*>(p2), p3);
    case TOVX_SVC_STRING_ADDRESS:
      if (!ctx->lpHeap || p5 < intptr_t(HEAP_FIRST_BLOCK) || uintptr_t(p5) >= ctx->heapEnd) return 0;
      return reinterpret_cast<intptr_t>(str_at(ctx, uint32_t(p5)));
    case TOVX_SVC_STRING_NEW: {
      if (!ctx->lpHeap) return 0;
      const char* s = text2 ? text2 : "";
      return intptr_t(str_new(ctx, s, std::strlen(s)));
    }
    case TOVX_SVC_BINARY_INFO:
    case TOVX_SVC_BINARY_SET_END: return dll_services_binary(ctx, request & 0xFFFF, text2, int32_t(p3), p4, p5);
    case TOVX_SVC_ERROR_INFO:
      if (text2 && *text2) AddErrorInfo(ctx, text2);
      return 1;
    case TOVX_SVC_PARENT_WINDOW: return reinterpret_cast<intptr_t>(ctx->hwndOwner);
    default: return 0;
  }
}

}  // namespace tov
