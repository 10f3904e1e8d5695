// Settings on Windows: the machine-wide settings key of the registry and the system's profile files.
#include <windows.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include "platform/files.h"
#include "platform/settings.h"

namespace plat {

int settings_get_int(const char* file_name, const char* section, const char* key, int def) {
  // The key is named by the settings file's base name without its extension.
  std::string base = file_name + path_directory_length(file_name);
  if (const size_t dot = base.rfind('.'); dot != std::string::npos) base.resize(dot);
  const std::string path = std::string("Software\\Marrowgate\\Settings\\") + base + "\\" + section;
  HKEY k;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return def;
  char data[256] = {};
  DWORD type = 0, size = sizeof data - 1;
  const LONG r = RegQueryValueExA(k, key, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(k);
  if (r != ERROR_SUCCESS) return def;
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD value;
    std::memcpy(&value, data, sizeof value);
    return static_cast<int>(value);
  }
  if (type == REG_SZ || type == REG_EXPAND_SZ) return static_cast<int>(std::strtol(data, nullptr, 10));
  return def;
}

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
  return WritePrivateProfileStringA(section, key, value, file) != 0;
}

}  // namespace plat
