// Calls into the host's callback: host-defined functions and commands, and notifications.
#pragma once
#include <cstdint>

namespace tov {

struct RunContext;

enum HostNotifyId : int32_t {
  HOST_NOTIFY_PUMP = -1,        // pump (code "1") and statement (code "2" or "3") notifications
  HOST_NOTIFY_CALL = -4,        // a script is called
  HOST_NOTIFY_FILE = -5,        // the current file changes
};

constexpr uint32_t INTERFACE_STAMP = 0x30030105;

#pragma pack(push, 4)
// The value record that crosses the host and extender boundary (40 bytes in 32-bit builds; the string
// pointer widens to pointer size in 64-bit builds).
struct ExtValue {
  uint8_t internal[16];
  double f;
  int32_t i;
  uint32_t type;
  const void* str;
  uint32_t unused;
};
#pragma pack(pop)

struct Value;
struct ArgBlock;

// Calls a host-defined function (codes 1000..1998) or an extender function with the typed arguments of
// the call; the result arrives through the answer routine.
void call_external(RunContext* ctx, int code, Value* result, ArgBlock& args, int argc, uint64_t signature);
// Runs a host command (a host keyword of the command kind) with five empty string arguments.
void call_host_command(RunContext* ctx, int code, Value* result);

// Calls the host's callback with a notification and up to five texts (passed as five string records).
// Returns the callback's result, or 0 when the run has no callback.
int32_t notify_host(RunContext* ctx, int32_t id, const char* t1, const char* t2 = nullptr,
                    const char* t3 = nullptr, const char* t4 = nullptr, const char* t5 = nullptr);

}  // namespace tov
