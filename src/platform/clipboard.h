// The clipboard: data of one format as bytes. POSIX has no clipboard here.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/ui.h"

namespace plat {

enum class ClipStatus { Done, NoData, TooLarge, CannotOpen, Failed, Unsupported };

// Formats whose data is a block of bytes: the standard ones that are not handles of other objects, the
// private formats and registered ones.
bool clipboard_format_is_data(uint32_t format);
// Copies the clipboard's data of the format to out when it fits in out_cap bytes (else TooLarge, out
// untouched); *size receives its size. A text format (1 text, 7 OEM text, 13 Unicode text) gives its
// characters without the terminator.
ClipStatus clipboard_get(uint32_t format, void* out, size_t out_cap, size_t* size);
// Empties the clipboard and puts the bytes on it in the format, owned by the window (may be null); a text
// format gets its terminator added.
ClipStatus clipboard_put(WindowHandle owner, uint32_t format, const void* data, size_t n);

}  // namespace plat
