// Message texts by number: the Engine's string table, optionally replaced by a language file.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tov {

struct RunContext;

// The default URL of the error dialog's tech-support button. The table holds it under an id that no
// message uses; a language file may replace it like any other text.
constexpr uint32_t MSG_SUPPORT_URL = 990;

// Loads message id into buf (size in bytes, NUL-terminated, cut to fit). Ids below 100, or every id when
// no language file is in use, come from the string table; "~" becomes a line feed and "|" a tab. An id
// without a text loads as the empty string. Returns the length loaded. Id 0 re-reads the language setting.
int32_t load_string(RunContext* ctx, uint32_t id, char* buf, int32_t size);
// The same converted to UTF-16 with the context's code page (size in characters).
int32_t load_string_w(RunContext* ctx, uint32_t id, char16_t* buf, int32_t size);
// The full path of the language file in use ("" when the string table serves every id); its length.
size_t language_file_in_use(char* out, size_t cap);

}  // namespace tov
