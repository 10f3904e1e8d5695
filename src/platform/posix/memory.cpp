// Memory on POSIX: heap blocks behind the id table, host blocks with a fixed header, mmap address space.
#include <sys/mman.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include "platform/hooks.h"
#include "platform/memory.h"

namespace plat {

namespace os {

void* block_alloc(size_t size, bool zero_fill) { return zero_fill ? std::calloc(1, size) : std::malloc(size); }
void* block_realloc(void* backing, size_t size, bool) { return std::realloc(backing, size); }
void* block_lock(void* backing) { return backing; }
void block_unlock(void*) {}
void block_free(void* backing) { std::free(backing); }

}  // namespace os

namespace {

// A host handle points to this header; the data lives in a block of its own, so resizing keeps the
// handle, as resizing a movable global-memory block does.
struct HostBlock {
  uint32_t magic;
  uint32_t locks;
  size_t size;
  char* data;
};
constexpr uint32_t HOST_MAGIC = 0x4B4C4248;   // "HBLK"

HostBlock* host_block(HostHandle h) {
  auto* b = static_cast<HostBlock*>(h);
  return b && b->magic == HOST_MAGIC ? b : nullptr;
}

}  // namespace

HostHandle host_alloc(size_t size) {
  auto* b = static_cast<HostBlock*>(std::malloc(sizeof(HostBlock)));
  if (!b) return nullptr;
  b->data = static_cast<char*>(std::calloc(1, size ? size : 1));
  if (!b->data) {
    std::free(b);
    return nullptr;
  }
  b->magic = HOST_MAGIC;
  b->locks = 0;
  b->size = size;
  return b;
}

HostHandle host_realloc(HostHandle h, size_t size) {
  HostBlock* b = host_block(h);
  if (!b) return nullptr;
  char* data = static_cast<char*>(std::realloc(b->data, size ? size : 1));
  if (!data) return nullptr;
  if (size > b->size) std::memset(data + b->size, 0, size - b->size);
  b->data = data;
  b->size = size;
  return b;
}

void* host_lock(HostHandle h) {
  HostBlock* b = host_block(h);
  if (!b) return nullptr;
  ++b->locks;
  return b->data;
}

bool host_unlock(HostHandle h) {
  HostBlock* b = host_block(h);
  if (!b || b->locks == 0) return false;
  --b->locks;
  return true;
}

size_t host_size(HostHandle h) {
  HostBlock* b = host_block(h);
  return b ? b->size : 0;
}

void host_free(HostHandle h) {
  HostBlock* b = host_block(h);
  if (!b) return;
  b->magic = 0;
  std::free(b->data);
  std::free(b);
}

void* vm_reserve(size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

bool vm_commit(void* base, size_t bytes, uint32_t* system_error) {
  const size_t page = vm_page_size();
  const size_t length = (bytes + page - 1) / page * page;
  if (mprotect(base, length, PROT_READ | PROT_WRITE) == 0) return true;
  if (system_error) *system_error = errno == ENOMEM ? 8 : 87;   // not enough memory, bad parameter
  return false;
}

void vm_release(void* base, size_t reserved_bytes) {
  if (base) munmap(base, reserved_bytes);
}

size_t vm_page_size() {
  static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

}  // namespace plat
