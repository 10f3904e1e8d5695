// The binary-buffer services for extenders: DllBinaryServices and the buffer requests of DLLServices.
#include <cstring>

#include "builtins/binary.h"
#include "ext/service_internal.h"
#include "ext/services.h"
#include "diag/errors.h"
#include "lang/values.h"
#include "lang/vartable.h"

namespace tov {

namespace {

// Results of DllBinaryServices.
enum BinaryStatus : int32_t {
  BS_BAD_HANDLE = -2, BS_NO_CONTEXT = -3, BS_ALL_USED = -5, BS_NO_MEMORY = -6, BS_TOO_LARGE = -7,
  BS_UNKNOWN_REQUEST = -8,
};

// The buffer a variable holds (its handle in the integer with the binary flag), or nullptr.
BinaryEntry* buffer_of_variable(RunContext* ctx, const char* name) {
  if (!ctx->lpVars) return nullptr;
  char folded[VARNAME_BYTES];
  fold_name(name, folded);
  const uint16_t slot = slot_lookup(ctx, folded);
  if (slot == SLOT_NONE) return nullptr;
  const ValueCore& v = slot_at(ctx, slot)->c;
  return (v.type & (VF_INTEGER | VF_BINARY)) == (VF_INTEGER | VF_BINARY) ? binary_find(ctx, v.i) : nullptr;
}

intptr_t binary_put(BinaryEntry* b, const void* data, intptr_t size) {
  if (!b || size < 0 || (size && !data)) return -1;
  const int32_t n = size > b->size ? b->size : int32_t(size);
  std::memmove(b->data, data, size_t(n));   // the bytes may come from the buffer itself
  b->eod = n;
  return n == size ? 1 : 0;
}

}  // namespace

intptr_t dll_services_put_binary(RunContext* ctx, int32_t handle, const void* data, intptr_t size) {
  return binary_put(binary_find(ctx, handle), data, size);
}

intptr_t dll_services_set_variable(RunContext* ctx, const char* name, const void* data, intptr_t size) {
  if (!name || !*name || !ctx->lpVars || !ctx->lpHeap) return 0;
  if (BinaryEntry* b = buffer_of_variable(ctx, name)) return binary_put(b, data, size);
  return set_variable_by_name(ctx, name, data ? data : "", VF_STRING) ? 1 : 0;
}

intptr_t dll_services_binary(RunContext* ctx, int32_t request, const char* name, int32_t handle, intptr_t selector,
                             intptr_t end) {
  BinaryEntry* b = name && *name ? buffer_of_variable(ctx, name) : binary_find(ctx, handle);
  if (!b) return 0;
  if (request == TOVX_SVC_BINARY_SET_END) {
    int32_t previous = 0;
    if (selector != -1 || end < INT32_MIN || end > INT32_MAX || binary_set_eod(b, int32_t(end), &previous)) return 0;
    return b->eod;
  }
  switch (selector) {
    case 1: return intptr_t(b->mem);
    case 2: return b->size;
    case 3: return b->eod;
    default: return 0;
  }
}

intptr_t TOVX_CALL dll_binary_services(void* context, int32_t buffer, int32_t size, int32_t request) {
  if (request < TOVX_BINARY_ALLOC || request > TOVX_BINARY_SET_END) return BS_UNKNOWN_REQUEST;
  ServiceLock lock(context);
  RunContext* ctx = lock.ctx();
  if (!ctx) return BS_NO_CONTEXT;
  if (request == TOVX_BINARY_ALLOC) {
    int32_t handle = 0;
    switch (binary_alloc(ctx, size, &handle)) {
      case 0: return handle;
      case ERR_BINARY_TOO_MANY: return BS_ALL_USED;
      default: return BS_NO_MEMORY;
    }
  }
  BinaryEntry* b = binary_find(ctx, buffer);
  if (!b) return BS_BAD_HANDLE;
  switch (request) {
    case TOVX_BINARY_FREE: binary_free(ctx, buffer); return 0;
    case TOVX_BINARY_ADDRESS: return reinterpret_cast<intptr_t>(b->data);
    case TOVX_BINARY_END: return b->eod;
    case TOVX_BINARY_SIZE: return b->size;
    default: {
      const int32_t previous = b->eod;
      if (size < 0 || size > b->size) return BS_TOO_LARGE;
      b->eod = size;
      return previous;
    }
  }
}

}  // namespace tov
