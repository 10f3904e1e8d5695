// What the service routines share inside the Engine: the lock of the run context through its handle, and
// the binary-buffer requests of the general service entry.
#pragma once
#include <cstdint>

#include "engine/context.h"
#include "engine/context_lock.h"

namespace tov {

// Holds the run context locked through its handle for one service call; the error number the script had
// is put back when the call ends.
class ServiceLock {
 public:
  explicit ServiceLock(void* handle) : lock_(handle) {
    if (RunContext* ctx = lock_.get()) {
      saved_ = ctx->err;
      ctx->err = 0;
    }
  }
  ~ServiceLock() {
    if (RunContext* ctx = lock_.get()) ctx->err = saved_;
  }
  ServiceLock(const ServiceLock&) = delete;
  ServiceLock& operator=(const ServiceLock&) = delete;

  RunContext* ctx() const { return lock_.get(); }
  // The current variable table and the string memory are there (only during a run or at shutdown).
  bool tables() const { return lock_.get()->lpVars && lock_.get()->lpHeap; }

 private:
  ContextLock lock_;
  uint16_t saved_ = 0;
};

// DLLServices request 1: fills the binary buffer a variable holds (1 all fitted, 0 cut, -1 bad buffer), or
// assigns the text to the variable (1 done, 0 failed).
intptr_t dll_services_set_variable(RunContext* ctx, const char* name, const void* data, intptr_t size);
// DLLServices request 28: fills the buffer of a handle as request 1 does.
intptr_t dll_services_put_binary(RunContext* ctx, int32_t handle, const void* data, intptr_t size);
// DLLServices requests 43 and 44: a buffer's handle, size or end of data, or a new end of data.
intptr_t dll_services_binary(RunContext* ctx, int32_t request, const char* name, int32_t handle, intptr_t selector,
                             intptr_t end);

}  // namespace tov
