// The string heap: one contiguous area per run context, addressed by 32-bit offsets from its base, with
// boundary-tagged blocks, a circular free list and next-fit allocation with a roving pointer.
//
// Layout of a heap of T bytes: the free-list head at 0 (a used-tagged block of size 0 whose words at 8
// and 12 are the list's next and previous links), the roving-pointer block at 20 (the word at 28 is the
// free block where the next search starts, 0 for the head), the first block at 40, the end marker at
// the offset recorded in the run context (T - 16 when fresh). Used blocks: "5678", size, the caller's
// bytes, "5678". Free blocks: "QRST", size, next, previous, ..., size, "QRST". Sizes include header
// and trailer, are multiples of 4 and at least 28; two free blocks are never adjacent.
#pragma once
#include <cstdint>
#include "engine/context.h"

namespace tov {

constexpr uint32_t HEAP_FIRST_BLOCK = 40;
constexpr uint32_t HEAP_MIN_BLOCK = 28;
constexpr uint32_t HEAP_MIN_SIZE = HEAP_FIRST_BLOCK + HEAP_MIN_BLOCK + 16;   // room for the fixed layout
constexpr uint32_t HEAP_GROWTH = 32768;         // the heap grows by the block needed plus this much

// Lays out a fresh heap of size committed bytes at base and records it in the context (lpHeap,
// heapSize, heapEnd). False when size is too small for the fixed layout.
bool heap_init(RunContext* ctx, char* base, uint32_t size);

// Offset of n usable bytes (4-byte aligned, not cleared), or 0 when the memory cannot be had.
uint32_t VMalloc(RunContext* ctx, uint32_t n);
// Returns the block at offset (as VMalloc gave it) to the heap. A damaged boundary tag is reported in a
// message box and the block is leaked; an offset that is not a used block is ignored.
void VFree(RunContext* ctx, uint32_t offset);

// The usable bytes of the used block at offset (at least what VMalloc was asked for), 0 for anything that is
// not a used block: a string may grow within them without moving.
uint32_t heap_capacity(const RunContext* ctx, uint32_t offset);

inline char* heap_ptr(const RunContext* ctx, uint32_t offset) { return ctx->lpHeap + offset; }
inline char16_t* heap_wptr(const RunContext* ctx, uint32_t offset) {
  return reinterpret_cast<char16_t*>(ctx->lpHeap + offset);
}

struct HeapStats {
  uint32_t usedBlocks, usedBytes;
  uint32_t freeBlocks, freeBytes;
  uint32_t largestFree;
};

// Walks every block and the free list and checks the heap's invariants: tags, sizes, no adjacent free
// blocks, a free list that holds exactly the free blocks with consistent links, a roving pointer at a
// free block or the head, the end marker. False at the first violation. Fills stats when given.
bool heap_check(const RunContext* ctx, HeapStats* stats = nullptr);

}  // namespace tov
