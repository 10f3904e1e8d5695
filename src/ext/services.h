// The service block handed to host and extender calls, and the answer routine through which they deliver
// their results.
#pragma once
#include <cstdint>

#include "ext/host_call.h"

namespace tov {

struct RunContext;
struct Value;

constexpr uint32_t SERVICE_BLOCK_VERSION = 1010;

#pragma pack(push, 4)
// 68 bytes in 32-bit builds; fields that hold addresses widen to pointer size in 64-bit builds.
struct ServiceBlock {
  void* context;                 // the run context handle, first argument of every service
  Value* request;                // during a function call: the call's result value
  uint32_t version;
  uint32_t size;
  void* dllServices;
  uintptr_t hostData;
  uint32_t impersonate;
  void* hostWindow;
  void* varHandler;
  void* arrHandler;
  void* arrayServices;
  void* storeErrorInfo;
  void* binaryServices;
  void* varHandlerW;
  void* arrayStringsToAnsi;
  void* arrayStringsToUnicode;
  void* arraySwapElements;
};
#pragma pack(pop)

// Fills a service block for a call whose result goes to request (nullptr outside function calls).
void make_service_block(RunContext* ctx, ServiceBlock* block, Value* request);

// Stores an extender's or host's answer as the result of the call the block belongs to; returns status.
int32_t viper_answer(int32_t status, int32_t reserved, ServiceBlock* block, ExtValue* value);

// Turns a negative result of a host or extender function into the run's error (and reports it where the
// error model says so).
void extender_failure(RunContext* ctx, int32_t status);

}  // namespace tov
