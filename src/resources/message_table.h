// The built-in string table behind load_string.
#pragma once
#include <cstdint>

namespace tov {

// The table's text of message id, or nullptr when the table has none. The text is returned as stored:
// the "~" and "|" replacements of load_string are not applied.
const char* message_text(uint32_t id);

}  // namespace tov
