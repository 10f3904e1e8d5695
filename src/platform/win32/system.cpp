// Environment, time, system identity and debugger output on Windows.
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>
#include <cstring>
#include <ctime>
#include <string>
#include "platform/system.h"

namespace plat {

int env_get(const char* name, char* out, size_t out_cap) {
  if (out && out_cap) out[0] = 0;
  if (!name || !*name) return -1;
  // A value too long for the caller is read whole and then cut; the loop covers a value that grows
  // between the two reads.
  std::string value(out_cap > 1 ? 0 : 1, '\0');
  for (;;) {
    char* buffer = value.empty() ? out : value.data();
    const DWORD cap = static_cast<DWORD>(value.empty() ? out_cap : value.size());
    SetLastError(NO_ERROR);
    const DWORD n = GetEnvironmentVariableA(name, buffer, cap);
    if (n == 0) return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? -1 : 0;
    if (n < cap) {
      if (buffer != out && out && out_cap) {
        const size_t copied = n < out_cap ? n : out_cap - 1;
        std::memcpy(out, buffer, copied);
        out[copied] = 0;
      }
      return static_cast<int>(n);
    }
    value.assign(n, '\0');
  }
}

bool env_set(const char* name, const char* value) { return SetEnvironmentVariableA(name, value) != 0; }

bool env_get_w(const char16_t* name, std::u16string* value) {
  const auto* n = reinterpret_cast<LPCWSTR>(name);
  std::u16string buffer(64, u'\0');
  for (;;) {
    SetLastError(NO_ERROR);
    const DWORD length = GetEnvironmentVariableW(n, reinterpret_cast<LPWSTR>(buffer.data()),
                                                 static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
      value->clear();
      return true;
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      *value = buffer;
      return true;
    }
    buffer.assign(length, u'\0');  // the size needed, terminator included
  }
}

bool env_set_w(const char16_t* name, const char16_t* value) {
  return SetEnvironmentVariableW(reinterpret_cast<LPCWSTR>(name), reinterpret_cast<LPCWSTR>(value)) != 0;
}

std::vector<std::u16string> env_items_w() {
  std::vector<std::u16string> items;
  LPWCH block = GetEnvironmentStringsW();
  if (!block) return items;
  for (const WCHAR* p = block; *p; p += lstrlenW(p) + 1)
    if (*p != L'=') items.emplace_back(reinterpret_cast<const char16_t*>(p));
  FreeEnvironmentStringsW(block);
  return items;
}

uint32_t tick_count() { return GetTickCount(); }
uint32_t tick_count_coarse() { return GetTickCount(); }
void sleep_ms(uint32_t ms) { Sleep(ms); }
uint32_t unix_time() { return static_cast<uint32_t>(std::time(nullptr)); }

bool thread_priority_raise(bool on) {
  static thread_local int saved = THREAD_PRIORITY_NORMAL;
  static thread_local bool raised = false;
  HANDLE thread = GetCurrentThread();
  if (!on) {
    if (raised && !SetThreadPriority(thread, saved)) return false;
    raised = false;
    return true;
  }
  if (raised) return true;
  const int current = GetThreadPriority(thread);
  if (current == THREAD_PRIORITY_ERROR_RETURN) return false;
  const int wanted = current < THREAD_PRIORITY_ABOVE_NORMAL ? THREAD_PRIORITY_ABOVE_NORMAL : current;
  if (!SetThreadPriority(thread, wanted)) return false;
  saved = current;
  raised = true;
  return true;
}

namespace {

bool module_signature_valid(const wchar_t* path) {
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = path;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return status == ERROR_SUCCESS;
}

// The attributes of the manifest's requestedExecutionLevel element that the report shows, as they stand.
std::string manifest_level() {
  HMODULE program = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
  const char* text = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!text) return "";
  const std::string manifest(text, SizeofResource(program, found));
  const size_t element = manifest.find("requestedExecutionLevel");
  if (element == std::string::npos) return "";
  const size_t end = manifest.find('>', element);
  const std::string tag = manifest.substr(element, end == std::string::npos ? std::string::npos : end - element);
  std::string out;
  for (const char* attribute : {" level=\"", " uiAccess=\""}) {
    const size_t at = tag.find(attribute);
    if (at == std::string::npos) continue;
    const size_t close = tag.find('"', at + std::strlen(attribute));
    if (close != std::string::npos) out += tag.substr(at, close + 1 - at);
  }
  return out;
}

const char* elevation_level() {
  if (!os_info().nt6_or_later) return "Unsupported Platform";
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "<Unknown>";
  TOKEN_ELEVATION_TYPE type{};
  DWORD size = 0;
  const bool known = GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size) != 0;
  CloseHandle(token);
  if (!known) return "<Unknown>";
  switch (type) {
    case TokenElevationTypeDefault: return "Standard User or Disabled";
    case TokenElevationTypeFull: return "Elevated";
    case TokenElevationTypeLimited: return "Admin Not Elevated";
    default: return "<Unknown>";
  }
}

}  // namespace

HostSecurity host_security() {
  wchar_t path[MAX_PATH + 1];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
  const bool named = n > 0 && n <= MAX_PATH;
  return HostSecurity{named && module_signature_valid(path), manifest_level(), elevation_level()};
}

const OsInfo& os_info() {
  static const OsInfo info = [] {
    OsInfo i{};
    RTL_OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    // RtlGetVersion tells the true version; GetVersionEx may report an older one to old programs.
    using RtlGetVersionFn = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    auto rtl_get_version = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    if (!rtl_get_version || rtl_get_version(&version) != 0) {
      OSVERSIONINFOA old{};
      old.dwOSVersionInfoSize = sizeof old;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
      GetVersionExA(&old);
#pragma GCC diagnostic pop
      version.dwMajorVersion = old.dwMajorVersion;
      version.dwMinorVersion = old.dwMinorVersion;
      version.dwBuildNumber = old.dwBuildNumber;
      version.dwPlatformId = old.dwPlatformId;
    }
    i.nt_family = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    i.major = version.dwMajorVersion;
    i.minor = version.dwMinorVersion;
    i.build = version.dwBuildNumber & 0xFFFF;
    i.nt5_or_later = i.nt_family && i.major >= 5;
    i.nt6_or_later = i.nt_family && i.major >= 6;
#ifdef _WIN64
    i.windows_64bit = true;
#else
    BOOL wow64 = FALSE;
    i.windows_64bit = IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
    i.dbcs = GetSystemMetrics(SM_DBCSENABLED) != 0;
    return i;
  }();
  return info;
}

void debugger_output(const char* text) { OutputDebugStringA(text); }

}  // namespace plat

namespace plat {

LocalTime local_time() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds,
                   st.wDayOfWeek};
}

namespace {

SYSTEMTIME system_time_of(const LocalTime& t) {
  SYSTEMTIME st = {};
  st.wYear = WORD(t.year);
  st.wMonth = WORD(t.month);
  st.wDay = WORD(t.day);
  st.wHour = WORD(t.hour);
  st.wMinute = WORD(t.minute);
  st.wSecond = WORD(t.second);
  st.wDayOfWeek = WORD(t.weekday);
  return st;
}

bool formatted(int n, const wchar_t* text, std::u16string* out) {
  if (n <= 1) return false;
  out->assign(reinterpret_cast<const char16_t*>(text), size_t(n - 1));
  return true;
}

}  // namespace

bool format_user_date(const LocalTime& t, std::u16string* out) {
  const SYSTEMTIME st = system_time_of(t);
  wchar_t text[128];
  return formatted(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, text, 128), text, out);
}

bool format_user_time(const LocalTime& t, std::u16string* out) {
  const SYSTEMTIME st = system_time_of(t);
  wchar_t text[128];
  return formatted(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, text, 128), text, out);
}

}  // namespace plat

namespace plat {

bool stack_exhausted(size_t margin) {
  // The reservation that holds this thread's stack starts at its lowest address; found once per thread.
  thread_local uintptr_t low = [] {
    MEMORY_BASIC_INFORMATION mbi = {};
    const char probe = 0;
    VirtualQuery(&probe, &mbi, sizeof mbi);
    return reinterpret_cast<uintptr_t>(mbi.AllocationBase);
  }();
  const char here = 0;
  const uintptr_t sp = reinterpret_cast<uintptr_t>(&here);
  // Guard pages at the bottom of the reservation are not usable either.
  return low && sp < low + margin + 64 * 1024;
}

}  // namespace plat
