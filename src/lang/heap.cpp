// The string heap's allocator: next-fit over a circular free list, boundary-tag merging on free, growth
// in place by committing more of the host's reservation.
#include "lang/heap.h"
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <vector>
#include "platform/memory.h"
#include "platform/ui.h"
#include "resources/strings.h"

namespace tov {
namespace {

static_assert(std::endian::native == std::endian::little, "the boundary tags are stored as little-endian words");

constexpr uint32_t tag(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}
constexpr uint32_t TAG_USED = tag("5678");
constexpr uint32_t TAG_FREE = tag("QRST");

constexpr uint32_t HEAD = 0;            // free-list head
constexpr uint32_t ROVER = 28;          // the roving pointer's word in the block at 20
constexpr uint32_t SIZE = 4, NEXT = 8, PREV = 12;   // fields relative to a block
constexpr uint32_t OVERHEAD = 15;       // header (8) + trailer tag (4) + rounding up to a multiple of 4
constexpr uint32_t GROWN_BLOCK_EXTRA = HEAP_GROWTH - 12;   // the grown block holds need + 32756 bytes
constexpr uint32_t NO_MEMORY = 8;       // the system's "not enough memory" error

constexpr uint32_t MSG_DYNALLOC_CAPTION = 845;
constexpr uint32_t MSG_TAG_OVERWRITE_1 = 846;
constexpr uint32_t MSG_TAG_OVERWRITE_2 = 847;

// Aligned 32-bit words of the heap. Callers write bytes into the same memory, so words go through
// memcpy, which compiles to a single load or store.
inline uint32_t rd(const char* h, uint32_t off) {
  uint32_t v;
  std::memcpy(&v, h + off, 4);
  return v;
}
inline void wr(char* h, uint32_t off, uint32_t v) { std::memcpy(h + off, &v, 4); }

inline void unlink(char* h, uint32_t b) {
  uint32_t next = rd(h, b + NEXT), prev = rd(h, b + PREV);
  wr(h, prev + NEXT, next);
  wr(h, next + PREV, prev);
}

inline void insert_front(char* h, uint32_t b) {
  uint32_t first = rd(h, HEAD + NEXT);
  wr(h, b + NEXT, first);
  wr(h, b + PREV, HEAD);
  wr(h, first + PREV, b);
  wr(h, HEAD + NEXT, b);
}

inline bool valid_size(uint32_t size) { return size >= HEAP_MIN_BLOCK && (size & 3) == 0; }

void report_tag_overwrite(RunContext* ctx, uint32_t text_id) {
  char text[64], caption[64];
  load_string(ctx, text_id, text, sizeof text);
  load_string(ctx, MSG_DYNALLOC_CAPTION, caption, sizeof caption);
  plat::message_box(ctx->hwndHost, text, caption, plat::MB_OK_ONLY);
}

// Frees the block at offset; false when it was not freed.
bool free_block(RunContext* ctx, uint32_t offset) {
  char* h = ctx->lpHeap;
  const uint32_t end = ctx->heapEnd;
  if ((offset & 3) != 0 || offset < HEAP_FIRST_BLOCK + 8 || offset - 8 >= end) return false;
  uint32_t b = offset - 8;
  // Only a used block is freed: freeing a block twice must not put it on the list twice.
  if (rd(h, b) != TAG_USED) return false;
  uint32_t size = rd(h, b + SIZE);

  // Both neighbours are checked before anything changes, so a damaged tag leaves the heap as it was.
  const uint32_t prev_tag = rd(h, b - 4);
  uint32_t prev = 0, prev_size = 0;
  if (prev_tag == TAG_FREE) {
    prev_size = rd(h, b - 8);
    prev = b - prev_size;
    if (!valid_size(prev_size) || prev_size > b - HEAP_FIRST_BLOCK || rd(h, prev) != TAG_FREE ||
        rd(h, prev + SIZE) != prev_size) {
      report_tag_overwrite(ctx, MSG_TAG_OVERWRITE_1);
      return false;
    }
  } else if (prev_tag != TAG_USED) {
    report_tag_overwrite(ctx, MSG_TAG_OVERWRITE_1);
    return false;
  }
  if (!valid_size(size) || size > end - b) {
    report_tag_overwrite(ctx, MSG_TAG_OVERWRITE_2);
    return false;
  }
  const uint32_t next = b + size;
  const uint32_t next_tag = rd(h, next);
  if (next_tag != TAG_FREE && next_tag != TAG_USED) {
    report_tag_overwrite(ctx, MSG_TAG_OVERWRITE_2);
    return false;
  }

  const uint32_t rover = rd(h, ROVER);
  wr(h, b, TAG_FREE);   // stays behind inside a merged block: a second free of this offset is refused
  if (prev_tag == TAG_FREE) {
    unlink(h, prev);
    if (rover == prev) wr(h, ROVER, HEAD);
    b = prev;
    size += prev_size;
  }
  if (next_tag == TAG_FREE) {
    unlink(h, next);
    if (rover == next) wr(h, ROVER, HEAD);
    size += rd(h, next + SIZE);
  }
  wr(h, b, TAG_FREE);
  wr(h, b + SIZE, size);
  wr(h, b + size - 8, size);
  wr(h, b + size - 4, TAG_FREE);
  insert_front(h, b);
  return true;
}

// Commits more of the reservation and adds a free block of at least need bytes at the end.
bool grow(RunContext* ctx, uint32_t need) {
  const uint64_t page = plat::vm_page_size();
  uint64_t committed = uint64_t(ctx->heapSize) + need + HEAP_GROWTH;
  committed = (committed + page - 1) / page * page;
  // Offsets are 32-bit, and growth stops at the end of the host's reservation: both are out of memory.
  if (committed > UINT32_MAX) return false;
  HeapInfo* info = ctx->lpHeapInfo;
  if (info && info->reserved != 0 && committed > info->reserved) return false;

  uint32_t error = 0;
  if (!plat::vm_commit(ctx->lpHeap, committed, &error)) {
    if (error != NO_MEMORY) {
      char text[16];
      std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(error));
      plat::message_box(ctx->hwndHost, text, "VMalloc error - VirtualAlloc failed", plat::MB_OK_ONLY);
    }
    return false;
  }
  ctx->heapSize = static_cast<uint32_t>(committed);
  if (info) {
    info->committed = ctx->heapSize;
    info->base = ctx->lpHeap;
  }

  // The old end marker becomes the header of a used block that is then freed, merging with a free
  // block before it; a new end marker follows.
  char* h = ctx->lpHeap;
  const uint32_t b = ctx->heapEnd;
  const uint32_t size = need + GROWN_BLOCK_EXTRA;
  wr(h, b, TAG_USED);
  wr(h, b + SIZE, size);
  wr(h, b + size - 4, TAG_USED);
  wr(h, b + size, TAG_USED);
  ctx->heapEnd = b + size;
  return free_block(ctx, b + 8);
}

}  // namespace

bool heap_init(RunContext* ctx, char* base, uint32_t size) {
  if (!base || size < HEAP_MIN_SIZE) return false;
  const uint32_t total = size & ~3u;
  const uint32_t first = total - HEAP_FIRST_BLOCK - 16;
  char* h = base;
  wr(h, 0, TAG_USED);
  wr(h, 4, 0);
  wr(h, HEAD + NEXT, HEAP_FIRST_BLOCK);
  wr(h, HEAD + PREV, HEAP_FIRST_BLOCK);
  wr(h, 16, TAG_USED);
  wr(h, 20, TAG_USED);
  wr(h, 24, 0);
  wr(h, ROVER, HEAD);
  wr(h, 32, 0);
  wr(h, 36, TAG_USED);
  const uint32_t b = HEAP_FIRST_BLOCK;
  wr(h, b, TAG_FREE);
  wr(h, b + SIZE, first);
  wr(h, b + NEXT, HEAD);
  wr(h, b + PREV, HEAD);
  wr(h, b + first - 8, first);
  wr(h, b + first - 4, TAG_FREE);
  wr(h, total - 16, TAG_USED);
  ctx->lpHeap = base;
  ctx->itemMark.text = 0;
  ctx->lengthMark.text = 0;
  for (int k = 0; k < LENT_BLOCKS; ++k) ctx->lentText[k] = ctx->lentCapacity[k] = 0;
  ctx->nLentNext = 0;
  ctx->heapSize = size;
  ctx->heapEnd = total - 16;
  return true;
}

uint32_t VMalloc(RunContext* ctx, uint32_t n) {
  // A request whose block would not fit in 32-bit offsets can never be met.
  if (n > UINT32_MAX - HEAP_GROWTH - OVERHEAD) return 0;
  uint32_t need = (n + OVERHEAD) & ~3u;
  if (need < HEAP_MIN_BLOCK) need = HEAP_MIN_BLOCK;

  char* h = ctx->lpHeap;
  if (!h) return 0;
  uint32_t rover = rd(h, ROVER);
  uint32_t cur = rover;
  int heads = 0;   // a search that meets the head twice has seen every free block
  uint32_t size;
  for (;;) {
    if (cur == HEAD) {
      if (++heads == 2) {
        wr(h, ROVER, rover);
        if (!grow(ctx, need)) return 0;
        rover = rd(h, ROVER);
        cur = rover;
        heads = 0;
        continue;
      }
      cur = rd(h, HEAD + NEXT);
      continue;
    }
    size = rd(h, cur + SIZE);
    if (size >= need) break;
    rover = cur;
    cur = rd(h, cur + NEXT);
  }

  const uint32_t rest = size - need;
  if (rest >= HEAP_MIN_BLOCK) {
    // Split from the top: the free block keeps its place in the list.
    wr(h, cur + SIZE, rest);
    wr(h, cur + rest - 8, rest);
    wr(h, cur + rest - 4, TAG_FREE);
    const uint32_t b = cur + rest;
    wr(h, b, TAG_USED);
    wr(h, b + SIZE, need);
    wr(h, b + need - 4, TAG_USED);
    wr(h, ROVER, rover);
    return b + 8;
  }
  unlink(h, cur);
  wr(h, ROVER, rover == cur ? HEAD : rover);
  wr(h, cur, TAG_USED);
  wr(h, cur + size - 4, TAG_USED);
  return cur + 8;
}

void VFree(RunContext* ctx, uint32_t offset) {
  if (offset == ctx->itemMark.text) ctx->itemMark.text = 0;
  if (offset == ctx->lengthMark.text) ctx->lengthMark.text = 0;
  free_block(ctx, offset);
}

uint32_t heap_capacity(const RunContext* ctx, uint32_t offset) {
  const char* h = ctx->lpHeap;
  if (!h || (offset & 3) != 0 || offset < HEAP_FIRST_BLOCK + 8 || offset - 8 >= ctx->heapEnd) return 0;
  const uint32_t b = offset - 8;
  const uint32_t size = rd(h, b + SIZE);
  if (rd(h, b) != TAG_USED || !valid_size(size) || size > ctx->heapEnd - b || rd(h, b + size - 4) != TAG_USED)
    return 0;
  return size - 12;
}

bool heap_check(const RunContext* ctx, HeapStats* stats) {
  const char* h = ctx->lpHeap;
  const uint32_t end = ctx->heapEnd;
  if (!h || end < HEAP_FIRST_BLOCK || uint64_t(end) + 4 > ctx->heapSize || (end & 3) != 0) return false;
  if (rd(h, 0) != TAG_USED || rd(h, 16) != TAG_USED || rd(h, 20) != TAG_USED || rd(h, 36) != TAG_USED ||
      rd(h, end) != TAG_USED)
    return false;

  HeapStats s{};
  std::vector<uint32_t> free_blocks;   // ascending, as the walk finds them
  bool prev_free = false;
  for (uint32_t b = HEAP_FIRST_BLOCK; b != end;) {
    const uint32_t t = rd(h, b), size = rd(h, b + SIZE);
    if (!valid_size(size) || size > end - b || rd(h, b + size - 4) != t) return false;
    if (t == TAG_FREE) {
      if (prev_free || rd(h, b + size - 8) != size) return false;
      free_blocks.push_back(b);
      ++s.freeBlocks;
      s.freeBytes += size;
      if (size > s.largestFree) s.largestFree = size;
    } else if (t == TAG_USED) {
      ++s.usedBlocks;
      s.usedBytes += size;
    } else {
      return false;
    }
    prev_free = t == TAG_FREE;
    b += size;
  }

  // The list, followed from the head, visits every free block once with matching back links.
  uint32_t prev = HEAD, count = 0;
  for (uint32_t b = rd(h, HEAD + NEXT); b != HEAD; prev = b, b = rd(h, b + NEXT)) {
    if (++count > free_blocks.size() || rd(h, b + PREV) != prev ||
        !std::binary_search(free_blocks.begin(), free_blocks.end(), b))
      return false;
  }
  if (count != free_blocks.size() || rd(h, HEAD + PREV) != prev) return false;
  const uint32_t rover = rd(h, ROVER);
  if (rover != HEAD && !std::binary_search(free_blocks.begin(), free_blocks.end(), rover)) return false;
  if (stats) *stats = s;
  return true;
}

}  // namespace tov
