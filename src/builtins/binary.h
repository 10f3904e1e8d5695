// Binary buffers: the table of a run context's buffers, shared by the binary built-ins, the extender
// services and foreign function calls. A script knows a buffer only by its handle, the entry's index plus
// BINARY_HANDLE_BASE.
#pragma once
#include <cstdint>

#include "platform/memory.h"

namespace tov {

struct RunContext;

constexpr int BINARY_SLOTS = 128;
constexpr int32_t BINARY_HANDLE_BASE = 987659;   // the handle of entry 0

// One buffer. An entry that is all zero is free, so a zero-filled context holds an empty table.
struct BinaryEntry {
  plat::MemId mem;       // the buffer's zero-filled block, locked while the buffer exists; 0: entry free
  uint8_t* data;         // the block's address
  uint32_t oleType;      // how the buffer is passed to COM objects, set by BinaryOleType (0: not set)
  uint32_t oleFlags;
  int32_t size;          // bytes, fixed at allocation
  int32_t eod;           // end of data: the number of meaningful bytes, 0 <= eod <= size
  uint32_t reserved[2];
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(BinaryEntry) == 32, "the buffer entry keeps its 32-bit layout");
#endif

struct BinaryTable {
  BinaryEntry entry[BINARY_SLOTS];
};

// The buffer of a handle, or nullptr when the handle lies outside the table or names a free entry.
// Leaves the run's error number alone.
BinaryEntry* binary_find(RunContext* ctx, int32_t handle);
// As binary_find, raising 3023 "BinaryData: Invalid Binary Data handle passed" when there is no buffer.
BinaryEntry* binary_get(RunContext* ctx, int32_t handle);
int32_t binary_handle(const RunContext* ctx, const BinaryEntry* b);

// Allocates a zero-filled buffer of size bytes (0 allowed) with end of data 0 in the first free entry.
// Returns 0 and the handle, or the error without raising it: 3024 when every entry is taken, 1126 when
// the memory cannot be had or the size is negative.
uint16_t binary_alloc(RunContext* ctx, int32_t size, int32_t* handle);
// Frees the buffer of a handle and clears its entry; false when there is no such buffer.
bool binary_free(RunContext* ctx, int32_t handle);
// Frees every buffer of the context (at shutdown).
void binary_free_all(RunContext* ctx);

// Sets the end of data, keeping the previous one in *previous. Returns 0, or the error without raising
// it: 1548 for a negative end, 3127 for one beyond the size.
uint16_t binary_set_eod(BinaryEntry* b, int32_t eod, int32_t* previous);

// Decompresses a zlib stream of source_size bytes into target (the exported UncompressBuffer). Returns
// the number of bytes stored, or one of these.
enum UncompressStatus : int32_t {
  UNCOMPRESS_BAD_ARGUMENTS = -1,   // a null address with a size, or a size above 2147483647
  UNCOMPRESS_BAD_DATA = -2,        // not a complete zlib stream
  UNCOMPRESS_NO_ROOM = -3,         // the data does not fit in target_size bytes
  UNCOMPRESS_NO_MEMORY = -4,
};
int32_t uncompress_buffer(const void* source, uint32_t source_size, void* target, uint32_t target_size);

}  // namespace tov
