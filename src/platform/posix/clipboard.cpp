// The clipboard on POSIX: there is none without a window system.
#include "platform/clipboard.h"

namespace plat {

bool clipboard_format_is_data(uint32_t format) { return format != 0 && format <= 0xFFFF; }
ClipStatus clipboard_get(uint32_t, void*, size_t, size_t*) { return ClipStatus::Unsupported; }
ClipStatus clipboard_put(WindowHandle, uint32_t, const void*, size_t) { return ClipStatus::Unsupported; }

}  // namespace plat
