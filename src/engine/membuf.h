// A growable byte buffer in a movable memory block, for building texts whose size is not known in advance.
// Growth failures are reported, never thrown: every append returns false when memory ran out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include "platform/memory.h"

namespace tov {

class MemBuf {
 public:
  MemBuf() = default;
  MemBuf(const MemBuf&) = delete;
  MemBuf& operator=(const MemBuf&) = delete;
  ~MemBuf() { release(); }

  bool reserve(size_t capacity) {
    if (capacity <= cap_) return true;
    size_t want = cap_ ? cap_ : 256;
    // Doubling stops before it would wrap around (and loop for ever) on a huge request.
    while (want < capacity) want = want > SIZE_MAX / 2 ? capacity : want * 2;
    if (!id_) {
      id_ = plat::mem_alloc(want, false);
      if (!id_) return false;
      data_ = static_cast<char*>(plat::mem_lock(id_));
    } else {
      plat::mem_unlock(id_);
      bool ok = plat::mem_realloc(id_, want);
      data_ = static_cast<char*>(plat::mem_lock(id_));
      if (!ok) return false;
    }
    if (!data_) return false;
    cap_ = want;
    return true;
  }
  bool append(const char* p, size_t n) {
    if (!reserve(len_ + n + 1)) return false;
    if (n) std::memcpy(data_ + len_, p, n);
    len_ += n;
    data_[len_] = 0;
    return true;
  }
  bool append(char c) { return append(&c, 1); }
  bool append(const char* s) { return append(s, std::strlen(s)); }

  char* data() { return data_; }
  size_t size() const { return len_; }
  // Hands the block over (locked once, NUL-terminated); the buffer is empty afterwards.
  plat::MemId detach() {
    if (!reserve(len_ + 1)) return 0;
    data_[len_] = 0;
    plat::MemId id = id_;
    id_ = 0; data_ = nullptr; cap_ = len_ = 0;
    return id;
  }
  void release() {
    if (id_) plat::mem_free(id_);
    id_ = 0; data_ = nullptr; cap_ = len_ = 0;
  }

 private:
  plat::MemId id_ = 0;
  char* data_ = nullptr;
  size_t cap_ = 0, len_ = 0;
};

}  // namespace tov
