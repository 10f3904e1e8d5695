// The machine-wide settings key, read through the registry (on POSIX, the registry store).
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/settings.h"
#include "platform/text.h"

namespace plat {

namespace {

std::u16string wide_of(const std::string& s) {
  if (s.empty()) return std::u16string();
  const int n = ansi_to_wide(s.data(), int(s.size()), nullptr, 0);
  std::u16string w(size_t(n > 0 ? n : 0), u'\0');
  if (n > 0) ansi_to_wide(s.data(), int(s.size()), w.data(), n);
  return w;
}

}  // namespace

int settings_get_int(const char* file_name, const char* section, const char* key, int def) {
  // The key is named by the settings file's base name without its extension.
  std::string base = file_name + path_directory_length(file_name);
  if (const size_t dot = base.rfind('.'); dot != std::string::npos) base.resize(dot);
  const std::u16string path = wide_of(std::string("Software\\Marrowgate\\Settings\\") + base + "\\" + section);
  uint32_t type = 0;
  std::string data;
  if (reg_get_value(REGROOT_LOCAL_MACHINE, path.c_str(), wide_of(key).c_str(), &type, &data) != 0) return def;
  if ((type == REGT_DWORD || type == REGT_DWORD_BIG_ENDIAN) && data.size() == 4) {
    uint32_t value;
    std::memcpy(&value, data.data(), sizeof value);
    if (type == REGT_DWORD_BIG_ENDIAN) value = __builtin_bswap32(value);
    return static_cast<int>(value);
  }
  if (type == REGT_SZ || type == REGT_EXPAND_SZ) {
    std::u16string text(data.size() / 2, u'\0');
    std::memcpy(text.data(), data.data(), text.size() * 2);
    std::string digits;
    for (char16_t c : text) {
      if (c == 0 || c > 0x7F) break;
      digits += char(c);
    }
    return static_cast<int>(std::strtol(digits.c_str(), nullptr, 10));
  }
  return def;
}

}  // namespace plat
