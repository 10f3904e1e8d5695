// Environment, time, the operating system's identity, debugger output.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// Returns the length of the value (0 for an empty value) or -1 when the variable does not exist.
// The value is cut to out_cap - 1 bytes and NUL-terminated.
int env_get(const char* name, char* out, size_t out_cap);
bool env_set(const char* name, const char* value);  // value nullptr removes the variable
// The same in UTF-16, exact whatever the system's code page. env_get_w is false when the variable does
// not exist. env_items_w lists "NAME=value" in the system's order, leaving out the per-drive directory
// entries whose names begin with "=".
bool env_get_w(const char16_t* name, std::u16string* value);
bool env_set_w(const char16_t* name, const char16_t* value);
std::vector<std::u16string> env_items_w();

uint32_t tick_count();          // milliseconds, wrapping at 2^32
// tick_count's milliseconds from a clock that steps once per system tick (a few milliseconds): cheaper to
// read, for what only needs to notice that a tick went by.
uint32_t tick_count_coarse();
void sleep_ms(uint32_t ms);     // 0 yields the rest of the time slice
uint32_t unix_time();           // seconds since 1970

// Raises the scheduling priority of the calling thread above normal (true) or puts back the priority it
// had before (false). False when the system does not allow it (POSIX needs privileges to raise it).
bool thread_priority_raise(bool on);

struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
  int weekday;                  // 0 Sunday .. 6 Saturday
};
LocalTime local_time();
// The date in the user's short date format and the time of day in the user's time format, as the system
// writes them (POSIX: by the LC_TIME locale of the environment). False when the system cannot format them.
bool format_user_date(const LocalTime& t, std::u16string* out);
bool format_user_time(const LocalTime& t, std::u16string* out);

struct OsInfo {
  bool nt_family;               // the NT platform (always on Windows builds and POSIX)
  bool nt5_or_later;
  bool nt6_or_later;
  bool windows_64bit;           // a 64-bit Windows (including a 32-bit process on it)
  bool dbcs;                    // the system code page is double-byte
  uint32_t major, minor, build;
};
const OsInfo& os_info();

// What the trace's environment report says of the host program: whether its module file carries a valid
// code signature, the attributes " level=\"...\"" and " uiAccess=\"...\"" of the execution level its
// manifest requests ("" when it requests none), and the elevation of the process as the report words it
// ("Unsupported Platform" where the system has no elevation).
struct HostSecurity {
  bool validSignature;
  std::string manifestLevel;
  const char* elevation;
};
HostSecurity host_security();

// True when less than margin bytes of the calling thread's stack are left below the caller's frame, so
// deeply nested work can stop with an error before the stack runs out.
bool stack_exhausted(size_t margin);

// Text for the system debugger (OutputDebugString on Windows; standard error on POSIX, which has none).
void debugger_output(const char* text);

}  // namespace plat
