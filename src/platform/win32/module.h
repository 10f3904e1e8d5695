// The module (DLL or program) that the platform layer is linked into. Internal to src/platform/win32/.
#pragma once
#include <windows.h>

namespace plat::win32 {
HMODULE engine_module();
}
