// Memory facilities: movable blocks, host-owned blocks and reserved address space.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// Movable memory blocks owned by the Engine (arrays, function bodies, work buffers, variable tables of
// call frames). They are named by 32-bit ids in every build, 0 meaning none, so that the fixed records
// holding them keep their widths on 64-bit systems. Every block keeps a lock count like a global-memory
// block: lock adds one, unlock removes one, free releases the block whatever the count.
using MemId = uint32_t;

MemId mem_alloc(size_t size, bool zero_fill);   // 0 when the memory cannot be obtained
bool mem_realloc(MemId id, size_t size);        // keeps the id and the content; new bytes are zero
void* mem_lock(MemId id);                       // nullptr for an unknown id
bool mem_unlock(MemId id);                      // false when the block was not locked
uint32_t mem_lock_count(MemId id);
void* mem_address(MemId id);                    // the block's address without changing its lock count
size_t mem_size(MemId id);
void mem_free(MemId id);
bool mem_valid(MemId id);
size_t mem_live_count();                        // blocks allocated and not freed (leak checks)

// Blocks that a host allocates and hands to the Engine (the run context, the variable table, script
// text). Their handles are pointer-sized: a global-memory handle on Windows, an opaque block on POSIX.
using HostHandle = void*;

HostHandle host_alloc(size_t size);             // zero-filled; nullptr on failure
HostHandle host_realloc(HostHandle h, size_t size);   // keeps the handle (returned); nullptr on failure
void* host_lock(HostHandle h);                  // nullptr for an empty or unknown handle
bool host_unlock(HostHandle h);
size_t host_size(HostHandle h);
void host_free(HostHandle h);

// Address space: reserved once, then committed from its base as it grows (the string heap never moves).
void* vm_reserve(size_t bytes);                 // nullptr on failure
bool vm_commit(void* base, size_t bytes, uint32_t* system_error);  // system_error 8: not enough memory
void vm_release(void* base, size_t reserved_bytes);
size_t vm_page_size();

}  // namespace plat
