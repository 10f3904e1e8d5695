// What the POSIX implementations share. Internal to src/platform/posix/.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat::posix {

// The Windows error number that the Engine reports for an errno value.
uint32_t windows_error_of(int err);

// UTF-16 and UTF-8, the code page of names and texts on POSIX.
std::string utf8_of(const char16_t* text);
inline std::string utf8_of(const std::u16string& text) { return utf8_of(text.c_str()); }
std::u16string utf16_of(const char* text, size_t length);
inline std::u16string utf16_of(const std::string& text) { return utf16_of(text.data(), text.size()); }

}  // namespace plat::posix
