// Memory on Windows: movable global-memory blocks behind the id table and as host blocks, and
// reserved virtual address space.
#include <windows.h>
#include "platform/hooks.h"
#include "platform/memory.h"

namespace plat {

namespace os {

void* block_alloc(size_t size, bool zero_fill) {
  return GlobalAlloc(GMEM_MOVEABLE | (zero_fill ? GMEM_ZEROINIT : 0), size);
}

void* block_realloc(void* backing, size_t size, bool locked) {
  if (locked) GlobalUnlock(backing);
  HGLOBAL resized = GlobalReAlloc(backing, size, GMEM_MOVEABLE);
  if (locked) GlobalLock(resized ? resized : backing);
  return resized;
}

void* block_lock(void* backing) { return GlobalLock(backing); }
void block_unlock(void* backing) { GlobalUnlock(backing); }
void block_free(void* backing) { GlobalFree(backing); }

}  // namespace os

HostHandle host_alloc(size_t size) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size); }

HostHandle host_realloc(HostHandle h, size_t size) {
  return h ? GlobalReAlloc(h, size, GMEM_MOVEABLE | GMEM_ZEROINIT) : nullptr;
}

void* host_lock(HostHandle h) { return h ? GlobalLock(h) : nullptr; }

bool host_unlock(HostHandle h) {
  if (!h) return false;
  // GlobalUnlock answers FALSE both for "now unlocked" and for "was not locked"; the error tells which.
  SetLastError(NO_ERROR);
  return GlobalUnlock(h) || GetLastError() == NO_ERROR;
}

size_t host_size(HostHandle h) { return h ? GlobalSize(h) : 0; }

void host_free(HostHandle h) {
  if (h) GlobalFree(h);
}

void* vm_reserve(size_t bytes) { return VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS); }

bool vm_commit(void* base, size_t bytes, uint32_t* system_error) {
  if (VirtualAlloc(base, bytes, MEM_COMMIT, PAGE_READWRITE)) return true;
  if (system_error) *system_error = GetLastError();
  return false;
}

void vm_release(void* base, size_t) {
  if (base) VirtualFree(base, 0, MEM_RELEASE);
}

size_t vm_page_size() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

}  // namespace plat
