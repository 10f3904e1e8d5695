// Profile files on Windows: the system's profile services.
#include <windows.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include "platform/files.h"
#include "platform/settings.h"

namespace plat {

size_t profile_get_string(const char* file, const char* section, const char* key, const char* def, char* out,
                          size_t out_cap) {
  if (out_cap == 0) return 0;
  return GetPrivateProfileStringA(section, key, def, out, static_cast<DWORD>(out_cap), file);
}

size_t system_profile_get_string(const char* section, const char* key, const char* def, char* out,
                                 size_t out_cap) {
  if (out_cap == 0) return 0;
  return GetProfileStringA(section, key, def, out, static_cast<DWORD>(out_cap));
}

}  // namespace plat

namespace plat {

bool profile_write_string(const char* file, const char* section, const char* key, const char* value) {
  if (!section) {
    // Flushing reports no outcome that matters: nothing is written by it.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
    return true;
  }
  return WritePrivateProfileStringA(section, key, value, file) != 0;
}

}  // namespace plat

namespace plat {

bool profile_file_exists(const char* file) {
  if (!file || !*file) return false;
  // The profile functions look for a file named without any directory in the Windows directory.
  char path[MAX_PATH * 2];
  if (!std::strpbrk(file, "\\/")) {
    const UINT n = GetWindowsDirectoryA(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || std::strlen(file) >= sizeof path - n - 1) return false;
    std::strcat(std::strcat(path, "\\"), file);
  } else {
    const DWORD n = GetFullPathNameA(file, sizeof path, path, nullptr);
    if (n == 0 || n >= sizeof path) return false;
  }
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool system_profile_write_string(const char* section, const char* key, const char* value) {
  if (!section) {
    WriteProfileStringA(nullptr, nullptr, nullptr);
    return true;
  }
  return WriteProfileStringA(section, key, value) != 0;
}

void broadcast_profile_change(const char* section) {
  SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>(section),
                      SMTO_ABORTIFHUNG | SMTO_NORMAL, 1000, nullptr);
}

}  // namespace plat
