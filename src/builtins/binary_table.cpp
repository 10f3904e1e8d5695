// The table of binary buffers of a run context.
#include <algorithm>

#include "builtins/binary.h"
#include "diag/errors.h"
#include "engine/context.h"

namespace tov {

BinaryEntry* binary_find(RunContext* ctx, int32_t handle) {
  const int64_t slot = int64_t(handle) - BINARY_HANDLE_BASE;
  if (slot < 0 || slot >= BINARY_SLOTS) return nullptr;
  BinaryEntry* b = &ctx->binaries.entry[slot];
  return b->mem ? b : nullptr;
}

BinaryEntry* binary_get(RunContext* ctx, int32_t handle) {
  BinaryEntry* b = binary_find(ctx, handle);
  if (!b) ctx->err = ERR_BINARY_HANDLE;
  return b;
}

int32_t binary_handle(const RunContext* ctx, const BinaryEntry* b) {
  return BINARY_HANDLE_BASE + int32_t(b - ctx->binaries.entry);
}

uint16_t binary_alloc(RunContext* ctx, int32_t size, int32_t* handle) {
  BinaryEntry* const table = ctx->binaries.entry;
  BinaryEntry* b = std::find_if(table, table + BINARY_SLOTS, [](const BinaryEntry& e) { return e.mem == 0; });
  if (b == table + BINARY_SLOTS) return ERR_BINARY_TOO_MANY;
  if (size < 0) return ERR_BINARY_ALLOC;
  // An empty buffer still owns a block, so that its entry is taken.
  const plat::MemId mem = plat::mem_alloc(size ? size_t(size) : 1, true);
  void* data = mem ? plat::mem_lock(mem) : nullptr;
  if (!data) {
    if (mem) plat::mem_free(mem);
    return ERR_BINARY_ALLOC;
  }
  *b = BinaryEntry{};
  b->mem = mem;
  b->data = static_cast<uint8_t*>(data);
  b->size = size;
  *handle = binary_handle(ctx, b);
  return 0;
}

bool binary_free(RunContext* ctx, int32_t handle) {
  BinaryEntry* b = binary_find(ctx, handle);
  if (!b) return false;
  plat::mem_unlock(b->mem);
  plat::mem_free(b->mem);
  *b = BinaryEntry{};
  return true;
}

void binary_free_all(RunContext* ctx) {
  for (int slot = 0; slot < BINARY_SLOTS; ++slot) binary_free(ctx, BINARY_HANDLE_BASE + slot);
}

uint16_t binary_set_eod(BinaryEntry* b, int32_t eod, int32_t* previous) {
  if (eod < 0) return ERR_BINARY_OFFSET;
  if (eod > b->size) return ERR_BINARY_EODSET;
  *previous = b->eod;
  b->eod = eod;
  return 0;
}

}  // namespace tov
