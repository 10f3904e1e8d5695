// Calls into the host's callback and into extender libraries: host-defined functions and commands,
// notifications, and the value records of a call's arguments.
#pragma once
#include <cstdint>

#include "ext/services.h"

namespace tov {

struct RunContext;
struct Value;
struct ArgBlock;

enum HostNotifyId : int32_t {
  HOST_NOTIFY_PUMP = -1,        // pump (code "1") and statement (code "2" or "3") notifications
  HOST_NOTIFY_CALL = -4,        // a script is called
  HOST_NOTIFY_FILE = -5,        // the current file changes
};

// The records of arguments 1..argc as the call frame converted them: each string argument points to the
// form its argument type asked for.
void fill_records(RunContext* ctx, ArgBlock& args, int argc, uint64_t signature, bool wide, ExtValue* out);

// Calls a host-defined function (codes 1000..1998) or an extender function (codes 10000..10500) with the
// typed arguments of the call; the result arrives through the answer routine.
void call_external(RunContext* ctx, int code, Value* result, ArgBlock& args, int argc, uint64_t signature,
                   bool wide);
// Runs a host or extender command with five empty string arguments.
void call_external_command(RunContext* ctx, int code, Value* result);

// Calls the host's callback with a notification and up to five texts (passed as five string records).
// Returns the callback's result, or 0 when the run has no callback.
int32_t notify_host(RunContext* ctx, int32_t id, const char* t1, const char* t2 = nullptr,
                    const char* t3 = nullptr, const char* t4 = nullptr, const char* t5 = nullptr);

// The records of five texts, as commands and notifications receive them.
void string_records(const char* const texts[5], ExtValue out[5]);

// While a host or extender call runs, its result value is the one answers may land in.
class AnswerTarget {
 public:
  AnswerTarget(RunContext* ctx, Value* result);
  ~AnswerTarget();
  AnswerTarget(const AnswerTarget&) = delete;
  AnswerTarget& operator=(const AnswerTarget&) = delete;

 private:
  RunContext* ctx_;
  void* saved_;
};

}  // namespace tov
