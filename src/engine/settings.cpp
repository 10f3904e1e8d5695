#include "engine/settings.h"

#include <cstring>
#include <initializer_list>

#include "platform/files.h"

namespace tov {

size_t settings_file_path(char* out, size_t cap) {
  size_t len = plat::app_data_directory(out, cap);
  for (const char* part : {"Tarnwell", "Settings", SETTINGS_FILE_NAME}) {
    const size_t n = std::strlen(part);
    const bool sep = len && !plat::is_path_separator(out[len - 1]);
    if (!len || len + sep + n + 1 > cap) return 0;
    if (sep) out[len++] = plat::path_separator();
    std::memcpy(out + len, part, n + 1);
    len += n;
  }
  return len;
}

}  // namespace tov
