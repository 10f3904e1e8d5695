#include "builtins/launch_registry.h"

#include <cstring>

#include "platform/registry.h"

namespace tov {

namespace {

const std::u16string APP_PATHS = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// A text value (REG_SZ or REG_EXPAND_SZ) up to its first NUL; false when it is missing or of another type.
bool read_text(plat::RegKey parent, const std::u16string& subkey, const char16_t* name, std::u16string* text) {
  uint32_t type = 0;
  std::string data;
  if (plat::reg_get_value(parent, subkey.c_str(), name, &type, &data) != 0) return false;
  if (type != plat::REGT_SZ && type != plat::REGT_EXPAND_SZ) return false;
  std::u16string value(data.size() / sizeof(char16_t), u'\0');
  std::memcpy(value.data(), data.data(), value.size() * sizeof(char16_t));
  value.resize(std::char_traits<char16_t>::length(value.c_str()));
  *text = value;
  return true;
}

}  // namespace

bool read_app_path(const std::u16string& name, AppPathKey* key) {
  plat::RegKey opened = 0;
  if (plat::reg_open_key(plat::REGROOT_LOCAL_MACHINE, (APP_PATHS + name).c_str(), plat::RegAccess::Read,
                         plat::RegView::Native, &opened) != 0)
    return false;
  *key = AppPathKey{};
  read_text(opened, u"", u"", &key->program);
  read_text(opened, u"", u"Path", &key->path);
  plat::reg_close_key(opened);
  return true;
}

bool read_class_command(const std::u16string& extension, const std::u16string& verb, std::u16string* command) {
  const std::u16string shell_command = u"\\shell\\" + verb + u"\\command";
  std::u16string file_type;
  if (read_text(plat::REGROOT_CLASSES, extension, u"", &file_type) && !file_type.empty() &&
      read_text(plat::REGROOT_CLASSES, file_type + shell_command, u"", command) && !command->empty())
    return true;
  return read_text(plat::REGROOT_CLASSES, extension + shell_command, u"", command) && !command->empty();
}

}  // namespace tov
