// The process-wide table of movable blocks. An id holds the slot number in its low 24 bits and the
// slot's generation in its high 8 bits, so an id kept after its block was freed does not name the block
// that reuses the slot. Slots live in chunks that are allocated on first use and never move or go away:
// lookups read them without the mutex, which only serialises allocation, resizing and freeing.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include "platform/hooks.h"
#include "platform/memory.h"

namespace plat {
namespace {

constexpr uint32_t CHUNK_BITS = 12;
constexpr uint32_t CHUNK_SLOTS = 1u << CHUNK_BITS;
constexpr uint32_t SLOT_BITS = 24;
constexpr uint32_t SLOT_MASK = (1u << SLOT_BITS) - 1;
constexpr uint32_t MAX_SLOTS = SLOT_MASK;                 // slot + 1 must fit the low 24 bits
constexpr uint32_t MAX_CHUNKS = (MAX_SLOTS + CHUNK_SLOTS - 1) / CHUNK_SLOTS;
constexpr uint32_t NO_SLOT = 0xFFFFFFFF;

struct Slot {
  std::atomic<MemId> id{0};             // the live block's id, 0 while the slot is free
  std::atomic<void*> backing{nullptr};
  std::atomic<size_t> size{0};
  std::atomic<uint32_t> locks{0};
  uint32_t generation = 0;              // under the mutex
  uint32_t next_free = NO_SLOT;         // under the mutex
};

std::atomic<Slot*> g_chunks[MAX_CHUNKS];
std::mutex g_mutex;
uint32_t g_used_slots = 0;              // slots ever handed out; the rest are untouched
// Freed slots are reused first in, first out, which keeps a slot's generations from cycling quickly.
uint32_t g_free_head = NO_SLOT, g_free_tail = NO_SLOT;

Slot* slot_at(uint32_t index) {
  Slot* chunk = g_chunks[index >> CHUNK_BITS].load(std::memory_order_acquire);
  return chunk ? &chunk[index & (CHUNK_SLOTS - 1)] : nullptr;
}

Slot* find(MemId id) {
  if (id == 0) return nullptr;
  Slot* s = slot_at((id & SLOT_MASK) - 1);
  return s && s->id.load(std::memory_order_acquire) == id ? s : nullptr;
}

// Under the mutex: a free slot's index, or NO_SLOT when the table is full or a chunk cannot be had.
uint32_t take_slot() {
  if (g_free_head != NO_SLOT) {
    const uint32_t index = g_free_head;
    g_free_head = slot_at(index)->next_free;
    if (g_free_head == NO_SLOT) g_free_tail = NO_SLOT;
    return index;
  }
  if (g_used_slots >= MAX_SLOTS) return NO_SLOT;
  const uint32_t index = g_used_slots;
  std::atomic<Slot*>& chunk = g_chunks[index >> CHUNK_BITS];
  if (!chunk.load(std::memory_order_relaxed)) {
    Slot* fresh = new (std::nothrow) Slot[CHUNK_SLOTS];
    if (!fresh) return NO_SLOT;
    chunk.store(fresh, std::memory_order_release);
  }
  ++g_used_slots;
  return index;
}

void release_slot(uint32_t index) {
  Slot* s = slot_at(index);
  s->generation = (s->generation + 1) & 0xFF;
  s->next_free = NO_SLOT;
  if (g_free_tail == NO_SLOT) g_free_head = index;
  else slot_at(g_free_tail)->next_free = index;
  g_free_tail = index;
}

// Backing blocks are never empty: a zero-byte movable block would be a discarded one on Windows.
size_t backing_size(size_t size) { return std::max<size_t>(size, 1); }

}  // namespace

MemId mem_alloc(size_t size, bool zero_fill) {
  void* backing = os::block_alloc(backing_size(size), zero_fill);
  if (!backing) return 0;
  std::lock_guard<std::mutex> guard(g_mutex);
  const uint32_t index = take_slot();
  if (index == NO_SLOT) {
    os::block_free(backing);
    return 0;
  }
  Slot* s = slot_at(index);
  s->backing.store(backing, std::memory_order_relaxed);
  s->size.store(size, std::memory_order_relaxed);
  s->locks.store(0, std::memory_order_relaxed);
  const MemId id = (s->generation << SLOT_BITS) | (index + 1);
  s->id.store(id, std::memory_order_release);
  return id;
}

bool mem_realloc(MemId id, size_t size) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Slot* s = find(id);
  if (!s) return false;
  const size_t old_size = s->size.load(std::memory_order_relaxed);
  void* backing = os::block_realloc(s->backing.load(std::memory_order_relaxed), backing_size(size),
                                    s->locks.load(std::memory_order_relaxed) > 0);
  if (!backing) return false;
  if (size > old_size) {
    char* p = static_cast<char*>(os::block_lock(backing));
    std::memset(p + old_size, 0, size - old_size);
    os::block_unlock(backing);
  }
  s->backing.store(backing, std::memory_order_release);
  s->size.store(size, std::memory_order_release);
  return true;
}

void* mem_lock(MemId id) {
  Slot* s = find(id);
  if (!s) return nullptr;
  void* backing = s->backing.load(std::memory_order_acquire);
  void* p = os::block_lock(backing);
  // The OS lock is held once while the count is above zero.
  if (s->locks.fetch_add(1, std::memory_order_acq_rel) > 0) os::block_unlock(backing);
  return p;
}

bool mem_unlock(MemId id) {
  Slot* s = find(id);
  if (!s) return false;
  uint32_t count = s->locks.load(std::memory_order_acquire);
  do {
    if (count == 0) return false;
  } while (!s->locks.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel));
  if (count == 1) os::block_unlock(s->backing.load(std::memory_order_acquire));
  return true;
}

uint32_t mem_lock_count(MemId id) {
  Slot* s = find(id);
  return s ? s->locks.load(std::memory_order_acquire) : 0;
}

void* mem_address(MemId id) {
  Slot* s = find(id);
  if (!s) return nullptr;
  void* backing = s->backing.load(std::memory_order_acquire);
  void* p = os::block_lock(backing);
  os::block_unlock(backing);
  return p;
}

size_t mem_size(MemId id) {
  Slot* s = find(id);
  return s ? s->size.load(std::memory_order_acquire) : 0;
}

void mem_free(MemId id) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Slot* s = find(id);
  if (!s) return;
  s->id.store(0, std::memory_order_release);
  void* backing = s->backing.exchange(nullptr, std::memory_order_acq_rel);
  if (s->locks.exchange(0, std::memory_order_acq_rel) > 0) os::block_unlock(backing);
  os::block_free(backing);
  release_slot((id & SLOT_MASK) - 1);
}

bool mem_valid(MemId id) { return find(id) != nullptr; }

size_t mem_live_count() {
  std::lock_guard<std::mutex> guard(g_mutex);
  size_t live = 0;
  for (uint32_t i = 0; i < g_used_slots; ++i)
    if (slot_at(i)->id.load(std::memory_order_relaxed)) ++live;
  return live;
}

}  // namespace plat
