// Environment, time, system identity and debugger output on POSIX.
#include <sched.h>
#include <sys/auxv.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <locale.h>
#include <time.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include "platform/posix/common.h"
#include "platform/system.h"
#include "platform/text.h"

namespace plat {

namespace posix {

// The Windows error numbers of the failures the Engine tells apart.
uint32_t windows_error_of(int err) {
  switch (err) {
    case ENOENT: return 2;                          // file not found
    case ENOTDIR: return 3;                         // path not found
    case EMFILE: case ENFILE: return 4;             // too many open files
    case EACCES: case EPERM: case EISDIR: return 5; // access denied
    case ENOMEM: return 8;                          // not enough memory
    case EXDEV: return 17;                          // not the same device
    case EROFS: return 19;                          // write protected
    case ETXTBSY: case EBUSY: case EWOULDBLOCK: return 32;   // sharing violation
    case ENOTSUP: return 50;                        // not supported
    case ENOSPC: case EDQUOT: return 112;           // disk full
    case ENOTEMPTY: return 145;                     // directory not empty
    case EEXIST: return 183;                        // already exists
    case ENOEXEC: return 193;                       // not a program
    case ENAMETOOLONG: case E2BIG: return 206;      // name or command line too long
    case ELOOP: return 1921;                        // cannot be resolved
    default: return 31;                             // general failure
  }
}

std::string utf8_of(const char16_t* w) {
  const int n = w && *w ? wide_to_ansi(w, static_cast<int>(wide_length(w)), nullptr, 0, CP_UTF8_PAGE) : 0;
  std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) wide_to_ansi(w, static_cast<int>(wide_length(w)), s.data(), n, CP_UTF8_PAGE);
  return s;
}

std::u16string utf16_of(const char* s, size_t len) {
  const int n = len ? ansi_to_wide(s, static_cast<int>(len), nullptr, 0, CP_UTF8_PAGE) : 0;
  std::u16string w(static_cast<size_t>(n > 0 ? n : 0), u'\0');
  if (n > 0) ansi_to_wide(s, static_cast<int>(len), w.data(), n, CP_UTF8_PAGE);
  return w;
}

}  // namespace posix

using posix::utf8_of;
using posix::utf16_of;

namespace {

// Names that start with "=" (the per-drive directories of Windows, "=C:") cannot live in a POSIX
// environment; the process keeps them here so they read back as they were set.
std::mutex g_hidden_mutex;
std::map<std::string, std::string>& hidden_variables() {
  static std::map<std::string, std::string> variables;
  return variables;
}

int copy_value(const char* value, char* out, size_t out_cap) {
  const size_t length = std::strlen(value);
  if (out && out_cap) {
    const size_t n = length < out_cap ? length : out_cap - 1;
    std::memcpy(out, value, n);
    out[n] = 0;
  }
  return static_cast<int>(length);
}

}  // namespace

int env_get(const char* name, char* out, size_t out_cap) {
  if (out && out_cap) out[0] = 0;
  if (!name || !*name) return -1;
  if (name[0] == '=') {
    std::lock_guard<std::mutex> guard(g_hidden_mutex);
    auto it = hidden_variables().find(name);
    return it == hidden_variables().end() ? -1 : copy_value(it->second.c_str(), out, out_cap);
  }
  const char* value = std::getenv(name);
  return value ? copy_value(value, out, out_cap) : -1;
}

bool env_set(const char* name, const char* value) {
  if (!name || !*name || std::strchr(name + 1, '=')) return false;
  if (name[0] == '=') {
    std::lock_guard<std::mutex> guard(g_hidden_mutex);
    if (value) hidden_variables()[name] = value;
    else hidden_variables().erase(name);
    return true;
  }
  return value ? setenv(name, value, 1) == 0 : unsetenv(name) == 0;
}

bool env_get_w(const char16_t* name, std::u16string* value) {
  const std::string n = utf8_of(name);
  const int length = env_get(n.c_str(), nullptr, 0);
  if (length < 0) return false;
  std::string v(static_cast<size_t>(length) + 1, '\0');
  env_get(n.c_str(), v.data(), v.size());
  *value = utf16_of(v.c_str(), static_cast<size_t>(length));
  return true;
}

bool env_set_w(const char16_t* name, const char16_t* value) {
  if (!value) return env_set(utf8_of(name).c_str(), nullptr);
  return env_set(utf8_of(name).c_str(), utf8_of(value).c_str());
}

std::vector<std::u16string> env_items_w() {
  std::vector<std::u16string> items;
  for (char** e = environ; e && *e; ++e)
    if (**e != '=') items.push_back(utf16_of(*e, std::strlen(*e)));
  return items;
}

namespace {

uint32_t milliseconds_of(clockid_t clock) {
  timespec ts;
  clock_gettime(clock, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

}  // namespace

uint32_t tick_count() { return milliseconds_of(CLOCK_MONOTONIC); }
uint32_t tick_count_coarse() { return milliseconds_of(CLOCK_MONOTONIC_COARSE); }

void sleep_ms(uint32_t ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

uint32_t unix_time() { return static_cast<uint32_t>(time(nullptr)); }

bool thread_priority_raise(bool on) {
  // On Linux a nice value belongs to the thread; lowering it (a higher priority) needs privileges.
  static thread_local int saved = 0;
  static thread_local bool raised = false;
  const id_t thread = static_cast<id_t>(syscall(SYS_gettid));
  if (!on) {
    if (raised && setpriority(PRIO_PROCESS, thread, saved) != 0) return false;
    raised = false;
    return true;
  }
  if (raised) return true;
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, thread);
  if (errno != 0 || setpriority(PRIO_PROCESS, thread, current - 5) != 0) return false;
  saved = current;
  raised = true;
  return true;
}

// Programs carry no signatures or manifests here, and there is no elevation of the Windows kind.
HostSecurity host_security() { return HostSecurity{false, "", "Unsupported Platform"}; }

const OsInfo& os_info() {
  // The Engine runs as on a current NT system; the version numbers are the kernel's.
  static const OsInfo info = [] {
    OsInfo i{};
    i.nt_family = i.nt5_or_later = i.nt6_or_later = true;
    i.dbcs = dbcs_enabled();
    utsname u;
    if (uname(&u) == 0) {
      char* p = u.release;
      i.major = static_cast<uint32_t>(std::strtoul(p, &p, 10));
      if (*p == '.') i.minor = static_cast<uint32_t>(std::strtoul(p + 1, &p, 10));
      if (*p == '.') i.build = static_cast<uint32_t>(std::strtoul(p + 1, &p, 10));
      i.windows_64bit = std::strstr(u.machine, "64") != nullptr;
    }
    return i;
  }();
  return info;
}

void debugger_output(const char* text) {
  size_t left = std::strlen(text);
  while (left) {
    const ssize_t n = write(STDERR_FILENO, text, left);
    if (n <= 0) break;
    text += n;
    left -= static_cast<size_t>(n);
  }
}

}  // namespace plat

namespace plat {

LocalTime local_time() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm tm;
  localtime_r(&ts.tv_sec, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                   int(ts.tv_nsec / 1000000), tm.tm_wday};
}

namespace {

// Formats the time with the environment's LC_TIME locale, without touching the process's own locale.
bool format_in_user_locale(const LocalTime& t, const char* format, std::u16string* out) {
  const locale_t locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (!locale) return false;
  struct tm tm = {};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_wday = t.weekday;
  tm.tm_isdst = -1;
  char text[128];
  const size_t n = strftime_l(text, sizeof text, format, &tm, locale);
  freelocale(locale);
  if (!n) return false;
  *out = utf16_of(text, n);
  return true;
}

}  // namespace

bool format_user_date(const LocalTime& t, std::u16string* out) { return format_in_user_locale(t, "%x", out); }
bool format_user_time(const LocalTime& t, std::u16string* out) { return format_in_user_locale(t, "%X", out); }

}  // namespace plat

#include <pthread.h>

namespace plat {

namespace {
// The lowest address of this thread's stack, found at the first check; 1 when it cannot be known. Read at
// every call the evaluator makes, so it lives where a thread's own variables are reached directly.
[[gnu::tls_model("initial-exec")]] thread_local uintptr_t t_stackLow = 0;

// The main thread's stack ends at the page above the program's file name, which the system stores last on
// it, and may grow down by the stack size limit. 0 when sp is not on that stack or the limit is unlimited.
uintptr_t main_stack_low(uintptr_t sp) {
  const auto name = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  struct rlimit limit;
  if (!name || getrlimit(RLIMIT_STACK, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
  const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  const uintptr_t top = (reinterpret_cast<uintptr_t>(name) + std::strlen(name) + page) & ~(page - 1);
  if (limit.rlim_cur >= top || sp >= top || sp <= top - limit.rlim_cur) return 0;
  return top - limit.rlim_cur;
}

// The system's query reads the whole memory map of the process for the main thread, so that thread's
// bounds are worked out above; other threads' come from their descriptors.
// Out of line: asked once per thread, it would otherwise weigh on every check.
[[gnu::noinline, gnu::cold]] uintptr_t stack_low(uintptr_t sp) {
  if (const uintptr_t low = main_stack_low(sp)) return low;
  pthread_attr_t attr;
  void* addr = nullptr;
  size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstack(&attr, &addr, &size);
    pthread_attr_destroy(&attr);
  }
  return addr ? reinterpret_cast<uintptr_t>(addr) : 1;
}
}  // namespace

bool stack_exhausted(size_t margin) {
  const char here = 0;
  const uintptr_t sp = reinterpret_cast<uintptr_t>(&here);
  uintptr_t low = t_stackLow;
  if (!low) t_stackLow = low = stack_low(sp);
  return low > 1 && sp < low + margin;
}

}  // namespace plat
