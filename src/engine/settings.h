// The Engine's settings file (ZRKQUILL.INI in the "Tarnwell\Settings" folder of the application data).
#pragma once
#include <cstddef>

namespace tov {

constexpr const char* SETTINGS_FILE_NAME = "ZRKQUILL.INI";

// The full path of the settings file; 0 when it cannot be formed.
size_t settings_file_path(char* out, size_t cap);

}  // namespace tov
