// Environment, time, the operating system's identity, debugger output.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// Returns the length of the value (0 for an empty value) or -1 when the variable does not exist.
// The value is cut to out_cap - 1 bytes and NUL-terminated.
int env_get(const char* name, char* out, size_t out_cap);
bool env_set(const char* name, const char* value);  // value nullptr removes the variable

uint32_t tick_count();          // milliseconds, wrapping at 2^32
void sleep_ms(uint32_t ms);     // 0 yields the rest of the time slice
uint32_t unix_time();           // seconds since 1970

struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
  int weekday;                  // 0 Sunday .. 6 Saturday
};
LocalTime local_time();

struct OsInfo {
  bool nt_family;               // the NT platform (always on Windows builds and POSIX)
  bool nt5_or_later;
  bool nt6_or_later;
  bool windows_64bit;           // a 64-bit Windows (including a 32-bit process on it)
  bool dbcs;                    // the system code page is double-byte
  uint32_t major, minor, build;
};
const OsInfo& os_info();

// True when less than margin bytes of the calling thread's stack are left below the caller's frame, so
// deeply nested work can stop with an error before the stack runs out.
bool stack_exhausted(size_t margin);

// Text for the system debugger (OutputDebugString on Windows; standard error on POSIX when the
// environment variable TOV_DEBUG_OUTPUT is set, else nothing).
void debugger_output(const char* text);

}  // namespace plat
