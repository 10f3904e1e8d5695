#include "platform/registry.h"

namespace plat {

uint32_t reg_get_value(RegKey parent, const char16_t* subkey, const char16_t* name, uint32_t* type,
                       std::string* data) {
  RegKey key = 0;
  if (const uint32_t e = reg_open_key(parent, subkey, RegAccess::Read, RegView::Native, &key)) return e;
  const uint32_t e = reg_query_value(key, name, type, data);
  reg_close_key(key);
  return e;
}

}  // namespace plat
