#include "platform/win32/module.h"

namespace plat::win32 {

HMODULE engine_module() {
  static const HMODULE module = [] {
    HMODULE h = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&engine_module), &h);
    return h;
  }();
  return module;
}

}  // namespace plat::win32
