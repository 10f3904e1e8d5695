// File and directory attributes as the attribute text of scripts: the letters R (read-only), A (archive),
// S (system) and H (hidden), upper case to set an attribute, lower case to clear it.
#pragma once
#include <cstdint>
#include <string>

namespace tov {

struct RunContext;

constexpr size_t ATTR_TEXT_MAX = 8;

struct AttrChange {
  uint32_t set, clear;     // platform attribute bits
};

// Reads an attribute text of at most ATTR_TEXT_MAX letters; anything else raises 1056.
bool parse_attr_text(RunContext* ctx, const std::u16string& text, AttrChange* change);
// Applies a change to a file or directory; false with the system's error code on failure.
bool apply_attr_change(const std::u16string& path, const AttrChange& change, uint32_t* system_error);

}  // namespace tov
