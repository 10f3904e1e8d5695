// What the POSIX implementations share. Internal to src/platform/posix/.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat::posix {

// UTF-8 forms of UTF-16 texts for the calls that take names and values, and back.
std::string utf8_of(const char16_t* w);
std::u16string utf16_of(const char* s, size_t len);

// The Windows error number that the Engine reports for an errno value of a failed file operation.
uint32_t system_error_of(int err);

}  // namespace plat::posix
