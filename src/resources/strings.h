// Message texts by number: the Engine's string table, optionally replaced by a language file.
#pragma once
#include <cstdint>

namespace tov {

struct RunContext;

// Loads message id into buf (size in bytes, NUL-terminated, cut to fit). Ids below 100, or every id when
// no language file is in use, come from the string table; "~" becomes a line feed and "|" a tab. An id
// without a text loads as the empty string. Returns the length loaded. Id 0 re-reads the language setting.
int32_t load_string(RunContext* ctx, uint32_t id, char* buf, int32_t size);
// The same converted to UTF-16 with the context's code page (size in characters).
int32_t load_string_w(RunContext* ctx, uint32_t id, char16_t* buf, int32_t size);

}  // namespace tov
