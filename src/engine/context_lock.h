// Locking a run context through its handle for the time of one call.
#pragma once
#include "engine/context.h"
#include "platform/memory.h"

namespace tov {

// Locks a context handle for the duration of an entry point.
class ContextLock {
 public:
  explicit ContextLock(void* handle) : handle_(handle) {
    ctx_ = handle ? static_cast<RunContext*>(plat::host_lock(handle)) : nullptr;
  }
  ~ContextLock() {
    if (ctx_) plat::host_unlock(handle_);
  }
  ContextLock(const ContextLock&) = delete;
  ContextLock& operator=(const ContextLock&) = delete;
  RunContext* get() const { return ctx_; }

 private:
  void* handle_;
  RunContext* ctx_;
};

}  // namespace tov
